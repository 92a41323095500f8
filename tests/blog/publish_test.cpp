// The article form and its post: field order and encodings, the answer's
// three outcomes, and the exact request bytes on the wire.
#include "blog/publish.h"
#include "net/encoding.h"
#include "support/capture_server.h"
#include "support/gbktext.h"
#include "support/hostile_server.h"

#include <gtest/gtest.h>

#include <string>

namespace inkpost {
namespace {

using test::CaptureServer;

using test::gbk;

std::string answer(const std::string& utf8Body) {
  return test::okResponse(utf8Body, "Content-Type: text/html; charset=utf-8\r\n");
}

PostForm sampleForm() {
  PostForm f;
  f.title = gbk("中文标题 & = %");
  f.categoryId = "2";
  f.tags = gbk("标签,tag");
  f.authorId = "1";
  f.level = articleLevel(gbk("锁定文章"));
  f.year = "2026";
  f.month = "12";
  f.day = "8";
  f.time = "9:5:3";
  f.alias = "a&b=c%d";
  f.body = gbk("<p>正文 it's</p>");
  f.intro = makeIntro(f.body);
  f.sticky = true;
  return f;
}

TEST(PostForm, FieldsInOrderWithTheirEncodings) {
  const PostForm f = sampleForm();
  const std::string expected =
      "edtID=0&edtTitle=" + percentEncode(toUtf8(f.title)) + "&edtCateID=2&edtTag=" + percentEncode(toUtf8(f.tags)) +
      "&edtAuthorID=1&edtLevel=3&edtYear=2026&edtMonth=12&edtDay=8&edtTime=9%3A5%3A3"
      "&edtAlias=%61%26%62%3D%63%25%64" +
      "&txaContent=" + percentEncode(toUtf8(f.body)) + "&txaIntro=" + percentEncode(toUtf8(f.intro)) + "&edtIstop=true";
  EXPECT_EQ(articleFormBody(f), expected);
  // A Chinese character travels as its three UTF-8 bytes.
  EXPECT_EQ(articleFormBody(f).substr(0, 35), "edtID=0&edtTitle=%E4%B8%AD%E6%96%87");
}

TEST(PostForm, NotStickyEndsWithTheIntro) {
  PostForm f = sampleForm();
  f.sticky = false;
  f.intro = "x";
  const std::string body = articleFormBody(f);
  EXPECT_EQ(body.substr(body.size() - 13), "&txaIntro=%78");
  EXPECT_EQ(body.find("edtIstop"), std::string::npos);
}

TEST(PostForm, NonAsciiAliasIsEncodedLikeTheTitle) {
  PostForm f;
  f.alias = gbk("别名");
  EXPECT_NE(articleFormBody(f).find("&edtAlias=" + percentEncode(toUtf8(f.alias)) + "&txaContent="), std::string::npos);
}

TEST(PostForm, TypeListLevels) {
  EXPECT_EQ(articleLevel(gbk("草稿文章")), "1");
  EXPECT_EQ(articleLevel(gbk("私人文章")), "2");
  EXPECT_EQ(articleLevel(gbk("锁定文章")), "3");
  EXPECT_EQ(articleLevel(gbk("普通文章")), "4");
  EXPECT_EQ(articleLevel(gbk("其他")), "");
}

TEST(RootAddress, ReplacedOnCharacterBoundariesOnly) {
  const std::string root = "file:///opt/inkpost/editor/";
  const std::string site = "http://blog.example/";
  EXPECT_EQ(replaceRootAddress("<img src=\"file:///opt/inkpost/editor/upload/a.jpg\">" + root, root, site),
            "<img src=\"http://blog.example/upload/a.jpg\">" + site);
  // Exact case only.
  EXPECT_EQ(replaceRootAddress("FILE:///opt/inkpost/editor/x", root, site), "FILE:///opt/inkpost/editor/x");
  EXPECT_EQ(replaceRootAddress("abc", "", site), "abc");
  // "f" (0x66) is a valid trail byte: a match that starts inside a two-byte
  // character is no match.
  const std::string inside = std::string("\x81") + "file:///opt/inkpost/editor/";
  EXPECT_EQ(replaceRootAddress(inside, root, site), inside);
  EXPECT_EQ(replaceRootAddress(gbk("中") + root + gbk("文"), root, site), gbk("中") + site + gbk("文"));
}

TEST(PostAnswer, ThreeOutcomes) {
  EXPECT_EQ(judgeAnswer(gbk("<script>alert('操作成功');</script>")), kPostDone);
  EXPECT_EQ(judgeAnswer(""), kPostNoAnswer);
  EXPECT_EQ(judgeAnswer("   \r\n\t "), kPostNoAnswer);
  EXPECT_EQ(judgeAnswer(gbk("<p>操作失败</p>")), kPostRefused);
  EXPECT_EQ(judgeAnswer("."), kPostRefused);
  // The session has gone: the refusal for lack of rights, or the login page
  // a redirect ended on. Nothing was stored, so the post may be sent again.
  EXPECT_EQ(judgeAnswer(gbk("<p>错误原因:没有权限，请先登录</p>")), kPostNeedsLogin);
  EXPECT_EQ(judgeAnswer(gbk("<form><input name=\"edtCheckOut\"><img src=\"function/c_validcode.asp\"></form>")),
            kPostNeedsLogin);
  EXPECT_FALSE(answerWantsLogin(gbk("<p>错误原因:文件已存在，请先删除</p>")));
}

TEST(PostArticle, SendsTheFormAndJudgesTheAnswer) {
  CaptureServer server(answer("<script>alert(\"操作成功\");location=\"admin/\";</script>"));
  const std::string site = server.url("/blog/");
  std::string cookie = "ASPSESSIONIDX=abc;";
  const PostForm form = sampleForm();
  EXPECT_EQ(postArticle(site, form, cookie), kPostDone);

  ASSERT_EQ(server.requests().size(), 1u);
  const std::string raw = server.lastRequest();
  const auto lines = test::requestHeaderLines(raw);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines[0], "POST /blog/cmd.asp?act=ArticlePst&type=fckeditor HTTP/1.1");
  bool referer = false, cookieLine = false;
  for (const auto& l : lines) {
    if (l == "Referer: " + site + "admin/edit_fckeditor.asp") referer = true;
    if (l.rfind("Cookie: ", 0) == 0 && l.find("ASPSESSIONIDX=abc") != std::string::npos) cookieLine = true;
  }
  EXPECT_TRUE(referer) << raw.substr(0, 600);
  EXPECT_TRUE(cookieLine) << raw.substr(0, 600);
  EXPECT_EQ(test::requestBody(raw), articleFormBody(form));
}

TEST(PostArticle, RefusalEmptyAnswerAndNoServer) {
  CaptureServer server(answer("<p>错误原因:标题不能为空</p>"));
  std::string cookie = "a=1;";
  EXPECT_EQ(postArticle(server.url("/"), sampleForm(), cookie), kPostRefused);

  server.setResponse(answer("  \r\n "));
  EXPECT_EQ(postArticle(server.url("/"), sampleForm(), cookie), kPostNoAnswer);

  server.setResponse("HTTP/1.1 200 OK\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
  EXPECT_EQ(postArticle(server.url("/"), sampleForm(), cookie), kPostNoAnswer);

  // A server that closes without answering.
  server.setResponse("");
  EXPECT_EQ(postArticle(server.url("/"), sampleForm(), cookie), kPostNoAnswer);
}

TEST(PostArticle, ABlogThatIsDownCertainlyStoredNothing) {
  std::string cookie = "a=1;";
  for (const std::string site :
       {"http://127.0.0.1:" + std::to_string(test::closedPort()) + "/", std::string("http://no-such-blog.invalid/")}) {
    const PostAnswer a = sendArticle(site, sampleForm(), cookie);
    EXPECT_EQ(a.outcome, kPostNotSent) << site;
    EXPECT_EQ(notSentNotice(a.fate).rfind(gbk("发布失败：无法连接到博客\n"), 0), 0u);
    EXPECT_NE(notSentNotice(a.fate).find(notSentReason(a.fate)), std::string::npos);
  }
  EXPECT_EQ(cookie, "a=1;");
  // Taken in, then silence and a dropped connection: it may have been stored.
  test::HostileServer silent([](test::HostileServer::Connection& c) { c.pause(1500); });
  EXPECT_EQ(postArticle(silent.url("/"), sampleForm(), cookie), kPostNoAnswer);
}

TEST(PostArticle, ASecondRefusalForLackOfRightsIsToldApart) {
  CaptureServer server(answer("<p>错误原因:没有权限，请先登录</p>"));
  std::string cookie = "a=1;";
  PostAnswer a = sendArticle(server.url("/"), sampleForm(), cookie);
  EXPECT_EQ(a.outcome, kPostNeedsLogin);
  EXPECT_TRUE(a.noRights);
  server.setResponse(answer("<form><input name=\"edtCheckOut\"></form>"));
  a = sendArticle(server.url("/"), sampleForm(), cookie);
  EXPECT_EQ(a.outcome, kPostNeedsLogin);
  EXPECT_FALSE(a.noRights) << "the login page: the login did not hold";
}

TEST(PostArticle, LargeBodyArrivesWhole) {
  CaptureServer server(answer("操作成功"));
  PostForm f = sampleForm();
  f.body.clear();
  for (int i = 0; i < 20000; ++i) f.body += gbk("<p>第") + std::to_string(i) + gbk("段 \"引号\" 'x' \\ </p>\r\n");
  f.intro = makeIntro(f.body);
  std::string cookie = "s=1;";
  EXPECT_EQ(postArticle(server.url("/"), f, cookie), kPostDone);
  ASSERT_EQ(server.requests().size(), 1u);
  EXPECT_EQ(test::requestBody(server.lastRequest()), articleFormBody(f));
}

}  // namespace
}  // namespace inkpost
