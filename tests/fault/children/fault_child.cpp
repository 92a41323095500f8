// A program that really faults, in the way named by its first argument.
// Before faulting it prints its load base and the address of the routine
// that faults, so the test can check the report's offsets.
#include "fault/faultguard.h"

#include <dlfcn.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>
#include <thread>

extern "C" int fault_child_call(int (*callback)(int), int value);

// With "no-heap", any heap allocation after the fault is an error: the
// report must be built without the heap (a fault inside malloc would
// otherwise deadlock it). The program's own malloc comes first in look-up.
extern "C" void* __libc_malloc(size_t);
extern "C" void* __libc_calloc(size_t, size_t);
extern "C" void* __libc_realloc(void*, size_t);
static std::atomic<bool> gHeapForbidden{false};

static void heapUsed() {
  if (!gHeapForbidden.load()) return;
  static const char kText[] = "heap used while reporting\n";
  (void)!write(2, kText, sizeof(kText) - 1);
  _exit(99);
}

extern "C" void* malloc(size_t n) {
  heapUsed();
  return __libc_malloc(n);
}
extern "C" void* calloc(size_t n, size_t m) {
  heapUsed();
  return __libc_calloc(n, m);
}
extern "C" void* realloc(void* p, size_t n) {
  heapUsed();
  return __libc_realloc(p, n);
}

// Faults with its frame pointer (which its unwind information makes the
// base of its frame) pointing at unmapped memory: the stack walk that follows
// reads there.
extern "C" void wrecked_frame_fault();
asm(R"(
  .text
  .globl wrecked_frame_fault
  .type wrecked_frame_fault, @function
wrecked_frame_fault:
  .cfi_startproc
  push %rbp
  .cfi_def_cfa_offset 16
  .cfi_offset %rbp, -16
  mov %rsp, %rbp
  .cfi_def_cfa_register %rbp
  mov $0x1000, %rbp
  movl $1, 0x20
  pop %rbp
  ret
  .cfi_endproc
  .size wrecked_frame_fault, .-wrecked_frame_fault
)");

namespace {

void announce(const char* what, const void* routine) {
  Dl_info info{};
  dladdr(reinterpret_cast<const void*>(&announce), &info);
  std::printf("base=%zx %s=%zx\n", reinterpret_cast<uintptr_t>(info.dli_fbase), what,
              reinterpret_cast<uintptr_t>(routine));
  std::fflush(stdout);
}

__attribute__((noinline)) int writeFault(int value) {
  *reinterpret_cast<volatile int*>(static_cast<uintptr_t>(0x20)) = value;
  return value;
}

__attribute__((noinline)) int readFault(int value) {
  return *reinterpret_cast<volatile int*>(static_cast<uintptr_t>(0x30)) + value;
}

__attribute__((noinline)) int divideFault(int value) {
  volatile int zero = 0;
  return value / zero;
}

__attribute__((noinline)) int illegalFault(int value) {
  asm volatile("ud2");
  return value;
}

__attribute__((noinline)) int breakpointFault(int value) {
  asm volatile("int3");
  return value;
}

__attribute__((noinline)) int privilegedFault(int value) {
  asm volatile("hlt");
  return value;
}

__attribute__((noinline)) int recurse(int depth) {
  volatile char pad[256];
  pad[0] = static_cast<char>(depth);
  int r = recurse(depth + 1) + pad[0];
  asm volatile("" : "+r"(r));
  return r;
}

void* overflowThread(void*) {
  recurse(0);
  return nullptr;
}

__attribute__((noinline)) int failCheck() {
  inkpost::RaiseInternalError(42, "index out of range");
  return 3;  // reached only while the guard is inactive
}

__attribute__((noinline)) void throwUncaught() { throw std::runtime_error("boom"); }

int run(const std::string& what) {
  if (what == "write") {
    announce("routine", reinterpret_cast<const void*>(&writeFault));
    return writeFault(1);
  }
  if (what == "read") return readFault(1);
  if (what == "extra") {
    inkpost::CurrentThreadReportSlot().extra = "build 42";
    gHeapForbidden.store(true);
    return writeFault(6);
  }
  if (what == "wrecked-stack") {
    wrecked_frame_fault();
    return 0;
  }
  if (what == "no-heap") {
    gHeapForbidden.store(true);
    return writeFault(5);
  }
  if (what == "divide") return divideFault(7);
  if (what == "illegal") return illegalFault(1);
  if (what == "breakpoint") return breakpointFault(1);
  if (what == "privileged") return privilegedFault(1);
  if (what == "overflow") return recurse(0);
  if (what == "thread") {
    std::thread t([] { writeFault(2); });
    t.join();
    return 0;
  }
  if (what == "thread-overflow") {
    // A small stack keeps the run short; the thread still needs the
    // alternate stack the guard gives every new thread.
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setstacksize(&attr, 256 * 1024);
    pthread_t t;
    pthread_create(&t, &attr, overflowThread, nullptr);
    pthread_join(t, nullptr);
    return 0;
  }
  if (what == "std-thread-overflow") {
    // std::thread starts its thread from inside the C++ library.
    std::thread t([] { recurse(0); });
    t.join();
    return 0;
  }
  if (what == "two-threads") {
    // Two threads fault at once: one report, then the process ends.
    std::atomic<int> ready{0};
    auto body = [&ready] {
      ready.fetch_add(1);
      while (ready.load() < 2) {
      }
      writeFault(4);
    };
    std::thread a(body), b(body);
    a.join();
    b.join();
    return 0;
  }
  if (what == "library") {
    announce("routine", reinterpret_cast<const void*>(&writeFault));
    return fault_child_call(writeFault, 3);
  }
  if (what == "abort") {
    std::abort();
  }
  if (what == "uncaught") {
    throwUncaught();
    return 0;
  }
  if (what == "internal") {
    announce("routine", reinterpret_cast<const void*>(&failCheck));
    return failCheck();
  }
  if (what == "nested") {
    // A name the report cannot read: naming the faulting frame faults again.
    inkpost::RegisterRoutineName(reinterpret_cast<const char*>(static_cast<uintptr_t>(0x40)),
                                 reinterpret_cast<const void*>(&writeFault));
    return writeFault(1);
  }
  std::fprintf(stderr, "unknown case %s\n", what.c_str());
  return 2;
}

}  // namespace

// fault_child CASE [--unconfigured] [--quiet]
//   --unconfigured  install the guard but never configure it
//   --quiet         configure with showReport off
int main(int argc, char** argv) {
  if (argc < 2) return 2;
  bool configure = true;
  inkpost::FaultGuardOptions options;
  for (int i = 2; i < argc; ++i) {
    if (std::strcmp(argv[i], "--unconfigured") == 0) configure = false;
    if (std::strcmp(argv[i], "--quiet") == 0) options.showReport = false;
  }
  inkpost::InstallFaultGuard();
  if (configure) inkpost::ConfigureFaultGuard(options);
  return run(argv[1]);
}
