// 检查: whether a post that ended without a clear answer reached the blog.
// A new article is looked for by its title among the blog's newest
// articles; an update re-opens its article and compares what it holds with
// what was sent. Texts are GBK.
#pragma once

#include "blog/articlelist.h"
#include "blog/publish.h"

#include <string>

namespace inkpost {

// How many list pages the check of a new article reads (the newest 40).
inline constexpr int kArrivalPages = 2;

// An update (sent.articleId above 0): reads that article's edit page.
// Arrived when its title and body are the ones sent (runs of blanks not
// counted), NotThere when the page shows others (the update did not take:
// sending it again changes the same article, never adds one), Unknown when
// the page did not come: outcome NeedsLogin for the login page, Refused
// with the blog's reason (the article is gone), NoAnswer otherwise.
ArrivalCheck checkUpdateArrival(const std::string& site, std::string& sessionCookie, const PostForm& sent);

// Either check for what was sent: checkUpdateArrival for an update, else
// checkArrival of the title over kArrivalPages list pages.
ArrivalCheck checkPostArrival(const std::string& site, std::string& sessionCookie, const PostForm& sent);

// What the check found, for the person:
//   new article, Arrived:  "文章已经在博客上了，不必重新发布。"
//   new article, NotThere: "博客最新的文章中没有这一篇，它没有发布成功，可以重新发布。"
//   update, Arrived:       "修改已经保存到博客上了，不必重新发布。"
//   update, NotThere:      "博客上的这篇文章还是修改前的样子，修改没有保存，可以重新发布。"
//   new article, Unknown:  "无法确认文章是否已发布：" and listFailureText
//   update, Unknown:       "无法确认修改是否已保存：" and listFailureText, or for
//                          NoAnswer "博客没有回应，文章没有读到。请检查网络后再试一次。"
std::string arrivalText(const ArrivalCheck& check, bool update);

}  // namespace inkpost
