#include "blog/ui/publish.h"

#include "app/ui/gbk.h"
#include "app/ui/mainwindow.h"
#include "app/ui/toast.h"
#include "blog/alias.h"
#include "blog/session.h"
#include "blog/ui/editorbody.h"
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

PublishedHook& publishedHook() {
  static PublishedHook hook;
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

void publishArticle(MainWindow& w) {
  const std::string body = editorBody(w.editorView);
  const std::string site = selectedSiteAddress(w);
  ArticleForm form = articleFields(w);
  completeArticle(form, body, editorRootAddress(w.editorView), site);

  const PostOutcome outcome = postArticle(site, form, sessionCookie());
  switch (outcome) {
    case kPostDone:
      ShowToast(&w, publishedNotice(), kPublishedSeconds);
      if (publishedHook()) publishedHook()(w);
      break;
    case kPostRefused:
      ShowToast(&w, refusedNotice(), kRefusedSeconds);
      return;
    case kPostNoAnswer:
      ShowToast(&w, unclearNotice(), kUnclearSeconds);
      break;
  }
  if (w.syncSpaceCheck->isChecked() && crossPostHook()) crossPostHook()(w, fromQ(w.titleEdit->text()), form.body);
}

}  // namespace inkpost
