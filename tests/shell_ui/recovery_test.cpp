// The recovery slot across the whole program, in child processes: after a
// normal close, a SIGKILL and a crash report the next start offers the
// unpublished article; after a publish to the sandbox blog it does not.
#include "sites/sitestore.h"
#include "support/sandboxlogin.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

extern char** environ;

using inkpost::test::TempDir;

namespace {

// A program folder of its own: a fresh keyed database, the editor page, temp/.
struct ProgramFolder {
  TempDir dir;
  ProgramFolder() {
    namespace fs = std::filesystem;
    EXPECT_TRUE(inkpost::createSiteDatabase(dir.file("data.mdb")));
    fs::create_directory_symlink(INKPOST_PROGRAM_DIR "/editor", dir.file("editor"));
    fs::create_directory(dir.file("temp"));
  }
};

class Child {
 public:
  Child(const std::string& mode, const std::string& folder) {
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e)
      if (std::strncmp(*e, "INKPOST_FAULT_REPORT=", 21) != 0) env.emplace_back(*e);
    env.emplace_back("INKPOST_FAULT_REPORT=stderr");
    std::vector<char*> envp;
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::string exe = RECOVERY_CHILD_EXE, m = mode, f = folder;
    char* argv[] = {exe.data(), m.data(), f.data(), nullptr};
    posix_spawn(&pid_, exe.c_str(), &actions, nullptr, argv, envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    fd_ = out[0];
  }
  ~Child() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (fd_ >= 0) close(fd_);
  }

  // Reads standard output until it holds text or the time is up.
  bool waitFor(const std::string& text, int seconds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (out_.find(text) == std::string::npos) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
      if (left.count() <= 0) return false;
      pollfd p{fd_, POLLIN, 0};
      if (poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
      char buf[4096];
      ssize_t n = read(fd_, buf, sizeof buf);
      if (n <= 0) return out_.find(text) != std::string::npos;
      out_.append(buf, static_cast<size_t>(n));
    }
    return true;
  }

  // Waits for the end; the wait status.
  int finish(int seconds) {
    waitFor("\x01never", seconds);  // drains the output until it closes
    int status = -1;
    for (int i = 0; i < seconds * 10; ++i) {
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        return status;
      }
      usleep(100000);
    }
    return -1;
  }

  void signal(int sig) { kill(pid_, sig); }
  const std::string& out() const { return out_; }

 private:
  pid_t pid_ = -1;
  int fd_ = -1;
  std::string out_;
};

const char kOffer[] = "offer: 上次未发布的文章已保存，是否恢复？";

void expectOfferRestores(const std::string& folder) {
  Child next("offer", folder);
  ASSERT_TRUE(next.waitFor("body:", 90)) << next.out();
  EXPECT_NE(next.out().find(kOffer), std::string::npos) << next.out();
  EXPECT_NE(next.out().find("title: 第二版标题"), std::string::npos) << next.out();
  EXPECT_NE(next.out().find("body: <p>没有发布的正文</p>"), std::string::npos) << next.out();
  next.finish(30);
  // Answered once: the start after that asks nothing.
  Child again("offer", folder);
  ASSERT_TRUE(again.waitFor("offer", 90)) << again.out();
  EXPECT_NE(again.out().find("no offer"), std::string::npos) << again.out();
}

}  // namespace

TEST(RecoveryAcrossRuns, ANormalCloseWithUnpublishedWorkLeadsToTheOffer) {
  ProgramFolder program;
  {
    Child first("close", program.dir.path());
    const int status = first.finish(90);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status << first.out();
  }
  expectOfferRestores(program.dir.path());
}

TEST(RecoveryAcrossRuns, ASigkillAfterTheTypingPauseLeadsToTheOffer) {
  ProgramFolder program;
  {
    Child first("type", program.dir.path());
    ASSERT_TRUE(first.waitFor("written", 90)) << first.out();
    first.signal(SIGKILL);
    const int status = first.finish(30);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;
  }
  expectOfferRestores(program.dir.path());
}

TEST(RecoveryAcrossRuns, ACrashReportLeadsToTheOffer) {
  ProgramFolder program;
  {
    Child first("crash", program.dir.path());
    ASSERT_TRUE(first.waitFor("written", 90)) << first.out();
    const int status = first.finish(30);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 128 + SIGSEGV) << status;
  }
  expectOfferRestores(program.dir.path());
}

TEST(RecoveryAcrossRuns, NoOfferAfterAPublish) {
  ProgramFolder program;
  inkpost::test::Sandbox blog(inkpost::test::sandboxOptions());
  {
    // The blog as the only site of the program's store.
    inkpost::SiteRecord site;
    site.webname = "sandbox";
    site.weburl = blog.siteUrl();
    site.admin = "admin";
    site.pass = "secret";
    ASSERT_EQ(inkpost::OpenSiteStore(program.dir.file("data.mdb")), inkpost::SiteStoreOpen::Ok);
    const bool saved = inkpost::saveNewSite(site);
    inkpost::CloseSiteStore();
    ASSERT_TRUE(saved);
  }
  {
    Child first("publish", program.dir.path());
    const int status = first.finish(90);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status << first.out();
    EXPECT_NE(first.out().find("published"), std::string::npos) << first.out();
  }
  EXPECT_EQ(blog.articleCount(), 1);
  Child next("offer", program.dir.path());
  ASSERT_TRUE(next.waitFor("offer", 90)) << next.out();
  EXPECT_NE(next.out().find("no offer"), std::string::npos) << next.out();
}
