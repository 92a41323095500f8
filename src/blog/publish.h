// Posting an article through the blog's own article form.
//
// All texts are GBK. The form goes to site + "cmd.asp?act=ArticlePst&type=fckeditor"
// with the fields in the order the blog's edit page sends them; text fields
// travel as UTF-8, every byte percent-encoded.
#pragma once

#include "blog/article.h"
#include "net/http.h"

#include <string>
#include <string_view>

namespace inkpost {

// The fields of the article post, in the blog's terms.
struct PostForm {
  int articleId = 0;       // edtID: 0 adds an article, N updates article N in place
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

// The post fields of an article (an update of article.id when it is set;
// the caller sees that it goes to article.site); the body and intro are left to
// completeArticle (blog/ui/publish.h), which needs the editor's root address.
PostForm postFields(const Article& article);

// What the blog answered to a post.
enum PostOutcome : int {
  kPostRefused = 0,     // an answer without "操作成功"
  kPostDone = 1,        // the answer holds "操作成功"
  kPostNoAnswer = 2,    // empty (or blank) answer: network failure or an empty page
  kPostNeedsLogin = 3,  // the blog's login page, or its refusal for lack of rights:
                        // the session has expired and nothing was stored
  kPostNotSent = 4,     // the blog could not be reached (name unknown, connection
                        // refused, secure connection failed): certainly not stored
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

// One post and what came of it.
struct PostAnswer {
  PostOutcome outcome = kPostNoAnswer;
  ExchangeFate fate;      // kPostNotSent: why (notSentReason)
  bool noRights = false;  // the answer is the blog's "没有权限" refusal (see answerRefusesRights)
  std::string answer;     // the answer page, GBK
};

// Posts the form with HttpEngine (POST, redirects followed, kPostBudgetSeconds,
// answers up to kPostAnswerCap); the cookies the blog sets are merged into
// sessionCookie. kPostNoAnswer only when the request went out and no usable
// answer came; kPostNotSent when none of it went out.
[[nodiscard]] PostAnswer sendArticle(const std::string& site, const PostForm& form, std::string& sessionCookie);
// The outcome of sendArticle. `gbkAnswer`, when given, receives the answer
// (GBK), e.g. for refusalReason of a refused update ("文章不存在").
[[nodiscard]] PostOutcome postArticle(const std::string& site, const PostForm& form, std::string& sessionCookie,
                                      std::string* gbkAnswer = nullptr);

// The blog's refusal "没有权限" (not its login page). The engine gives it to a
// caller without a session too, so a first one means an expired login; the
// same answer again after a fresh login has gone through means the account
// itself lacks the right (noRightsNotice).
bool answerRefusesRights(std::string_view gbkAnswer);

// The notices of the three outcomes and of the cross-post start (GBK).
const std::string& publishedNotice();  // "      发布成功！      ", 1.0 s
const std::string& refusedNotice();    // "      发布失败！      ", 1.0 s
const std::string& unclearNotice();    // "返回信息异常，可能已成功！请自行确认", 2.6 s
// kPostNotSent: "发布失败：无法连接到博客", then a line with the reason and
// what to do, kNotSentSeconds.
std::string notSentNotice(const ExchangeFate& fate);
// A "没有权限" refusal again after a fresh login (the lead's re-login path),
// for a post and for an upload, kNoRightsSeconds.
const std::string& noRightsNotice();  // "没有权限：这个帐号不能发布文章，请换用有发布权限的帐号"
const std::string& noUploadRightsNotice();  // "没有权限：这个帐号不能上传文件，请换用有上传权限的帐号"
inline constexpr double kNotSentSeconds = 2.6;
inline constexpr double kNoRightsSeconds = 2.6;
inline constexpr double kPublishedSeconds = 1.0;
inline constexpr double kRefusedSeconds = 1.0;
inline constexpr double kUnclearSeconds = 2.6;

}  // namespace inkpost
