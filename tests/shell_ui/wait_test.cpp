// The waiting helper, the busy state and the guard around every handler.
#include "support/mainunits.h"

#include "common/ui/busy.h"
#include "common/ui/gbk.h"
#include "common/ui/toast.h"
#include "common/ui/wait.h"
#include "net/encoding.h"
#include "shell/shell.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QElapsedTimer>
#include <QStatusBar>
#include <QTimer>

#include <stdexcept>

using namespace inkpost;
using inkpost::test::units;

namespace {

class Waits : public ::testing::Test {
 protected:
  void SetUp() override {
    setToastTimeScale(0);
    clearToastHistory();
  }
  void TearDown() override {
    setToastTimeScale(1);
    clearToastHistory();
  }
};

TEST_F(Waits, AWaitEndsWhenFinishedOrWhenItsTimeIsUp) {
  QElapsedTimer clock;
  clock.start();
  Wait early;
  early.finish();
  EXPECT_TRUE(early.run(5000));  // finished before it ran: returns at once
  EXPECT_LT(clock.elapsed(), 1000);

  Wait wait;
  QTimer::singleShot(30, [&] { wait.finish(); });
  clock.restart();
  EXPECT_TRUE(wait.run(5000));
  EXPECT_LT(clock.elapsed(), 2000);

  Wait never;
  clock.restart();
  EXPECT_FALSE(never.run(100));
  EXPECT_GE(clock.elapsed(), 100);
}

TEST_F(Waits, WaitUntilEndsAsSoonAsTheConditionHolds) {
  bool ready = false;
  QTimer::singleShot(50, [&] { ready = true; });
  QElapsedTimer clock;
  clock.start();
  EXPECT_TRUE(waitUntil([&] { return ready; }, 10000));
  EXPECT_LT(clock.elapsed(), 2000);
  EXPECT_FALSE(waitUntil([] { return false; }, 100));
}

// The rule of HACKING.md: a handler that waits holds a ReentryGuard, and a
// timer that falls due during its wait cannot run it a second time.
TEST_F(Waits, AGuardedHandlerReEnteredFromATimerDuringItsWaitRunsOnce) {
  static bool running = false;
  int runs = 0, refused = 0;
  std::function<void()> handler = [&] {
    ReentryGuard once(running);
    if (!once.entered()) {
      ++refused;
      return;
    }
    ++runs;
    waitFor(100);
  };
  QTimer::singleShot(10, handler);
  handler();
  EXPECT_EQ(runs, 1);
  EXPECT_EQ(refused, 1);
  handler();  // the guard is released afterwards
  EXPECT_EQ(runs, 2);
}

TEST_F(Waits, BusyScopeShowsItsTextAndTheWaitCursorAndPutsBothBack) {
  MainWindow w;
  units(w).statusLine->showMessage(QStringLiteral("就绪"));
  {
    BusyScope busy(StatusLine(w.statusLine()), fromUtf8("正在发布…"));
    EXPECT_EQ(units(w).statusLine->currentMessage(), QStringLiteral("正在发布…"));
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    busy.setText(fromUtf8("正在登录 沙盒博客（第2次）…"));
    EXPECT_EQ(units(w).statusLine->currentMessage(), QStringLiteral("正在登录 沙盒博客（第2次）…"));
  }
  EXPECT_EQ(units(w).statusLine->currentMessage(), QStringLiteral("就绪"));
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

// No exception leaves a handler: it ends in a notice saying what failed and
// the program goes on.
TEST_F(Waits, AnExceptionInAHandlerEndsInANoticeAndTheProgramGoesOn) {
  MainWindow w;
  bool after = false;
  runGuarded(&w, fromUtf8("恢复数据"), [] { throw std::runtime_error("temp/1.ini: Is a directory"); });
  runGuarded(&w, fromUtf8("发布文章"), [] { throw 42; });
  runGuarded(&w, fromUtf8("手动保存"), [&] { after = true; });
  EXPECT_TRUE(after);
  EXPECT_EQ(toastTexts(),
            (QStringList{
                QStringLiteral("恢复数据时出错：temp/1.ini: Is a directory。程序继续运行，可以再试一次。"),
                QStringLiteral("发布文章时出错：未知错误。程序继续运行，可以再试一次。"),
            }));
}

}  // namespace
