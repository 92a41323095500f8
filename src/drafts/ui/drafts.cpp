#include "drafts/ui/drafts.h"

#include "blog/editortext.h"
#include "blog/ui/articleform.h"
#include "common/programdir.h"
#include "common/ui/gbk.h"
#include "common/ui/toast.h"
#include "common/ui/unit.h"
#include "common/ui/unitnames.h"
#include "drafts/ui/recoverykeeper.h"
#include "images/gallery.h"
#include "images/ui/gallery.h"
#include "images/ui/imagepanel.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QDateTime>
#include <QEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPushButton>
#include <QTime>
#include <QTimer>

#include <climits>
#include <ctime>

namespace inkpost {
namespace {

// A list choice as stored: the item value, -1 when none was chosen.
long storedChoice(const std::string& value) { return value.empty() ? -1 : storedInteger(value); }

std::string choiceOf(long stored) { return stored < 0 ? std::string() : std::to_string(stored); }

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

DraftsBar::DraftsBar(QWidget* parent) : QWidget(parent) {
  auto* r = new QHBoxLayout(this);
  r->setContentsMargins(0, 0, 0, 0);
  r->setSpacing(4);
  r->addWidget(fieldCaption("恢复："));
  restore_ = unit<QComboBox>(unitname::kRestoreBox);
  // Item data selects the draft slot: -1 none, 0 the manual slot, 1..10 the ring.
  restore_->addItem(QStringLiteral("不恢复"), -1);
  restore_->addItem(QStringLiteral("手动保存"), 0);
  for (int i = 1; i <= 10; ++i) restore_->addItem(QStringLiteral("%1分钟前").arg(i), i);
  restore_->setMinimumWidth(120);
  restore_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  restore_->setMinimumContentsLength(8);
  r->addWidget(restore_);
  save_ = unit<QPushButton>(unitname::kManualSave);
  save_->setText(QStringLiteral("手动保存"));
  save_->setToolTip(QStringLiteral("手动保存 (Ctrl+S)"));
  save_->setFixedSize(90, 26);
  r->addWidget(save_);
  timer_ = new QTimer(this);
  timer_->setObjectName(QString::fromUtf8(unitname::kSaveTimer));
  timer_->setInterval(kDraftSaveIntervalMs);
}

DraftsBar::~DraftsBar() = default;

void DraftsBar::attach(ArticleForm& form, ImagePanel& images, StatusLine status) {
  form_ = &form;
  images_ = &images;
  status_ = status;
  recovery_ = new RecoveryKeeper(*this);
}

RecoveryKeeper& DraftsBar::recovery() { return *recovery_; }

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
  if (a.id > 0) {
    f.articleId = a.id;
    f.articleSite = a.site;
    f.articleIntro = a.intro;
  }
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
  if (f.articleId > 0 && f.articleId <= INT_MAX) {
    a.id = static_cast<int>(f.articleId);
    a.site = f.articleSite;
    a.intro = f.articleIntro;
  }
  return a;
}

DraftFields captureFields(DraftsBar& drafts) {
  return draftOf(drafts.form().fields(), drafts.images().autoName(), drafts.images().gallery());
}

DraftFields captureDraft(DraftsBar& drafts) {
  return draftOf(drafts.form().article(), drafts.images().autoName(), drafts.images().gallery());
}

void applyDraft(DraftsBar& drafts, const DraftFields& f) {
  // The form puts the fields back in the file's key order; the image
  // option and the gallery follow.
  drafts.form().setArticle(articleOf(f));
  drafts.images().setAutoName(f.autoName);
  drafts.images().setGallery(f.gallery);
  RebuildGallery(drafts.images());
}

void ShowDraftNotices(QWidget* window) {
  for (const std::string& notice : takeDraftNotices()) ShowToast(window, notice, 2.6);
}

void SaveDraft(DraftsBar& drafts, bool rotate) {
  QTimer* timer = drafts.saveTimer();
  timer->stop();
  const DraftFields fields = captureDraft(drafts);
  DraftStore store(draftFolder());
  bool saved = true;
  if (rotate)
    store.autosave(fields);  // an unchanged or empty article keeps the ring as it is
  else
    saved = store.saveManual(fields);
  timer->start(kDraftSaveIntervalMs);
  ShowDraftNotices(drafts.window());
  if (rotate) return;
  // A save the user asked for always says how it went.
  if (saved)
    drafts.status().flash(
        QStringLiteral("已手动保存 %1").arg(QTime::currentTime().toString(QStringLiteral("HH:mm:ss"))));
  else
    ShowToast(drafts.window(), fromQ(QStringLiteral("手动保存失败：无法写入temp文件夹，文章仍在窗口中。")), 2.6);
}

namespace {

// Keeps what the form holds ("恢复前的内容"), then puts fields in; `refused`
// names what did not happen when it could not be kept.
bool keepThenApply(DraftsBar& drafts, const DraftFields& fields, const char* refused) {
  if (fields.body.size() > kEditorBodyMax) {  // the editor would show it empty
    ShowToast(drafts.window(), bodyTooLongNotice(fields.body.size()), 2.6);
    return false;
  }
  DraftStore store(draftFolder());
  if (!store.keepBeforeRestore(captureDraft(drafts))) {
    ShowToast(drafts.window(),
              fromQ(QStringLiteral("当前文章无法保存到temp文件夹，%1，以免丢失。").arg(QString::fromUtf8(refused))),
              2.6);
    return false;
  }
  applyDraft(drafts, fields);
  RefreshRestoreList(drafts);
  ShowDraftNotices(drafts.window());
  return true;
}

}  // namespace

void restoreArticle(DraftsBar& drafts, const DraftFields& fields) { keepThenApply(drafts, fields, "没有恢复"); }

bool replaceArticle(DraftsBar& drafts, const Article& article) {
  rearm(drafts.saveTimer());
  return keepThenApply(drafts, draftOf(article, drafts.images().autoName(), drafts.images().gallery()),
                       "没有打开博客文章");
}

void NewArticle(DraftsBar& drafts, bool autoAlias) {
  rearm(drafts.saveTimer());
  const Article now = drafts.form().fields();
  Article blank;
  blank.category = now.category;
  blank.author = now.author;
  blank.type = "4";  // 普通文章
  blank.autoAlias = autoAlias;
  if (!keepThenApply(drafts, draftOf(blank, drafts.images().autoName(), drafts.images().gallery()), "没有新建文章"))
    return;
  drafts.form().fillDates(QDateTime::currentDateTime());
}

void RestoreDraft(DraftsBar& drafts, int slotData) {
  rearm(drafts.saveTimer());  // no automatic save may overtake the restore
  const std::string slot = slotNameFor(slotData);
  if (slot.empty()) return;
  DraftStore store(draftFolder());
  const std::optional<DraftFields> fields = store.load(slot);
  if (!fields) {
    ShowDraftNotices(drafts.window());
    ShowToast(drafts.window(), fromQ(QStringLiteral("这个时间点没有保存的数据！")), 1.2);
    return;
  }
  restoreArticle(drafts, *fields);
}

void RefreshRestoreList(DraftsBar& drafts) {
  QComboBox* box = drafts.restoreBox();
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
    if (!info) {
      box->setItemText(i, base);
      continue;
    }
    // A ring slot says how old it really is ("1分钟前" may be an hour old).
    const std::string shown = data >= 1 && data <= DraftStore::kRingSize ? ageCaption(info->savedAt, now) : fromQ(base);
    box->setItemText(i, toQ(slotCaption(shown, *info, now)));
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
