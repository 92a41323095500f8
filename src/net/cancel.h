// Ending exchanges early from another thread. A CancelScope names a flag
// that the exchanges of its thread watch: once the flag is set, the running
// exchange ends within a few hundredths of a second as a failure (as if the
// server had gone silent), and every later one on that thread ends before
// it sends anything, until the scope ends.
//
// Scopes nest: an exchange watches the flags of every scope open on its
// thread, so a caller's own stop (one list page, say) and the client's
// cancel both end it.
#pragma once

#include <atomic>

namespace inkpost {

class CancelScope {
 public:
  explicit CancelScope(const std::atomic<bool>* flag);
  ~CancelScope();
  CancelScope(const CancelScope&) = delete;
  CancelScope& operator=(const CancelScope&) = delete;

 private:
  friend bool exchangeCancelled();
  const std::atomic<bool>* flag_;
  const CancelScope* outer_;
};

// True when the flag of any scope open on this thread is set.
[[nodiscard]] bool exchangeCancelled();

}  // namespace inkpost
