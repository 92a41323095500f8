#include "blog/arrival.h"

#include "blog/htmlscan.h"
#include "blog/openarticle.h"
#include "net/encoding.h"

namespace inkpost {

ArrivalCheck checkUpdateArrival(const std::string& site, std::string& sessionCookie, const PostForm& sent) {
  ArrivalCheck check;
  const OpenResult opened = fetchArticleForEdit(site, sent.articleId, sessionCookie);
  switch (opened.outcome) {
    case OpenOutcome::Opened: {
      const Article& a = opened.opened.article;
      const bool same = html::collapseBlanks(a.title) == html::collapseBlanks(sent.title) &&
                        html::collapseBlanks(a.body) == html::collapseBlanks(sent.body);
      check.outcome = ListOutcome::Done;
      check.arrival = same ? Arrival::Arrived : Arrival::NotThere;
      if (same) check.id = sent.articleId;
      break;
    }
    case OpenOutcome::NeedsLogin:
      check.outcome = ListOutcome::NeedsLogin;
      break;
    case OpenOutcome::NotFound:
      check.outcome = ListOutcome::Refused;
      check.reason = opened.reason;
      break;
    case OpenOutcome::NoAnswer:
    case OpenOutcome::NotAnArticle:
      check.outcome = ListOutcome::NoAnswer;
      break;
  }
  return check;
}

ArrivalCheck checkPostArrival(const std::string& site, std::string& sessionCookie, const PostForm& sent) {
  if (sent.articleId > 0) return checkUpdateArrival(site, sessionCookie, sent);
  return checkArrival(site, sessionCookie, sent.title, kArrivalPages);
}

std::string arrivalText(const ArrivalCheck& check, bool update) {
  switch (check.arrival) {
    case Arrival::Arrived:
      return fromUtf8(update ? "修改已经保存到博客上了，不必重新发布。" : "文章已经在博客上了，不必重新发布。");
    case Arrival::NotThere:
      return fromUtf8(update ? "博客上的这篇文章还是修改前的样子，修改没有保存，可以重新发布。"
                             : "博客最新的文章中没有这一篇，它没有发布成功，可以重新发布。");
    case Arrival::Unknown:
      break;
  }
  if (!update) return fromUtf8("无法确认文章是否已发布：") + listFailureText(check.outcome, check.reason);
  // An update reads the article itself, not the list.
  return fromUtf8("无法确认修改是否已保存：") + (check.outcome == ListOutcome::NoAnswer
                                                     ? fromUtf8("博客没有回应，文章没有读到。请检查网络后再试一次。")
                                                     : listFailureText(check.outcome, check.reason));
}

}  // namespace inkpost
