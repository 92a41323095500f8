// The chosen site's session in the main window: picking a site signs in to
// it (up to four attempts, a numbered notice after each failure, the
// captcha dialog when the reads fail), and a login that went through loads
// the edit page's lists into the article form and fills the date boxes.
// The session itself is the site's BlogClient; CurrentBlog only says which
// client is the window's and runs the window's side of its login.
#pragma once

#include "blog/blogclient.h"
#include "common/ui/busy.h"
#include "common/ui/wait.h"

#include <QObject>
#include <QPointer>

#include <memory>
#include <string>

class QDateTime;

namespace inkpost {

class ArticleForm;
class SiteBar;

class CurrentBlog : public QObject {
  Q_OBJECT
 public:
  // `window` carries the notices and dialogs.
  CurrentBlog(BlogClients& clients, SiteBar& sites, ArticleForm& form, StatusLine status, QWidget& window);

  // The client of the chosen site; null before a site is picked.
  std::shared_ptr<BlogClient> client() const { return client_; }
  // The chosen site's client is logged in and has read its edit page.
  bool ready() const;
  // The blog's tags from the last edit page.
  std::vector<std::string> tags() const;
  StatusLine status() const { return status_; }
  QWidget& window() const { return *window_; }

  // Selection of a site in 组合框_网站名称 (the account fields are filled
  // already): signs in to it.
  void sitePicked();
  // 重新登录 (F5), and the chosen site picked again: signs in once more
  // with the account fields as they are.
  void logInAgain();
  // No site is chosen any more: the lists are emptied.
  void siteCleared();

  // The login of the chosen site with the account fields, each attempt off
  // the window thread with the step in the status line. True when the
  // client is ready to publish. `quiet` (a session that expired under a
  // post or upload): no success notice; the chosen category and author and
  // the date boxes are kept. They are kept too while the form changes an
  // article of a blog (editing mode).
  bool logIn(bool quiet = false);

  // What a publish or upload hands its client for a quiet renewal of an
  // expired session: the window's notices and captcha dialog, reached from
  // the worker thread.
  LoginHooks renewalHooks();
  // After an exchange renewed the session: the lists again, choice kept.
  void sessionRenewed();

  // While the window waits for the blog (`what`: "正在发布"), the article
  // form stays open to typing; the rest of the window holds its input back
  // and says so in the status line.
  std::unique_ptr<InputGate> keepFormOpen(const char* utf8What);

 signals:
  // The lists of the chosen site changed (a login, a renewal, a logout).
  void listsChanged();

 private:
  LoginHooks hooks();
  void showLists(bool keepChoice);

  BlogClients& clients_;
  SiteBar& sites_;
  ArticleForm& form_;
  StatusLine status_;
  QPointer<QWidget> window_;
  std::shared_ptr<BlogClient> client_;
  bool loggingIn_ = false;
};

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
const std::string& tooLargeNotice();        // an answer longer than a page can be
const std::string& editPageFailedNotice();  // logged in, but no edit page came
const std::string& noCategoriesNotice();    // the edit page lists no category
const std::string& chooseSiteNotice();      // "请先选择网站并登录"
const std::string& cancelledLoginNotice();  // "已取消登录" (取消 in the captcha dialog)
inline constexpr double kLoginRetrySeconds = 1.6;
inline constexpr double kLoginFailedSeconds = 2.0;
inline constexpr double kLoginDoneSeconds = 0.8;
inline constexpr double kLoginProblemSeconds = 2.6;

}  // namespace inkpost
