// Posting an article through the blog's own article form.
//
// All texts are GBK. The form goes to site + "cmd.asp?act=ArticlePst&type=fckeditor"
// with the fields in the order the blog's edit page sends them; text fields
// travel as UTF-8, every byte percent-encoded.
#pragma once

#include "blog/article.h"

#include <string>
#include <string_view>

namespace inkpost {

// The fields of the article post, in the blog's terms.
struct PostForm {
  std::string title;       // edtTitle, encoded
  std::string categoryId;  // edtCateID, decimal
  std::string tags;        // edtTag, encoded
  std::string authorId;    // edtAuthorID, decimal
  std::string level;       // edtLevel, decimal (1..4, see articleLevel)
  std::string year;        // edtYear, as typed
  std::string month;       // edtMonth, as typed
  std::string day;         // edtDay, as typed
  std::string time;        // edtTime, as typed with ":" as "%3A"
  std::string alias;       // edtAlias, encoded like the title
  std::string body;        // txaContent, encoded
  std::string intro;       // txaIntro, encoded
  bool sticky = false;     // adds "&edtIstop=true" as the last field
};

// The post fields of an article; the body and intro are left to
// completeArticle (blog/ui/publish.h), which needs the editor's root address.
PostForm postFields(const Article& article);

// What the blog answered to a post.
enum PostOutcome : int {
  kPostRefused = 0,     // an answer without "操作成功"
  kPostDone = 1,        // the answer holds "操作成功"
  kPostNoAnswer = 2,    // empty (or blank) answer: network failure or an empty page
  kPostNeedsLogin = 3,  // the blog's login page, or its refusal for lack of rights:
                        // the session has expired and nothing was stored
};

// The intro of a body: tags removed, blanks trimmed, then the first 200
// characters (a control character such as a line break counts as half),
// full-width letters and digits given back as ASCII.
std::string makeIntro(std::string_view gbkBody);

// Replaces every occurrence (exact case, on character boundaries) of root in
// body by site. An empty root leaves the body unchanged.
std::string replaceRootAddress(std::string_view gbkBody, std::string_view root, std::string_view site);

// The edtLevel of an item text of the type list ("草稿文章" 1, "私人文章" 2,
// "锁定文章" 3, "普通文章" 4, GBK); empty for any other text.
std::string articleLevel(std::string_view gbkTypeText);

// site + "cmd.asp?act=ArticlePst&type=fckeditor"
std::string articlePostAddress(const std::string& site);
// "Referer: " + site + "admin/edit_fckeditor.asp"
std::string articlePostHeaders(const std::string& site);
// The urlencoded form body, fields in the blog's order.
std::string articleFormBody(const PostForm& form);

// Judges the blog's answer, already converted to GBK.
// Also used for uploads: answerWantsLogin tells the expired session apart.
PostOutcome judgeAnswer(std::string_view gbkAnswer);
// The blog's login page or its "没有权限" refusal: the session is gone.
bool answerWantsLogin(std::string_view gbkAnswer);

// The budget of an article post. HttpEngine gives connecting and each silent
// wait a third of it, so the blog may take a full minute before it answers;
// a slow blog that is cut off sooner still stores the article, and the user
// would post it twice.
inline constexpr int kPostBudgetSeconds = 180;

// Posts the form with HttpEngine (POST, redirects followed, kPostBudgetSeconds,
// answers up to kPostAnswerCap); the cookies the blog sets are merged into
// sessionCookie.
PostOutcome postArticle(const std::string& site, const PostForm& form, std::string& sessionCookie);

// The notices of the three outcomes and of the cross-post start (GBK).
const std::string& publishedNotice();  // "      发布成功！      ", 1.0 s
const std::string& refusedNotice();    // "      发布失败！      ", 1.0 s
const std::string& unclearNotice();    // "返回信息异常，可能已成功！请自行确认", 2.6 s
inline constexpr double kPublishedSeconds = 1.0;
inline constexpr double kRefusedSeconds = 1.0;
inline constexpr double kUnclearSeconds = 2.6;

}  // namespace inkpost
