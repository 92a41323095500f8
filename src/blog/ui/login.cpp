#include "blog/ui/login.h"

#include "blog/ui/articleform.h"
#include "blog/ui/captchadialog.h"
#include "blog/ui/pageguard.h"
#include "common/ui/gbk.h"
#include "common/ui/toast.h"
#include "common/ui/wait.h"
#include "net/encoding.h"
#include "net/http.h"
#include "sites/ui/sitebar.h"

#include <QDateTime>

#include <map>

namespace inkpost {
namespace {

const std::string& notice(const char* utf8) {
  // One GBK copy per distinct text, made on first use (window thread only).
  static std::map<const char*, std::string> texts;
  auto it = texts.find(utf8);
  if (it == texts.end()) it = texts.emplace(utf8, fromUtf8(utf8)).first;
  return it->second;
}

}  // namespace

std::string loginRetryNotice(int attempt) {
  return fromUtf8("登录失败！进行第") + std::to_string(attempt) + fromUtf8("次尝试！");
}

const std::string& loginFailedNotice() { return notice("登录失败，请检查帐号密码！"); }
const std::string& loginDoneNotice() { return notice("          登录成功！          "); }
const std::string& unreachableNotice() { return notice("无法连接到博客，请检查网址和网络，再按F5重新登录！"); }
const std::string& tooLargeNotice() {
  return notice("博客的回答太大（超过16 MB），不像博客的页面，已中止。请检查网址是否指向博客，再按F5重新登录！");
}
const std::string& editPageFailedNotice() { return notice("登录后读取编辑页失败，暂不能发布，请按F5重新登录！"); }
const std::string& noCategoriesNotice() { return notice("编辑页中没有分类，暂不能发布，请检查博客后按F5重新登录！"); }
const std::string& chooseSiteNotice() { return notice("请先选择网站并登录"); }
const std::string& cancelledLoginNotice() { return notice("已取消登录"); }
const std::string& editPageBusyText() { return notice("正在读取编辑页…"); }

std::string loginBusyText(const std::string& siteName, int attempt) {
  return fromUtf8("正在登录 ") + siteName + fromUtf8("（第") + std::to_string(attempt) + fromUtf8("次）…");
}

CurrentBlog::CurrentBlog(BlogClients& clients, SiteBar& sites, ArticleForm& form, StatusLine status, QWidget& window)
    : QObject(&window), clients_(clients), sites_(sites), form_(form), status_(status), window_(&window) {}

bool CurrentBlog::ready() const {
  const std::optional<SiteRecord> chosen = sites_.chosenSite();
  return client_ && chosen && client_->address() == chosen->weburl && client_->ready();
}

std::vector<std::string> CurrentBlog::tags() const {
  return client_ ? client_->lists().tags : std::vector<std::string>{};
}

void CurrentBlog::showLists(bool keepChoice) {
  form_.setLists(client_ ? client_->lists() : EditPage{}, keepChoice);
  emit listsChanged();
}

LoginHooks CurrentBlog::hooks() {
  QPointer<QWidget> window = window_;
  StatusLine status = status_;
  const std::string name = client_ ? client_->site().webname : std::string();
  LoginHooks h;
  h.attemptStarting = [window, status, name](int attempt) mutable {
    runOnThreadOf(window, [&] { status.setText(toQ(loginBusyText(name, attempt))); });
  };
  // Edits made in the account fields meanwhile are what the next attempt uses.
  h.account = [this, window] {
    LoginAccount account;
    runOnThreadOf(window, [&] { account = {sites_.account(), sites_.password()}; });
    return account;
  };
  h.attemptFailed = [window](int attempt, LoginOutcome) {
    runOnThreadOf(window, [&] { ShowToast(window, loginRetryNotice(attempt), kLoginRetrySeconds); });
  };
  h.readingEditPage = [window, status]() mutable {
    runOnThreadOf(window, [&] { status.setText(toQ(editPageBusyText())); });
  };
  // The worker thread asks for a typed code on the window thread; the
  // dialog's 换一张 fetches off it again.
  h.ask = [window](const std::string& image, const std::function<std::string()>& another) {
    std::optional<std::string> code;
    runOnThreadOf(window, [&] { code = askCaptchaCode(window, image, another); });
    return code;
  };
  return h;
}

LoginHooks CurrentBlog::renewalHooks() { return hooks(); }

bool CurrentBlog::logIn(bool quiet) {
  const std::optional<SiteRecord> site = sites_.chosenSite();
  if (!site) return false;
  ReentryGuard once(loggingIn_);
  if (!once.entered()) return false;
  std::shared_ptr<BlogClient> client = clients_.clientFor(*site);
  if (client != client_) {
    client_ = client;
    showLists(false);  // never the lists of a site logged in to earlier
  }
  // The editor page may show what the blog serves.
  allowBlogAddress(client->address());
  const std::string account = sites_.account();
  const std::string password = sites_.password();
  BusyScope busy(status_, loginBusyText(site->webname, 1));
  const LoginHooks h = hooks();
  client->resetCancel();
  LoginReport report;
  {
    // The article stays open to typing while the blog answers.
    const std::unique_ptr<InputGate> gate = keepFormOpen("正在登录");
    runOffWindowThread([&] { report = client->logIn(account, password, h); }, WaitInput::Delivered);
  }
  // An article opened from the blog keeps its own category, author and
  // date through a login.
  const bool editing = form_.editingId() > 0;
  showLists(quiet || editing);
  switch (report.result) {
    case LoginResult::Ready:
      if (!quiet) {
        ShowToast(window_, loginDoneNotice(), kLoginDoneSeconds);
        // Dates the user typed, and an opened article's own, stay.
        if (!editing) form_.refreshUntouchedDates(QDateTime::currentDateTime());
      }
      return true;
    case LoginResult::Unreachable: {
      // Why nothing came, where the request layer knows (an untrusted
      // certificate, an unknown name).
      const std::string why = notSentReason(report.reached);
      ShowToast(window_, why.empty() ? unreachableNotice() : unreachableNotice() + "\n" + why, kLoginProblemSeconds);
      return false;
    }
    case LoginResult::NoCaptcha:
      ShowToast(window_, noCaptchaNotice(), kNoCaptchaSeconds);
      return false;
    case LoginResult::TooLarge:
      ShowToast(window_, tooLargeNotice(), kLoginProblemSeconds);
      return false;
    case LoginResult::NoEditPage:
      ShowToast(window_, editPageFailedNotice(), kLoginProblemSeconds);
      return false;
    case LoginResult::NoCategories:
      ShowToast(window_, noCategoriesNotice(), kLoginProblemSeconds);
      return false;
    case LoginResult::Cancelled:
      // The person chose 取消 in the captcha dialog: nothing about the password.
      ShowToast(window_, cancelledLoginNotice(), kLoginDoneSeconds * 1.5);
      return false;
    case LoginResult::Refused:
    case LoginResult::Interrupted:
      ShowToast(window_, loginFailedNotice(), kLoginFailedSeconds);
      return false;
  }
  return false;
}

void CurrentBlog::sessionRenewed() { showLists(true); }

std::unique_ptr<InputGate> CurrentBlog::keepFormOpen(const char* utf8What) {
  StatusLine status = status_;
  const QString text = QString::fromUtf8(utf8What) + QStringLiteral("，完成前只能继续编辑文章");
  return std::make_unique<InputGate>(window_.data(), std::vector<QWidget*>{&form_},
                                     [status, text]() mutable { status.flash(text, 3000); });
}

void CurrentBlog::sitePicked() { logIn(); }

void CurrentBlog::logInAgain() {
  if (!sites_.chosenSite()) {
    ShowToast(window_, chooseSiteNotice(), kLoginProblemSeconds);
    return;
  }
  logIn();
}

void CurrentBlog::siteCleared() {
  if (client_) client_->logOut();
  client_.reset();
  showLists(false);
}

}  // namespace inkpost
