// The exchanges that read the blog's article list and an article's edit
// page, and what their failures tell the person.
#include "blog/articlelist.h"
#include "blog/editortext.h"
#include "blog/login.h"
#include "blog/openarticle.h"
#include "blog/publish.h"
#include "net/encoding.h"
#include "net/http.h"

namespace inkpost {
namespace {

// GETs a page of the blog, taken from UTF-8 with the characters GBK cannot
// hold as references; empty when nothing came.
std::string fetchPage(const std::string& address, int budgetSeconds, std::string& sessionCookie) {
  std::string headers, responseHeaders;
  const std::string body =
      HttpEngine(address, "GET", "", "", "", "", headers, "", budgetSeconds, responseHeaders, sessionCookie, true);
  return body.empty() ? body : gbkWithCharRefs(body);
}

// What a page other than the one asked for is.
enum class OtherPage { Login, Refusal, Unknown };
OtherPage otherPage(const std::string& gbkPage, std::string& reason) {
  if (answerWantsLogin(gbkPage)) return OtherPage::Login;
  reason = refusalReason(gbkPage);
  return reason.empty() ? OtherPage::Unknown : OtherPage::Refusal;
}

}  // namespace

std::string articleListAddress(const std::string& site, int page) {
  std::string address = site + "cmd.asp?act=ArticleMng";
  if (page > 1) address += "&page=" + std::to_string(page);
  return address;
}

ListPage fetchArticleListPage(const std::string& site, int page, std::string& sessionCookie) {
  ListPage result;
  const std::string gbk = fetchPage(articleListAddress(site, page), kArticleListBudgetSeconds, sessionCookie);
  if (gbk.empty()) return result;
  result.entries = parseArticleList(gbk);
  result.outcome = ListOutcome::Done;  // a page without articles ends the list
  if (result.entries.empty()) {
    const OtherPage other = otherPage(gbk, result.reason);
    if (other == OtherPage::Login) result.outcome = ListOutcome::NeedsLogin;
    if (other == OtherPage::Refusal) result.outcome = ListOutcome::Refused;
  }
  return result;
}

ArticleList fetchArticleList(const std::string& site, std::string& sessionCookie, int maxPages,
                             const std::function<bool(const std::vector<ArticleEntry>&)>& onPage) {
  ArticleList list;
  ArticleListWalk walk(maxPages);
  while (!walk.done()) {
    ListPage page = fetchArticleListPage(site, walk.nextPage(), sessionCookie);
    ++list.pagesRead;
    if (page.outcome != ListOutcome::Done) {
      list.outcome = page.outcome;
      list.reason = std::move(page.reason);
      break;
    }
    const std::vector<ArticleEntry> fresh = walk.add(page.entries);
    if (onPage && !fresh.empty() && !onPage(fresh)) break;
  }
  list.entries = walk.entries();
  list.capped = walk.capped();
  return list;
}

ArrivalCheck checkArrival(const std::string& site, std::string& sessionCookie, std::string_view gbkTitle, int pages) {
  ArrivalCheck check;
  const ArticleList list = fetchArticleList(site, sessionCookie, pages);
  check.outcome = list.outcome;
  check.reason = list.reason;
  check.id = findArticleByTitle(list.entries, gbkTitle);
  if (check.id != 0)
    check.arrival = Arrival::Arrived;
  else if (list.outcome == ListOutcome::Done)
    check.arrival = Arrival::NotThere;
  return check;
}

std::string listFailureText(ListOutcome outcome, const std::string& reason) {
  switch (outcome) {
    case ListOutcome::Done:
      return {};
    case ListOutcome::NeedsLogin:
      return fromUtf8("登录已过期，请重新选择网站登录后再试。");
    case ListOutcome::Refused:
      return fromUtf8("博客拒绝了请求：") + reason;
    case ListOutcome::NoAnswer:
      break;
  }
  return fromUtf8("博客没有回应，文章列表没有读到。请检查网络后再试一次。");
}

std::string articleEditAddress(const std::string& site, int id) {
  return site + kEditPage + "?id=" + std::to_string(id);
}

OpenResult fetchArticleForEdit(const std::string& site, int id, std::string& sessionCookie) {
  OpenResult result;
  const std::string page = fetchPage(articleEditAddress(site, id), kEditPageBudgetSeconds, sessionCookie);
  if (page.empty()) return result;
  std::optional<OpenedArticle> opened = parseArticleEditPage(page);
  result.outcome = OpenOutcome::NotAnArticle;
  if (opened && opened->id == id) {
    result.outcome = OpenOutcome::Opened;
    result.opened = std::move(*opened);
    result.lists = parseEditPage(page);
  } else if (!opened) {
    const OtherPage other = otherPage(page, result.reason);
    if (other == OtherPage::Login) result.outcome = OpenOutcome::NeedsLogin;
    if (other == OtherPage::Refusal) result.outcome = OpenOutcome::NotFound;
  }
  return result;
}

std::string openFailureText(const OpenResult& result) {
  switch (result.outcome) {
    case OpenOutcome::Opened:
      return {};
    case OpenOutcome::NotFound:
      return fromUtf8("博客上没有这篇文章（") + result.reason + fromUtf8("）。请刷新文章列表后再试。");
    case OpenOutcome::NeedsLogin:
      return fromUtf8("登录已过期，请重新选择网站登录后再打开。");
    case OpenOutcome::NoAnswer:
      return fromUtf8("博客没有回应，文章没有打开。请检查网络后再试一次。");
    case OpenOutcome::NotAnArticle:
      break;
  }
  return fromUtf8("博客给出的不是这篇文章的编辑页，文章没有打开。");
}

}  // namespace inkpost
