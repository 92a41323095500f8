// One copy per data folder: this test process holds a folder as the first
// copy, and the real program started on the same folder is the second.
#include "common/programdir.h"
#include "shell/datafolder.h"
#include "shell/process.h"
#include "sites/sitestore.h"
#include "support/guiwait.h"
#include "support/program.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QCryptographicHash>
#include <QSysInfo>
#include <QWidget>

#include <pwd.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utime.h>

#include <chrono>
#include <climits>
#include <cstring>
#include <thread>

using namespace inkpost;
using namespace inkpost::test;

namespace {

// A portable program folder: the built program (linked, not copied, when
// the file system allows) beside a data.mdb.
void makePortableCopy(const TempDir& dir) {
  const std::string exe = std::string(INKPOST_PROGRAM_DIR) + "/inkpost-client";
  if (link(exe.c_str(), dir.file("inkpost-client").c_str()) != 0)
    ASSERT_EQ(system(("cp '" + exe + "' '" + dir.file("inkpost-client") + "'").c_str()), 0);
  ASSERT_TRUE(createSiteDatabase(dir.file("data.mdb")));
}

TEST(OneCopyPerFolder, SecondStartBringsTheFirstToTheFrontAndEnds) {
  TempDir dir;
  makePortableCopy(dir);
  InstanceLock first(dir.path());
  ASSERT_EQ(first.claim(), InstanceLock::Claim::Held);
  QWidget window;
  window.setWindowTitle("first copy");
  first.setWindow(&window);
  window.show();
  QWidget other;  // another program's window, in front
  other.setWindowTitle("other");
  other.show();
  other.raise();
  other.activateWindow();
  ASSERT_TRUE(waitUntil([&] { return QApplication::activeWindow() == &other; }));

  TempDir home;
  StartedProgram second(dir.file("inkpost-client"), {{"HOME", home.path()}});
  std::optional<int> rc;
  ASSERT_TRUE(waitUntil([&] { return (rc = second.waitExit(0)).has_value(); }, 60000)) << second.errorOutput();
  EXPECT_EQ(*rc, 0) << second.errorOutput();
  EXPECT_TRUE(waitUntil([&] { return QApplication::activeWindow() == &window; }));
  EXPECT_TRUE(window.isVisible());
  EXPECT_EQ(StartedProgram::viewableWindow("Inkpost客户端"), 0u);  // the second showed no window
}

TEST(OneCopyPerFolder, MinimisedFirstCopyIsRestored) {
  TempDir dir;
  InstanceLock first(dir.path());
  ASSERT_EQ(first.claim(), InstanceLock::Claim::Held);
  QWidget window;
  first.setWindow(&window);
  window.showMinimized();
  emit first.raiseRequested();
  EXPECT_TRUE(waitUntil([&] { return window.isVisible() && !window.isMinimized(); }));
}

TEST(OneCopyPerFolder, LockOfAnEndedProcessIsTakenOver) {
  TempDir dir;
  // A lock left by a copy that was killed: its process no longer runs.
  pid_t gone = fork();
  if (gone == 0) _exit(0);
  waitpid(gone, nullptr, 0);
  writeFile(dir.file(InstanceLock::kLockFileName),
            std::to_string(gone) + "\ninkpost-client\n" + QSysInfo::machineHostName().toStdString() + "\n");
  InstanceLock lock(dir.path());
  EXPECT_EQ(lock.claim(0), InstanceLock::Claim::Held);
}

TEST(OneCopyPerFolder, HolderThatDoesNotAnswerIsReported) {
  TempDir dir;
  InstanceLock first(dir.path());
  ASSERT_EQ(first.claim(), InstanceLock::Claim::Held);
  // A holder that never reaches its event loop cannot answer.
  InstanceLock second(dir.path());
  EXPECT_EQ(second.claim(0), InstanceLock::Claim::NoAnswer);
  // Another folder is another copy.
  TempDir elsewhere;
  InstanceLock third(elsewhere.path());
  EXPECT_EQ(third.claim(0), InstanceLock::Claim::Held);
  EXPECT_NE(InstanceLock::serverName(dir.path()), InstanceLock::serverName(elsewhere.path()));
}

// Another local user, for the tests that need one: a uid with no entry in
// the password database (root only).
constexpr uid_t kStranger = 54321;
bool canBeAStranger() { return geteuid() == 0 && getpwuid(kStranger) == nullptr; }

mode_t modeOf(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

TEST(DataFolder, AFolderOrDataFileOfAnotherUserIsNeverUsed) {
  if (!canBeAStranger()) GTEST_SKIP() << "needs root to play another user";
  TempDir dir;
  const std::string saved = programDir();
  setProgramDir(dir.path());
  // The whole folder made by someone else, open to all.
  ASSERT_EQ(chown(dir.path().c_str(), kStranger, kStranger), 0);
  ASSERT_EQ(chmod(dir.path().c_str(), 0777), 0);
  std::optional<DataFolderFault> fault = prepareDataFolder();
  ASSERT_TRUE(fault.has_value());
  EXPECT_EQ(fault->kind, DataFolderFault::Foreign);
  EXPECT_EQ(fault->path, dir.path());
  EXPECT_TRUE(dataFolderFaultEnds(*fault));
  EXPECT_EQ(modeOf(dir.path()), 0777u) << "nothing of it is touched";
  EXPECT_FALSE(fileExists(dir.file("temp")));
  // Our folder, but a data.mdb someone else put there.
  ASSERT_EQ(chown(dir.path().c_str(), geteuid(), getegid()), 0);
  ASSERT_TRUE(createSiteDatabase(dir.file("data.mdb")));
  ASSERT_EQ(chown(dir.file("data.mdb").c_str(), kStranger, kStranger), 0);
  ASSERT_EQ(chmod(dir.file("data.mdb").c_str(), 0666), 0);
  fault = prepareDataFolder();
  ASSERT_TRUE(fault.has_value());
  EXPECT_EQ(fault->path, dir.file("data.mdb"));
  EXPECT_NE(dataFolderFaultText(*fault).find("不属于当前用户"), std::string::npos);
  EXPECT_EQ(modeOf(dir.file("data.mdb")), 0666u);
  // All ours: made private and used.
  ASSERT_EQ(chown(dir.file("data.mdb").c_str(), geteuid(), getegid()), 0);
  EXPECT_FALSE(prepareDataFolder().has_value());
  EXPECT_EQ(modeOf(dir.path()), 0700u);
  EXPECT_EQ(modeOf(dir.file("data.mdb")), 0600u);
  setProgramDir(saved);
}

TEST(DataFolder, WithoutAHomeFolderNoSharedFolderIsTaken) {
  if (!canBeAStranger()) GTEST_SKIP() << "needs root to play a user without a home";
  TempDir dir;
  // A user with no HOME and no entry in the password database.
  const pid_t child = fork();
  if (child == 0) {
    if (setuid(kStranger) != 0) _exit(2);
    const ProgramFolders f = decideProgramFolders(dir.path(), nullptr, nullptr);
    _exit(f.data.empty() ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "a data folder was decided without a home";
  DataFolderFault noHome{{}, ENOENT, DataFolderFault::NoHome};
  EXPECT_TRUE(dataFolderFaultEnds(noHome));
  EXPECT_NE(dataFolderFaultText(noHome).find("HOME"), std::string::npos);
  // A portable folder or its data.mdb of another user is no portable copy.
  writeFile(dir.file("data.mdb"), "");
  EXPECT_TRUE(decideProgramFolders(dir.path(), nullptr, "/home/ann").portable);
  ASSERT_EQ(chown(dir.file("data.mdb").c_str(), kStranger, kStranger), 0);
  EXPECT_FALSE(decideProgramFolders(dir.path(), nullptr, "/home/ann").portable);
}

TEST(OneCopyPerFolder, AnEmptyOrGarbageLockIsTakenOverOnceItIsOld) {
  TempDir dir;
  const std::string lockPath = dir.file(InstanceLock::kLockFileName);
  const auto age = [&](int seconds) {
    struct utimbuf t {};
    t.actime = t.modtime = time(nullptr) - seconds;
    ASSERT_EQ(utime(lockPath.c_str(), &t), 0);
  };
  for (const std::string& left : {std::string(), std::string("\x93\x01garbage\n\n"), std::string("-7\nx\ny\n")}) {
    writeFile(lockPath, left);
    age(60);  // a power cut long ago
    InstanceLock lock(dir.path());
    EXPECT_EQ(lock.claim(0), InstanceLock::Claim::Held) << "left: " << left;
  }
  // A lock file just made may be one another copy is writing: it is given
  // time, then taken over.
  writeFile(lockPath, "");
  InstanceLock lock(dir.path());
  EXPECT_EQ(lock.claim(0), InstanceLock::Claim::NoAnswer);
  EXPECT_EQ(lock.claim(InstanceLock::kUnreadableLockMs + 3000), InstanceLock::Claim::Held);
}

// Another user listens under the name every copy used to share (an abstract
// socket anyone could bind first) and says "ok" to anything. Returns its pid.
pid_t strangerOnTheOldName(const std::string& dataDir) {
  char real[PATH_MAX];
  if (!realpath(dataDir.c_str(), real)) return -1;
  const QByteArray digest = QCryptographicHash::hash(QByteArray(real), QCryptographicHash::Sha256).toHex().left(24);
  const std::string oldName = "inkpost-client-" + std::to_string(getuid()) + "-" + digest.toStdString();
  int ready[2];
  if (pipe(ready) != 0) return -1;
  const pid_t stranger = fork();
  if (stranger == 0) {
    if (setuid(kStranger) != 0) _exit(2);
    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path + 1, oldName.data(), oldName.size());
    const socklen_t len = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + oldName.size());
    if (bind(fd, reinterpret_cast<sockaddr*>(&addr), len) != 0 || listen(fd, 8) != 0) _exit(3);
    (void)!write(ready[1], "r", 1);
    for (;;) {
      const int c = accept(fd, nullptr, nullptr);
      if (c < 0) continue;
      (void)!write(c, "ok\n", 3);
      close(c);
    }
  }
  char r = 0;
  const bool up = read(ready[0], &r, 1) == 1;
  close(ready[0]);
  close(ready[1]);
  if (!up && stranger > 0) {
    kill(stranger, SIGKILL);
    waitpid(stranger, nullptr, 0);
    return -1;
  }
  return stranger;
}

TEST(OneCopyPerFolder, TheSocketIsPrivateAndAStrangerOnTheOldNameIsNotBelieved) {
  TempDir dir;
  const pid_t stranger = canBeAStranger() ? strangerOnTheOldName(dir.path()) : 0;
  ASSERT_GE(stranger, 0);
  InstanceLock first(dir.path());
  ASSERT_EQ(first.claim(), InstanceLock::Claim::Held);
  const std::string name = InstanceLock::serverName(dir.path()).toStdString();
  ASSERT_FALSE(name.empty());
  const std::string folder = name.substr(0, name.rfind('/'));
  struct stat st {};
  ASSERT_EQ(lstat(folder.c_str(), &st), 0);
  EXPECT_TRUE(S_ISDIR(st.st_mode));
  EXPECT_EQ(st.st_uid, geteuid());
  EXPECT_EQ(st.st_mode & 077, 0u) << folder;
  if (stranger == 0) GTEST_SKIP() << "needs root to play another user";
  // The first copy holds the folder but cannot answer (no event loop here).
  InstanceLock second(dir.path());
  EXPECT_EQ(second.claim(0), InstanceLock::Claim::NoAnswer) << "the stranger's ok was taken for the first copy's";
  kill(stranger, SIGKILL);
  waitpid(stranger, nullptr, 0);
}

TEST(Start, ADisplayThatIsNotReadyYetIsWaitedForInsteadOfAborting) {
  // A busy X server can refuse a connection for a moment; Qt then aborts
  // (SIGABRT, before any report). Here the display comes up a second late.
  int n = 150;
  while (n < 400 && fileExists("/tmp/.X11-unix/X" + std::to_string(n))) ++n;
  const std::string display = ":" + std::to_string(n);
  TempDir dir;
  makePortableCopy(dir);
  TempDir home;
  StartedProgram program(dir.file("inkpost-client"), {{"HOME", home.path()}, {"DISPLAY", display}});
  std::this_thread::sleep_for(std::chrono::milliseconds(1000));
  std::optional<int> early = program.waitExit(0);
  ASSERT_FALSE(early.has_value()) << "ended with " << *early << ": " << program.errorOutput();
  StartedProgram xserver("/usr/bin/Xvfb", {}, {display, "-screen", "0", "1280x1024x24", "-nolisten", "tcp"});
  EXPECT_TRUE(waitUntil(
      [&] {
        return shellOutput("xwininfo -display " + display + " -root -tree 2>/dev/null").find("Inkpost") !=
               std::string::npos;
      },
      60000))
      << program.errorOutput();
  EXPECT_FALSE(program.waitExit(0).has_value()) << program.errorOutput();
}

TEST(Start, AQApplicationThatCannotBeMadeStartsAgainThenEndsWithAMessage) {
  // What Qt does when the display refuses the connection: a fatal message
  // while the QApplication is made (here forced with a platform that does
  // not exist). Before, that was abort() with no report.
  TempDir dir;
  makePortableCopy(dir);
  TempDir home;
  StartedProgram program(dir.file("inkpost-client"), {{"HOME", home.path()}, {"QT_QPA_PLATFORM", "nowhere"}});
  std::optional<int> rc;
  ASSERT_TRUE(waitUntil([&] { return (rc = program.waitExit(0)).has_value(); }, 60000)) << program.errorOutput();
  EXPECT_EQ(*rc, 1) << program.errorOutput();
  const std::string err = program.errorOutput();
  size_t starts = 0;
  for (size_t at = err.find("no Qt platform plugin"); at != std::string::npos;
       at = err.find("no Qt platform plugin", at + 1))
    ++starts;
  EXPECT_EQ(starts, static_cast<size_t>(kDisplayTries)) << err;
  EXPECT_NE(err.find("无法连接到显示服务器"), std::string::npos) << err;
}

}  // namespace
