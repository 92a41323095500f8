// The report texts: hexadecimal forms, the routine name table, the call
// stack, the analysis position, the fault report and the per-thread slots.
#include "fault/faultguard.h"
#include "fault/internal.h"
#include "fault/texts.h"

#include <sched.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <memory>
#include <optional>

namespace inkpost {

namespace faultinternal {

long currentThreadId() { return static_cast<long>(syscall(SYS_gettid)); }

void GuardLock::lock() {
  long me = currentThreadId();
  if (owner_.load(std::memory_order_acquire) == me) {
    ++depth_;
    return;
  }
  long expected = 0;
  while (!owner_.compare_exchange_weak(expected, me, std::memory_order_acquire)) {
    expected = 0;
    sched_yield();
  }
  depth_ = 1;
}

void GuardLock::unlock() {
  if (--depth_ == 0) owner_.store(0, std::memory_order_release);
}

GuardLock& processLock() {
  static GuardLock lock;
  return lock;
}

namespace {
// Initial-exec: reading it inside a signal handler never allocates.
__attribute__((tls_model("initial-exec"))) thread_local std::pmr::memory_resource* tResource = nullptr;
}  // namespace

std::pmr::memory_resource* threadResource() { return tResource ? tResource : std::pmr::get_default_resource(); }

void setThreadResource(std::pmr::memory_resource* mr) { tResource = mr; }

void appendHex(FaultText& out, uint64_t value, int minDigits) {
  char digits[16];
  int n = 0;
  do {
    digits[n++] = "0123456789ABCDEF"[value & 0xF];
    value >>= 4;
  } while (value != 0);
  for (int i = n; i < minDigits; ++i) out.push_back('0');
  while (n > 0) out.push_back(digits[--n]);
}

void appendDecimal(FaultText& out, long value) {
  char digits[24];
  auto r = std::to_chars(digits, digits + sizeof(digits), value);
  out.append(digits, r.ptr);
}

}  // namespace faultinternal

using namespace faultinternal;

FaultText FormatHex8(uint64_t value, std::pmr::memory_resource* mr) {
  FaultText out(mr);
  appendHex(out, value, 8);
  return out;
}

FaultText FormatHexBySize(uint64_t value, std::pmr::memory_resource* mr) {
  FaultText out(mr);
  appendHex(out, value, value < 0x100 ? 2 : value <= 0xFFFF ? 4 : 8);
  return out;
}

// ---- Routine names ----------------------------------------------------------

namespace {

struct RoutineEntry {
  const char* name;
  uintptr_t start;
};
constexpr size_t kMaxRoutines = 32;
RoutineEntry gRoutines[kMaxRoutines];
size_t gRoutineCount = 0;

const RoutineEntry* findRoutine(uintptr_t address) {
  const RoutineEntry* best = nullptr;
  for (size_t i = 0; i < gRoutineCount; ++i) {
    const RoutineEntry& e = gRoutines[i];
    if (e.start <= address && (!best || e.start > best->start)) best = &e;
  }
  return best;
}

bool sameNameNoCase(const char* a, const char* b) { return strcasecmp(a, b) == 0; }

// The C library, the dynamic loader and the vDSO: the start and signal
// frames every call stack passes through.
bool isSystemModule(const ModuleInfo& m) {
  return sameNameNoCase(m.name, "libc.so.6") || strncasecmp(m.name, "ld-linux", 8) == 0 ||
         sameNameNoCase(m.name, "linux-vdso.so.1");
}

}  // namespace

void RegisterRoutineName(const char* name, const void* start) {
  LockScope lock;
  uintptr_t s = reinterpret_cast<uintptr_t>(start);
  for (size_t i = 0; i < gRoutineCount; ++i) {
    if (gRoutines[i].start == s) {
      gRoutines[i].name = name;
      return;
    }
  }
  if (gRoutineCount < kMaxRoutines) gRoutines[gRoutineCount++] = {name, s};
}

// ---- Call stack -------------------------------------------------------------

size_t CollectFrameChain(uintptr_t frame, uintptr_t address, uintptr_t* out, size_t max) {
  size_t n = 0;
  if (max == 0) return 0;
  out[n++] = address;
  // A chain that loops or runs downwards is cut: frames must move up the stack.
  while (n < max && IsReadableMemory(frame, 2 * sizeof(uintptr_t))) {
    uintptr_t saved[2];
    memcpy(saved, reinterpret_cast<const void*>(frame), sizeof(saved));
    uintptr_t ret = saved[1];
    out[n++] = IsReadableMemory(ret, 1) ? ret : 0;
    if (saved[0] <= frame) break;
    frame = saved[0];
  }
  return n;
}

uintptr_t FindAnalysisPosition(std::span<const uintptr_t> chain, const ModuleList& modules) {
  if (chain.empty()) return 0;
  const ModuleInfo* exe = modules.executable();
  uintptr_t address = chain[0];
  size_t i = 0;
  for (;;) {
    if (!modules.find(address)) break;
    if (i + 1 >= chain.size()) return 0;  // the frame chain ends: no result
    address = chain[++i];
    if (exe && address >= exe->base && address < exe->end) break;
  }
  return IsReadableMemory(address, 1) ? address : 0;
}

FaultText BuildCallStack(std::span<const uintptr_t> chain, const ModuleList& modules, std::pmr::memory_resource* mr) {
  LockScope lock;
  const FaultGuardOptions& opt = options();
  FaultText out(mr);
  size_t emitted = 0;
  for (size_t k = chain.size(); k-- > 0;) {
    uintptr_t a = chain[k];
    if (a == 0 || !IsReadableMemory(a, 1)) continue;
    bool faultLine = k == 0;
    FaultText line(mr);
    const RoutineEntry* routine = findRoutine(a);
    if (routine && a - routine->start <= opt.routineSpan) {
      line.append(routine->name);
      if (a != routine->start) {
        line.append("+0x");
        appendHex(line, a - routine->start, a - routine->start < 0x100 ? 2 : a - routine->start <= 0xFFFF ? 4 : 8);
        line.push_back('=');
        appendHex(line, a, 8);
      }
    } else {
      const ModuleInfo* m = modules.find(a);
      if (m && opt.skipSystemFrames && !faultLine && isSystemModule(*m)) continue;
      // The executable's dynamic symbols serve interposition, not callers:
      // its frames are named by offset.
      ExportMatch e;
      if (m && m != modules.executable() && FindNearestExport(*m, a, e) && a - e.address <= opt.routineSpan) {
        line.push_back('[');
        line.append(m->name);
        line.append("].");
        line.append(e.name);
        if (a != e.address) {
          uintptr_t d = a - e.address;
          line.append("+0x");
          appendHex(line, d, d < 0x100 ? 2 : d <= 0xFFFF ? 4 : 8);
        }
      } else {
        // No export close enough: name the frame by module and offset.
        if (m && m->name[0] != '\0') {
          line.push_back('[');
          line.append(m->name);
          line.append("]+");
        }
        line.append("0x");
        if (m) {
          uintptr_t d = a - m->base;
          appendHex(line, d, d < 0x100 ? 2 : d <= 0xFFFF ? 4 : 8);
          line.push_back('=');
          appendHex(line, a, 8);
        } else {
          appendHex(line, a, 8);
        }
      }
    }
    out.append(emitted, ' ');
    out.append(line);
    out.append("\r\n");
    ++emitted;
  }
  return out;
}

FaultText BuildCallStack(std::span<const uintptr_t> chain) {
  ModuleList modules(threadResource());
  modules.snapshot();
  return BuildCallStack(chain, modules, threadResource());
}

// ---- Fault report -----------------------------------------------------------

FaultText BuildFaultReport(const FaultSnapshot& s, const ModuleList& modules, std::pmr::memory_resource* mr) {
  using namespace faulttext;
  FaultText out(mr);
  out.append(kWarning);
  uint32_t params = std::min<uint32_t>(s.parameterCount, FaultSnapshot::kMaxParameters);
  switch (s.code) {
    case faultcode::kAccessViolation:
      out.append(kMemoryPrefix);
      out.append(params > 0 && s.parameters[0] != 0 ? kWrite : kRead);
      out.append(kMemorySuffix);
      out.append(kTargetAddress);
      appendHex(out, params > 1 ? s.parameters[1] : 0, 8);
      out.append("\r\n");
      break;
    case faultcode::kIntDivideByZero:
    case faultcode::kFloatDivideByZero:
      out.append(kDivideByZero);
      break;
    case faultcode::kStackOverflow:
      out.append(kStackOverflow);
      break;
    case faultcode::kIllegalInstruction:
      out.append(kIllegalInstruction);
      break;
    case faultcode::kBreakpoint:
      out.append(kBreakpoint);
      break;
    case faultcode::kPrivilegedInstruction:
      out.append(kPrivileged);
      break;
    case faultcode::kCppException:
      out.append(kCppThrow);
      break;
    default:
      out.append(kErrorCode);
      appendHex(out, s.code, 8);
      out.append("\r\n");
      break;
  }
  out.append(kLocation);
  appendHex(out, s.address, 8);
  out.append("\r\n");
  if (const ModuleInfo* m = modules.find(s.address)) {
    out.append(kRelative);
    out.append(m->name);
    out.append("].");
    appendHex(out, s.address - m->base, 8);
    out.append("\r\n");
  }
  if (uintptr_t analysis = FindAnalysisPosition(s.callChain(), modules)) {
    out.append(kAnalysis);
    appendHex(out, analysis, 8);
    out.append("\r\n");
  }
  if (s.code != faultcode::kAccessViolation) {
    for (uint32_t i = 0; i < params; ++i) {
      out.append(kParameter);
      appendDecimal(out, static_cast<long>(i + 1));
      out.push_back(':');
      appendHex(out, s.parameters[i], 8);
      out.append("\r\n");
    }
  }
  return out;
}

FaultText BuildFaultReport(const FaultSnapshot& snapshot) {
  ModuleList modules(threadResource());
  modules.snapshot();
  return BuildFaultReport(snapshot, modules, threadResource());
}

// ---- Slots ------------------------------------------------------------------

namespace {
constexpr size_t kMaxSlots = 32;
std::optional<ThreadReportSlot> gSlots[kMaxSlots];
}  // namespace

ThreadReportSlot& CurrentThreadReportSlot() {
  LockScope lock;
  long me = currentThreadId();
  for (auto& slot : gSlots) {
    if (slot && slot->threadId == me) return *slot;
  }
  for (auto& slot : gSlots) {
    if (!slot) {
      slot.emplace(threadResource());
      slot->threadId = me;
      return *slot;
    }
  }
  return *gSlots[kMaxSlots - 1];
}

namespace faultinternal {

ThreadReportSlot& slotForReport(std::pmr::memory_resource* mr) {
  LockScope lock;
  ThreadReportSlot& slot = CurrentThreadReportSlot();
  if (slot.report.get_allocator().resource() == mr) return slot;
  // Made before the fault with other memory: rebuild it in `mr`, so that
  // filling it in reaches neither for the heap nor frees into it. The old
  // texts are left behind on purpose: the report ends the process.
  FaultText extra(slot.extra, mr);
  long id = slot.threadId;
  ThreadReportSlot* rebuilt = std::construct_at(&slot, mr);
  rebuilt->threadId = id;
  rebuilt->extra.swap(extra);
  return *rebuilt;
}

}  // namespace faultinternal

FaultText FullReportText(const ThreadReportSlot& slot, const FaultGuardOptions& opt, std::pmr::memory_resource* mr) {
  FaultText out(mr);
  out.append(slot.report);
  if (opt.includeCallStack && !slot.callStack.empty()) {
    out.append(faulttext::kCallStack);
    out.append(slot.callStack);
  }
  if (!slot.extra.empty()) {
    out.append(faulttext::kExtra);
    out.append(slot.extra);
  }
  return out;
}

}  // namespace inkpost
