// Publishing against the sandbox blog: every field arrives with the value
// typed, and the blog's three kinds of answer give the three outcomes.
#include "blog/alias.h"
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

PostForm typedArticle() {
  PostForm f;
  f.title = gbk("中文标题：Qt & \"引号\" 100%");
  f.categoryId = "2";
  f.tags = gbk("随笔,Qt");
  f.authorId = "1";
  f.level = articleLevel(gbk("锁定文章"));
  f.year = "2026";
  f.month = "12";
  f.day = "8";
  f.time = "9:5:3";
  f.alias = makeAlias(f.title);
  f.body = gbk("<p>正文第一段 it's a \"test\" \\ </p>\r\n<p>&#128512; 表情</p>");
  f.intro = makeIntro(f.body);
  f.sticky = true;
  return f;
}

TEST(PublishToSandbox, EveryFieldArrivesAsTyped) {
  Sandbox blog(sandboxOptions());
  std::string cookie = sandboxLogin(blog);
  const PostForm f = typedArticle();
  ASSERT_EQ(postArticle(blog.siteUrl(), f, cookie), kPostDone);

  ASSERT_EQ(blog.articleCount(), 1);
  EXPECT_EQ(blog.articleField(1, "edtID"), "0");
  EXPECT_EQ(blog.articleField(1, "edtTitle"), toUtf8(f.title));
  EXPECT_EQ(blog.articleField(1, "edtCateID"), "2");
  EXPECT_EQ(blog.articleField(1, "edtTag"), toUtf8(f.tags));
  EXPECT_EQ(blog.articleField(1, "edtAuthorID"), "1");
  EXPECT_EQ(blog.articleField(1, "edtLevel"), "3");
  EXPECT_EQ(blog.articleField(1, "edtYear"), "2026");
  EXPECT_EQ(blog.articleField(1, "edtMonth"), "12");
  EXPECT_EQ(blog.articleField(1, "edtDay"), "8");
  EXPECT_EQ(blog.articleField(1, "edtTime"), "9:5:3");
  EXPECT_EQ(blog.articleField(1, "edtAlias"), "zhongwenbiaotiqtyinhao100");
  EXPECT_EQ(blog.articleField(1, "txaContent"), toUtf8(f.body));
  EXPECT_EQ(blog.articleField(1, "txaIntro"), toUtf8(f.intro));
  EXPECT_EQ(blog.articleField(1, "edtIstop"), "true");

  // The stored body is byte for byte what was sent: fields in order, time
  // as 9%3A5%3A3, sticky last.
  const std::string raw = blog.get("_sandbox/articles/1");
  EXPECT_EQ(raw, articleFormBody(f));
  EXPECT_NE(raw.find("&edtTime=9%3A5%3A3&edtAlias="), std::string::npos);
  EXPECT_EQ(raw.substr(raw.size() - 14), "&edtIstop=true");
}

TEST(PublishToSandbox, AliasWithFormCharactersIsNotCorrupted) {
  Sandbox blog(sandboxOptions());
  std::string cookie = sandboxLogin(blog);
  PostForm f = typedArticle();
  f.alias = gbk("a&edtLevel=1%别名");
  f.sticky = false;
  ASSERT_EQ(postArticle(blog.siteUrl(), f, cookie), kPostDone);
  EXPECT_EQ(blog.articleField(1, "edtAlias"), toUtf8(f.alias));
  EXPECT_EQ(blog.articleField(1, "edtLevel"), "3");
  EXPECT_EQ(blog.articleField(1, "edtIstop"), "");
}

TEST(PublishToSandbox, RefusalAndEmptyAnswer) {
  {
    Sandbox blog(sandboxOptions({"--refuse-posts"}));
    std::string cookie = sandboxLogin(blog);
    EXPECT_EQ(postArticle(blog.siteUrl(), typedArticle(), cookie), kPostRefused);
    EXPECT_EQ(blog.articleCount(), 0);
  }
  {
    Sandbox blog(sandboxOptions({"--empty-post-answer"}));
    std::string cookie = sandboxLogin(blog);
    EXPECT_EQ(postArticle(blog.siteUrl(), typedArticle(), cookie), kPostNoAnswer);
    EXPECT_EQ(blog.articleCount(), 1);
  }
  {
    // Not logged in: the blog's refusal for lack of rights, nothing stored.
    Sandbox blog(sandboxOptions());
    std::string cookie = "x=1;";
    EXPECT_EQ(postArticle(blog.siteUrl(), typedArticle(), cookie), kPostNeedsLogin);
    EXPECT_EQ(blog.articleCount(), 0);
  }
}

TEST(PublishToSandbox, UnderABasePath) {
  Sandbox::Options o = sandboxOptions();
  o.base = "/blog/";
  Sandbox blog(o);
  std::string cookie = sandboxLogin(blog);
  ASSERT_EQ(postArticle(blog.siteUrl(), typedArticle(), cookie), kPostDone);
  EXPECT_EQ(blog.articleCount(), 1);
}

}  // namespace
}  // namespace inkpost
