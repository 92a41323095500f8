#include "drafts/ui/drafts.h"

#include "common/ui/busy.h"

#include "blog/ui/articleform.h"
#include "common/programdir.h"
#include "common/session.h"
#include "common/ui/gbk.h"
#include "common/ui/toast.h"
#include "common/ui/unit.h"
#include "images/gallery.h"
#include "images/ui/gallery.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QKeyEvent>
#include <QTime>
#include <QTimer>

#include <ctime>

namespace inkpost {
namespace {

// A list choice as stored: the item value, -1 when none was chosen.
long storedChoice(const std::string& value) { return value.empty() ? -1 : storedInteger(value); }

std::string choiceOf(long stored) { return stored < 0 ? std::string() : std::to_string(stored); }

QCheckBox* autoNameBox(QWidget& window) { return unitOf<QCheckBox>(window, "选择框_自动命名"); }
QTimer* saveTimer(QWidget& window) { return unitOf<QTimer>(window, "时钟_数据保存"); }
QComboBox* restoreBox(QWidget& window) { return unitOf<QComboBox>(window, "组合框_恢复数据"); }

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

DraftFields captureFields(QWidget& window) {
  return draftOf(ArticleForm::of(window).fields(), autoNameBox(window)->isChecked(), blogSession().gallery);
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

void ShowDraftNotices(QWidget& window) {
  for (const std::string& notice : takeDraftNotices()) ShowToast(&window, notice, 2.6);
}

void SaveDraft(QWidget& window, bool rotate) {
  QTimer* timer = saveTimer(window);
  timer->stop();
  const DraftFields fields = captureDraft(window);
  DraftStore store(draftFolder());
  bool saved = true;
  if (rotate)
    store.autosave(fields);  // an unchanged or empty article keeps the ring as it is
  else
    saved = store.saveManual(fields);
  timer->start(kDraftSaveIntervalMs);
  ShowDraftNotices(window);
  if (rotate) return;
  // A save the user asked for always says how it went.
  if (saved)
    StatusLine::of(window).flash(
        QStringLiteral("已手动保存 %1").arg(QTime::currentTime().toString(QStringLiteral("HH:mm:ss"))));
  else
    ShowToast(&window, fromQ(QStringLiteral("手动保存失败：无法写入temp文件夹，文章仍在窗口中。")), 2.6);
}

void restoreArticle(QWidget& window, const DraftFields& fields) {
  DraftStore store(draftFolder());
  if (!store.keepBeforeRestore(captureDraft(window))) {
    ShowToast(&window, fromQ(QStringLiteral("当前文章无法保存到temp文件夹，没有恢复，以免丢失。")), 2.6);
    return;
  }
  applyDraft(window, fields);
  RefreshRestoreList(window);
  ShowDraftNotices(window);
}

void RestoreDraft(QWidget& window, int slotData) {
  rearm(saveTimer(window));  // no automatic save may overtake the restore
  const std::string slot = slotNameFor(slotData);
  if (slot.empty()) return;
  DraftStore store(draftFolder());
  const std::optional<DraftFields> fields = store.load(slot);
  if (!fields) {
    ShowDraftNotices(window);
    ShowToast(&window, fromQ(QStringLiteral("这个时间点没有保存的数据！")), 1.2);
    return;
  }
  restoreArticle(window, *fields);
}

void RefreshRestoreList(QWidget& window) {
  QComboBox* box = restoreBox(window);
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
