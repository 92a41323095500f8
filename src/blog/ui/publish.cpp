#include "blog/ui/publish.h"

#include "blog/ui/articleform.h"
#include "blog/ui/login.h"
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
#include <QDateTime>

namespace inkpost {

void onTitleChanged(QWidget& window) { ArticleForm::of(window).followTitle(); }

void onAutoAliasClicked(QWidget& window) { ArticleForm::of(window).followTitle(); }

std::string selectedSiteAddress(QWidget& window) {
  std::string site = chooserEntryValues(siteChooserOf(window)).weburl;
  return site.empty() ? blogSession().site : site;
}

PostForm articleFields(QWidget& window) { return postFields(ArticleForm::of(window).fields()); }

void completeArticle(PostForm& form, const std::string& gbkBody, const std::string& root, const std::string& site) {
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

PostOutcome postWithSession(const std::string& site, const PostForm& form) {
  PostOutcome outcome = kPostNoAnswer;
  std::string cookie = blogSession().cookie;
  runOffWindowThread([&] { outcome = postArticle(site, form, cookie); });
  blogSession().cookie = cookie;
  return outcome;
}

bool readyToPublish(QWidget& window) {
  QComboBox* chooser = siteChooserOf(window);
  return chooser->currentIndex() >= 0 && blogSession().ready &&
         chooserEntryValues(chooser).weburl == blogSession().site;
}

}  // namespace

void publishArticle(QWidget& window) {
  static bool publishing = false;
  ReentryGuard once(publishing);
  if (!once.entered()) return;
  // Without a logged-in site the blog could only refuse, or worse store an
  // article without category and author: nothing is sent.
  if (!readyToPublish(window)) {
    ShowToast(&window, chooseSiteNotice(), kLoginProblemSeconds);
    return;
  }

  BusyScope busy(StatusLine::of(window), publishBusyText());
  ArticleForm& article = ArticleForm::of(window);
  article.refreshUntouchedDates(QDateTime::currentDateTime());
  const std::string body = article.body();
  const std::string site = selectedSiteAddress(window);
  PostForm form = postFields(article.fields());
  completeArticle(form, body, article.editorRoot(), site);

  PostOutcome outcome = postWithSession(site, form);
  if (outcome == kPostNeedsLogin) {
    // The session expired, and the blog said so before storing anything: a
    // fresh login, then the very same form once more.
    if (logInToChosenSite(window, true)) outcome = postWithSession(site, form);
    if (outcome == kPostNeedsLogin || !blogSession().ready) {
      ShowToast(&window, sessionExpiredNotice(), kLoginProblemSeconds);
      return;
    }
  }
  switch (outcome) {
    case kPostDone:
      ShowToast(&window, publishedNotice(), kPublishedSeconds);
      if (blogSession().published) blogSession().published(window);
      break;
    case kPostRefused:
    case kPostNeedsLogin:
      ShowToast(&window, refusedNotice(), kRefusedSeconds);
      return;
    case kPostNoAnswer:
      ShowToast(&window, unclearNotice(), kUnclearSeconds);
      break;
  }
  if (unitOf<QCheckBox>(window, "选择框_同步_百度空间")->isChecked() && blogSession().crossPost)
    blogSession().crossPost(window, article.title(), form.body);
}

}  // namespace inkpost
