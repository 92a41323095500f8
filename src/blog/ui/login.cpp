#include "blog/ui/login.h"

#include "app/ui/gbk.h"
#include "app/ui/busy.h"
#include "app/ui/wait.h"
#include "blog/ui/articleform.h"
#include "app/ui/toast.h"
#include "blog/editpage.h"
#include "app/ui/unit.h"
#include "blog/login.h"
#include "app/session.h"
#include "net/encoding.h"
#include "sites/ui/sitechooser.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>

namespace inkpost {

std::string loginRetryNotice(int attempt) {
  return fromUtf8("登录失败！进行第") + std::to_string(attempt) + fromUtf8("次尝试！");
}

const std::string& loginFailedNotice() {
  static const std::string text = fromUtf8("登录失败，请检查帐号密码！");
  return text;
}

const std::string& loginDoneNotice() {
  static const std::string text = fromUtf8("          登录成功！          ");
  return text;
}

std::string loginBusyText(const std::string& siteName, int attempt) {
  return fromUtf8("正在登录 ") + siteName + fromUtf8("（第") + std::to_string(attempt) + fromUtf8("次）…");
}

void fillDateBoxes(QWidget& window, const QDateTime& now) { ArticleForm::of(window).fillDates(now); }

void loadEditPage(QWidget& window) {
  const std::string site = chooserEntryValues(siteChooserOf(window)).weburl;
  const EditPage page = parseEditPage(fetchEditPage(site, blogSession().cookie));
  // Both lists start empty, so an article can never go out with a category
  // or author of a site logged in to earlier.
  ArticleForm& form = ArticleForm::of(window);
  form.setCategories(page.categories);
  form.setAuthors(page.authors);
  blogSession().tags = page.tags;
}

void onSiteSelected(QWidget& window) {
  QComboBox* chooser = siteChooserOf(window);
  if (chooser->currentIndex() < 0) return;  // the list was emptied: nothing to log in to
  static bool loggingIn = false;
  ReentryGuard once(loggingIn);
  if (!once.entered()) return;
  auto* account = unitOf<QLineEdit>(window, "编辑框_帐号");
  auto* password = unitOf<QLineEdit>(window, "编辑框_密码");
  const ChooserValues entry = chooserEntryValues(chooser);
  account->setText(toQ(entry.admin));
  password->setText(toQ(entry.pass));
  ArticleForm& form = ArticleForm::of(window);
  form.setAutoAlias(entry.ikname == "1");
  unitOf<QCheckBox>(window, "选择框_自动命名")->setChecked(entry.imgname == "1");

  const std::optional<SiteRecord> record = chooserSite(chooser);
  const std::string siteName = record ? record->webname : fromQ(chooser->currentText());
  BusyScope busy(StatusLine::of(window), loginBusyText(siteName, 1));
  bool loggedIn = false;
  for (int attempt = 0; attempt < kLoginAttempts && !loggedIn; ++attempt) {
    busy.setText(loginBusyText(siteName, attempt + 1));
    // Edits made in the boxes meanwhile are what the next attempt uses.
    const std::string site = chooserEntryValues(chooser).weburl;
    blogSession().site = site;
    loggedIn = blogLogin(site, fromQ(account->text()), fromQ(password->text()), blogSession().cookie);
    if (!loggedIn) ShowToast(&window, loginRetryNotice(attempt + 1), kLoginRetrySeconds);
  }
  if (!loggedIn) {
    ShowToast(&window, loginFailedNotice(), kLoginFailedSeconds);
    return;
  }
  ShowToast(&window, loginDoneNotice(), kLoginDoneSeconds);
  loadEditPage(window);
  form.fillDates(QDateTime::currentDateTime());
}

}  // namespace inkpost
