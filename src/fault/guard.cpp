// Installation, the signal handler, thread coverage, the terminate hook and
// the report box.
//
// Inside the handler nothing touches the heap: texts come from a fixed
// arena, the module list from the same arena, the box is shown by a helper
// process started with posix_spawn (which neither allocates nor runs fork
// handlers), and the conversion to UTF-8 uses a converter opened beforehand.
#include "fault/faultguard.h"
#include "fault/internal.h"
#include "fault/texts.h"

#include <cxxabi.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <iconv.h>
#include <pthread.h>
#include <setjmp.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <ucontext.h>
#include <unistd.h>
#include <unwind.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <new>
#include <string>

extern char** environ;

namespace inkpost {

using namespace faultinternal;

namespace {

constexpr int kSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP};
constexpr size_t kAltStackSize = 256 * 1024;
constexpr size_t kArenaSize = 4 * 1024 * 1024;
constexpr size_t kMaxShownText = 120 * 1024;  // one program argument holds at most 128 KiB
constexpr const char* kHelperName = "inkpost-fault-report";
#ifndef INKPOST_HELPER_FROM_BIN
#define INKPOST_HELPER_FROM_BIN "../libexec/inkpost-client/"
#endif

std::atomic<bool> gInstalled{false};
std::atomic<bool> gConfigured{false};
std::atomic<bool> gActive{false};
std::atomic<bool> gReportToStderr{false};
std::atomic<long> gReporter{0};  // thread id of the thread that is reporting
std::atomic<int> gExitCode{1};
std::atomic<int> gNestedDepth{0};

FaultGuardOptions& mutableOptions() {
  static FaultGuardOptions o;
  return o;
}

struct sigaction gPrevious[NSIG];
std::terminate_handler gPreviousTerminate = nullptr;
char gHelperPath[4096];
iconv_t gToUtf8 = reinterpret_cast<iconv_t>(-1);

// ---- The fault arena --------------------------------------------------------

alignas(std::max_align_t) unsigned char gArenaBytes[kArenaSize];
alignas(std::pmr::monotonic_buffer_resource) unsigned char gArenaResource[sizeof(std::pmr::monotonic_buffer_resource)];

std::pmr::memory_resource* faultArena() {
  static std::atomic<bool> made{false};
  if (!made.exchange(true)) {
    new (gArenaResource) std::pmr::monotonic_buffer_resource(gArenaBytes, kArenaSize, std::pmr::null_memory_resource());
  }
  return reinterpret_cast<std::pmr::monotonic_buffer_resource*>(gArenaResource);
}

// ---- Alternate signal stacks -----------------------------------------------

__attribute__((tls_model("initial-exec"))) thread_local uintptr_t tStackLow = 0;
__attribute__((tls_model("initial-exec"))) thread_local uintptr_t tStackGuard = 0;

void recordStackBounds() {
  pthread_attr_t attr;
  if (pthread_getattr_np(pthread_self(), &attr) != 0) return;
  void* addr = nullptr;
  size_t size = 0, guard = 0;
  if (pthread_attr_getstack(&attr, &addr, &size) == 0) tStackLow = reinterpret_cast<uintptr_t>(addr);
  if (pthread_attr_getguardsize(&attr, &guard) == 0) tStackGuard = guard;
  pthread_attr_destroy(&attr);
}

// Maps a stack with a guard page below it and makes it the calling thread's
// alternate signal stack, unless the thread already has one. Returns the
// mapping (to be released by the owner) or nullptr.
void* installAltStack() {
  stack_t current{};
  if (sigaltstack(nullptr, &current) == 0 && !(current.ss_flags & SS_DISABLE)) return nullptr;
  long page = sysconf(_SC_PAGESIZE);
  void* mem =
      mmap(nullptr, kAltStackSize + page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_STACK, -1, 0);
  if (mem == MAP_FAILED) return nullptr;
  mprotect(mem, page, PROT_NONE);
  stack_t ss{};
  ss.ss_sp = static_cast<char*>(mem) + page;
  ss.ss_size = kAltStackSize;
  ss.ss_flags = 0;
  if (sigaltstack(&ss, nullptr) != 0) {
    munmap(mem, kAltStackSize + page);
    return nullptr;
  }
  return mem;
}

// The alternate stack of a thread started after installation; released when
// the thread ends.
class ThreadAltStack {
 public:
  void ensure() {
    if (!mem_) mem_ = installAltStack();
    recordStackBounds();
  }
  ~ThreadAltStack() {
    if (!mem_) return;
    stack_t off{};
    off.ss_flags = SS_DISABLE;
    sigaltstack(&off, nullptr);
    munmap(mem_, kAltStackSize + sysconf(_SC_PAGESIZE));
  }

 private:
  void* mem_ = nullptr;
};

thread_local ThreadAltStack tAltStack;

struct ThreadStart {
  void* (*start)(void*);
  void* arg;
};

void* guardedThreadStart(void* p) {
  ThreadStart ts = *static_cast<ThreadStart*>(p);
  free(p);
  tAltStack.ensure();
  return ts.start(ts.arg);
}

// ---- Call chains ------------------------------------------------------------

struct ChainWalk {
  uintptr_t* out;
  size_t max;
  size_t count;
  size_t skip;       // frames still to leave out
  uintptr_t target;  // with `waitForTarget`: the first frame to keep
  bool waitForTarget;
};

_Unwind_Reason_Code chainStep(struct _Unwind_Context* ctx, void* data) {
  auto* w = static_cast<ChainWalk*>(data);
  int beforeInsn = 0;
  uintptr_t ip = _Unwind_GetIPInfo(ctx, &beforeInsn);
  if (w->waitForTarget) {
    if (ip != w->target) return _URC_NO_REASON;
    w->waitForTarget = false;
  } else if (w->skip > 0) {
    --w->skip;
    return _URC_NO_REASON;
  }
  if (ip == 0) return _URC_END_OF_STACK;
  w->out[w->count++] = ip;
  return w->count < w->max ? _URC_NO_REASON : _URC_END_OF_STACK;
}

// The chain of a faulting context: the unwinder passes through the signal
// frame into the interrupted code; the first frame whose address is the
// fault's instruction is where the chain starts. When the unwinder cannot
// get there (a jump to a wild address), the return address on top of the
// stack and the saved frame pointers are used instead.
// Set while the unwinder walks a faulting stack: a wrecked stack can make it
// read a wild address, and that fault comes back here instead of ending the
// report as a nested fault.
__attribute__((tls_model("initial-exec"))) thread_local sigjmp_buf* tUnwindRecovery = nullptr;

size_t collectFaultChain(uintptr_t pc, uintptr_t sp, uintptr_t fp, uintptr_t* out, size_t max) {
  ChainWalk w{out, max, 0, 0, pc, true};
  sigjmp_buf recovery;
  if (sigsetjmp(recovery, 1) == 0) {
    tUnwindRecovery = &recovery;
    _Unwind_Backtrace(chainStep, &w);
  }
  tUnwindRecovery = nullptr;
  if (w.count > 1) return w.count;
  size_t n = 0;
  out[n++] = pc;
  if (!IsReadableMemory(pc, 1) && IsReadableMemory(sp, sizeof(uintptr_t)) && n < max) {
    uintptr_t ret;
    memcpy(&ret, reinterpret_cast<const void*>(sp), sizeof(ret));
    out[n++] = ret;
    return n;
  }
  return CollectFrameChain(fp, pc, out, max);
}

// ---- Showing texts ----------------------------------------------------------

char gUtf8Caption[1024];
char gUtf8Text[kMaxShownText + 16];

// GBK -> UTF-8 into a fixed buffer; bytes that do not convert become '?'.
void gbkToUtf8(std::string_view gbk, char* out, size_t capacity) {
  size_t used = 0;
  if (gToUtf8 == reinterpret_cast<iconv_t>(-1)) {
    used = std::min(gbk.size(), capacity - 1);
    memcpy(out, gbk.data(), used);
    out[used] = '\0';
    return;
  }
  iconv(gToUtf8, nullptr, nullptr, nullptr, nullptr);
  char* in = const_cast<char*>(gbk.data());
  size_t inLeft = gbk.size();
  char* dst = out;
  size_t dstLeft = capacity - 1;
  while (inLeft > 0 && dstLeft > 0) {
    if (iconv(gToUtf8, &in, &inLeft, &dst, &dstLeft) != static_cast<size_t>(-1)) break;
    if (errno == E2BIG) break;
    // A byte that is not GBK, or a character cut off at the end.
    *dst++ = '?';
    --dstLeft;
    ++in;
    --inLeft;
    iconv(gToUtf8, nullptr, nullptr, nullptr, nullptr);
  }
  *dst = '\0';
}

void writeAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    ssize_t n = write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    data += n;
    size -= static_cast<size_t>(n);
  }
}

void writeToStderr(const char* caption, const char* text) {
  writeAll(2, "[", 1);
  writeAll(2, caption, strlen(caption));
  writeAll(2, "]\n", 2);
  writeAll(2, text, strlen(text));
  writeAll(2, "\n", 1);
}

// Writes without ever raising SIGPIPE (a helper that ended early must not
// end the report with it).
void sendAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    ssize_t n = send(fd, data, size, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    data += n;
    size -= static_cast<size_t>(n);
  }
}

// Shows a box through the helper program and waits until it is closed.
// The report goes to the helper over a socket it inherits (caption and text,
// each closed by a NUL byte), never on its command line, where every local
// user could read it. False when the helper could not show it.
bool showThroughHelper(const char* caption, const char* text) {
  if (gHelperPath[0] == '\0') return false;
  int ends[2];
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) return false;
  fcntl(ends[0], F_SETFD, 0);  // the helper inherits its end only
  char digits[16], fdText[16];
  int n = 0;
  for (int v = ends[0]; n == 0 || v > 0; v /= 10) digits[n++] = static_cast<char>('0' + v % 10);
  for (int i = 0; i < n; ++i) fdText[i] = digits[n - 1 - i];
  fdText[n] = '\0';
  char* argv[] = {gHelperPath, const_cast<char*>("--from-fd"), fdText, nullptr};
  pid_t pid = 0;
  const bool spawned = posix_spawn(&pid, gHelperPath, nullptr, nullptr, argv, environ) == 0;
  close(ends[0]);
  if (spawned) {
    sendAll(ends[1], caption, strlen(caption) + 1);
    sendAll(ends[1], text, strlen(text) + 1);
  }
  close(ends[1]);
  if (!spawned) return false;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return false;
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void showMessage(std::string_view captionGbk, std::string_view textGbk) {
  gbkToUtf8(captionGbk, gUtf8Caption, sizeof(gUtf8Caption));
  gbkToUtf8(textGbk.substr(0, kMaxShownText), gUtf8Text, sizeof(gUtf8Text));
  if (!gReportToStderr.load() && showThroughHelper(gUtf8Caption, gUtf8Text)) return;
  writeToStderr(gUtf8Caption, gUtf8Text);
}

// ---- Reporting ----------------------------------------------------------------

enum class Claim { First, Nested };

// At most one report per process: the first thread to fault reports; a fault
// of the reporting thread itself is a nested fault; any other thread waits
// here until the report has ended the process.
Claim claimReport(int exitCode) {
  long me = currentThreadId();
  long expected = 0;
  if (gReporter.compare_exchange_strong(expected, me)) {
    gExitCode.store(exitCode);
    return Claim::First;
  }
  if (expected == me) return Claim::Nested;
  for (;;) pause();
}

[[noreturn]] void nestedFailure() {
  if (gNestedDepth.fetch_add(1) == 0 && mutableOptions().showReport) {
    showMessage("", faulttext::kNested);
  }
  _exit(gExitCode.load());
}

FaultSnapshot gSnapshot;

void passOn(int sig, siginfo_t* info, void* ctx) {
  const struct sigaction& prev = gPrevious[sig];
  if ((prev.sa_flags & SA_SIGINFO) && prev.sa_sigaction) {
    prev.sa_sigaction(sig, info, ctx);
    return;
  }
  if (prev.sa_handler != SIG_DFL && prev.sa_handler != SIG_IGN && prev.sa_handler != nullptr) {
    prev.sa_handler(sig);
    return;
  }
  // The ordinary course: the default action. A fault raised by an
  // instruction recurs when the handler returns; a sent signal or a trap
  // (which has already stepped past its instruction) is raised again.
  struct sigaction dfl {};
  dfl.sa_handler = SIG_DFL;
  sigemptyset(&dfl.sa_mask);
  sigaction(sig, &dfl, nullptr);
  if (info->si_code <= 0 || sig == SIGTRAP) raise(sig);
}

#if defined(__x86_64__)
// A kernel-raised SIGSEGV without an address is a general protection fault;
// it is a privileged instruction when the bytes at the fault say so.
bool isPrivilegedInstruction(uintptr_t pc) {
  unsigned char code[8];
  if (!IsReadableMemory(pc, sizeof(code))) return false;
  memcpy(code, reinterpret_cast<const void*>(pc), sizeof(code));
  size_t i = 0;
  while (i < 4 && (code[i] == 0x66 || code[i] == 0xF2 || code[i] == 0xF3 || (code[i] & 0xF0) == 0x40)) ++i;
  unsigned char op = code[i];
  if (op == 0xF4 || op == 0xFA || op == 0xFB) return true;                    // hlt, cli, sti
  if ((op >= 0xE4 && op <= 0xE7) || (op >= 0xEC && op <= 0xEF)) return true;  // in, out
  if (op >= 0x6C && op <= 0x6F) return true;                                  // ins, outs
  if (op != 0x0F) return false;
  unsigned char op2 = code[i + 1];
  return op2 == 0x01 || op2 == 0x06 || op2 == 0x07 || op2 == 0x08 || op2 == 0x09 || (op2 >= 0x20 && op2 <= 0x23) ||
         op2 == 0x30 || op2 == 0x32 || op2 == 0x35;
}
#endif

bool looksLikeStackOverflow(uintptr_t address, uintptr_t sp) {
  constexpr uintptr_t kNear = 64 * 1024;
  if (address + kNear >= sp && address < sp + kNear) return true;
  if (tStackLow != 0) {
    uintptr_t guard = std::max<uintptr_t>(tStackGuard, kNear);
    if (address < tStackLow + 4096 && address + guard >= tStackLow) return true;
  }
  return false;
}

void fillRegisters(FaultSnapshot& s, const ucontext_t* uc) {
#if defined(__x86_64__)
  const greg_t* r = uc->uc_mcontext.gregs;
  s.instructionPointer = static_cast<uintptr_t>(r[REG_RIP]);
  s.stackPointer = static_cast<uintptr_t>(r[REG_RSP]);
  s.framePointer = static_cast<uintptr_t>(r[REG_RBP]);
#elif defined(__aarch64__)
  s.instructionPointer = uc->uc_mcontext.pc;
  s.stackPointer = uc->uc_mcontext.sp;
  s.framePointer = uc->uc_mcontext.regs[29];
#else
  (void)s;
  (void)uc;
#endif
}

void fillSnapshot(FaultSnapshot& s, int sig, const siginfo_t* info, const ucontext_t* uc) {
  s = FaultSnapshot{};
  uintptr_t faultAddress = info->si_code > 0 ? reinterpret_cast<uintptr_t>(info->si_addr) : 0;
  uintptr_t writeFlag = 0;
  fillRegisters(s, uc);
#if defined(__x86_64__)
  const greg_t* r = uc->uc_mcontext.gregs;
  if (r[REG_TRAPNO] == 14) {  // page fault: the error code tells write and instruction fetch
    uintptr_t err = static_cast<uintptr_t>(r[REG_ERR]);
    writeFlag = (err & 0x10) && (err & 0x1) ? 8 : (err & 0x2) ? 1 : 0;
  }
#endif
  s.address = s.instructionPointer;
  switch (sig) {
    case SIGSEGV:
    case SIGBUS:
      if (faultAddress != 0 && looksLikeStackOverflow(faultAddress, s.stackPointer)) {
        s.code = faultcode::kStackOverflow;
        s.parameterCount = 2;
        s.parameters[0] = writeFlag;
        s.parameters[1] = faultAddress;
#if defined(__x86_64__)
      } else if (sig == SIGSEGV && info->si_code == SI_KERNEL && isPrivilegedInstruction(s.instructionPointer)) {
        s.code = faultcode::kPrivilegedInstruction;
#endif
      } else if (sig == SIGBUS && info->si_code == BUS_ADRALN) {
        s.code = faultcode::kMisalignment;
      } else {
        s.code = faultcode::kAccessViolation;
        s.parameterCount = 2;
        s.parameters[0] = writeFlag;
        s.parameters[1] = faultAddress;
      }
      break;
    case SIGFPE:
      switch (info->si_code) {
        case FPE_INTOVF:
          s.code = faultcode::kIntOverflow;
          break;
        case FPE_FLTDIV:
          s.code = faultcode::kFloatDivideByZero;
          break;
        case FPE_FLTOVF:
          s.code = faultcode::kFloatOverflow;
          break;
        case FPE_FLTUND:
          s.code = faultcode::kFloatUnderflow;
          break;
        case FPE_FLTRES:
          s.code = faultcode::kFloatInexact;
          break;
        case FPE_FLTINV:
          s.code = faultcode::kFloatInvalid;
          break;
        case FPE_FLTSUB:
          s.code = faultcode::kFloatSubscript;
          break;
        default:
          s.code = faultcode::kIntDivideByZero;
          break;
      }
      break;
    case SIGILL:
      s.code = info->si_code == ILL_PRVOPC || info->si_code == ILL_PRVREG ? faultcode::kPrivilegedInstruction
                                                                          : faultcode::kIllegalInstruction;
      break;
    case SIGTRAP:
      if (info->si_code == TRAP_TRACE) {
        s.code = faultcode::kSingleStep;
      } else {
        s.code = faultcode::kBreakpoint;
        s.parameterCount = 1;
        // int3 reports the instruction after it; the breakpoint is the byte before.
        unsigned char before = 0;
        if (IsReadableMemory(s.instructionPointer - 1, 1)) {
          memcpy(&before, reinterpret_cast<const void*>(s.instructionPointer - 1), 1);
        }
        if (before == 0xCC) s.address = s.instructionPointer - 1;
      }
      break;
    default:
      break;
  }
  s.chainLength =
      collectFaultChain(s.instructionPointer, s.stackPointer, s.framePointer, s.chain, FaultSnapshot::kMaxFrames);
  if (s.chainLength > 0) s.chain[0] = s.address;
}

void reportFault(const FaultSnapshot& snap) {
  std::pmr::memory_resource* mr = threadResource();
  ModuleList modules(mr);
  modules.snapshot();
  FaultText callStack = BuildCallStack(snap.callChain(), modules, mr);
  FaultText report = BuildFaultReport(snap, modules, mr);
  {
    LockScope lock;
    ThreadReportSlot& slot = slotForReport(mr);
    slot.report = report;
    slot.callStack = callStack;
  }
  ShowFaultReport();
}

void onFaultSignal(int sig, siginfo_t* info, void* ctx) {
  int savedErrno = errno;
  if (!gActive.load()) {
    passOn(sig, info, ctx);
    errno = savedErrno;
    return;
  }
  if (claimReport(128 + sig) == Claim::Nested) {
    if (sigjmp_buf* recovery = tUnwindRecovery) {
      tUnwindRecovery = nullptr;
      siglongjmp(*recovery, 1);
    }
    nestedFailure();
  }
  setThreadResource(faultArena());
  try {
    fillSnapshot(gSnapshot, sig, info, static_cast<const ucontext_t*>(ctx));
    reportFault(gSnapshot);
  } catch (...) {
    nestedFailure();
  }
  _exit(gExitCode.load());
}

// The report of a fatal run-time error. `skip` leaves out the innermost
// frames of the call stack: 1 is this routine's own frame, 2 also its
// caller's, and so on, so the stack starts where the error was detected.
// Inside a signal handler, `interrupted` is the interrupted context and the
// stack starts there instead.
__attribute__((noinline)) bool reportInternalError(long errorNumber, std::string_view message, size_t skip,
                                                   const ucontext_t* interrupted = nullptr) {
  if (claimReport(-1) == Claim::Nested) nestedFailure();
  // The fault arena here too: a thread that faulted meanwhile may be holding
  // a heap lock while it waits for this report to end the process.
  setThreadResource(faultArena());
  try {
    using namespace faulttext;
    std::pmr::memory_resource* mr = threadResource();
    FaultText report(mr);
    report.append(kRuntimeError);
    report.append(kRuntimeCode);
    appendDecimal(report, errorNumber);
    report.append("\r\n\r\n");
    report.append(kRuntimeMessage);
    report.append(message);
    report.append("\r\n");
    uintptr_t chain[FaultSnapshot::kMaxFrames];
    size_t n = 0;
    if (interrupted) {
      FaultSnapshot& at = gSnapshot;
      fillRegisters(at, interrupted);
      n = collectFaultChain(at.instructionPointer, at.stackPointer, at.framePointer, chain, FaultSnapshot::kMaxFrames);
    } else {
      n = CollectCurrentChain(skip, chain, FaultSnapshot::kMaxFrames);
    }
    FaultText callStack = BuildCallStack(std::span<const uintptr_t>(chain, n));
    {
      LockScope lock;
      ThreadReportSlot& slot = slotForReport(mr);
      slot.report = report;
      slot.callStack = callStack;
    }
    ShowFaultReport();
  } catch (...) {
    nestedFailure();
  }
  asm volatile("" ::: "memory");
  return true;
}

// abort() (a failed assertion, the C library's heap checks, the C++
// run-time's last resort) is a fatal run-time error too.
void onAbortSignal(int sig, siginfo_t* info, void* ctx) {
  int savedErrno = errno;
  if (!gActive.load()) {
    passOn(sig, info, ctx);
    errno = savedErrno;
    return;
  }
  reportInternalError(internalerror::kAbort, "abort() called", 0, static_cast<const ucontext_t*>(ctx));
  _exit(-1);
}

// ---- Terminate hook ---------------------------------------------------------

std::string currentExceptionText() {
  std::string type = "unknown type";
  if (std::type_info* t = abi::__cxa_current_exception_type()) {
    int status = 0;
    char* readable = abi::__cxa_demangle(t->name(), nullptr, nullptr, &status);
    type = readable && status == 0 ? readable : t->name();
    free(readable);
  }
  try {
    std::rethrow_exception(std::current_exception());
  } catch (const std::exception& e) {
    return "uncaught exception " + type + ": " + e.what();
  } catch (...) {
    return "uncaught exception " + type;
  }
}

[[noreturn]] void onTerminate() {
  if (gActive.load()) {
    if (std::current_exception()) {
      reportInternalError(internalerror::kUncaughtException, currentExceptionText(), 2);
    } else {
      reportInternalError(internalerror::kTerminate, "std::terminate called without an active exception", 2);
    }
    _exit(-1);
  }
  if (gPreviousTerminate) gPreviousTerminate();
  std::abort();
}

void openConverter() {
  if (gToUtf8 == reinterpret_cast<iconv_t>(-1)) gToUtf8 = iconv_open("UTF-8", "GBK");
}

void findHelper() {
  char path[sizeof(gHelperPath)];
  ssize_t n = readlink("/proc/self/exe", path, sizeof(path) - 1);
  if (n <= 0) return;
  path[n] = '\0';
  char* slash = strrchr(path, '/');
  if (!slash) return;
  slash[1] = '\0';
  // Beside the executable (the build folder), else where an installation
  // keeps helper programs.
  for (const char* sub : {"", INKPOST_HELPER_FROM_BIN}) {
    if (strlen(path) + strlen(sub) + strlen(kHelperName) + 1 > sizeof(gHelperPath)) continue;
    strcpy(gHelperPath, path);
    strcat(gHelperPath, sub);
    strcat(gHelperPath, kHelperName);
    if (access(gHelperPath, X_OK) == 0) return;
  }
  // Neither is there: keep the first, whose failure to start sends the
  // report to standard error.
  strcpy(gHelperPath, path);
  strcat(gHelperPath, kHelperName);
}

}  // namespace

// ---- Thread coverage --------------------------------------------------------

}  // namespace inkpost

// Every thread of the process is started through pthread_create (Qt's, the
// browser engine's and std::thread alike). This definition in the executable
// comes first in symbol look-up, so the start routine of each new thread is
// wrapped: it gets an alternate signal stack (so a stack overflow can still
// be reported) before the caller's routine runs. Before installation, calls
// pass straight through.
extern "C" int pthread_create(pthread_t* thread, const pthread_attr_t* attr, void* (*start)(void*),
                              void* arg) noexcept {
  using Create = int (*)(pthread_t*, const pthread_attr_t*, void* (*)(void*), void*);
  static Create real = reinterpret_cast<Create>(dlsym(RTLD_NEXT, "pthread_create"));
  if (!real) return EAGAIN;
  if (!inkpost::gInstalled.load(std::memory_order_relaxed)) return real(thread, attr, start, arg);
  auto* block = static_cast<inkpost::ThreadStart*>(malloc(sizeof(inkpost::ThreadStart)));
  if (!block) return real(thread, attr, start, arg);
  block->start = start;
  block->arg = arg;
  int rc = real(thread, attr, inkpost::guardedThreadStart, block);
  if (rc != 0) free(block);
  return rc;
}

namespace inkpost {

namespace faultinternal {
const FaultGuardOptions& options() { return mutableOptions(); }
}  // namespace faultinternal

size_t CollectCurrentChain(size_t skip, uintptr_t* out, size_t max) __attribute__((noinline));
size_t CollectCurrentChain(size_t skip, uintptr_t* out, size_t max) {
  if (max == 0) return 0;
  ChainWalk w{out, max, 0, skip + 1, 0, false};
  _Unwind_Backtrace(chainStep, &w);
  return w.count;
}

void InstallFaultGuard() {
  static std::atomic<bool> once{false};
  if (once.exchange(true)) return;
  findHelper();
  openConverter();
  RegisterRoutineName("InstallFaultGuard", reinterpret_cast<const void*>(&InstallFaultGuard));
  // The main thread's alternate stack lives as long as the process.
  installAltStack();
  recordStackBounds();
  for (int sig : kSignals) {
    struct sigaction sa {};
    sa.sa_sigaction = onFaultSignal;
    sigemptyset(&sa.sa_mask);
    // SA_NODEFER: a fault while the report is built reaches the handler
    // again (the nested-fault message) instead of killing the process.
    sa.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_NODEFER;
    sigaction(sig, &sa, &gPrevious[sig]);
  }
  struct sigaction abortAction {};
  abortAction.sa_sigaction = onAbortSignal;
  sigemptyset(&abortAction.sa_mask);
  abortAction.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_NODEFER;
  sigaction(SIGABRT, &abortAction, &gPrevious[SIGABRT]);
  gPreviousTerminate = std::set_terminate(onTerminate);
  gInstalled.store(true);
  gActive.store(gConfigured.load());
}

void ConfigureFaultGuard(const FaultGuardOptions& opt) {
  {
    LockScope lock;
    mutableOptions() = opt;
  }
  const char* mode = getenv("INKPOST_FAULT_REPORT");
  gReportToStderr.store(mode && strcmp(mode, "stderr") == 0);
  const char* helper = getenv("INKPOST_FAULT_REPORT_HELPER");
  if (helper && *helper && strlen(helper) < sizeof(gHelperPath)) {
    LockScope lock;
    strcpy(gHelperPath, helper);
  }
  openConverter();
  gConfigured.store(true);
  gActive.store(gInstalled.load());
}

bool FaultGuardInstalled() { return gInstalled.load(); }
bool FaultGuardActive() { return gActive.load(); }

FaultGuardOptions CurrentFaultGuardOptions() {
  LockScope lock;
  return mutableOptions();
}

bool OnInternalError(long errorNumber, std::string_view message) {
  bool shown = reportInternalError(errorNumber, message, 2);
  asm volatile("" ::: "memory");
  return shown;
}

bool RaiseInternalError(long errorNumber, std::string_view message) {
  if (!gActive.load()) return false;
  reportInternalError(errorNumber, message, 2);
  _exit(-1);
}

void ShowFaultReport() {
  const FaultGuardOptions& opt = options();
  if (!opt.showReport) return;
  FaultText text(threadResource());
  {
    LockScope lock;
    text = FullReportText(CurrentThreadReportSlot(), opt, threadResource());
  }
  showMessage(faulttext::kCaption, text);
}

}  // namespace inkpost
