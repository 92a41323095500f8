// Draft slots on the main window: the one-minute ring and the manual slot
// (时钟_数据保存, 按钮_手动保存), the restore list 组合框_恢复数据, and the
// recovery slot that keeps the article across a close, a kill or a crash.
#pragma once

#include "drafts/draftslots.h"

#include <QObject>

#include <functional>

class QComboBox;
class QTimer;

namespace inkpost {

class MainWindow;

// 时钟_数据保存 runs with this interval while armed.
inline constexpr int kDraftSaveIntervalMs = 60000;
// The recovery slot is written once typing has paused this long.
inline constexpr int kRecoveryPauseMs = 5000;

// The folder of the slot files: programPath("temp").
std::string draftFolder();

// Reads every editing field, the gallery list and the editor body.
DraftFields captureDraft(MainWindow& w);
// The same without the body (which the caller reads itself).
DraftFields captureFields(MainWindow& w);

// Puts a saved state back into the window, field by field in the file's key
// order; the gallery is replaced and rebuilt, the body written to the editor.
void applyDraft(MainWindow& w, const DraftFields& f);

// Tick of 时钟_数据保存 (rotate = true) and click of 按钮_手动保存 (false).
// The timer is stopped for the save and armed again afterwards. The tick
// saves only an article that is not empty and differs from the newest slot.
void SaveDraft(MainWindow& w, bool rotate);

// Selection of 组合框_恢复数据; slotData is the entry's item data (-1 none,
// 0 the manual slot, 1..10 the ring, kBeforeRestoreData the article before
// the last restore). A slot that was never written changes nothing and says
// so in a short notice. The article it replaces is kept first (see
// DraftStore::keepBeforeRestore), so every restore can be taken back.
void RestoreDraft(MainWindow& w, int slotData);

// Puts fields into the window after keeping the article they replace.
void restoreArticle(MainWindow& w, const DraftFields& fields);

// Before 组合框_恢复数据 opens: every entry that holds a slot gets its save
// time and the start of its title; "恢复前的内容" is listed while it exists.
void RefreshRestoreList(MainWindow& w);

// Shows the notices about unexpected files in the temp folder.
void ShowDraftNotices(MainWindow& w);

// --- the recovery slot

// 时钟_恢复保存: ticks every second while the window lives; bound to
// RecoveryTick.
QTimer* recoveryTimer(MainWindow& w);
// Any article field changed.
void ArticleEdited(MainWindow& w);
// Tick of 时钟_恢复保存: once the article has not changed for
// kRecoveryPauseMs, it is written to the recovery slot (off the window's
// thread; the editor is read without waiting for it).
void RecoveryTick(MainWindow& w);
// The main window closes: the article goes into the recovery slot now.
void SaveRecoveryOnClose(MainWindow& w);
// A publish went through: the recovery slot marks the article published.
void ArticlePublished(MainWindow& w);
// Start-up: when the recovery slot holds an unpublished article that the
// ring does not have, asks "上次未发布的文章已保存，是否恢复？" once the window
// is up (without blocking the caller). Yes restores it; either answer keeps
// it as the newest ring slot.
void OfferRecovery(MainWindow& w);
// Starts a recovery write now, without the pause; submitted runs once the
// article has been handed to the writer (or found unchanged).
void writeRecoverySoon(MainWindow& w, std::function<void()> submitted = {});
// Tests shorten the pause.
void setRecoveryPauseForTests(MainWindow& w, int ms);
// Waits until every recovery write started so far is on disk.
void flushRecovery(MainWindow& w);

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
