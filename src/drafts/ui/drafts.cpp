#include "drafts/ui/drafts.h"

#include "app/programdir.h"
#include "app/session.h"
#include "app/ui/gbk.h"
#include "app/ui/toast.h"
#include "app/ui/unit.h"
#include "blog/ui/articleform.h"
#include "images/gallery.h"
#include "images/ui/gallery.h"

#include <QCheckBox>
#include <QTimer>

namespace inkpost {
namespace {

// A list choice as stored: the item value, -1 when none was chosen.
long storedChoice(const std::string& value) { return value.empty() ? -1 : storedInteger(value); }

std::string choiceOf(long stored) { return stored < 0 ? std::string() : std::to_string(stored); }

QCheckBox* autoNameBox(QWidget& window) { return unitOf<QCheckBox>(window, "选择框_自动命名"); }
QTimer* saveTimer(QWidget& window) { return unitOf<QTimer>(window, "时钟_数据保存"); }

void rearm(QTimer* timer) {
  timer->stop();
  timer->start(kDraftSaveIntervalMs);
}

}  // namespace

std::string draftFolder() { return programPath("temp"); }

DraftFields draftOf(const Article& a, bool autoName, const std::vector<std::string>& gallery) {
  DraftFields f;
  f.title = a.title;
  f.category = storedChoice(a.category);
  f.tags = a.tags;
  f.author = storedChoice(a.author);
  f.alias = a.alias;
  f.type = storedChoice(a.type);
  f.year = a.year;
  f.month = a.month;
  f.day = a.day;
  f.time = a.time;
  f.sticky = a.sticky;
  f.autoName = autoName;
  f.autoAlias = a.autoAlias;
  f.gallery = gallery;
  f.body = a.body;
  return f;
}

Article articleOf(const DraftFields& f) {
  Article a;
  a.title = f.title;
  a.category = choiceOf(f.category);
  a.tags = f.tags;
  a.author = choiceOf(f.author);
  a.alias = f.alias;
  a.type = choiceOf(f.type);
  a.year = f.year;
  a.month = f.month;
  a.day = f.day;
  a.time = f.time;
  a.sticky = f.sticky;
  a.autoAlias = f.autoAlias;
  a.body = f.body;
  return a;
}

DraftFields captureDraft(QWidget& window) {
  return draftOf(ArticleForm::of(window).article(), autoNameBox(window)->isChecked(), blogSession().gallery);
}

void applyDraft(QWidget& window, const DraftFields& f) {
  // The form puts the fields back in the file's key order; the image
  // option and the gallery follow.
  ArticleForm::of(window).setArticle(articleOf(f));
  autoNameBox(window)->setChecked(f.autoName);
  blogSession().gallery = f.gallery;
  RebuildGallery(window);
}

void SaveDraft(QWidget& window, bool rotate) {
  QTimer* timer = saveTimer(window);
  timer->stop();
  const DraftFields fields = captureDraft(window);
  DraftStore store(draftFolder());
  if (rotate)
    store.saveRing(fields);
  else
    store.saveManual(fields);
  timer->start(kDraftSaveIntervalMs);
}

void RestoreDraft(QWidget& window, int slotData) {
  rearm(saveTimer(window));  // no automatic save may overtake the restore
  const std::string slot = slotNameFor(slotData);
  if (slot.empty()) return;
  DraftStore store(draftFolder());
  const std::optional<DraftFields> fields = store.load(slot);
  if (!fields) {
    ShowToast(&window, fromQ(QStringLiteral("这个时间点没有保存的数据！")), 1.2);
    return;
  }
  applyDraft(window, *fields);
}

}  // namespace inkpost
