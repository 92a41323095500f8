// Child processes that really fault: each case runs fault_child, reads the
// report from its standard error (INKPOST_FAULT_REPORT=stderr, so no display
// is needed) and checks the report and the exit status.
#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace {

struct ChildRun {
  bool exited = false;
  int exitCode = 0;
  int signal = 0;
  bool timedOut = false;
  std::string out;
  std::string err;
};

ChildRun runChild(std::vector<std::string> args, bool reportToStderr = true, std::vector<std::string> extraEnv = {}) {
  ChildRun run;
  int outPipe[2], errPipe[2];
  if (pipe2(outPipe, O_CLOEXEC) != 0 || pipe2(errPipe, O_CLOEXEC) != 0) return run;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
  posix_spawn_file_actions_adddup2(&actions, errPipe[1], 2);

  std::vector<std::string> env;
  for (char** e = environ; *e; ++e) {
    if (std::strncmp(*e, "INKPOST_FAULT_REPORT=", 21) != 0) env.emplace_back(*e);
  }
  if (reportToStderr) env.emplace_back("INKPOST_FAULT_REPORT=stderr");
  for (auto& e : extraEnv) env.push_back(e);
  std::vector<char*> envp;
  for (auto& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  args.insert(args.begin(), FAULT_CHILD_EXE);
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);

  pid_t pid = 0;
  int rc = posix_spawn(&pid, FAULT_CHILD_EXE, &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  close(outPipe[1]);
  close(errPipe[1]);
  if (rc != 0) {
    close(outPipe[0]);
    close(errPipe[0]);
    return run;
  }
  // Read both pipes until they close; a child that hangs is killed.
  timespec start{};
  clock_gettime(CLOCK_MONOTONIC, &start);
  pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
  std::string* sinks[2] = {&run.out, &run.err};
  int open = 2;
  while (open > 0) {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    if (now.tv_sec - start.tv_sec > 30) {
      kill(pid, SIGKILL);
      run.timedOut = true;
      break;
    }
    if (poll(fds, 2, 500) < 0) continue;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      char buf[4096];
      ssize_t n = read(fds[i].fd, buf, sizeof(buf));
      if (n > 0) {
        sinks[i]->append(buf, static_cast<size_t>(n));
      } else {
        close(fds[i].fd);
        fds[i].fd = -1;
        --open;
      }
    }
  }
  for (auto& f : fds) {
    if (f.fd >= 0) close(f.fd);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  run.exited = WIFEXITED(status);
  run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 0;
  run.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
  return run;
}

const std::string kCaptionLine = "[程序异常：]\n";

// The report text the child wrote after the caption line.
std::string reportOf(const ChildRun& run) {
  size_t at = run.err.find(kCaptionLine);
  if (at == std::string::npos) return {};
  return run.err.substr(at + kCaptionLine.size());
}

std::vector<std::string> callStackLines(const std::string& report) {
  std::vector<std::string> lines;
  size_t at = report.find("CallStack:\r\n");
  if (at == std::string::npos) return lines;
  at += 12;
  while (at < report.size()) {
    size_t end = report.find("\r\n", at);
    if (end == std::string::npos) break;
    lines.push_back(report.substr(at, end - at));
    at = end + 2;
  }
  return lines;
}

std::string hex(uint64_t v, int digits) {
  char buf[32];
  std::snprintf(buf, sizeof(buf), "%0*llX", digits, static_cast<unsigned long long>(v));
  return buf;
}

std::string hexBySize(uint64_t v) { return hex(v, v < 0x100 ? 2 : v <= 0xFFFF ? 4 : 8); }

// "base=... routine=..." printed by the child before it faults.
void announced(const ChildRun& run, uint64_t& base, uint64_t& routine) {
  unsigned long long b = 0, r = 0;
  ASSERT_EQ(std::sscanf(run.out.c_str(), "base=%llx routine=%llx", &b, &r), 2) << run.out;
  base = b;
  routine = r;
}

void expectIndented(const std::vector<std::string>& lines) {
  for (size_t i = 0; i < lines.size(); ++i) {
    ASSERT_GE(lines[i].size(), i + 1);
    EXPECT_EQ(lines[i].substr(0, i), std::string(i, ' ')) << "line " << i;
    EXPECT_NE(lines[i][i], ' ') << "line " << i;
  }
}

TEST(FaultChild, WriteViolationNamesTargetAndFrameInExecutable) {
  ChildRun run = runChild({"write"});
  ASSERT_FALSE(run.timedOut);
  EXPECT_TRUE(run.exited);
  EXPECT_EQ(run.exitCode, 128 + SIGSEGV);
  std::string report = reportOf(run);
  uint64_t base = 0, routine = 0;
  announced(run, base, routine);
  std::string head = "警告:程序发生错误\r\n错误信息:内存写入异常\r\n目标地址:00000020\r\n发生位置:" + hex(routine, 8) +
                     "\r\n相对地址:[fault_child]." + hex(routine - base, 8) + "\r\n分析位置:";
  EXPECT_EQ(report.substr(0, head.size()), head) << report;
  EXPECT_EQ(report.find("错误参数"), std::string::npos);

  std::vector<std::string> lines = callStackLines(report);
  ASSERT_GE(lines.size(), 2u) << report;
  expectIndented(lines);
  // The innermost line is the fault, inside the executable: module and offset.
  EXPECT_EQ(lines.back(), std::string(lines.size() - 1, ' ') + "[fault_child]+0x" + hexBySize(routine - base) + "=" +
                              hex(routine, 8));
}

TEST(FaultChild, ReportIsBuiltWithoutTheHeap) {
  for (bool toStderr : {true, false}) {  // the second run tries the box helper first
    ChildRun run = runChild({"no-heap"}, toStderr);
    EXPECT_EQ(run.err.find("heap used"), std::string::npos) << run.err;
    EXPECT_EQ(run.exitCode, 128 + SIGSEGV);
    EXPECT_NE(reportOf(run).find("CallStack:\r\n"), std::string::npos) << run.err;
  }
}

TEST(FaultChild, ExtraTextSetBeforeTheFaultEndsTheReport) {
  ChildRun run = runChild({"extra"});
  EXPECT_EQ(run.err.find("heap used"), std::string::npos) << run.err;
  EXPECT_EQ(run.exitCode, 128 + SIGSEGV);
  std::string report = reportOf(run);
  size_t stack = report.find("CallStack:\r\n");
  size_t extra = report.find("\r\n附属信息：build 42\n");
  EXPECT_NE(stack, std::string::npos) << report;
  EXPECT_NE(extra, std::string::npos) << report;
  EXPECT_LT(stack, extra);
}

TEST(FaultChild, WreckedStackStillGivesTheReport) {
  ChildRun run = runChild({"wrecked-stack"});
  EXPECT_EQ(run.exitCode, 128 + SIGSEGV);
  std::string report = reportOf(run);
  EXPECT_NE(report.find("错误信息:内存写入异常\r\n目标地址:00000020\r\n"), std::string::npos) << run.err;
  EXPECT_EQ(run.err.find("程序发生严重错误"), std::string::npos) << run.err;
  EXPECT_FALSE(callStackLines(report).empty());
}

TEST(FaultChild, ReadViolation) {
  ChildRun run = runChild({"read"});
  EXPECT_EQ(run.exitCode, 128 + SIGSEGV);
  std::string report = reportOf(run);
  EXPECT_NE(report.find("错误信息:内存读取异常\r\n目标地址:00000030\r\n发生位置:"), std::string::npos) << report;
  EXPECT_EQ(report.find("错误参数"), std::string::npos);
}

TEST(FaultChild, DivisionIllegalBreakpointAndPrivileged) {
  struct Case {
    const char* name;
    int signal;
    const char* text;
  } cases[] = {
      {"divide", SIGFPE, "错误信息:非法除0异常\r\n发生位置:"},
      {"illegal", SIGILL, "错误信息:非法CPU指令\r\n发生位置:"},
      {"breakpoint", SIGTRAP, "错误信息:int3调试中断\r\n发生位置:"},
      {"privileged", SIGSEGV, "错误信息:无法执行Ring0指令\r\n发生位置:"},
  };
  for (const Case& c : cases) {
    ChildRun run = runChild({c.name});
    EXPECT_TRUE(run.exited) << c.name;
    EXPECT_EQ(run.exitCode, 128 + c.signal) << c.name;
    std::string report = reportOf(run);
    EXPECT_EQ(report.rfind("警告:程序发生错误\r\n", 0), 0u) << c.name << "\n" << report;
    EXPECT_NE(report.find(c.text), std::string::npos) << c.name << "\n" << report;
    EXPECT_NE(report.find("相对地址:[fault_child]."), std::string::npos) << c.name;
    EXPECT_FALSE(callStackLines(report).empty()) << c.name;
  }
  // A breakpoint carries one parameter; the others none.
  EXPECT_NE(reportOf(runChild({"breakpoint"})).find("错误参数1:00000000\r\n"), std::string::npos);
  EXPECT_EQ(reportOf(runChild({"divide"})).find("错误参数"), std::string::npos);
}

TEST(FaultChild, StackOverflowOnMainAndSecondThread) {
  for (const char* name : {"overflow", "thread-overflow", "std-thread-overflow"}) {
    ChildRun run = runChild({name});
    ASSERT_FALSE(run.timedOut) << name;
    EXPECT_TRUE(run.exited) << name;
    EXPECT_EQ(run.exitCode, 128 + SIGSEGV) << name;
    std::string report = reportOf(run);
    EXPECT_NE(report.find("错误信息:线程堆栈溢出异常\r\n"), std::string::npos) << name << "\n" << report;
    std::vector<std::string> lines = callStackLines(report);
    EXPECT_GE(lines.size(), 8u) << name;
    EXPECT_LE(lines.size(), 64u) << name;  // a deep recursion is cut
    expectIndented(lines);
  }
}

TEST(FaultChild, FaultInSecondThreadIsReported) {
  ChildRun run = runChild({"thread"});
  EXPECT_EQ(run.exitCode, 128 + SIGSEGV);
  std::string report = reportOf(run);
  EXPECT_NE(report.find("错误信息:内存写入异常\r\n目标地址:00000020\r\n"), std::string::npos) << run.err;
}

TEST(FaultChild, TwoThreadsFaultingAtOnceGiveOneReport) {
  for (int i = 0; i < 3; ++i) {
    ChildRun run = runChild({"two-threads"});
    ASSERT_FALSE(run.timedOut);
    EXPECT_EQ(run.exitCode, 128 + SIGSEGV);
    size_t first = run.err.find(kCaptionLine);
    ASSERT_NE(first, std::string::npos) << run.err;
    EXPECT_EQ(run.err.find(kCaptionLine, first + 1), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find("程序发生严重错误"), std::string::npos) << run.err;
  }
}

TEST(FaultChild, FrameInSharedLibraryNamedByNearestExport) {
  ChildRun run = runChild({"library"});
  EXPECT_EQ(run.exitCode, 128 + SIGSEGV);
  std::vector<std::string> lines = callStackLines(reportOf(run));
  ASSERT_GE(lines.size(), 2u) << run.err;
  expectIndented(lines);
  // The callback faults; the line above it is the library routine that called it.
  const std::string& caller = lines[lines.size() - 2];
  std::string expected = "[libfault_child_lib.so].fault_child_call+0x";
  EXPECT_EQ(caller.substr(lines.size() - 2, expected.size()), expected) << run.err;
  EXPECT_NE(lines.back().find("[fault_child]+0x"), std::string::npos);
}

TEST(FaultChild, UncaughtExceptionEndsWithMinusOne) {
  ChildRun run = runChild({"uncaught"});
  EXPECT_TRUE(run.exited);
  EXPECT_EQ(run.exitCode, 255);  // -1
  std::string report = reportOf(run);
  EXPECT_EQ(
      report.rfind("运行时出错!\r\n\r\n错误代码：1\r\n\r\n错误信息：uncaught exception std::runtime_error: boom\r\n"
                   "CallStack:\r\n",
                   0),
      0u)
      << report;
  EXPECT_FALSE(callStackLines(report).empty());
}

TEST(FaultChild, InternalErrorFromRunTimeCheck) {
  ChildRun run = runChild({"internal"});
  EXPECT_TRUE(run.exited);
  EXPECT_EQ(run.exitCode, 255);
  EXPECT_EQ(reportOf(run).rfind("运行时出错!\r\n\r\n错误代码：42\r\n\r\n错误信息：index out of range\r\n", 0), 0u)
      << run.err;
  // The stack starts in the routine that detected the error.
  uint64_t base = 0, routine = 0;
  announced(run, base, routine);
  std::vector<std::string> lines = callStackLines(reportOf(run));
  ASSERT_FALSE(lines.empty());
  unsigned long long offset = 0;
  std::string inner = lines.back().substr(lines.size() - 1);
  ASSERT_EQ(std::sscanf(inner.c_str(), "[fault_child]+0x%llx=", &offset), 1) << inner;
  EXPECT_GT(offset, routine - base);
  EXPECT_LT(offset, routine - base + 64);
}

TEST(FaultChild, AbortIsReportedAsInternalError) {
  ChildRun run = runChild({"abort"});
  EXPECT_TRUE(run.exited);
  EXPECT_EQ(run.exitCode, 255);
  std::string report = reportOf(run);
  EXPECT_EQ(report.rfind("运行时出错!\r\n\r\n错误代码：4\r\n\r\n错误信息：abort() called\r\n", 0), 0u) << run.err;
  // The stack reaches from the interrupted code out to the program.
  std::vector<std::string> lines = callStackLines(report);
  ASSERT_GE(lines.size(), 2u) << report;
  EXPECT_NE(lines.front().find("[fault_child]+0x"), std::string::npos) << report;

  ChildRun unconfigured = runChild({"abort", "--unconfigured"});
  EXPECT_EQ(unconfigured.signal, SIGABRT);
  EXPECT_EQ(unconfigured.err, "");
}

TEST(FaultChild, FaultBeforeConfigurationIsNotReported) {
  ChildRun run = runChild({"write", "--unconfigured"});
  EXPECT_FALSE(run.exited);
  EXPECT_EQ(run.signal, SIGSEGV);
  EXPECT_EQ(run.err.find("程序异常"), std::string::npos) << run.err;

  // The same for an uncaught exception: the ordinary terminate path.
  ChildRun thrown = runChild({"uncaught", "--unconfigured"});
  EXPECT_EQ(thrown.signal, SIGABRT);
  EXPECT_EQ(thrown.err.find("运行时出错"), std::string::npos);
  // And a run-time check falls back to its caller.
  ChildRun internal = runChild({"internal", "--unconfigured"});
  EXPECT_TRUE(internal.exited);
  EXPECT_EQ(internal.exitCode, 3);
}

TEST(FaultChild, FaultInsideTheReportShowsNestedMessage) {
  ChildRun run = runChild({"nested"});
  ASSERT_FALSE(run.timedOut);
  EXPECT_TRUE(run.exited);
  EXPECT_NE(run.exitCode, 0);
  EXPECT_NE(run.err.find("[]\n程序发生严重错误，无法获取异常信息，程序准备关闭\n"), std::string::npos) << run.err;
  EXPECT_EQ(run.err.find(kCaptionLine), std::string::npos);
}

TEST(FaultChild, ShowReportOffStillEndsNonZero) {
  ChildRun run = runChild({"write", "--quiet"});
  EXPECT_TRUE(run.exited);
  EXPECT_EQ(run.exitCode, 128 + SIGSEGV);
  EXPECT_EQ(run.err, "");
}

TEST(FaultChild, WithoutHelperTheReportStillReachesStderr) {
  // No INKPOST_FAULT_REPORT: the guard looks for the box helper beside the
  // program, finds none there, and writes the report to standard error.
  ChildRun run = runChild({"read"}, false);
  EXPECT_EQ(run.exitCode, 128 + SIGSEGV);
  EXPECT_NE(reportOf(run).find("错误信息:内存读取异常"), std::string::npos) << run.err;
}

TEST(FaultChild, TheReportReachesTheHelperOnAPipeNotOnItsCommandLine) {
  // A helper that keeps what `ps` would show of it (its arguments) and
  // what it was handed on the descriptor it is told of.
  inkpost::test::TempDir dir;
  const std::string helper = dir.file("helper.sh");
  inkpost::test::writeFile(helper, "#!/bin/sh\nprintf '%s\\n' \"$@\" > '" + dir.file("args") + "'\ncat <&\"$2\" > '" +
                                       dir.file("report") + "'\n");
  ASSERT_EQ(chmod(helper.c_str(), 0700), 0);
  ChildRun run = runChild({"write"}, false, {"INKPOST_FAULT_REPORT_HELPER=" + helper});
  ASSERT_FALSE(run.timedOut);
  EXPECT_EQ(run.exitCode, 128 + SIGSEGV);
  const std::string args = inkpost::test::readFile(dir.file("args"));
  EXPECT_EQ(args.rfind("--from-fd\n", 0), 0u) << args;
  EXPECT_EQ(args.find("内存写入异常"), std::string::npos) << args;
  const std::string report = inkpost::test::readFile(dir.file("report"));
  EXPECT_NE(report.find(std::string("\0", 1)), std::string::npos);
  EXPECT_NE(report.find("错误信息:内存写入异常"), std::string::npos) << report;
  EXPECT_EQ(run.err.find(kCaptionLine), std::string::npos) << "shown, so not written to stderr";
}

#ifdef FAULT_REPORT_HELPER
TEST(FaultChild, ReportBoxIsShownByTheHelperProgram) {
  // The helper draws the box on Qt's offscreen platform, prints what it
  // shows and closes it; the crashed child waits for it, then ends.
  ChildRun run = runChild({"write"}, false,
                          {std::string("INKPOST_FAULT_REPORT_HELPER=") + FAULT_REPORT_HELPER,
                           "QT_QPA_PLATFORM=offscreen", "INKPOST_FAULT_REPORT_AUTOCLOSE_MS=10"});
  ASSERT_FALSE(run.timedOut);
  EXPECT_TRUE(run.exited);
  EXPECT_EQ(run.exitCode, 128 + SIGSEGV);
  EXPECT_NE(run.out.find("\n程序异常：\n警告:程序发生错误\n错误信息:内存写入异常\n目标地址:00000020\n"),
            std::string::npos)
      << run.out << run.err;
  EXPECT_NE(run.out.find("\nCallStack:\n[fault_child]+0x"), std::string::npos) << run.out;
  EXPECT_EQ(run.out.substr(run.out.size() - 8), "\n确定\n") << "the button speaks Chinese";
  EXPECT_EQ(run.err.find(kCaptionLine), std::string::npos);  // shown, so not written to stderr
}

TEST(FaultChild, NestedMessageThroughTheHelperHasNoCaption) {
  ChildRun run = runChild({"nested"}, false,
                          {std::string("INKPOST_FAULT_REPORT_HELPER=") + FAULT_REPORT_HELPER,
                           "QT_QPA_PLATFORM=offscreen", "INKPOST_FAULT_REPORT_AUTOCLOSE_MS=10"});
  EXPECT_TRUE(run.exited);
  EXPECT_NE(run.exitCode, 0);
  EXPECT_EQ(run.out, "\n程序发生严重错误，无法获取异常信息，程序准备关闭\n确定\n");
}
#endif

}  // namespace
