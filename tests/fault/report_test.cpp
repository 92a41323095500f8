// The report texts built in-process: hexadecimal forms, the fault report
// lines, the call-stack naming rules, the analysis position, the slots.
#include "fault/faultguard.h"

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <iconv.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

namespace {

using inkpost::FaultSnapshot;
using inkpost::FaultText;
using inkpost::ModuleList;

// UTF-8 source text -> the GBK bytes the report is made of.
std::string gbk(const std::string& utf8) {
  iconv_t cd = iconv_open("GBK", "UTF-8");
  std::string out(utf8.size() * 2 + 4, '\0');
  char* in = const_cast<char*>(utf8.data());
  size_t inLeft = utf8.size();
  char* dst = out.data();
  size_t dstLeft = out.size();
  size_t rc = iconv(cd, &in, &inLeft, &dst, &dstLeft);
  iconv_close(cd);
  EXPECT_NE(rc, static_cast<size_t>(-1));
  out.resize(out.size() - dstLeft);
  return out;
}

std::string str(const FaultText& t) { return std::string(t.data(), t.size()); }

std::string hex(uint64_t v, int digits) {
  char buf[32];
  std::snprintf(buf, sizeof(buf), "%0*llX", digits, static_cast<unsigned long long>(v));
  return buf;
}

__attribute__((noinline)) int someRoutine(int v) { return v * 3 + 1; }

uintptr_t addressOf(const void* p) { return reinterpret_cast<uintptr_t>(p); }
uintptr_t exeAddress() { return addressOf(reinterpret_cast<const void*>(&someRoutine)); }
uintptr_t libcAddress() { return addressOf(reinterpret_cast<const void*>(&qsort)) + 8; }

std::string childLibraryPath() {
  std::string exe = FAULT_CHILD_EXE;
  return exe.substr(0, exe.rfind('/')) + "/libfault_child_lib.so";
}

class Report : public ::testing::Test {
 protected:
  void SetUp() override { inkpost::ConfigureFaultGuard({}); }
  void TearDown() override { inkpost::ConfigureFaultGuard({}); }
  ModuleList modules;
  void SetUpModules() { modules.snapshot(); }
};

TEST(FaultHex, WidthsFollowTheValue) {
  EXPECT_EQ(str(inkpost::FormatHex8(0)), "00000000");
  EXPECT_EQ(str(inkpost::FormatHex8(0xC0000017)), "C0000017");
  EXPECT_EQ(str(inkpost::FormatHex8(0x1234abcd)), "1234ABCD");
  // 64-bit addresses take as many digits as they need.
  EXPECT_EQ(str(inkpost::FormatHex8(0x7ffd12345678ULL)), "7FFD12345678");
  EXPECT_EQ(str(inkpost::FormatHexBySize(0x0B)), "0B");
  EXPECT_EQ(str(inkpost::FormatHexBySize(0xFF)), "FF");
  EXPECT_EQ(str(inkpost::FormatHexBySize(0x100)), "0100");
  EXPECT_EQ(str(inkpost::FormatHexBySize(0xFFFF)), "FFFF");
  EXPECT_EQ(str(inkpost::FormatHexBySize(0x10000)), "00010000");
  EXPECT_EQ(str(inkpost::FormatHexBySize(0x123456789ULL)), "123456789");
}

TEST(FaultModules, SnapshotStartsWithTheExecutable) {
  ModuleList modules;
  modules.snapshot();
  ASSERT_NE(modules.executable(), nullptr);
  EXPECT_STREQ(modules.executable()->name, "test_fault");
  EXPECT_EQ(modules.find(exeAddress()), modules.executable());
  const inkpost::ModuleInfo* libc = modules.find(libcAddress());
  ASSERT_NE(libc, nullptr);
  EXPECT_STREQ(libc->name, "libc.so.6");
  EXPECT_EQ(modules.find(0x10), nullptr);
}

TEST(FaultModules, ReadabilityTestNeverFaults) {
  int local = 5;
  EXPECT_TRUE(inkpost::IsReadableMemory(addressOf(&local), sizeof(local)));
  EXPECT_TRUE(inkpost::IsReadableMemory(exeAddress(), 16));
  EXPECT_FALSE(inkpost::IsReadableMemory(0, 1));
  EXPECT_FALSE(inkpost::IsReadableMemory(0x1000, 8));
  long page = sysconf(_SC_PAGESIZE);
  void* p = mmap(nullptr, page, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  ASSERT_NE(p, MAP_FAILED);
  EXPECT_FALSE(inkpost::IsReadableMemory(addressOf(p), 1));
  munmap(p, page);
}

TEST(FaultReportText, WriteViolationHasTargetAndNoParameterLines) {
  FaultSnapshot s;
  s.code = 0xC0000005;
  s.address = 0x10;
  s.parameterCount = 2;
  s.parameters[0] = 1;
  s.parameters[1] = 0x1234;
  EXPECT_EQ(str(inkpost::BuildFaultReport(s)),
            gbk("警告:程序发生错误\r\n错误信息:内存写入异常\r\n目标地址:00001234\r\n发生位置:00000010\r\n"));
  s.parameters[0] = 0;
  EXPECT_EQ(str(inkpost::BuildFaultReport(s)),
            gbk("警告:程序发生错误\r\n错误信息:内存读取异常\r\n目标地址:00001234\r\n发生位置:00000010\r\n"));
}

TEST(FaultReportText, UnlistedCodeShowsCodeAndParameters) {
  FaultSnapshot s;
  s.code = 0xC0000017;
  s.address = 0x20;
  s.parameterCount = 2;
  s.parameters[0] = 1;
  s.parameters[1] = 0xABCD;
  EXPECT_EQ(str(inkpost::BuildFaultReport(s)), gbk("警告:程序发生错误\r\n错误代码:C0000017\r\n发生位置:00000020\r\n"
                                                   "错误参数1:00000001\r\n错误参数2:0000ABCD\r\n"));
  // More than fifteen parameters are never read.
  s.parameterCount = 40;
  std::string text = str(inkpost::BuildFaultReport(s));
  EXPECT_NE(text.find(gbk("错误参数15:")), std::string::npos);
  EXPECT_EQ(text.find(gbk("错误参数16:")), std::string::npos);
}

TEST(FaultReportText, EachKnownCodeHasItsLine) {
  struct Case {
    uint32_t code;
    const char* line;
  } cases[] = {
      {0xC0000094, "错误信息:非法除0异常\r\n"},
      {0xC000008E, "错误信息:非法除0异常\r\n"},
      {0xC00000FD, "错误信息:线程堆栈溢出异常\r\n"},
      {0xC000001D, "错误信息:非法CPU指令\r\n"},
      {0x80000003, "错误信息:int3调试中断\r\n"},
      {0xC0000096, "错误信息:无法执行Ring0指令\r\n"},
      {0xE06D7363, "错误信息:执行Virtual C++ throw()指令\r\n"},
  };
  for (const Case& c : cases) {
    FaultSnapshot s;
    s.code = c.code;
    s.address = 0x30;
    EXPECT_EQ(str(inkpost::BuildFaultReport(s)),
              gbk(std::string("警告:程序发生错误\r\n") + c.line + "发生位置:00000030\r\n"))
        << std::hex << c.code;
  }
}

TEST_F(Report, RelativeAddressAndAnalysisPosition) {
  SetUpModules();
  const inkpost::ModuleInfo* exe = modules.executable();
  FaultSnapshot s;
  s.code = 0xC000001D;
  s.address = libcAddress();  // a fault inside the C library...
  s.chain[0] = s.address;
  s.chain[1] = exeAddress() + 5;  // ...called from the program's own code
  s.chainLength = 2;
  std::string text = str(inkpost::BuildFaultReport(s, modules));
  const inkpost::ModuleInfo* libc = modules.find(s.address);
  ASSERT_NE(libc, nullptr);
  EXPECT_NE(text.find(gbk("相对地址:[libc.so.6].") + hex(s.address - libc->base, 8) + "\r\n"), std::string::npos);
  EXPECT_NE(text.find(gbk("分析位置:") + hex(exeAddress() + 5, 8) + "\r\n"), std::string::npos);
  s.address = exeAddress();
  text = str(inkpost::BuildFaultReport(s, modules));
  EXPECT_NE(text.find(gbk("相对地址:[test_fault].") + hex(exeAddress() - exe->base, 8)), std::string::npos);
}

TEST_F(Report, AnalysisTakesAtLeastOneStepAndNeedsTheExecutable) {
  SetUpModules();
  uintptr_t inExe[] = {exeAddress(), exeAddress() + 9};
  EXPECT_EQ(inkpost::FindAnalysisPosition(inExe, modules), exeAddress() + 9);
  uintptr_t libOnly[] = {libcAddress(), libcAddress() + 4};
  EXPECT_EQ(inkpost::FindAnalysisPosition(libOnly, modules), 0u);  // the chain ends outside the program
  uintptr_t wild[] = {0x1000, exeAddress()};
  EXPECT_EQ(inkpost::FindAnalysisPosition(wild, modules), 0u);  // outside every module and unreadable
  uintptr_t through[] = {libcAddress(), libcAddress() + 4, exeAddress() + 3, exeAddress() + 7};
  EXPECT_EQ(inkpost::FindAnalysisPosition(through, modules), exeAddress() + 3);
  EXPECT_EQ(inkpost::FindAnalysisPosition({}, modules), 0u);
}

TEST_F(Report, CallStackLineForExecutableOffset) {
  SetUpModules();
  const inkpost::ModuleInfo* exe = modules.executable();
  uintptr_t a = exe->base + 0x1234;
  uintptr_t chain[] = {a};
  EXPECT_EQ(str(inkpost::BuildCallStack(chain, modules)), "[test_fault]+0x1234=" + hex(a, 8) + "\r\n");
  uintptr_t b = exe->base + 0x40;
  uintptr_t two[] = {a, b};
  EXPECT_EQ(str(inkpost::BuildCallStack(two, modules)),
            "[test_fault]+0x40=" + hex(b, 8) + "\r\n [test_fault]+0x1234=" + hex(a, 8) + "\r\n");
}

TEST_F(Report, CallStackNamesLibraryFramesByNearestExport) {
  void* lib = dlopen(childLibraryPath().c_str(), RTLD_NOW);
  ASSERT_NE(lib, nullptr) << dlerror();
  uintptr_t fn = addressOf(dlsym(lib, "fault_child_call"));
  ASSERT_NE(fn, 0u);
  SetUpModules();
  uintptr_t chain[] = {fn + 4, fn};
  EXPECT_EQ(str(inkpost::BuildCallStack(chain, modules)),
            "[libfault_child_lib.so].fault_child_call\r\n [libfault_child_lib.so].fault_child_call+0x04\r\n");
}

TEST_F(Report, SystemFramesAreLeftOutExceptTheFaultLine) {
  SetUpModules();
  uintptr_t outer = exeAddress() + 2;
  uintptr_t chain[] = {exeAddress(), libcAddress(), outer};
  std::string text = str(inkpost::BuildCallStack(chain, modules));
  EXPECT_EQ(text.find("libc.so.6"), std::string::npos) << text;
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2);

  uintptr_t inLibc[] = {libcAddress(), outer};
  text = str(inkpost::BuildCallStack(inLibc, modules));
  EXPECT_NE(text.find(" [libc.so.6]"), std::string::npos) << text;

  inkpost::FaultGuardOptions keep;
  keep.skipSystemFrames = false;
  inkpost::ConfigureFaultGuard(keep);
  text = str(inkpost::BuildCallStack(chain, modules));
  EXPECT_NE(text.find("[libc.so.6]"), std::string::npos) << text;
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 3);
}

TEST_F(Report, ZeroAndUnreadableAddressesAreSkipped) {
  SetUpModules();
  uintptr_t chain[] = {exeAddress(), 0, 0x1000, exeAddress() + 1};
  std::string text = str(inkpost::BuildCallStack(chain, modules));
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2);
  EXPECT_EQ(text.find("\r\n [test_fault]+0x"), text.find("\r\n"));  // the second line has one blank
}

TEST_F(Report, RegisteredRoutinesAreNamedWithinTheSpan) {
  SetUpModules();
  uintptr_t start = exeAddress();
  inkpost::RegisterRoutineName("SomeRoutine", reinterpret_cast<const void*>(start));
  uintptr_t chain[] = {start + 0x10, start};
  EXPECT_EQ(str(inkpost::BuildCallStack(chain, modules)),
            "SomeRoutine\r\n SomeRoutine+0x10=" + hex(start + 0x10, 8) + "\r\n");
  inkpost::FaultGuardOptions narrow;
  narrow.routineSpan = 8;
  inkpost::ConfigureFaultGuard(narrow);
  uintptr_t far[] = {start + 0x10};
  EXPECT_EQ(str(inkpost::BuildCallStack(far, modules)).rfind("[test_fault]+0x", 0), 0u);
}

TEST(FaultCallChain, FramePointerWalkStopsOnLoops) {
  // Two fake frames pointing at each other.
  uintptr_t frames[4];
  frames[0] = addressOf(&frames[2]);
  frames[1] = exeAddress() + 1;
  frames[2] = addressOf(&frames[0]);
  frames[3] = exeAddress() + 2;
  uintptr_t out[16];
  size_t n = inkpost::CollectFrameChain(addressOf(&frames[0]), exeAddress(), out, 16);
  EXPECT_EQ(n, 3u);
  EXPECT_EQ(out[0], exeAddress());
  EXPECT_EQ(out[1], exeAddress() + 1);
  EXPECT_EQ(out[2], exeAddress() + 2);
  EXPECT_EQ(inkpost::CollectFrameChain(0, exeAddress(), out, 16), 1u);
}

__attribute__((noinline)) size_t collectHere(uintptr_t* out, size_t max) {
  size_t n = inkpost::CollectCurrentChain(0, out, max);
  asm volatile("" ::: "memory");
  return n;
}

TEST(FaultCallChain, CurrentChainStartsInTheCaller) {
  uintptr_t out[64];
  size_t n = collectHere(out, 64);
  ASSERT_GE(n, 2u);
  Dl_info info{};
  ASSERT_NE(dladdr(reinterpret_cast<void*>(out[0]), &info), 0);
  uintptr_t here = addressOf(reinterpret_cast<const void*>(&collectHere));
  EXPECT_GE(out[0], here);
  EXPECT_LT(out[0], here + 256);
  EXPECT_EQ(inkpost::CollectCurrentChain(0, out, 1), 1u);
}

TEST_F(Report, FullTextJoinsReportStackAndExtra) {
  inkpost::ThreadReportSlot& slot = inkpost::CurrentThreadReportSlot();
  EXPECT_EQ(&slot, &inkpost::CurrentThreadReportSlot());
  slot.report = "R\r\n";
  slot.callStack = "S\r\n";
  slot.extra = "";
  inkpost::FaultGuardOptions opt;
  EXPECT_EQ(str(inkpost::FullReportText(slot, opt)), "R\r\nCallStack:\r\nS\r\n");
  slot.extra = "X";
  EXPECT_EQ(str(inkpost::FullReportText(slot, opt)), "R\r\nCallStack:\r\nS\r\n" + gbk("\r\n附属信息：") + "X");
  opt.includeCallStack = false;
  EXPECT_EQ(str(inkpost::FullReportText(slot, opt)), "R\r\n" + gbk("\r\n附属信息：") + "X");
  opt.includeCallStack = true;
  slot.callStack = "";
  slot.extra = "";
  EXPECT_EQ(str(inkpost::FullReportText(slot, opt)), "R\r\n");
}

TEST(FaultSlots, EachThreadHasItsOwnSlot) {
  inkpost::ThreadReportSlot* mine = &inkpost::CurrentThreadReportSlot();
  inkpost::ThreadReportSlot* other = nullptr;
  std::thread t([&] { other = &inkpost::CurrentThreadReportSlot(); });
  t.join();
  EXPECT_NE(mine, other);
  EXPECT_NE(mine->threadId, other->threadId);
}

TEST(FaultOptions, DefaultsAndInactiveWithoutInstallation) {
  inkpost::FaultGuardOptions o;
  EXPECT_TRUE(o.showReport);
  EXPECT_EQ(o.ownerWindowClass, "Afx:10000000:b:10011:1900015:0");
  EXPECT_TRUE(o.passCppExceptions);
  EXPECT_TRUE(o.skipSystemFrames);
  EXPECT_TRUE(o.includeCallStack);
  EXPECT_EQ(o.routineSpan, 4096u);
  // Configuring a guard that was never installed changes nothing else.
  inkpost::ConfigureFaultGuard({});
  EXPECT_FALSE(inkpost::FaultGuardActive());
  EXPECT_FALSE(inkpost::RaiseInternalError(7, "not installed"));
}

}  // namespace
