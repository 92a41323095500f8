#include "blog/ui/login.h"

#include "blog/editpage.h"
#include "blog/login.h"
#include "blog/ui/articleform.h"
#include "blog/ui/captchadialog.h"
#include "common/session.h"
#include "common/ui/busy.h"
#include "common/ui/gbk.h"
#include "common/ui/toast.h"
#include "common/ui/unit.h"
#include "common/ui/wait.h"
#include "net/encoding.h"
#include "sites/ui/sitechooser.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>

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

std::string chosenSiteName(QComboBox* chooser) {
  const std::optional<SiteRecord> record = chooserSite(chooser);
  return record ? record->webname : fromQ(chooser->currentText());
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

void fillDateBoxes(QWidget& window, const QDateTime& now) { ArticleForm::of(window).fillDates(now); }

void forgetBlogLists(QWidget& window) {
  blogSession().ready = false;
  ArticleForm& form = ArticleForm::of(window);
  form.setCategories({});
  form.setAuthors({});
  blogSession().tags.clear();
}

EditPageLoad loadEditPage(QWidget& window, bool keepChoice) {
  const std::string site = chooserEntryValues(siteChooserOf(window)).weburl;
  ArticleForm& form = ArticleForm::of(window);
  auto* authors = unitOf<QComboBox>(window, "组合框_用户");
  const QVariant category = form.categoryBox()->currentData();
  const QVariant author = authors->currentData();
  std::string cookie = blogSession().cookie;
  std::string html;
  runOffWindowThread([&] { html = fetchEditPage(site, cookie); });
  blogSession().cookie = cookie;
  const EditPage page = parseEditPage(html);
  // Both lists start empty, so an article can never go out with a category
  // or author of a site logged in to earlier.
  forgetBlogLists(window);
  if (html.empty()) return EditPageLoad::NoPage;
  if (page.categories.empty()) return EditPageLoad::NoCategories;
  form.setCategories(page.categories);
  form.setAuthors(page.authors);
  if (keepChoice) {
    chooseValue(form.categoryBox(), category);
    chooseValue(authors, author);
  }
  blogSession().tags = page.tags;
  return EditPageLoad::Loaded;
}

bool logInToChosenSite(QWidget& window, bool quiet) {
  QComboBox* chooser = siteChooserOf(window);
  if (chooser->currentIndex() < 0) return false;
  static bool loggingIn = false;
  ReentryGuard once(loggingIn);
  if (!once.entered()) return false;
  blogSession().ready = false;
  auto* account = unitOf<QLineEdit>(window, "编辑框_帐号");
  auto* password = unitOf<QLineEdit>(window, "编辑框_密码");
  const std::string name = chosenSiteName(chooser);
  BusyScope busy(StatusLine::of(window), loginBusyText(name, 1));

  // The worker thread asks for a typed code on the window thread; the
  // dialog's 换一张 fetches off it again.
  LoginAsk ask;
  ask.ask = [&window](const std::string& image, const std::function<std::string()>& another) {
    std::optional<std::string> code;
    runOnThreadOf(&window, [&] { code = askCaptchaCode(&window, image, another); });
    return code;
  };

  LoginOutcome outcome = LoginOutcome::Refused;
  for (int attempt = 0; attempt < kLoginAttempts; ++attempt) {
    busy.setText(loginBusyText(name, attempt + 1));
    // Edits made in the boxes meanwhile are what the next attempt uses.
    const std::string site = chooserEntryValues(chooser).weburl;
    const std::string user = fromQ(account->text());
    const std::string pass = fromQ(password->text());
    blogSession().site = site;
    ask.lastAttempt = attempt + 1 == kLoginAttempts;
    std::string cookie = blogSession().cookie;
    runOffWindowThread([&] { outcome = loginAttempt(site, user, pass, cookie, ask); });
    blogSession().cookie = cookie;
    if (outcome == LoginOutcome::Done || outcome == LoginOutcome::Cancelled) break;
    if (outcome == LoginOutcome::Unreachable) {
      // Another attempt would only wait as long again.
      forgetBlogLists(window);
      ShowToast(&window, unreachableNotice(), kLoginProblemSeconds);
      return false;
    }
    ShowToast(&window, loginRetryNotice(attempt + 1), kLoginRetrySeconds);
  }
  if (outcome != LoginOutcome::Done) {
    forgetBlogLists(window);
    ShowToast(&window, loginFailedNotice(), kLoginFailedSeconds);
    return false;
  }

  // The login counts once the edit page has given the lists an article needs.
  busy.setText(editPageBusyText());
  const EditPageLoad load = loadEditPage(window, quiet);
  if (load != EditPageLoad::Loaded) {
    ShowToast(&window, load == EditPageLoad::NoPage ? editPageFailedNotice() : noCategoriesNotice(),
              kLoginProblemSeconds);
    return false;
  }
  blogSession().ready = true;
  if (!quiet) {
    ShowToast(&window, loginDoneNotice(), kLoginDoneSeconds);
    fillDateBoxes(window, QDateTime::currentDateTime());
  }
  return true;
}

void onSiteSelected(QWidget& window) {
  QComboBox* chooser = siteChooserOf(window);
  if (chooser->currentIndex() < 0) {  // the list was emptied: nothing to log in to
    forgetBlogLists(window);
    return;
  }
  const ChooserValues entry = chooserEntryValues(chooser);
  unitOf<QLineEdit>(window, "编辑框_帐号")->setText(toQ(entry.admin));
  unitOf<QLineEdit>(window, "编辑框_密码")->setText(toQ(entry.pass));
  ArticleForm::of(window).setAutoAlias(entry.ikname == "1");
  unitOf<QCheckBox>(window, "选择框_自动命名")->setChecked(entry.imgname == "1");
  logInToChosenSite(window);
}

void loginAgain(QWidget& window) {
  if (siteChooserOf(window)->currentIndex() < 0) {
    ShowToast(&window, chooseSiteNotice(), kLoginProblemSeconds);
    return;
  }
  logInToChosenSite(window);
}

}  // namespace inkpost
