// Shared between the parts of the fault guard; not for other subsystems.
#pragma once

#include "fault/faultguard.h"

#include <atomic>

namespace inkpost::faultinternal {

// A process-wide lock that the owning thread may take again (a fault can
// arrive while its own thread holds it). Spins with sched_yield; never
// allocates, so it is usable inside a signal handler.
class GuardLock {
 public:
  void lock();
  void unlock();

 private:
  std::atomic<long> owner_{0};
  int depth_ = 0;
};

GuardLock& processLock();

class LockScope {
 public:
  LockScope() { processLock().lock(); }
  ~LockScope() { processLock().unlock(); }
  LockScope(const LockScope&) = delete;
  LockScope& operator=(const LockScope&) = delete;
};

// The options in force (defaults until configured). Read without copying
// inside the handler.
const FaultGuardOptions& options();

// The memory resource report texts of the calling thread come from: the
// fault arena while a fault is being reported, the default resource otherwise.
std::pmr::memory_resource* threadResource();
void setThreadResource(std::pmr::memory_resource* mr);

long currentThreadId();

// The calling thread's slot with its texts held in `mr` (a slot made earlier
// with other memory is moved over, its extra text kept).
ThreadReportSlot& slotForReport(std::pmr::memory_resource* mr);

// Appends without going through the formatting library.
void appendHex(FaultText& out, uint64_t value, int minDigits);
void appendDecimal(FaultText& out, long value);

}  // namespace inkpost::faultinternal
