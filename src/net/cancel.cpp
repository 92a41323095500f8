#include "net/cancel.h"

namespace inkpost {
namespace {

thread_local const CancelScope* innermost = nullptr;

}  // namespace

CancelScope::CancelScope(const std::atomic<bool>* flag) : flag_(flag), outer_(innermost) { innermost = this; }

CancelScope::~CancelScope() { innermost = outer_; }

bool exchangeCancelled() {
  for (const CancelScope* s = innermost; s; s = s->outer_)
    if (s->flag_ && s->flag_->load(std::memory_order_relaxed)) return true;
  return false;
}

}  // namespace inkpost
