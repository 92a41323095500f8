// The blog's article list: reading pages as real blogs write them, walking
// the pages against the sandbox, and telling whether a title arrived.
#include "blog/articlelist.h"
#include "blog/publish.h"
#include "net/encoding.h"
#include "support/gbktext.h"
#include "support/sandboxlogin.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace inkpost {
namespace {

using test::Sandbox;
using test::sandboxLogin;
using test::sandboxOptions;

using test::gbk;

std::vector<int> idsOf(const std::vector<ArticleEntry>& entries) {
  std::vector<int> ids;
  for (const auto& e : entries) ids.push_back(e.id);
  return ids;
}

TEST(ArticleList, RowsUnderHeadingsGiveIdTitleCategoryAuthorAndDate) {
  const std::string page = gbk(
      "<TABLE><TR><TH>ID</TH><TH>分类</TH><TH>作者</TH><TH>标题</TH><TH>发布日期</TH><TH>操作</TH></TR>\r\n"
      "<TR><TD>12</TD><TD>技术</TD><TD>admin</TD>"
      "<TD><A HREF='../admin/edit_fckeditor.asp?id=12'>第一篇 &amp;amp; &lt;b&gt; &quot;引&quot;</A></TD>"
      "<TD>2026-3-1 9:05:00</TD>"
      "<TD><a href=\"../admin/edit_fckeditor.asp?id=12&amp;page=1\">[编辑]</a> "
      "<a href=\"../cmd.asp?act=ArticleDel&amp;id=12\">[删除]</a></TD></TR>\r\n"
      "<tr><td>7</td><td>生活 &amp; 随笔</td><td>编辑</td><td><b>粗</b> <a "
      "href=http://blog.example/admin/edit_fckeditor.asp?type=fckeditor&amp;id=7#top>标题&#20013;&#x4E2D;&#128512;</a>"
      "</td><td>2025-12-31 23:59:58</td><td></td></tr></table>");
  const std::vector<ArticleEntry> entries = parseArticleList(page);
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0], (ArticleEntry{12, gbk("第一篇 &amp; <b> \"引\""), gbk("技术"), "admin", "2026-3-1 9:05:00"}));
  EXPECT_EQ(entries[1],
            (ArticleEntry{7, gbk("粗 标题中中&#128512;"), gbk("生活 & 随笔"), gbk("编辑"), "2025-12-31 23:59:58"}));
}

TEST(ArticleList, WithoutHeadingsTheLinkNamesTheArticleAndOtherLinksAreNoArticles) {
  const std::string page =
      gbk("<!-- <a href=\"edit_fckeditor.asp?id=77\">old</a> -->"
          "<script>var s = \"<a href='edit_fckeditor.asp?id=78'>x</a>\";</script>"
          "<table><tr><td><a href=\"edit_fckeditor.asp?id=3\">[编辑]</a></td>"
          "<td><a href=\"edit_fckeditor.asp?id=3&amp;x=1\" title=\"很长的标题全文\">很长的...</a></td></tr></table>"
          "<ul><li><a href=\"http://b/admin/edit_fckeditor.asp?id=9\">九</a></li>"
          "<li><a href=\"edit_fckeditor.asp?id=9\">again</a></li>"
          "<li><a href=\"edit_fckeditor.asp\">new</a><a href=\"edit_fckeditor.asp?id=0\">0</a>"
          "<a href=\"edit_fckeditor.asp?id=5x\">5x</a><a href=\"edit_fckeditor.asp?xid=5\">x</a>"
          "<a href=\"cmd.asp?act=ArticleDel&amp;id=5\">del</a><a href=\"edit.asp?id=5\">e</a>"
          "<a href=\"edit_fckeditor.asp?id=99999999999\">big</a></li></ul>"
          "<a href=\"edit_fckeditor.asp?id=4\">cut off at the end");
  const std::vector<ArticleEntry> entries = parseArticleList(page);
  EXPECT_EQ(idsOf(entries), (std::vector<int>{3, 9, 4}));
  EXPECT_EQ(entries[0].title, gbk("很长的标题全文")) << "a shortened title gives way to the title attribute";
  EXPECT_EQ(entries[1].title, gbk("九"));
  EXPECT_EQ(entries[1].category, "");
  EXPECT_EQ(entries[2].title, "cut off at the end");
  EXPECT_TRUE(parseArticleList("").empty());
  EXPECT_TRUE(parseArticleList(gbk("<p>错误原因:没有权限</p>")).empty());
}

TEST(ArticleList, TheWalkDropsKnownIdsAndEndsAtAPageWithoutNewOnesOrAtTheCap) {
  auto page = [](std::vector<int> ids) {
    std::vector<ArticleEntry> out;
    for (int id : ids) out.push_back({id, "t" + std::to_string(id)});
    return out;
  };
  ArticleListWalk walk;
  EXPECT_EQ(walk.nextPage(), 1);
  EXPECT_EQ(idsOf(walk.add(page({5, 4}))), (std::vector<int>{5, 4}));
  EXPECT_EQ(idsOf(walk.add(page({4, 3}))), (std::vector<int>{3})) << "a list that moved while it was read";
  EXPECT_FALSE(walk.done());
  EXPECT_EQ(walk.nextPage(), 3);
  EXPECT_TRUE(walk.add(page({4, 3})).empty());
  EXPECT_TRUE(walk.done());
  EXPECT_FALSE(walk.capped());
  EXPECT_EQ(idsOf(walk.entries()), (std::vector<int>{5, 4, 3}));
  EXPECT_TRUE(walk.add(page({2})).empty()) << "nothing is added after the end";

  ArticleListWalk capped(2);
  capped.add(page({9}));
  capped.add(page({8}));
  EXPECT_TRUE(capped.done());
  EXPECT_TRUE(capped.capped());
}

TEST(ArticleList, FindByTitleMatchesWholeOrShortenedTitles) {
  const std::vector<ArticleEntry> newest = {
      {3, gbk("别的文章")}, {2, gbk("很长的标题…")}, {1, gbk("  第一篇   &amp; 文章 ")}};
  EXPECT_EQ(findArticleByTitle(newest, gbk("第一篇 &amp; 文章")), 1);
  EXPECT_EQ(findArticleByTitle(newest, gbk("第一篇 & 文章")), 0);
  EXPECT_EQ(findArticleByTitle(newest, gbk("很长的标题后面还有很多字")), 2);
  EXPECT_EQ(findArticleByTitle(newest, gbk("很短")), 0);
  EXPECT_EQ(findArticleByTitle({}, "x"), 0);
}

// A blog holding `n` articles "文章1" .. "文章n" (category 2, author 1).
std::string publishMany(const Sandbox& sb, int n) {
  std::string cookie = sandboxLogin(sb);
  for (int i = 1; i <= n; ++i) {
    PostForm f;
    f.title = gbk("文章") + std::to_string(i);
    f.categoryId = "2";
    f.authorId = "1";
    f.level = "4";
    f.year = "2026";
    f.month = "3";
    f.day = "1";
    f.time = "8:00:00";
    EXPECT_EQ(postArticle(sb.siteUrl(), f, cookie), kPostDone);
  }
  return cookie;
}

TEST(ArticleListFromSandbox, PagesAreWalkedNewestFirstUntilOneAddsNoNewId) {
  Sandbox sb(sandboxOptions());
  std::string cookie = publishMany(sb, 45);

  const ListPage first = fetchArticleListPage(sb.siteUrl(), 1, cookie);
  ASSERT_EQ(first.outcome, ListOutcome::Done);
  ASSERT_EQ(first.entries.size(), 20u);
  EXPECT_EQ(first.entries[0], (ArticleEntry{45, gbk("文章45"), gbk("技术"), "admin", "2026-3-1 8:00:00"}));

  const ArticleList all = fetchArticleList(sb.siteUrl(), cookie);
  EXPECT_EQ(all.outcome, ListOutcome::Done);
  ASSERT_EQ(all.entries.size(), 45u);
  for (int i = 0; i < 45; ++i) EXPECT_EQ(all.entries[i].id, 45 - i);
  EXPECT_EQ(all.pagesRead, 4) << "page 4 repeats page 3 and ends the walk";
  EXPECT_FALSE(all.capped);
  EXPECT_TRUE(sb.waitForLog("cmd.asp?act=ArticleMng&page=4 ", 1));
  EXPECT_EQ(sb.requestLog().find("page=5"), std::string::npos);

  const ArticleList two = fetchArticleList(sb.siteUrl(), cookie, 2);
  EXPECT_EQ(two.entries.size(), 40u);
  EXPECT_TRUE(two.capped);
  int pages = 0;
  fetchArticleList(sb.siteUrl(), cookie, 1000, [&](const std::vector<ArticleEntry>&) { return ++pages < 2; });
  EXPECT_EQ(pages, 2);
}

TEST(ArticleListFromSandbox, EmptyListsLostSessionsAndSilentBlogsAreToldApart) {
  Sandbox::Options o = sandboxOptions();
  o.sites = 2;
  o.failSites = {"2:drop"};
  Sandbox sb(o);
  std::string cookie = sandboxLogin(sb, 1);
  const ArticleList empty = fetchArticleList(sb.blogUrl(1), cookie);
  EXPECT_EQ(empty.outcome, ListOutcome::Done);
  EXPECT_TRUE(empty.entries.empty());
  EXPECT_EQ(empty.pagesRead, 1);

  std::string stale = "ASPSESSIONIDSITEAAAB=NOSUCHSESSION;";
  const ListPage login = fetchArticleListPage(sb.blogUrl(1), 1, stale);
  EXPECT_EQ(login.outcome, ListOutcome::NeedsLogin);
  std::string other;
  const ListPage silent = fetchArticleListPage(sb.blogUrl(2), 1, other);
  EXPECT_EQ(silent.outcome, ListOutcome::NoAnswer);
  EXPECT_EQ(listFailureText(ListOutcome::Done, {}), "");
  EXPECT_EQ(listFailureText(ListOutcome::NeedsLogin, {}), gbk("登录已过期，请重新选择网站登录后再试。"));
  EXPECT_EQ(listFailureText(ListOutcome::Refused, "x"), gbk("博客拒绝了请求：x"));
}

TEST(ArticleListFromSandbox, CheckSaysWhetherAnUnclearPublishArrived) {
  Sandbox::Options o = sandboxOptions();
  o.sites = 2;
  Sandbox sb(o);
  std::string cookie = sandboxLogin(sb, 1);
  PostForm f;
  f.title = gbk("到了吗 & <测试>");
  ASSERT_EQ(postArticle(sb.blogUrl(1), f, cookie), kPostDone);

  ArrivalCheck check = checkArrival(sb.blogUrl(1), cookie, f.title);
  EXPECT_EQ(check.arrival, Arrival::Arrived);
  EXPECT_EQ(check.id, 1);
  EXPECT_EQ(checkArrival(sb.blogUrl(1), cookie, gbk("没发出去")).arrival, Arrival::NotThere);
  ASSERT_TRUE(sb.setFailure(1, "drop"));
  check = checkArrival(sb.blogUrl(1), cookie, f.title);
  EXPECT_EQ(check.arrival, Arrival::Unknown);
  EXPECT_EQ(check.outcome, ListOutcome::NoAnswer);
}

}  // namespace
}  // namespace inkpost
