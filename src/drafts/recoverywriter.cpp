#include "drafts/recoverywriter.h"

#include <exception>

namespace inkpost {

RecoveryWriter::RecoveryWriter(std::string folder) : folder_(std::move(folder)) {}

RecoveryWriter::~RecoveryWriter() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void RecoveryWriter::submit(DraftFields fields, RecoveryState state, Prepare prepare) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    queued_ = Job{std::move(fields), state, std::move(prepare)};
    if (!thread_.joinable()) thread_ = std::thread([this] { run(); });
  }
  wake_.notify_all();
}

void RecoveryWriter::flush() {
  std::unique_lock<std::mutex> lock(mutex_);
  idle_.wait(lock, [this] { return !queued_ && !busy_; });
}

int RecoveryWriter::written() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return written_;
}

bool RecoveryWriter::lastOk() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return lastOk_;
}

void RecoveryWriter::setSyncWrites(bool on) {
  std::lock_guard<std::mutex> lock(mutex_);
  sync_ = on;
}

void RecoveryWriter::run() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return stop_ || queued_; });
    if (!queued_) return;  // stopping with nothing left to write
    Job job = std::move(*queued_);
    queued_.reset();
    busy_ = true;
    const bool sync = sync_;
    lock.unlock();
    bool ok = false;
    try {
      if (job.prepare) job.prepare(job.fields);
      DraftStore store(folder_);
      store.syncWrites = sync;
      ok = store.saveRecovery(job.fields, job.state);
    } catch (const std::exception&) {
      ok = false;  // out of memory and the like: the previous slot stays
    }
    lock.lock();
    busy_ = false;
    ++written_;
    lastOk_ = ok;
    if (!queued_) idle_.notify_all();
  }
}

}  // namespace inkpost
