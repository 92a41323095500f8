// Opening a published article from its filled edit page, changing it and
// posting it back with its id: read tolerantly, nothing lost on the way.
#include "blog/openarticle.h"
#include "blog/login.h"
#include "blog/publish.h"
#include "net/encoding.h"
#include "support/gbktext.h"
#include "support/sandboxlogin.h"

#include <gtest/gtest.h>

#include <string>

namespace inkpost {
namespace {

using test::Sandbox;
using test::sandboxLogin;
using test::sandboxOptions;

using test::gbk;

TEST(ArticleEditPage, EveryFieldIsReadWhateverTheMarkupLooksLike) {
  const std::string page =
      gbk("<script>document.write('<input name=\"edtID\" value=\"666\">');</script>"
          "<FORM><INPUT value='42' TYPE=hidden NAME=edtID>"
          "<input name=\"edtTitle\" value=\"A &amp;amp; B &lt;c&gt; &quot;引&quot; &#x4E2D;&#128512; &unknown; &#0;\">"
          "<input name=\"edtTitle\" value=\"second\">"
          "<input type=text name=edtTag value=a,b><input name='edtAlias' value=\"x'y\">"
          "<input name=edtYear value=\"2024\"><input name=edtMonth value=\"2\"><input name=edtDay value=\"29\">"
          "<input name=edtTime value=\"7:8:9\">"
          "<select name=\"edtCateID\"><option value=\"1\">a</option><option selected value=\"12\">b</option></select>"
          "<select name=\"edtAuthorID\"><option value=\"3\">x</option></select>"
          "<select name=\"edtLevel\"><option value=\"4\">普通</option><option value=\"2\" "
          "selected=\"selected\">私人</option>"
          "</select><input type=\"checkbox\" name=\"edtIstop\" checked>"
          "<TEXTAREA name=\"txaContent\">\n<p>a &amp; b</p><input name=\"edtYear\" value=\"1999\"></TEXTAREA>"
          "<textarea name=txaIntro>intro</textarea></FORM>");
  const auto opened = parseArticleEditPage(page);
  ASSERT_TRUE(opened);
  EXPECT_EQ(opened->id, 42);
  const Article& a = opened->article;
  EXPECT_EQ(a.title, gbk("A &amp; B <c> \"引\" 中&#128512; &unknown; &#0;"));
  EXPECT_EQ(a.tags, "a,b");
  EXPECT_EQ(a.alias, "x'y");
  EXPECT_EQ(a.year + "-" + a.month + "-" + a.day + " " + a.time, "2024-2-29 7:8:9");
  EXPECT_EQ(a.category, "12");
  EXPECT_EQ(a.author, "") << "no option marked selected";
  EXPECT_EQ(a.type, "2");
  EXPECT_TRUE(a.sticky);
  EXPECT_FALSE(a.autoAlias);
  EXPECT_EQ(a.body, "<p>a & b</p><input name=\"edtYear\" value=\"1999\">") << "one leading line break is the tag's";
  EXPECT_EQ(opened->intro, "intro");
}

TEST(ArticleEditPage, APageWithoutAnArticleIdIsNoArticle) {
  for (const char* page :
       {"", "<form><input name=\"edtTitle\" value=\"x\"></form>", "<input name=\"edtID\" value=\"0\">",
        "<input name=\"edtID\" value=\"7a\">", "<input name=\"edtID\">", "<input name=\"edtID\" value=\"99999999999\">",
        "<p>错误原因:文章不存在</p>"})
    EXPECT_FALSE(parseArticleEditPage(gbk(page))) << page;
  EXPECT_EQ(parseArticleEditPage("<input name=\"edtID\" value=\" 7 \">")->id, 7);
}

PostForm formOf(const Article& a, const std::string& intro, int id) {
  PostForm f = postFields(a);
  f.body = a.body;
  f.intro = intro;
  f.articleId = id;
  return f;
}

Article typedArticle() {
  Article a;
  a.title = gbk("修改前的标题");
  a.tags = gbk("随笔,Qt");
  a.category = "5";
  a.author = "2";
  a.type = "3";
  a.sticky = true;
  a.year = "2025";
  a.month = "12";
  a.day = "31";
  a.time = "23:59:58";
  a.alias = "xiugaiqian";
  a.body = gbk("<p>第一段</p>\r\n<p>第二段</p>");
  return a;
}

TEST(OpenArticleFromSandbox, OpenChangeAndPostKeepsOneArticleWithTheSameIdAndFields) {
  Sandbox sb(sandboxOptions());
  std::string cookie = sandboxLogin(sb);
  const Article typed = typedArticle();
  ASSERT_EQ(postArticle(sb.siteUrl(), formOf(typed, makeIntro(typed.body), 0), cookie), kPostDone);

  const OpenResult result = fetchArticleForEdit(sb.siteUrl(), 1, cookie);
  ASSERT_EQ(result.outcome, OpenOutcome::Opened);
  EXPECT_EQ(result.opened.id, 1);
  EXPECT_EQ(result.opened.article, typed);
  EXPECT_EQ(result.opened.intro, makeIntro(typed.body));
  ASSERT_EQ(result.lists.categories.size(), 3u);
  EXPECT_TRUE(result.lists.categories[2].selected);
  EXPECT_EQ(openFailureText(result), "");

  Article changed = result.opened.article;
  changed.title = gbk("修改后的标题");
  changed.body = gbk("<p>第一段</p>\r\n<p>改过的第二段</p>");
  std::string answer;
  ASSERT_EQ(postArticle(sb.siteUrl(), formOf(changed, makeIntro(changed.body), result.opened.id), cookie, &answer),
            kPostDone);
  EXPECT_NE(answer.find(gbk("操作成功")), std::string::npos);
  ASSERT_EQ(sb.articleCount(), 1) << "updated in place, no second article";
  EXPECT_EQ(sb.articleField(1, "edtID"), "1");
  EXPECT_EQ(sb.articleField(1, "edtTitle"), "修改后的标题");
  EXPECT_EQ(sb.articleField(1, "edtCateID"), "5");
  EXPECT_EQ(sb.articleField(1, "edtAuthorID"), "2");
  EXPECT_EQ(sb.articleField(1, "edtTag"), "随笔,Qt");
  EXPECT_EQ(sb.articleField(1, "edtTime"), "23:59:58");
  EXPECT_EQ(sb.articleField(1, "edtAlias"), "xiugaiqian");
  EXPECT_EQ(fetchArticleForEdit(sb.siteUrl(), 1, cookie).opened.article, changed);
}

TEST(OpenArticleFromSandbox, EscapedTextAndCharacterReferencesSurviveARoundTripUnchanged) {
  Sandbox sb(sandboxOptions());
  std::string cookie = sandboxLogin(sb);
  Article a = typedArticle();
  a.title = gbk("a &amp; b &lt;c&gt; \"双\" '单' 中 &#128512; &#131072;");
  a.tags = gbk("&lt;tag&gt;,&#9731;");
  a.alias = "a&amp;b";
  a.body = gbk(
      "\r\n<p title=\"x &amp; y\">a &amp; b &lt; c \"q\" 'x' &#128512;&#131072;</p>\r\n<pre>  two  blanks\ttab</pre>"
      "<textarea>inner</textarea>");
  const std::string intro = gbk("&lt;intro&gt; &amp; \"q\"");
  ASSERT_EQ(postArticle(sb.siteUrl(), formOf(a, intro, 0), cookie), kPostDone);
  const OpenResult result = fetchArticleForEdit(sb.siteUrl(), 1, cookie);
  ASSERT_EQ(result.outcome, OpenOutcome::Opened);
  EXPECT_EQ(result.opened.article, a);
  EXPECT_EQ(result.opened.intro, intro);
  // Posting it back unchanged sends the very bytes of the first post, but for the id.
  const std::string firstPost = sb.get("_sandbox/articles/1");
  ASSERT_EQ(firstPost.substr(0, 8), "edtID=0&");
  ASSERT_EQ(postArticle(sb.siteUrl(), formOf(result.opened.article, result.opened.intro, 1), cookie), kPostDone);
  EXPECT_EQ(sb.get("_sandbox/articles/1"), "edtID=1&" + firstPost.substr(8));

  // A character GBK cannot hold, stored by another client as it is, opens as its reference.
  sb.post("cmd.asp?act=ArticlePst&type=fckeditor", "edtID=0&edtTitle=%F0%9F%98%80+%E4%B8%AD&txaContent=%F0%A0%80%80",
          cookie);
  const OpenResult raw = fetchArticleForEdit(sb.siteUrl(), 2, cookie);
  ASSERT_EQ(raw.outcome, OpenOutcome::Opened);
  EXPECT_EQ(raw.opened.article.title, gbk("&#128512; 中"));
  EXPECT_EQ(raw.opened.article.body, "&#131072;");
}

TEST(OpenArticleFromSandbox, UnknownIdsLostSessionsAndSilentBlogsAreReported) {
  Sandbox::Options o = sandboxOptions();
  o.sites = 2;
  o.failSites = {"2:drop"};
  Sandbox sb(o);
  std::string cookie = sandboxLogin(sb, 1);
  const OpenResult missing = fetchArticleForEdit(sb.blogUrl(1), 5, cookie);
  EXPECT_EQ(missing.outcome, OpenOutcome::NotFound);
  EXPECT_EQ(missing.reason, gbk("文章不存在"));
  EXPECT_EQ(openFailureText(missing), gbk("博客上没有这篇文章（文章不存在）。请刷新文章列表后再试。"));

  // An update of an article the blog does not hold is refused and stores nothing.
  PostForm f = formOf(typedArticle(), "", 5);
  std::string answer;
  EXPECT_EQ(postArticle(sb.blogUrl(1), f, cookie, &answer), kPostRefused);
  EXPECT_EQ(refusalReason(answer), gbk("文章不存在"));
  EXPECT_EQ(sb.articleCount(1), 0);

  std::string stale = "ASPSESSIONIDSITEAAAB=NOSUCHSESSION;";
  EXPECT_EQ(fetchArticleForEdit(sb.blogUrl(1), 1, stale).outcome, OpenOutcome::NeedsLogin);
  std::string none;
  const OpenResult silent = fetchArticleForEdit(sb.blogUrl(2), 1, none);
  EXPECT_EQ(silent.outcome, OpenOutcome::NoAnswer);
  EXPECT_EQ(openFailureText(silent), gbk("博客没有回应，文章没有打开。请检查网络后再试一次。"));
}

}  // namespace
}  // namespace inkpost
