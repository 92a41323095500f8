// Draft slots on the main window: the one-minute ring and the manual slot
// (时钟_数据保存, 按钮_手动保存), the restore list 组合框_恢复数据, and the
// recovery slot that keeps the article across a close, a kill or a crash.
#pragma once

#include "blog/article.h"
#include "common/ui/busy.h"
#include "drafts/draftslots.h"

#include <QObject>
#include <QWidget>

#include <functional>

class QComboBox;
class QPushButton;
class QTimer;

namespace inkpost {

class ArticleForm;
class ImagePanel;
class RecoveryKeeper;

// The drafts bar: 恢复 with its list 组合框_恢复数据, 按钮_手动保存 and the
// ring's timer 时钟_数据保存. It keeps the article of the form it is
// attached to, with the image panel's option and gallery, in the slots, and
// owns the recovery slot's keeper.
class DraftsBar : public QWidget {
  Q_OBJECT
 public:
  explicit DraftsBar(QWidget* parent = nullptr);
  ~DraftsBar() override;
  // What the drafts keep (set once, at start).
  void attach(ArticleForm& form, ImagePanel& images, StatusLine status);
  ArticleForm& form() const { return *form_; }
  ImagePanel& images() const { return *images_; }
  StatusLine status() const { return status_; }
  RecoveryKeeper& recovery();

  QComboBox* restoreBox() const { return restore_; }
  QPushButton* saveButton() const { return save_; }
  QTimer* saveTimer() const { return timer_; }

 private:
  ArticleForm* form_ = nullptr;
  ImagePanel* images_ = nullptr;
  StatusLine status_;
  QComboBox* restore_;
  QPushButton* save_;
  QTimer* timer_;
  RecoveryKeeper* recovery_ = nullptr;
};

// 时钟_数据保存 runs with this interval while armed.
inline constexpr int kDraftSaveIntervalMs = 60000;
// The recovery slot is written once typing has paused this long.
inline constexpr int kRecoveryPauseMs = 5000;

// The folder of the slot files: programPath("temp").
std::string draftFolder();

// The stored state of an article with the image options and the gallery,
// and the article of a stored state: the one place where the form's values
// become a draft's.
DraftFields draftOf(const Article& article, bool autoName, const std::vector<std::string>& gallery);
Article articleOf(const DraftFields& fields);

// Reads every editing field, the gallery list and the editor body.
DraftFields captureDraft(DraftsBar& drafts);
// The same without the body (which the caller reads itself).
DraftFields captureFields(DraftsBar& drafts);

// Puts a saved state back into the window, field by field in the file's key
// order; the gallery is replaced and rebuilt, the body written to the editor.
void applyDraft(DraftsBar& drafts, const DraftFields& f);

// Tick of 时钟_数据保存 (rotate = true) and click of 按钮_手动保存 (false).
// The timer is stopped for the save and armed again afterwards. The tick
// saves only an article that is not empty and differs from the newest slot.
void SaveDraft(DraftsBar& drafts, bool rotate);

// Selection of 组合框_恢复数据; slotData is the entry's item data (-1 none,
// 0 the manual slot, 1..10 the ring, kBeforeRestoreData the article before
// the last restore). A slot that was never written changes nothing and says
// so in a short notice. The article it replaces is kept first (see
// DraftStore::keepBeforeRestore), so every restore can be taken back.
void RestoreDraft(DraftsBar& drafts, int slotData);

// Puts fields into the window after keeping the article they replace.
void restoreArticle(DraftsBar& drafts, const DraftFields& fields);

// An article from elsewhere (one opened from the blog) into the form, kept
// the same way first; the image option and the gallery stay as they are.
// False, with a notice, when what the form holds could not be kept: the
// form is left alone.
bool replaceArticle(DraftsBar& drafts, const Article& article);

// 文章 → 新建文章 (Ctrl+N): an empty new article (not in editing mode) after
// the same keeping of what the form holds; the chosen category and author
// stay, the type is 普通文章, 自动 follows `autoAlias` (the site's option),
// the date boxes take the time of the publish.
void NewArticle(DraftsBar& drafts, bool autoAlias);

// Before 组合框_恢复数据 opens: every entry that holds a slot gets its save
// time and the start of its title; "恢复前的内容" is listed while it exists.
void RefreshRestoreList(DraftsBar& drafts);

// Shows the notices about unexpected files in the temp folder.
void ShowDraftNotices(QWidget* window);

// --- the recovery slot

// 时钟_恢复保存: ticks every second while the window lives; bound to
// RecoveryTick.
QTimer* recoveryTimer(DraftsBar& drafts);
// Any article field changed (ArticleForm::changed, 选择框_自动命名).
void ArticleEdited(DraftsBar& drafts);
// Tick of 时钟_恢复保存: once the article has not changed for
// kRecoveryPauseMs, it is written to the recovery slot (off the window's
// thread; the editor is read without waiting for it).
void RecoveryTick(DraftsBar& drafts);
// The main window closes: the article goes into the recovery slot now.
void SaveRecoveryOnClose(DraftsBar& drafts);
// A publish went through: the recovery slot marks the article published.
void ArticlePublished(DraftsBar& drafts);
// Start-up: when the recovery slot holds an unpublished article that the
// ring does not have, asks "上次未发布的文章已保存，是否恢复？" once the window
// is up (without blocking the caller). Yes restores it; either answer keeps
// it as the newest ring slot.
void OfferRecovery(DraftsBar& drafts);
// Starts a recovery write now, without the pause; submitted runs once the
// article has been handed to the writer (or found unchanged).
void writeRecoverySoon(DraftsBar& drafts, std::function<void()> submitted = {});
// Tests shorten the pause.
void setRecoveryPauseForTests(DraftsBar& drafts, int ms);
// Waits until every recovery write started so far is on disk.
void flushRecovery(DraftsBar& drafts);

// Close of the main window, as a signal.
class CloseEvents : public QObject {
  Q_OBJECT
 public:
  explicit CloseEvents(QWidget* window);
 signals:
  void closing();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
};

// 组合框_恢复数据 is about to show its list (a click, F4, Alt+Down, space).
class RestoreListEvents : public QObject {
  Q_OBJECT
 public:
  explicit RestoreListEvents(QComboBox* box);
 signals:
  void opening();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
};

}  // namespace inkpost
