#include "blog/ui/login.h"

#include "app/ui/gbk.h"
#include "app/ui/mainwindow.h"
#include "app/ui/toast.h"
#include "blog/editpage.h"
#include "blog/login.h"
#include "blog/session.h"
#include "blog/ui/captchadialog.h"
#include "blog/ui/offthread.h"
#include "net/encoding.h"
#include "sites/ui/sitechooser.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>

#include <map>

namespace inkpost {
namespace {

const std::string& notice(const char* utf8) {
  // One GBK copy per distinct text, made on first use.
  static std::map<const char*, std::string> texts;
  auto it = texts.find(utf8);
  if (it == texts.end()) it = texts.emplace(utf8, fromUtf8(utf8)).first;
  return it->second;
}

std::string chosenSiteName(const MainWindow& w) {
  const std::optional<SiteRecord> record = chooserSite(w.siteChooser);
  return record ? record->webname : fromQ(w.siteChooser->currentText());
}

// Puts back the item whose value was current, when the list still has it.
void chooseValue(QComboBox* box, const QVariant& value) {
  if (!value.isValid()) return;
  const int i = box->findData(value);
  if (i >= 0) box->setCurrentIndex(i);
}

}  // namespace

std::string loginRetryNotice(int attempt) {
  return fromUtf8("登录失败！进行第") + std::to_string(attempt) + fromUtf8("次尝试！");
}

const std::string& loginFailedNotice() { return notice("登录失败，请检查帐号密码！"); }
const std::string& loginDoneNotice() { return notice("          登录成功！          "); }
const std::string& unreachableNotice() { return notice("无法连接到博客，请检查网址和网络，再按F5重新登录！"); }
const std::string& editPageFailedNotice() { return notice("登录后读取编辑页失败，暂不能发布，请按F5重新登录！"); }
const std::string& noCategoriesNotice() { return notice("编辑页中没有分类，暂不能发布，请检查博客后按F5重新登录！"); }
const std::string& chooseSiteNotice() { return notice("请先选择网站并登录"); }
const std::string& editPageBusyText() { return notice("正在读取编辑页…"); }

std::string loginBusyText(const std::string& siteName, int attempt) {
  return fromUtf8("正在登录 ") + siteName + fromUtf8("（第") + std::to_string(attempt) + fromUtf8("次）…");
}

void fillDateBoxes(MainWindow& w, const QDateTime& now) {
  const QDate d = now.date();
  const QTime t = now.time();
  w.yearEdit->setText(QString::number(d.year()));
  w.monthEdit->setText(QString::number(d.month()));
  w.dayEdit->setText(QString::number(d.day()));
  w.timeEdit->setText(QStringLiteral("%1:%2:%3").arg(t.hour()).arg(t.minute()).arg(t.second()));
}

void forgetBlogLists(MainWindow& w) {
  sessionReady() = false;
  w.categoryBox->clear();
  w.authorBox->clear();
  blogTags().clear();
}

EditPageLoad loadEditPage(MainWindow& w, bool keepChoice) {
  const std::string site = chooserEntryValues(w.siteChooser).weburl;
  const QVariant category = w.categoryBox->currentData();
  const QVariant author = w.authorBox->currentData();
  std::string cookie = sessionCookie();
  std::string html;
  runOffWindowThread([&] { html = fetchEditPage(site, cookie); });
  sessionCookie() = cookie;
  const EditPage page = parseEditPage(html);
  // Both lists start empty, so an article can never go out with a category
  // or author of a site logged in to earlier.
  forgetBlogLists(w);
  if (html.empty()) return EditPageLoad::NoPage;
  if (page.categories.empty()) return EditPageLoad::NoCategories;
  for (const PageOption& o : page.categories) w.categoryBox->addItem(toQ(o.name), o.value);
  for (const PageOption& o : page.authors) {
    w.authorBox->addItem(toQ(o.name), o.value);
    if (o.selected) w.authorBox->setCurrentIndex(w.authorBox->count() - 1);
  }
  if (keepChoice) {
    chooseValue(w.categoryBox, category);
    chooseValue(w.authorBox, author);
  }
  blogTags() = page.tags;
  return EditPageLoad::Loaded;
}

bool logInToChosenSite(MainWindow& w, bool quiet) {
  if (w.siteChooser->currentIndex() < 0) return false;
  sessionReady() = false;
  const std::string name = chosenSiteName(w);
  BusyStep busy(w, loginBusyText(name, 1));

  // The worker thread asks for a typed code on the window thread; the
  // dialog's 换一张 fetches off it again.
  LoginAsk ask;
  ask.ask = [&w](const std::string& image, const std::function<std::string()>& another) {
    std::optional<std::string> code;
    runOnThreadOf(&w, [&] { code = askCaptchaCode(&w, image, another); });
    return code;
  };

  LoginOutcome outcome = LoginOutcome::Refused;
  for (int attempt = 0; attempt < kLoginAttempts; ++attempt) {
    busy.setText(loginBusyText(name, attempt + 1));
    // Edits made in the boxes meanwhile are what the next attempt uses.
    const std::string site = chooserEntryValues(w.siteChooser).weburl;
    const std::string account = fromQ(w.accountEdit->text());
    const std::string password = fromQ(w.passwordEdit->text());
    sessionSite() = site;
    ask.lastAttempt = attempt + 1 == kLoginAttempts;
    std::string cookie = sessionCookie();
    runOffWindowThread([&] { outcome = loginAttempt(site, account, password, cookie, ask); });
    sessionCookie() = cookie;
    if (outcome == LoginOutcome::Done || outcome == LoginOutcome::Cancelled) break;
    if (outcome == LoginOutcome::Unreachable) {
      // Another attempt would only wait as long again.
      forgetBlogLists(w);
      ShowToast(&w, unreachableNotice(), kLoginProblemSeconds);
      return false;
    }
    ShowToast(&w, loginRetryNotice(attempt + 1), kLoginRetrySeconds);
  }
  if (outcome != LoginOutcome::Done) {
    forgetBlogLists(w);
    ShowToast(&w, loginFailedNotice(), kLoginFailedSeconds);
    return false;
  }

  // The login counts once the edit page has given the lists an article needs.
  busy.setText(editPageBusyText());
  const EditPageLoad load = loadEditPage(w, quiet);
  if (load != EditPageLoad::Loaded) {
    ShowToast(&w, load == EditPageLoad::NoPage ? editPageFailedNotice() : noCategoriesNotice(), kLoginProblemSeconds);
    return false;
  }
  sessionReady() = true;
  if (!quiet) {
    ShowToast(&w, loginDoneNotice(), kLoginDoneSeconds);
    fillDateBoxes(w, QDateTime::currentDateTime());
  }
  return true;
}

void onSiteSelected(MainWindow& w) {
  if (w.siteChooser->currentIndex() < 0) {  // the list was emptied: nothing to log in to
    forgetBlogLists(w);
    return;
  }
  const ChooserValues entry = chooserEntryValues(w.siteChooser);
  w.accountEdit->setText(toQ(entry.admin));
  w.passwordEdit->setText(toQ(entry.pass));
  w.autoAliasCheck->setChecked(entry.ikname == "1");
  w.autoNameCheck->setChecked(entry.imgname == "1");
  logInToChosenSite(w);
}

void loginAgain(MainWindow& w) {
  if (w.siteChooser->currentIndex() < 0) {
    ShowToast(&w, chooseSiteNotice(), kLoginProblemSeconds);
    return;
  }
  logInToChosenSite(w);
}

}  // namespace inkpost
