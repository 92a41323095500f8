#include "drafts/ui/drafts.h"

#include "app/programdir.h"
#include "app/ui/gbk.h"
#include "app/ui/mainwindow.h"
#include "app/ui/toast.h"
#include "blog/publish.h"
#include "blog/ui/editorbody.h"
#include "images/gallery.h"
#include "images/ui/gallery.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QTimer>

namespace inkpost {
namespace {

// The item data of an entry. Entries of the article type list that carry
// none stand for their fixed level (草稿文章 1 ... 普通文章 4).
long itemValue(const QComboBox* box, int index) {
  const QVariant data = box->itemData(index);
  if (!data.isValid()) {
    const std::string level = articleLevel(fromQ(box->itemText(index)));
    if (!level.empty()) return storedInteger(level);
  }
  return data.toInt();
}

// The item data of the selected entry; -1 when nothing is selected.
long selectedValue(const QComboBox* box) {
  int index = box->currentIndex();
  if (index < 0 || index >= box->count()) return -1;
  return itemValue(box, index);
}

// Selects the first entry whose item data is value; none leaves it alone.
void selectValue(QComboBox* box, long value) {
  for (int i = 0; i < box->count(); ++i) {
    if (itemValue(box, i) == value) {
      box->setCurrentIndex(i);
      return;
    }
  }
}

std::string text(const QLineEdit* edit) { return fromQ(edit->text()); }

void rearm(QTimer* timer) {
  timer->stop();
  timer->start(kDraftSaveIntervalMs);
}

}  // namespace

std::string draftFolder() { return programPath("temp"); }

DraftFields captureDraft(MainWindow& w) {
  DraftFields f;
  f.title = text(w.titleEdit);
  f.category = selectedValue(w.categoryBox);
  f.tags = text(w.tagsEdit);
  f.author = selectedValue(w.authorBox);
  f.alias = text(w.aliasEdit);
  f.type = selectedValue(w.typeBox);
  f.year = text(w.yearEdit);
  f.month = text(w.monthEdit);
  f.day = text(w.dayEdit);
  f.time = text(w.timeEdit);
  f.sticky = w.stickyCheck->isChecked();
  f.autoName = w.autoNameCheck->isChecked();
  f.autoAlias = w.autoAliasCheck->isChecked();
  f.gallery = galleryList();
  f.body = editorBody(w.editorView);
  return f;
}

void applyDraft(MainWindow& w, const DraftFields& f) {
  w.titleEdit->setText(toQ(f.title));
  selectValue(w.categoryBox, f.category);
  w.tagsEdit->setText(toQ(f.tags));  // the Tags picker follows the change
  selectValue(w.authorBox, f.author);
  w.aliasEdit->setText(toQ(f.alias));
  selectValue(w.typeBox, f.type);
  w.yearEdit->setText(toQ(f.year));
  w.monthEdit->setText(toQ(f.month));
  w.dayEdit->setText(toQ(f.day));
  w.timeEdit->setText(toQ(f.time));
  w.stickyCheck->setChecked(f.sticky);
  w.autoNameCheck->setChecked(f.autoName);
  w.autoAliasCheck->setChecked(f.autoAlias);
  galleryList() = f.gallery;
  RebuildGallery(w);
  setEditorBody(w.editorView, f.body);
}

void SaveDraft(MainWindow& w, bool rotate) {
  w.saveTimer->stop();
  const DraftFields fields = captureDraft(w);
  DraftStore store(draftFolder());
  if (rotate)
    store.saveRing(fields);
  else
    store.saveManual(fields);
  w.saveTimer->start(kDraftSaveIntervalMs);
}

void RestoreDraft(MainWindow& w, int slotData) {
  rearm(w.saveTimer);  // no automatic save may overtake the restore
  const std::string slot = slotNameFor(slotData);
  if (slot.empty()) return;
  DraftStore store(draftFolder());
  const std::optional<DraftFields> fields = store.load(slot);
  if (!fields) {
    ShowToast(&w, fromQ(QStringLiteral("这个时间点没有保存的数据！")), 1.2);
    return;
  }
  applyDraft(w, *fields);
}

}  // namespace inkpost
