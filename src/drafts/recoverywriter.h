// Writes the recovery slot on a thread of its own, so that the window never
// waits for the disk. Submissions queue behind the write in progress; a newer
// one replaces one that has not started yet (only the latest article
// matters).
#pragma once

#include "drafts/draftslots.h"

#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace inkpost {

class RecoveryWriter {
 public:
  // Runs on the writer's thread before the write, e.g. to turn the editor's
  // text into the body.
  using Prepare = std::function<void(DraftFields&)>;

  explicit RecoveryWriter(std::string folder);
  // Finishes the write in progress and the one queued.
  ~RecoveryWriter();
  RecoveryWriter(const RecoveryWriter&) = delete;
  RecoveryWriter& operator=(const RecoveryWriter&) = delete;

  void submit(DraftFields fields, RecoveryState state, Prepare prepare = {});
  // Waits until everything submitted is on disk (or failed).
  void flush();

  // Writes done and whether the last one succeeded.
  int written() const;
  bool lastOk() const;

  // Flushing to the disk before renaming (on by default).
  void setSyncWrites(bool on);

 private:
  struct Job {
    DraftFields fields;
    RecoveryState state;
    Prepare prepare;
  };
  void run();

  std::string folder_;
  mutable std::mutex mutex_;
  std::condition_variable wake_, idle_;
  std::optional<Job> queued_;
  bool busy_ = false;
  bool stop_ = false;
  bool sync_ = true;
  int written_ = 0;
  bool lastOk_ = true;
  std::thread thread_;
};

}  // namespace inkpost
