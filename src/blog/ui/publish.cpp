#include "blog/ui/publish.h"

#include "app/session.h"
#include "app/ui/busy.h"
#include "app/ui/gbk.h"
#include "app/ui/toast.h"
#include "app/ui/unit.h"
#include "app/ui/wait.h"
#include "blog/ui/articleform.h"
#include "net/encoding.h"
#include "sites/ui/sitechooser.h"

#include <QCheckBox>

namespace inkpost {

void onTitleChanged(QWidget& window) { ArticleForm::of(window).followTitle(); }

void onAutoAliasClicked(QWidget& window) { ArticleForm::of(window).followTitle(); }

std::string selectedSiteAddress(QWidget& window) {
  std::string site = chooserEntryValues(siteChooserOf(window)).weburl;
  return site.empty() ? blogSession().site : site;
}

PostForm articleFields(QWidget& window) { return postFields(ArticleForm::of(window).fields()); }

void completeArticle(PostForm& form, const std::string& gbkBody, const std::string& root,
                     const std::string& site) {
  form.body = replaceRootAddress(gbkBody, root, site);
  form.intro = makeIntro(form.body);
}

void publishArticle(QWidget& window) {
  static bool publishing = false;
  ReentryGuard once(publishing);
  if (!once.entered()) return;
  BusyScope busy(StatusLine::of(window), fromUtf8("正在发布…"));

  ArticleForm& article = ArticleForm::of(window);
  const std::string body = article.body();
  const std::string site = selectedSiteAddress(window);
  PostForm form = postFields(article.fields());
  completeArticle(form, body, article.editorRoot(), site);

  const PostOutcome outcome = postArticle(site, form, blogSession().cookie);
  switch (outcome) {
    case kPostDone:
      ShowToast(&window, publishedNotice(), kPublishedSeconds);
      if (blogSession().published) blogSession().published(window);
      break;
    case kPostRefused:
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
