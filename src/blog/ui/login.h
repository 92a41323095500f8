// Picking a site in the chooser signs in to it: the account fields are
// filled from the entry, up to four login attempts run with a numbered
// notice after each failure, and a successful login loads the edit page
// (categories, authors, tags) and fills the date boxes.
#pragma once

#include <QDateTime>

#include <string>

class QWidget;

namespace inkpost {

// Selection-changed handler of 组合框_网站名称: fills the account fields from
// the entry and logs in.
void onSiteSelected(QWidget& window);

// 重新登录 (F5), and the chooser's current site chosen again: logs in to the
// chosen site once more with the account fields as they are.
void loginAgain(QWidget& window);

// The attempts against the chosen site, each run off the window thread with
// the step in the status line; the captcha dialog when the reads fail. Then
// the edit page. True when the session is ready to publish. `quiet` (a
// session that expired under a post or upload): no success notice, the
// chosen category and author and the date boxes are kept.
bool logInToChosenSite(QWidget& window, bool quiet = false);

// What reading the edit page brought.
enum class EditPageLoad { Loaded, NoPage, NoCategories };

// Fetches and parses the edit page of the chooser's current site with the
// session cookie (off the window thread): fills 组合框_分类 and 组合框_用户
// (both emptied first) and replaces the session's tags. When no page came or it lists
// no category, the lists and tags stay empty. `keepChoice` chooses again the
// category and author that were current, where they still exist.
EditPageLoad loadEditPage(QWidget& window, bool keepChoice = false);

// Empties 组合框_分类, 组合框_用户 and the session's tags, and marks the session as not
// ready to publish.
void forgetBlogLists(QWidget& window);

// 编辑框_日期年/月/日 and 编辑框_日期时间 from `now`, numbers without leading
// zeros ("9:5:3"); see ArticleForm::fillDates.
void fillDateBoxes(QWidget& window, const QDateTime& now);

// The status line's text while attempt `attempt` (1..4) signs in to the site
// named siteName: "正在登录 沙盒博客（第1次）…"; and while the edit page is
// read (GBK).
std::string loginBusyText(const std::string& siteName, int attempt);
const std::string& editPageBusyText();  // "正在读取编辑页…"

// The notices of the login (GBK) and their display times in seconds.
std::string loginRetryNotice(int attempt);  // "登录失败！进行第N次尝试！"
const std::string& loginFailedNotice();     // "登录失败，请检查帐号密码！"
const std::string& loginDoneNotice();       // "          登录成功！          "
const std::string& unreachableNotice();     // the blog gave no answer at all
const std::string& editPageFailedNotice();  // logged in, but no edit page came
const std::string& noCategoriesNotice();    // the edit page lists no category
const std::string& chooseSiteNotice();      // "请先选择网站并登录"
inline constexpr double kLoginRetrySeconds = 1.6;
inline constexpr double kLoginFailedSeconds = 2.0;
inline constexpr double kLoginDoneSeconds = 0.8;
inline constexpr double kLoginProblemSeconds = 2.6;
inline constexpr int kLoginAttempts = 4;

}  // namespace inkpost
