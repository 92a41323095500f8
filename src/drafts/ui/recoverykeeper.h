// The recovery slot's keeper: writes the article shortly after typing
// pauses and when the window closes (the disk work on the writer's own
// thread), marks it at a publish, and remembers what the slot holds.
#pragma once

#include "drafts/draftslots.h"
#include "drafts/recoverywriter.h"

#include <QElapsedTimer>
#include <QObject>

#include <functional>
#include <memory>
#include <optional>
#include <string>

class QTimer;

namespace inkpost {

class ArticleForm;
class DraftsBar;

class RecoveryKeeper : public QObject {
 public:
  explicit RecoveryKeeper(DraftsBar& drafts);

  // 时钟_恢复保存: ticks every second.
  QTimer* timer() const { return timer_; }
  void setPause(int ms) { pauseMs_ = ms; }

  // A field changed: the pause starts again.
  void edited();
  // The tick: the editor's change count is polled without waiting; once
  // nothing changed for the pause, the article is written.
  void tick();
  // Everything the window shows goes to the slot now, the body read without
  // waiting for the page; `submitted` runs once it is handed to the writer.
  void writeSoon(std::function<void()> submitted = {});
  // The close: written now, waiting only briefly for the editor.
  void writeNow();
  // A publish went through: the slot marks the article published.
  void published();
  // After the start-up offer: the slot holds this article already.
  void holding(const DraftFields& fields) { last_ = fields; }
  // Waits until every write started so far is on disk.
  void flush();

 private:
  ArticleForm& form() const;
  void submit(DraftFields fields, RecoveryState state);
  void writeAfterPause();
  RecoveryWriter& writer();

  DraftsBar& drafts_;
  QTimer* timer_;
  QElapsedTimer quiet_;
  int pauseMs_;
  bool dirty_ = false;
  bool reading_ = false;
  long seenChanges_ = -2;            // the editor's change count at the last tick
  long bodyChanges_ = -2;            // its count when last_->body was read
  std::optional<DraftFields> last_;  // what the slot holds (or is about to)
  std::string folder_;
  std::unique_ptr<RecoveryWriter> writer_;  // finishes its writes when the window goes
};

}  // namespace inkpost
