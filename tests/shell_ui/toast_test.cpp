#include "common/ui/toast.h"
#include "common/ui/gbk.h"

#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLabel>
#include <QPointer>
#include <QTimer>

#include <cmath>

using namespace inkpost;

namespace {

struct Seen {
  bool shown = false;
  QSize size;
  QPoint pos;
  int interval = -1;
  QString text;
  QRect labelGeometry;
  double opacity = 0;
  bool masked = false;
  bool modal = false;
};

// Looks at the notice on screen `ms` after the call.
void inspectAfter(int ms, Seen& seen) {
  QTimer::singleShot(ms, [&seen] {
    ToastWindow* t = currentToast();
    if (!t) return;
    seen.shown = t->isVisible();
    seen.size = t->size();
    seen.pos = t->pos();
    seen.interval = t->findChild<QTimer*>(QStringLiteral("时钟1"))->interval();
    QLabel* label = t->findChild<QLabel*>(QStringLiteral("透明标签1"));
    seen.text = label->text();
    seen.labelGeometry = label->geometry();
    seen.opacity = t->windowOpacity();
    seen.masked = !t->mask().isEmpty();
    seen.modal = t->isModal();
  });
}

class Toast : public ::testing::Test {
 protected:
  void SetUp() override {
    setToastTimeScale(1);
    clearToastHistory();
    parent.setGeometry(100, 200, 600, 400);
    parent.show();
  }
  void TearDown() override {
    setToastTimeScale(1);
    clearToastHistory();
  }
  QWidget parent;
};

}  // namespace

TEST_F(Toast, GeometryComesFromTheByteLengthAndSitsCentredOverTheParent) {
  Seen seen;
  inspectAfter(100, seen);
  QElapsedTimer clock;
  clock.start();
  ShowToast(&parent, fromQ(QStringLiteral("删除成功！")), 0.8);
  const qint64 took = clock.elapsed();
  ASSERT_TRUE(seen.shown);
  EXPECT_EQ(seen.size, QSize(120, 48));
  EXPECT_EQ(seen.interval, 800);
  EXPECT_EQ(seen.text, QStringLiteral("删除成功！"));
  EXPECT_EQ(seen.labelGeometry, QRect(0, 0, 120, 48));
  const QRect p = parent.frameGeometry();
  EXPECT_EQ(seen.pos, QPoint(p.left() + (p.width() - 120) / 2, p.top() + (p.height() - 48) / 2));
  EXPECT_NEAR(seen.opacity, 210.0 / 255.0, 0.01);
  EXPECT_TRUE(seen.masked);
  EXPECT_TRUE(seen.modal);
  // Modal: the call returns once the notice has closed.
  EXPECT_GE(took, 780);
  EXPECT_LT(took, 3000);
  EXPECT_EQ(currentToast(), nullptr);
  EXPECT_EQ(toastTexts(), QStringList{QStringLiteral("删除成功！")});
}

TEST_F(Toast, DurationBecomesTheTimerInterval) {
  Seen seen;
  inspectAfter(50, seen);
  // Padding blanks count: 2 + 10 + 2 bytes.
  ShowToast(&parent, fromQ(QStringLiteral("  修改成功！  ")), 1.2);
  EXPECT_EQ(seen.interval, 1200);
  EXPECT_EQ(seen.size, QSize(168, 67));
}

TEST_F(Toast, ALongNoticeWrapsInsideTheWindowItStandsOver) {
  // Two lines of about 75 bytes: by the byte rule alone the plate would be
  // 1,700 pixels wide and cover the whole window and more.
  const QString text = QStringLiteral(
      "发布失败：无法连接到博客\n连接被拒绝，或网络不通。文章没有发出，仍在窗口中：请检查网址和网络后再发布。");
  Seen seen;
  QSize labelNeeds;
  QTimer::singleShot(60, [&] {
    if (ToastWindow* t = currentToast())
      labelNeeds = QSize(t->label()->width(), t->label()->heightForWidth(t->label()->width()));
  });
  inspectAfter(50, seen);
  ShowToast(&parent, fromQ(text), 0.3);
  ASSERT_TRUE(seen.shown);
  const QRect p = parent.frameGeometry();
  EXPECT_LE(seen.size.width(), p.width());
  EXPECT_LE(seen.size.height(), p.height());
  EXPECT_GE(seen.size.height(), labelNeeds.height());  // every line shows
  EXPECT_EQ(seen.text, text);
  EXPECT_EQ(seen.pos.x(), p.left() + (p.width() - seen.size.width()) / 2);
}

TEST_F(Toast, ASecondCallReplacesTheOpenNotice) {
  QPointer<ToastWindow> first;
  Seen second;
  QElapsedTimer clock;
  clock.start();
  QTimer::singleShot(100, [&] {
    first = currentToast();
    inspectAfter(50, second);
    ShowToast(&parent, "second", 0.3);
  });
  ShowToast(&parent, "first notice", 2.6);
  EXPECT_LT(clock.elapsed(), 1500);  // the first one did not run its course
  EXPECT_TRUE(second.shown);
  EXPECT_EQ(second.text, QStringLiteral("second"));
  EXPECT_EQ(second.size, QSize(72, 28));
  EXPECT_TRUE(first.isNull());
  EXPECT_EQ(toastTexts(), (QStringList{"first notice", "second"}));
}

TEST_F(Toast, DelayedFormReturnsAtOnceAndShowsThroughTheBoundTimer) {
  QTimer mainTimer;  // stands in for 时钟_载入显示窗口
  bindToastTimer(&mainTimer);
  QElapsedTimer clock;
  clock.start();
  ShowToast(&parent, "queued", 0.4, true, 1);
  EXPECT_LT(clock.elapsed(), 100);
  EXPECT_TRUE(mainTimer.isActive());
  EXPECT_EQ(mainTimer.interval(), 1000);
  EXPECT_EQ(currentToast(), nullptr);
  // A later call before the tick replaces the text the notice will show.
  ShowToast(&parent, "replaced", 0.4, true, 1);

  qint64 appeared = -1;
  QString text;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    if (appeared < 0 && currentToast()) {
      appeared = clock.elapsed();
      text = currentToast()->label()->text();
    }
  });
  poll.start(10);
  while (clock.elapsed() < 5000 && (appeared < 0 || currentToast()))
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  EXPECT_GE(appeared, 900);
  EXPECT_LT(appeared, 3000);
  EXPECT_EQ(text, QStringLiteral("replaced"));
  EXPECT_FALSE(mainTimer.isActive());  // the tick stops it
  EXPECT_EQ(mainTimer.interval(), 0);
  EXPECT_EQ(currentToast(), nullptr);
}

TEST_F(Toast, TimeScaleShortensTheWaitButKeepsTheNominalInterval) {
  setToastTimeScale(0.01);
  Seen seen;
  inspectAfter(0, seen);
  QElapsedTimer clock;
  clock.start();
  ShowToast(&parent, "thirty seconds", 30.0);
  EXPECT_LT(clock.elapsed(), 1000);
  EXPECT_EQ(seen.interval, 30000);
  setToastTimeScale(0);
  ShowToast(nullptr, "", 1.0);  // no parent, no text: still returns
  EXPECT_EQ(toastTexts().size(), 2);
  setToastTimeScale(1);
}

TEST_F(Toast, AParentDestroyedWhileTheNoticeIsUpEndsIt) {
  auto* dialog = new QWidget;
  dialog->show();
  QTimer::singleShot(100, [dialog] { delete dialog; });
  QElapsedTimer clock;
  clock.start();
  ShowToast(dialog, "gone", 2.0);
  EXPECT_LT(clock.elapsed(), 1500);
  EXPECT_EQ(currentToast(), nullptr);
}
