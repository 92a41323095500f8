// One copy per data folder: this test process holds a folder as the first
// copy, and the real program started on the same folder is the second.
#include "shell/datafolder.h"
#include "sites/sitestore.h"
#include "support/guiwait.h"
#include "support/program.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QSysInfo>
#include <QWidget>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

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

}  // namespace
