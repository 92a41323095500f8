#include "blog/ui/publish.h"

#include "app/ui/gbk.h"
#include "app/ui/mainwindow.h"
#include "app/ui/toast.h"
#include "blog/alias.h"
#include "blog/session.h"
#include "blog/ui/editorbody.h"
#include "blog/ui/login.h"
#include "blog/ui/offthread.h"
#include "net/encoding.h"
#include "sites/ui/sitechooser.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QVariant>

namespace inkpost {

namespace {

// The item value of the current item of a list, in decimal; empty when the
// list has no current item or the item carries no value.
std::string itemValue(const QComboBox* box) {
  if (!box || box->currentIndex() < 0) return {};
  const QVariant v = box->currentData();
  if (!v.isValid()) return {};
  return fromQ(v.toString());
}

}  // namespace

CrossPostHook& crossPostHook() {
  static CrossPostHook hook;
  return hook;
}

void onTitleChanged(MainWindow& w) {
  if (w.autoAliasCheck->isChecked()) w.aliasEdit->setText(toQ(makeAlias(fromQ(w.titleEdit->text()))));
}

void onAutoAliasClicked(MainWindow& w) {
  if (w.autoAliasCheck->isChecked()) w.aliasEdit->setText(toQ(makeAlias(fromQ(w.titleEdit->text()))));
}

std::string selectedSiteAddress(const MainWindow& w) {
  std::string site = chooserEntryValues(w.siteChooser).weburl;
  return site.empty() ? sessionSite() : site;
}

ArticleForm articleFields(const MainWindow& w) {
  ArticleForm f;
  f.title = fromQ(w.titleEdit->text());
  f.categoryId = itemValue(w.categoryBox);
  f.tags = fromQ(w.tagsEdit->text());
  f.authorId = itemValue(w.authorBox);
  f.level = itemValue(w.typeBox);
  if (f.level.empty() && w.typeBox->currentIndex() >= 0) f.level = articleLevel(fromQ(w.typeBox->currentText()));
  f.year = fromQ(w.yearEdit->text());
  f.month = fromQ(w.monthEdit->text());
  f.day = fromQ(w.dayEdit->text());
  f.time = fromQ(w.timeEdit->text());
  f.alias = fromQ(w.aliasEdit->text());
  f.sticky = w.stickyCheck->isChecked();
  return f;
}

void completeArticle(ArticleForm& form, const std::string& gbkBody, const std::string& root,
                     const std::string& site) {
  form.body = replaceRootAddress(gbkBody, root, site);
  form.intro = makeIntro(form.body);
}

const std::string& publishBusyText() {
  static const std::string text = fromUtf8("正在发布…");
  return text;
}

const std::string& sessionExpiredNotice() {
  static const std::string text = fromUtf8("登录已过期，请重新登录");
  return text;
}

namespace {

PostOutcome postWithSession(MainWindow& w, const std::string& site, const ArticleForm& form) {
  BusyStep busy(w, publishBusyText());
  PostOutcome outcome = kPostNoAnswer;
  std::string cookie = sessionCookie();
  runOffWindowThread([&] { outcome = postArticle(site, form, cookie); });
  sessionCookie() = cookie;
  return outcome;
}

bool readyToPublish(const MainWindow& w) {
  return w.siteChooser->currentIndex() >= 0 && sessionReady() &&
         chooserEntryValues(w.siteChooser).weburl == sessionSite();
}

}  // namespace

void publishArticle(MainWindow& w) {
  // Without a logged-in site the blog could only refuse, or worse store an
  // article without category and author: nothing is sent.
  if (!readyToPublish(w)) {
    ShowToast(&w, chooseSiteNotice(), kLoginProblemSeconds);
    return;
  }
  const std::string body = editorBody(w.editorView);
  const std::string site = selectedSiteAddress(w);
  ArticleForm form = articleFields(w);
  completeArticle(form, body, editorRootAddress(w.editorView), site);

  PostOutcome outcome = postWithSession(w, site, form);
  if (outcome == kPostNeedsLogin) {
    // The session expired, and the blog said so before storing anything: a
    // fresh login, then the very same form once more.
    if (logInToChosenSite(w, true)) outcome = postWithSession(w, site, form);
    if (outcome == kPostNeedsLogin || !sessionReady()) {
      ShowToast(&w, sessionExpiredNotice(), kLoginProblemSeconds);
      return;
    }
  }
  switch (outcome) {
    case kPostDone:
      ShowToast(&w, publishedNotice(), kPublishedSeconds);
      break;
    case kPostRefused:
    case kPostNeedsLogin:
      ShowToast(&w, refusedNotice(), kRefusedSeconds);
      return;
    case kPostNoAnswer:
      ShowToast(&w, unclearNotice(), kUnclearSeconds);
      break;
  }
  if (w.syncSpaceCheck->isChecked() && crossPostHook()) crossPostHook()(w, fromQ(w.titleEdit->text()), form.body);
}

}  // namespace inkpost
