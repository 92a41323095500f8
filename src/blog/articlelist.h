// The blog's list of its articles (the admin page "cmd.asp?act=ArticleMng",
// further pages at "&page=2", "&page=3" ..., newest first): reading one
// page, walking the pages, and telling whether a title is among the newest
// articles. Texts are GBK.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace inkpost {

// One row of the list, its texts as shown (references decoded; characters
// GBK cannot hold as "&#N;").
struct ArticleEntry {
  int id = 0;
  std::string title;
  std::string category;  // empty when the page shows none
  std::string author;
  std::string date;
  bool operator==(const ArticleEntry&) const = default;
};

// The articles of one list page, in the page's order, each id once. An
// article is a link whose address holds "edit_fckeditor.asp" and a query
// field "id=<digits>" (relative or absolute, other fields allowed). The
// title is the row's title cell (the column headed "标题") or else the
// link's text; a shortened text ("..." or "…") gives way to the link's
// title attribute. Category, author and date come from the columns headed
// "分类", "作者"/"用户" and "日期"/"时间". Linear in the page's length.
std::vector<ArticleEntry> parseArticleList(std::string_view gbkPage);

// The list page's address: site + "cmd.asp?act=ArticleMng", "&page=P" from
// page 2 on.
std::string articleListAddress(const std::string& site, int page);

// The budget of reading one list page (as for the edit page).
inline constexpr int kArticleListBudgetSeconds = 90;

enum class ListOutcome {
  Done,        // the page came (it may list no article: the list is empty or ended)
  NeedsLogin,  // the blog's login page or its refusal for lack of rights
  Refused,     // the blog's error page ("错误原因:" and the reason)
  NoAnswer,    // nothing came: unreachable, silent, cut off
};

struct ListPage {
  ListOutcome outcome = ListOutcome::NoAnswer;
  std::vector<ArticleEntry> entries;
  std::string reason;  // Refused: the blog's reason
};

// GETs list page `page` (from 1) with HttpEngine (redirects followed,
// kArticleListBudgetSeconds, answers up to kPageAnswerCap), sending
// sessionCookie and merging the cookies the blog sets into it.
ListPage fetchArticleListPage(const std::string& site, int page, std::string& sessionCookie);

// Collects list pages as they come, for a list that loads page by page:
// ids already listed are dropped, and a page that adds no new id ends the
// list (a blog answers a page number past the end with its last page
// again, or with an empty one). `maxPages` caps the walk.
class ArticleListWalk {
 public:
  explicit ArticleListWalk(int maxPages = 1000) : maxPages_(maxPages) {}
  // Adds the next page's entries; returns the ones that were new.
  std::vector<ArticleEntry> add(const std::vector<ArticleEntry>& page);
  bool done() const { return done_; }
  bool capped() const { return capped_; }           // ended by maxPages, not by the list
  int nextPage() const { return pagesAdded_ + 1; }  // the page to fetch next
  const std::vector<ArticleEntry>& entries() const { return entries_; }

 private:
  int maxPages_;
  int pagesAdded_ = 0;
  bool done_ = false;
  bool capped_ = false;
  std::unordered_set<int> seen_;
  std::vector<ArticleEntry> entries_;
};

// The whole list: fetches pages until one adds no new id, a page fails, or
// maxPages were read. `onPage`, when set, is called with each page's new
// entries; returning false stops the walk there (outcome Done).
struct ArticleList {
  ListOutcome outcome = ListOutcome::Done;  // the failing page's outcome when one failed
  std::vector<ArticleEntry> entries;
  int pagesRead = 0;
  bool capped = false;
  std::string reason;
};
ArticleList fetchArticleList(const std::string& site, std::string& sessionCookie, int maxPages = 1000,
                             const std::function<bool(const std::vector<ArticleEntry>&)>& onPage = {});

// The id of the first entry whose title is `gbkTitle` (blanks at the ends
// and runs of blanks not counted; an entry shortened with "..." or "…"
// matches a title it begins), 0 when none: whether an article of that
// title is among `newest`.
int findArticleByTitle(const std::vector<ArticleEntry>& newest, std::string_view gbkTitle);

// "检查" after a publish without a clear answer: is the title among the
// blog's newest articles (the first `pages` list pages)?
enum class Arrival {
  Arrived,   // it is there (id set)
  NotThere,  // the list came and does not hold it: a resend will not double it
  Unknown,   // the list could not be read (outcome and reason say why)
};
struct ArrivalCheck {
  Arrival arrival = Arrival::Unknown;
  int id = 0;
  ListOutcome outcome = ListOutcome::NoAnswer;
  std::string reason;
};
ArrivalCheck checkArrival(const std::string& site, std::string& sessionCookie, std::string_view gbkTitle,
                          int pages = 1);

// What went wrong, for the person (GBK): the list could not be read.
// "博客没有回应，文章列表没有读到。请检查网络后再试一次。"
// "登录已过期，请重新选择网站登录后再试。"
// "博客拒绝了请求：<reason>"
// Empty for Done.
std::string listFailureText(ListOutcome outcome, const std::string& reason);

}  // namespace inkpost
