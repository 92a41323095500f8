// The sandbox blog over real HTTP: sessions, captcha, login chain, edit page,
// article and upload storage, and the test hooks other tests rely on.
#include "support/sandbox.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <string>

namespace inkpost::test {
namespace {

std::string headerValue(const std::string& headers, const std::string& name) {
  size_t p = headers.find("\r\n" + name + ": ");
  if (p == std::string::npos) return {};
  p += name.size() + 4;
  return headers.substr(p, headers.find("\r\n", p) - p);
}

// The session cookie "NAME=VALUE" from a Set-Cookie header.
std::string sessionFrom(const std::string& headers) {
  std::string v = headerValue(headers, "Set-Cookie");
  return v.substr(0, v.find(';'));
}

struct Login {
  std::string cookie;
  std::string verifyHeaders;
};

Login logIn(const Sandbox& sb, const std::string& user, const std::string& passwordForm) {
  Login l;
  std::string h;
  sb.get("login.asp", {}, &h);
  l.cookie = sessionFrom(h);
  sb.get("function/c_validcode.asp?name=loginvalid", l.cookie);
  std::string code = sb.get("_sandbox/captcha", l.cookie);
  sb.post("cmd.asp?act=verify",
          "edtUserName=" + user + "&edtPassWord=" + passwordForm + "&edtSaveDate=365&edtCheckOut=" + code, l.cookie,
          "application/x-www-form-urlencoded", &l.verifyHeaders);
  return l;
}

TEST(Sandbox, StartsOnAFreePortUnderItsBaseAndStopsOnSigterm) {
  Sandbox sb({.base = "/blog/"});
  EXPECT_GT(sb.port(), 0);
  EXPECT_EQ(sb.siteUrl(), "http://127.0.0.1:" + std::to_string(sb.port()) + "/blog/");
  std::string h;
  sb.get("/login.asp", {}, &h);
  EXPECT_NE(h.find(" 404 "), std::string::npos) << "pages live under the base path only";
  sb.get("login.asp", {}, &h);
  EXPECT_NE(h.find(" 200 "), std::string::npos);
  EXPECT_NE(sb.requestLog().find("GET /blog/login.asp 200"), std::string::npos);
  sb.stop();
  EXPECT_FALSE(sb.running());
  EXPECT_EQ(sb.get("login.asp"), "");
}

TEST(Sandbox, EveryLoginPageVisitOpensAFreshSessionAndTheCaptchaIsTheEnginesGif) {
  Sandbox sb;
  std::string h1, h2;
  sb.get("login.asp", {}, &h1);
  sb.get("login.asp", {}, &h2);
  std::string c1 = sessionFrom(h1), c2 = sessionFrom(h2);
  EXPECT_EQ(c1.rfind("ASPSESSIONID", 0), 0u);
  EXPECT_NE(c1, c2);
  std::string h;
  std::string gif = sb.get("function/c_validcode.asp?name=loginvalid", c1, &h);
  EXPECT_EQ(headerValue(h, "Content-Type"), "image/gif");
  ASSERT_GT(gif.size(), 1200u);
  EXPECT_EQ(gif.substr(0, 10), std::string("GIF89a<\0\x14\0", 10)) << "60 x 20";
  EXPECT_EQ(gif.substr(gif.size() - 4), std::string("\x80\x81\0;", 4)) << "clear, end, terminator, trailer";
  EXPECT_EQ(sb.get("_sandbox/captcha", c1).size(), 5u);
  EXPECT_EQ(sb.get("_sandbox/captcha", c2), "") << "the code belongs to the session that fetched the image";
}

TEST(Sandbox, CaptchaStyleAndEngineSettings) {
  {
    Sandbox sb({.extraArgs = {"--captcha-style", "bmp"}});
    std::string h;
    std::string bmp = sb.get("function/c_validcode.asp?name=loginvalid", {}, &h);
    EXPECT_EQ(headerValue(h, "Content-Type"), "image/bmp");
    ASSERT_GT(bmp.size(), 54u);
    EXPECT_EQ(bmp.substr(0, 2), "BM");
  }
  {
    Sandbox sb({.extraArgs = {"--captcha-size", "100x30", "--captcha-noise", "0", "--captcha-angle", "0",
                              "--captcha-margin", "0"}});
    std::string gif = sb.get("function/c_validcode.asp?name=loginvalid");
    EXPECT_EQ(gif.substr(0, 10), std::string("GIF89ad\0\x1e\0", 10));
  }
  const std::string exe = INKPOST_SANDBOX_EXE;
  for (const char* bad : {"--captcha-style png", "--captcha-size 5x5", "--captcha-size 60", "--captcha-noise 9-3",
                          "--captcha-angle 200", "--session-minutes -1"}) {
    const std::string command = "timeout 5 '" + exe + "' --data /tmp --port 0 " + bad + " 2>/dev/null";
    const int status = std::system(command.c_str());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 2) << bad;
  }
}

TEST(Sandbox, IdleSessionsExpireAndThenAnswerLikeNoSession) {
  Sandbox sb({.extraArgs = {"--session-minutes", "0.02"}});  // 1.2 s
  Login l = logIn(sb, "admin", "secret");
  ASSERT_EQ(headerValue(l.verifyHeaders, "Location"), "cmd.asp?act=login");
  // Kept alive by use.
  for (int i = 0; i < 4; ++i) {
    usleep(500000);
    EXPECT_NE(sb.get("admin/edit_fckeditor.asp", l.cookie).find("edtCateID"), std::string::npos) << i;
  }
  usleep(1500000);
  std::string h, noSessionHeaders;
  sb.get("admin/edit_fckeditor.asp", l.cookie, &h);
  sb.get("admin/edit_fckeditor.asp", {}, &noSessionHeaders);
  EXPECT_EQ(headerValue(h, "Location"), "../login.asp");
  EXPECT_EQ(headerValue(h, "Location"), headerValue(noSessionHeaders, "Location"));
  EXPECT_EQ(sb.post("cmd.asp?act=ArticlePst&type=fckeditor", "edtTitle=x", l.cookie),
            sb.post("cmd.asp?act=ArticlePst&type=fckeditor", "edtTitle=x"));
  EXPECT_EQ(sb.articleCount(), 0);
}

TEST(Sandbox, LoginChainEndsOnTheAdminPage) {
  Sandbox sb({.password = "p&%w+x"});
  Login l = logIn(sb, "admin", "p%26%25w%2Bx");
  ASSERT_EQ(headerValue(l.verifyHeaders, "Location"), "cmd.asp?act=login");
  std::string h;
  sb.get("cmd.asp?act=login", l.cookie, &h);
  ASSERT_EQ(headerValue(h, "Location"), "admin/admin.asp");
  EXPECT_NE(sb.get("admin/admin.asp", l.cookie).find("<title>Inkpost 后台管理</title>"), std::string::npos);
}

TEST(Sandbox, WrongPasswordOrCaptchaGivesNoLocation) {
  Sandbox sb;
  Login wrong = logIn(sb, "admin", "nope");
  EXPECT_EQ(headerValue(wrong.verifyHeaders, "Location"), "");
  // A captcha is good for one try only.
  std::string h;
  sb.get("login.asp", {}, &h);
  std::string cookie = sessionFrom(h);
  sb.get("function/c_validcode.asp?name=loginvalid", cookie);
  std::string code = sb.get("_sandbox/captcha", cookie);
  std::string form = "edtUserName=admin&edtPassWord=secret&edtSaveDate=365&edtCheckOut=";
  sb.post("cmd.asp?act=verify", form + "00000", cookie, "application/x-www-form-urlencoded", &h);
  EXPECT_EQ(headerValue(h, "Location"), "");
  sb.post("cmd.asp?act=verify", form + code, cookie, "application/x-www-form-urlencoded", &h);
  EXPECT_EQ(headerValue(h, "Location"), "");
  // Without a session the admin pages send the caller back to the login page.
  sb.get("admin/edit_fckeditor.asp", {}, &h);
  EXPECT_EQ(headerValue(h, "Location"), "../login.asp");
}

TEST(Sandbox, ChineseAccountAndStrictCookies) {
  Sandbox sb({.user = "张三", .password = "密码", .extraArgs = {"--strict-cookies"}});
  std::string user = "%E5%BC%A0%E4%B8%89", pass = "%E5%AF%86%E7%A0%81";
  Login plain = logIn(sb, user, pass);
  EXPECT_EQ(headerValue(plain.verifyHeaders, "Location"), "") << "cookies missing";
  // The client's cookie: account as %25uXXXX groups, digest of the GBK password.
  std::string h;
  sb.get("login.asp", {}, &h);
  std::string cookie = sessionFrom(h) + "; username=%25u5f20%25u4e09; password=d2293e30f0c964c5f6242486aa8a483c";
  sb.get("function/c_validcode.asp?name=loginvalid", cookie);
  std::string code = sb.get("_sandbox/captcha", cookie);
  sb.post("cmd.asp?act=verify", "edtUserName=" + user + "&edtPassWord=" + pass + "&edtSaveDate=365&edtCheckOut=" + code,
          cookie, "application/x-www-form-urlencoded", &h);
  EXPECT_EQ(headerValue(h, "Location"), "cmd.asp?act=login");
}

TEST(Sandbox, EditPageCarriesCategoriesAuthorsAndTags) {
  Sandbox sb({.extraArgs = {"--categories", "3:新闻,7:A&amp;B", "--authors", "1:admin,4:小王*", "--tags", "x,y"}});
  Login l = logIn(sb, "admin", "secret");
  std::string page = sb.get("admin/edit_fckeditor.asp", l.cookie);
  EXPECT_NE(page.find("<p>分类:<select"), std::string::npos);
  EXPECT_NE(page.find("<option value=\"7\">A&amp;B</option>"), std::string::npos);
  EXPECT_NE(page.find("<option value=\"4\" selected=\"selected\">小王</option>"), std::string::npos);
  EXPECT_NE(
      page.find(
          "<ul id=\"ulTag\" style=\"display:none;\"><li><a href='#'>x</a></li><li><a href='#'>y</a></li></ul></p>"),
      std::string::npos);
}

TEST(Sandbox, ArticlesAreStoredDecodedAndListed) {
  Sandbox sb;
  EXPECT_NE(sb.post("cmd.asp?act=ArticlePst&type=fckeditor", "edtTitle=x").find("没有权限"), std::string::npos);
  EXPECT_EQ(sb.articleCount(), 0);
  Login l = logIn(sb, "admin", "secret");
  std::string body = "edtID=0&edtTitle=%E4%B8%AD%E6%96%87&edtCateID=2&txaContent=%3Cp%3Ea%26b%3C%2Fp%3E&edtIstop=true";
  EXPECT_NE(sb.post("cmd.asp?act=ArticlePst&type=fckeditor", body, l.cookie).find("操作成功"), std::string::npos);
  EXPECT_EQ(sb.articleCount(), 1);
  EXPECT_EQ(sb.articleField(1, "edtTitle"), "中文");
  EXPECT_EQ(sb.articleField(1, "txaContent"), "<p>a&b</p>");
  EXPECT_EQ(sb.articleField(1, "edtIstop"), "true");
  EXPECT_EQ(sb.articleField(1, "nothing"), "");
  EXPECT_EQ(sb.get("_sandbox/articles/1"), body);
  std::string json = sb.get("_sandbox/articles");
  EXPECT_NE(json.find("[\"edtTitle\",\"中文\"]"), std::string::npos);
  std::string index = sb.get("");
  EXPECT_NE(index.find("&lt;p&gt;a&amp;b&lt;/p&gt;"), std::string::npos) << "user text is escaped on the index";
}

TEST(Sandbox, ArticlesSurviveARestartOnTheSameData) {
  std::string raw;
  {
    Sandbox sb({.extraArgs = {"--empty-post-answer"}});
    Login l = logIn(sb, "admin", "secret");
    EXPECT_EQ(sb.post("cmd.asp?act=ArticlePst&type=fckeditor", "edtTitle=a", l.cookie), "");
    EXPECT_EQ(sb.articleCount(), 1);
  }
  Sandbox refusing({.extraArgs = {"--refuse-posts"}});
  Login l = logIn(refusing, "admin", "secret");
  std::string answer = refusing.post("cmd.asp?act=ArticlePst&type=fckeditor", "edtTitle=a", l.cookie);
  EXPECT_EQ(answer.find("操作成功"), std::string::npos);
  EXPECT_EQ(refusing.articleCount(), 0);
}

const std::string kBoundary = "---------------------------4827543632391";

std::string multipart(const std::string& fileName, const std::string& bytes) {
  return "--" + kBoundary + "\r\nContent-Disposition: form-data; name=\"edtFileLoad\"; filename=\"" + fileName +
         "\"\r\nContent-Type: image/gif\r\n\r\n" + bytes + "\r\n--" + kBoundary +
         "\r\nContent-Disposition: form-data; name=\"B1\"\r\n\r\n提交\r\n--" + kBoundary + "--";
}

TEST(Sandbox, UploadStoresTheFileAndRefusesDuplicatesAndBadNames) {
  Sandbox sb;
  Login l = logIn(sb, "admin", "secret");
  const std::string ct = "multipart/form-data; boundary=" + kBoundary;
  std::string bytes("GIF89a\0\x01\x02\r\n--x", 14);
  std::string answer =
      sb.post("cmd.asp?act=FileUpload&reload=1&filename=pic.gif", multipart("a.gif", bytes), l.cookie, ct);
  std::string expected = "已上传文件:<a href=\"" + sb.siteUrl() + "upload/pic.gif\"";
  EXPECT_NE(answer.find(expected), std::string::npos) << answer;
  EXPECT_EQ(readFile(sb.dataDir() + "/upload/pic.gif"), bytes);
  EXPECT_EQ(sb.get("upload/pic.gif"), bytes);
  EXPECT_EQ(sb.get("_sandbox/files"), "pic.gif\n");
  answer = sb.post("cmd.asp?act=FileUpload&reload=1&filename=pic.gif", multipart("a.gif", "other"), l.cookie, ct);
  EXPECT_NE(answer.find("<p>错误原因:文件已存在，请先删除</p>"), std::string::npos);
  EXPECT_EQ(readFile(sb.dataDir() + "/upload/pic.gif"), bytes) << "a duplicate never overwrites";
  answer = sb.post("cmd.asp?act=FileUpload&reload=1&filename=..%2Fescape.gif", multipart("a.gif", "x"), l.cookie, ct);
  EXPECT_EQ(answer.find("已上传文件"), std::string::npos);
  EXPECT_FALSE(fileExists(sb.dataDir() + "/escape.gif"));
  answer = sb.post("cmd.asp?act=FileUpload&reload=1&filename=b.gif", multipart("b.gif", "x"), {}, ct);
  EXPECT_EQ(answer.find("已上传文件"), std::string::npos) << "no upload without a session";
}

TEST(Sandbox, HooksFixTheCaptchaAndDropTheLocation) {
  Sandbox sb({.extraArgs = {"--captcha", "fixed:24680", "--verify-no-location"}});
  std::string h;
  sb.get("login.asp", {}, &h);
  std::string cookie = sessionFrom(h);
  sb.get("function/c_validcode.asp?name=loginvalid", cookie);
  EXPECT_EQ(sb.get("_sandbox/captcha", cookie), "24680");
  sb.post("cmd.asp?act=verify", "edtUserName=admin&edtPassWord=secret&edtSaveDate=365&edtCheckOut=24680", cookie,
          "application/x-www-form-urlencoded", &h);
  EXPECT_NE(h.find(" 200 "), std::string::npos);
  EXPECT_EQ(headerValue(h, "Location"), "");
}

TEST(Sandbox, DelayAndCustomEditPageHooks) {
  TempDir dir;
  writeFile(dir.file("page.html"), "<html>no lists here</html>");
  Sandbox sb({.extraArgs = {"--delay", "act=login:300", "--edit-page", dir.file("page.html")}});
  Login l = logIn(sb, "admin", "secret");
  auto start = std::chrono::steady_clock::now();
  std::string h;
  sb.get("cmd.asp?act=login", l.cookie, &h);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(300));
  EXPECT_EQ(sb.get("admin/edit_fckeditor.asp", l.cookie), "<html>no lists here</html>");
}

TEST(Sandbox, StopAfterEndsTheServer) {
  Sandbox sb({.extraArgs = {"--stop-after", "2"}});
  EXPECT_NE(sb.get("login.asp"), "");
  EXPECT_NE(sb.get("login.asp"), "");
  std::string third;
  for (int i = 0; i < 100 && !(third = sb.get("login.asp")).empty(); ++i) usleep(10000);
  EXPECT_EQ(third, "");
}

}  // namespace
}  // namespace inkpost::test
