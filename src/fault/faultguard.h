// The fault guard: turns a processor fault (SIGSEGV, SIGBUS, SIGFPE, SIGILL,
// SIGTRAP) in any thread, or a fatal run-time error, into a readable report
// shown in a message box, then ends the process with a non-zero exit code.
//
// Life cycle: InstallFaultGuard() at process start (before any window),
// ConfigureFaultGuard() from the main window's start-up. Until configured the
// guard is inactive and every fault takes its ordinary course.
//
// Texts (report, call stack, messages) are GBK bytes. They are held in
// std::pmr::string so that the report can be assembled inside a signal
// handler from a fixed memory arena, without touching the heap (a fault
// inside malloc must not deadlock the report). Outside the handler the
// default memory resource is used, so callers can treat FaultText like any
// string.
//
// Showing the report: the box is shown by a small helper program,
// inkpost-fault-report, started beside the executable (installed: in
// libexec/inkpost-client/ of the prefix). With the environment
// variable INKPOST_FAULT_REPORT=stderr (read by ConfigureFaultGuard) the
// caption and the report are written to standard error in UTF-8 instead
// ("[caption]" on a line of its own, then the text and a newline): tests and
// headless runs read the report that way. When the helper cannot
// be started or cannot show the box (no display), the report also goes to
// standard error, so it is never lost. INKPOST_FAULT_REPORT_HELPER names
// another helper program (also read by ConfigureFaultGuard). Nothing is
// written to disk.
//
// Exit codes: 128 + the signal number after a fault (139 for SIGSEGV), -1
// (255) after an internal error.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory_resource>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace inkpost {

using FaultText = std::pmr::string;

struct FaultGuardOptions {
  bool showReport = true;
  // Window class of the top-level window meant to own the box. The box is
  // shown by a separate process, so it never has an owner; the value is kept
  // for callers that set it.
  std::string ownerWindowClass = "Afx:10000000:b:10011:1900015:0";
  // C++ exceptions never arrive as signals here; an uncaught one reaches
  // std::terminate and is reported through OnInternalError.
  bool passCppExceptions = true;
  // Frames inside the C library and the dynamic loader are left out of the
  // call stack (the fault's own line is always kept).
  bool skipSystemFrames = true;
  bool includeCallStack = true;
  // Largest distance in bytes between a known routine start or export and
  // an address for the address to be named after it.
  uint32_t routineSpan = 4096;
};

// Exception codes the report knows by name (the signal is mapped onto them).
namespace faultcode {
inline constexpr uint32_t kAccessViolation = 0xC0000005;
inline constexpr uint32_t kIntDivideByZero = 0xC0000094;
inline constexpr uint32_t kIntOverflow = 0xC0000095;
inline constexpr uint32_t kFloatDivideByZero = 0xC000008E;
inline constexpr uint32_t kFloatInexact = 0xC000008F;
inline constexpr uint32_t kFloatInvalid = 0xC0000090;
inline constexpr uint32_t kFloatOverflow = 0xC0000091;
inline constexpr uint32_t kFloatUnderflow = 0xC0000093;
inline constexpr uint32_t kFloatSubscript = 0xC000008C;
inline constexpr uint32_t kStackOverflow = 0xC00000FD;
inline constexpr uint32_t kIllegalInstruction = 0xC000001D;
inline constexpr uint32_t kPrivilegedInstruction = 0xC0000096;
inline constexpr uint32_t kBreakpoint = 0x80000003;
inline constexpr uint32_t kSingleStep = 0x80000004;
inline constexpr uint32_t kMisalignment = 0x80000002;
inline constexpr uint32_t kCppException = 0xE06D7363;
}  // namespace faultcode

// Error numbers handed to OnInternalError by the guard's own hooks.
namespace internalerror {
inline constexpr long kUncaughtException = 1;  // an exception reached std::terminate
inline constexpr long kTerminate = 2;          // std::terminate without an exception
inline constexpr long kFatalMessage = 3;       // a fatal message of the UI toolkit
inline constexpr long kAbort = 4;              // abort(): failed assertion, heap check
}  // namespace internalerror

// What a fault looks like to the report. `chain` is the call chain from the
// fault address outwards (chain[0] is the fault's instruction address, the
// rest are return addresses), collected when the fault arrived.
struct FaultSnapshot {
  static constexpr size_t kMaxParameters = 15;
  static constexpr size_t kMaxFrames = 64;

  uint32_t code = 0;
  uint32_t flags = 0;
  uintptr_t address = 0;
  uint32_t parameterCount = 0;
  uintptr_t parameters[kMaxParameters] = {};
  uintptr_t framePointer = 0;
  uintptr_t stackPointer = 0;
  uintptr_t instructionPointer = 0;
  uintptr_t chain[kMaxFrames] = {};
  size_t chainLength = 0;

  std::span<const uintptr_t> callChain() const { return {chain, chainLength}; }
};

// ---- Life cycle -----------------------------------------------------------

// Installs the handlers (inactive), the alternate signal stack of the calling
// thread and of every thread started later, the std::terminate hook, and a
// SIGABRT handler that reports abort() as an internal error.
// Runs once; later calls do nothing.
void InstallFaultGuard();

// Sets the options, activates the guard (when installed) and makes
// OnInternalError the receiver of fatal run-time errors.
void ConfigureFaultGuard(const FaultGuardOptions& options = {});

bool FaultGuardInstalled();
bool FaultGuardActive();
FaultGuardOptions CurrentFaultGuardOptions();

// Reports a fatal run-time error; always returns true, and the caller then
// ends the process with exit code -1.
bool OnInternalError(long errorNumber, std::string_view message);

// For run-time checks and toolkit hooks: while the guard is active, reports
// through OnInternalError and ends the process with exit code -1 (does not
// return). While inactive it returns false and the caller goes on with its
// own handling.
bool RaiseInternalError(long errorNumber, std::string_view message);

// ---- Report building --------------------------------------------------------

// "%08X" with as many digits as a 64-bit value needs.
FaultText FormatHex8(uint64_t value, std::pmr::memory_resource* mr = std::pmr::get_default_resource());
// Two digits below 256, four up to 0xFFFF, otherwise as FormatHex8.
FaultText FormatHexBySize(uint64_t value, std::pmr::memory_resource* mr = std::pmr::get_default_resource());

// One loaded object of the process.
struct ModuleInfo {
  char name[256] = {};            // file name without folder; the executable's own name
  uintptr_t base = 0;             // lowest mapped address
  uintptr_t end = 0;              // one past the highest mapped address
  uintptr_t bias = 0;             // load bias (added to the object's virtual addresses)
  const void* dynamic = nullptr;  // its dynamic section, if any
};

// A snapshot of the loaded objects; the first is the program's executable.
class ModuleList {
 public:
  explicit ModuleList(std::pmr::memory_resource* mr = std::pmr::get_default_resource());
  void snapshot();
  const ModuleInfo* find(uintptr_t address) const;
  const ModuleInfo* executable() const { return items_.empty() ? nullptr : &items_.front(); }
  const std::pmr::vector<ModuleInfo>& items() const { return items_; }

 private:
  std::pmr::vector<ModuleInfo> items_;
};

// The exported function of `module` with the highest address at or below
// `address` (from the module's dynamic symbol table).
struct ExportMatch {
  const char* name = nullptr;
  uintptr_t address = 0;
};
bool FindNearestExport(const ModuleInfo& module, uintptr_t address, ExportMatch& out);

// True when `size` bytes at `address` can be read (never faults).
bool IsReadableMemory(uintptr_t address, size_t size);

// Registers a routine under a name; frames within routineSpan bytes after
// `start` are named after it. `name` must stay valid for the whole run (a
// string literal). The table holds 32 entries.
void RegisterRoutineName(const char* name, const void* start);

// The first return address up the chain that lies in the executable (at least
// one step is taken), or 0 when there is none.
uintptr_t FindAnalysisPosition(std::span<const uintptr_t> chain, const ModuleList& modules);

// One line per address, outermost caller first, each indented by one more
// blank than the line before it.
FaultText BuildCallStack(std::span<const uintptr_t> chain, const ModuleList& modules,
                         std::pmr::memory_resource* mr = std::pmr::get_default_resource());
FaultText BuildCallStack(std::span<const uintptr_t> chain);

// Collects the call chain by following saved frame pointers from `frame`
// (each frame: saved frame pointer, then the return address), starting with
// `address`; for code built with frame pointers.
size_t CollectFrameChain(uintptr_t frame, uintptr_t address, uintptr_t* out, size_t max);

// Collects the call chain of the calling code with the unwinder, leaving out
// the innermost `skip` frames (0 keeps the caller of this function).
size_t CollectCurrentChain(size_t skip, uintptr_t* out, size_t max);

FaultText BuildFaultReport(const FaultSnapshot& snapshot, const ModuleList& modules,
                           std::pmr::memory_resource* mr = std::pmr::get_default_resource());
FaultText BuildFaultReport(const FaultSnapshot& snapshot);

// ---- Per-thread report slots -----------------------------------------------

struct ThreadReportSlot {
  explicit ThreadReportSlot(std::pmr::memory_resource* mr) : report(mr), callStack(mr), extra(mr) {}
  long threadId = 0;
  FaultText report;
  FaultText callStack;
  FaultText extra;
};

// The calling thread's slot, created on first use (at most 32 threads; after
// that the last slot is shared).
ThreadReportSlot& CurrentThreadReportSlot();
// Report text, then "CallStack:\r\n" and the call stack (when includeCallStack
// and the stack is not empty), then "\r\n附属信息：" and the extra text.
FaultText FullReportText(const ThreadReportSlot& slot, const FaultGuardOptions& options,
                         std::pmr::memory_resource* mr = std::pmr::get_default_resource());

// Shows the calling thread's slot in the report box (caption "程序异常：")
// when showReport is set; returns when the box has been closed.
void ShowFaultReport();

}  // namespace inkpost
