#include "drafts/ui/drafts.h"

#include "app/programdir.h"
#include "app/ui/gbk.h"
#include "app/ui/mainwindow.h"
#include "app/ui/toast.h"
#include "blog/publish.h"
#include "blog/ui/editorbody.h"
#include "images/gallery.h"
#include "images/ui/gallery.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTimer>

#include <ctime>

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

// The bare caption of a restore entry.
QString baseCaption(int slotData) {
  if (slotData == kBeforeRestoreData) return QStringLiteral("恢复前的内容");
  if (slotData == 0) return QStringLiteral("手动保存");
  if (slotData < 0) return QStringLiteral("不恢复");
  return QStringLiteral("%1分钟前").arg(slotData);
}

}  // namespace

std::string draftFolder() { return programPath("temp"); }

DraftFields captureFields(MainWindow& w) {
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
  return f;
}

DraftFields captureDraft(MainWindow& w) {
  DraftFields f = captureFields(w);
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

void ShowDraftNotices(MainWindow& w) {
  for (const std::string& notice : takeDraftNotices()) ShowToast(&w, notice, 2.6);
}

void SaveDraft(MainWindow& w, bool rotate) {
  w.saveTimer->stop();
  const DraftFields fields = captureDraft(w);
  DraftStore store(draftFolder());
  if (rotate)
    store.autosave(fields);  // an unchanged or empty article keeps the ring as it is
  else
    store.saveManual(fields);
  w.saveTimer->start(kDraftSaveIntervalMs);
  ShowDraftNotices(w);
}

void restoreArticle(MainWindow& w, const DraftFields& fields) {
  DraftStore store(draftFolder());
  if (!store.keepBeforeRestore(captureDraft(w))) {
    ShowToast(&w, fromQ(QStringLiteral("当前文章无法保存到temp文件夹，没有恢复，以免丢失。")), 2.6);
    return;
  }
  applyDraft(w, fields);
  RefreshRestoreList(w);
  ShowDraftNotices(w);
}

void RestoreDraft(MainWindow& w, int slotData) {
  rearm(w.saveTimer);  // no automatic save may overtake the restore
  const std::string slot = slotNameFor(slotData);
  if (slot.empty()) return;
  DraftStore store(draftFolder());
  const std::optional<DraftFields> fields = store.load(slot);
  if (!fields) {
    ShowDraftNotices(w);
    ShowToast(&w, fromQ(QStringLiteral("这个时间点没有保存的数据！")), 1.2);
    return;
  }
  restoreArticle(w, *fields);
}

void RefreshRestoreList(MainWindow& w) {
  QComboBox* box = w.restoreBox;
  DraftStore store(draftFolder());
  store.repair();
  const int beforeAt = box->findData(kBeforeRestoreData);
  const bool haveBefore = store.exists(kBeforeRestoreSlot);
  if (haveBefore && beforeAt < 0)
    box->insertItem(0, baseCaption(kBeforeRestoreData), kBeforeRestoreData);
  else if (!haveBefore && beforeAt >= 0)
    box->removeItem(beforeAt);
  const long long now = static_cast<long long>(std::time(nullptr));
  for (int i = 0; i < box->count(); ++i) {
    const int data = box->itemData(i).toInt();
    const QString base = baseCaption(data);
    const std::optional<SlotInfo> info = store.info(slotNameFor(data));
    box->setItemText(i, info ? toQ(slotCaption(fromQ(base), *info, now)) : base);
  }
  box->view()->setMinimumWidth(box->view()->sizeHintForColumn(0) + 24);
}

CloseEvents::CloseEvents(QWidget* window) : QObject(window) { window->installEventFilter(this); }

bool CloseEvents::eventFilter(QObject*, QEvent* event) {
  if (event->type() == QEvent::Close) emit closing();
  return false;
}

RestoreListEvents::RestoreListEvents(QComboBox* box) : QObject(box) { box->installEventFilter(this); }

bool RestoreListEvents::eventFilter(QObject*, QEvent* event) {
  if (event->type() == QEvent::MouseButtonPress) {
    emit opening();
  } else if (event->type() == QEvent::KeyPress) {
    const auto* key = static_cast<QKeyEvent*>(event);
    const bool alt = key->modifiers() & Qt::AltModifier;
    if (key->key() == Qt::Key_F4 || key->key() == Qt::Key_Space ||
        (alt && (key->key() == Qt::Key_Down || key->key() == Qt::Key_Up)))
      emit opening();
  }
  return false;
}

}  // namespace inkpost
