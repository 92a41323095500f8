// Picking a site in the chooser signs in to it: the account fields are
// filled from the entry, up to four login attempts run with a numbered
// notice after each failure, and a successful login loads the edit page
// (categories, authors, tags) and fills the date boxes.
#pragma once

#include <QDateTime>

#include <string>

class QWidget;

namespace inkpost {


// Selection-changed handler of 组合框_网站名称.
void onSiteSelected(QWidget& window);

// Fetches and parses the edit page of the chooser's current site with the
// session cookie: fills 组合框_分类 and 组合框_用户 (both emptied first) and
// replaces blogTags.
void loadEditPage(QWidget& window);

// 编辑框_日期年/月/日 and 编辑框_日期时间 from `now`, numbers without leading
// zeros ("9:5:3"); see ArticleForm::fillDates.
void fillDateBoxes(QWidget& window, const QDateTime& now);

// The status line's text while attempt `attempt` (1..4) signs in to the site
// named siteName: "正在登录 沙盒博客（第1次）…" (GBK).
std::string loginBusyText(const std::string& siteName, int attempt);

// The notices of the login (GBK) and their display times in seconds.
std::string loginRetryNotice(int attempt);  // "登录失败！进行第N次尝试！"
const std::string& loginFailedNotice();     // "登录失败，请检查帐号密码！"
const std::string& loginDoneNotice();       // "          登录成功！          "
inline constexpr double kLoginRetrySeconds = 1.6;
inline constexpr double kLoginFailedSeconds = 2.0;
inline constexpr double kLoginDoneSeconds = 0.8;
inline constexpr int kLoginAttempts = 4;

}  // namespace inkpost
