#include "images/ui/capturewindow.h"
#include "support/session.h"

#include "common/programdir.h"
#include "common/ui/toast.h"
#include "guitest.h"
#include "images/convert.h"
#include "images/gallery.h"
#include "shell/mainwindow.h"
#include "support/mainunits.h"
#include "support/sandboxlogin.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QMouseEvent>
#include <QTest>
#include <QTimer>

#include <filesystem>
#include <random>

using inkpost::CaptureWindow;

namespace {

QImage testScreen(int w, int h) {
  QImage img(w, h, QImage::Format_RGB32);
  std::mt19937 rng(42);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) img.setPixel(x, y, 0xFF000000u | (rng() & 0xFFFFFFu));
  return img;
}

void mouse(QWidget* target, QEvent::Type type, QPoint pos, Qt::MouseButton button, Qt::MouseButtons buttons) {
  QMouseEvent e(type, QPointF(pos), QPointF(target->mapToGlobal(pos)), button, buttons, Qt::NoModifier);
  QApplication::sendEvent(target, &e);
}

void dragOnPicture(CaptureWindow& win, QPoint from, QPoint to) {
  mouse(win.picture(), QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
  mouse(win.picture(), QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton);
  mouse(win.picture(), QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton);
}

// Press on the panel at `at` (panel coordinates), move by `by`, release.
void dragOnPanel(CaptureWindow& win, QPoint at, QPoint by) {
  QWidget* p = win.panel();
  const QPoint globalStart = p->mapToGlobal(at);
  QMouseEvent press(QEvent::MouseButtonPress, QPointF(at), QPointF(globalStart), Qt::LeftButton, Qt::LeftButton,
                    Qt::NoModifier);
  QApplication::sendEvent(p, &press);
  QMouseEvent move(QEvent::MouseMove, QPointF(at + by), QPointF(globalStart + by), Qt::NoButton, Qt::LeftButton,
                   Qt::NoModifier);
  QApplication::sendEvent(p, &move);
  QMouseEvent release(QEvent::MouseButtonRelease, QPointF(at + by), QPointF(globalStart + by), Qt::LeftButton,
                      Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(p, &release);
}

class CaptureWindowTest : public inkpost::test::SessionTest {
 protected:
  void SetUp() override {
    SessionTest::SetUp();
    std::filesystem::create_directories(dir.file("temp"));
    inkpost::setProgramDir(dir.path());
    inkpost::blogSession().gallery.clear();
  }
  inkpost::test::TempDir dir;
};

}  // namespace

TEST_F(CaptureWindowTest, EveryDragDirectionGivesTheSameRectangle) {
  CaptureWindow win(testScreen(400, 300), 1.0);
  const QRect want(50, 60, 100, 80);
  const std::pair<QPoint, QPoint> drags[] = {
      {{50, 60}, {150, 140}}, {{150, 140}, {50, 60}}, {{150, 60}, {50, 140}}, {{50, 140}, {150, 60}}};
  for (auto [from, to] : drags) {
    dragOnPicture(win, from, to);
    EXPECT_EQ(win.panel()->geometry(), want);
    EXPECT_TRUE(win.panel()->isVisibleTo(&win));
    EXPECT_EQ(win.hint()->pos(), QPoint(50, 40));  // 20 pixels above the selection
    EXPECT_EQ(win.hint()->text(), QStringLiteral("双击可上传截图。ESC退出截图。"));
  }
}

TEST_F(CaptureWindowTest, ADragFromTheLeftmostColumnLeavesNoSelection) {
  CaptureWindow win(testScreen(400, 300), 1.0);
  dragOnPicture(win, {0, 10}, {120, 90});
  EXPECT_FALSE(win.panel()->isVisibleTo(&win));
  EXPECT_EQ(win.panel()->size(), QSize(0, 0));
}

TEST_F(CaptureWindowTest, SmallSelectionsAndHandles) {
  CaptureWindow win(testScreen(400, 300), 1.0);
  dragOnPicture(win, {20, 20}, {29, 40});  // 9 wide: not shown
  EXPECT_FALSE(win.panel()->isVisibleTo(&win));
  EXPECT_FALSE(win.hint()->isVisibleTo(&win));

  dragOnPicture(win, {20, 20}, {32, 32});  // 12 x 12: frame, no handles
  EXPECT_TRUE(win.panel()->isVisibleTo(&win));
  EXPECT_FALSE(win.panel()->handlesShown());

  dragOnPicture(win, {20, 20}, {37, 37});  // 17 x 17: frame and handles
  EXPECT_TRUE(win.panel()->handlesShown());
  const QImage shown = win.panel()->grab().toImage();
  const QRgb frame = qRgb(0, 255, 255);
  EXPECT_EQ(shown.pixel(5, 0), frame);   // top edge
  EXPECT_EQ(shown.pixel(0, 9), frame);   // left edge
  EXPECT_EQ(shown.pixel(16, 9), frame);  // right edge
  EXPECT_EQ(shown.pixel(7, 2), frame);   // top middle handle
  // Inside the frame the undarkened snapshot shows exactly.
  EXPECT_EQ(shown.pixel(5, 5) & 0xFFFFFF, win.screenImage().pixel(25, 25) & 0xFFFFFF);
}

TEST_F(CaptureWindowTest, RightClickClearsTheSelection) {
  CaptureWindow win(testScreen(400, 300), 1.0);
  dragOnPicture(win, {20, 20}, {120, 120});
  mouse(win.picture(), QEvent::MouseButtonRelease, {200, 200}, Qt::RightButton, Qt::NoButton);
  EXPECT_FALSE(win.panel()->isVisibleTo(&win));
  EXPECT_FALSE(win.hint()->isVisibleTo(&win));
}

TEST_F(CaptureWindowTest, PressNearTheLeftEdgeResizesAndTheCentreMoves) {
  CaptureWindow win(testScreen(400, 300), 1.0);
  dragOnPicture(win, {100, 100}, {200, 180});
  dragOnPanel(win, {3, 40}, {-20, 15});  // 3 pixels inside the left edge
  EXPECT_EQ(win.panel()->geometry(), QRect(80, 100, 120, 80));
  dragOnPanel(win, {60, 40}, {10, -30});  // centre
  EXPECT_EQ(win.panel()->geometry(), QRect(90, 70, 120, 80));
  dragOnPanel(win, {119, 79}, {-200, -200});  // bottom-right, held at the minimum
  EXPECT_EQ(win.panel()->geometry(), QRect(90, 70, 10, 10));
}

TEST_F(CaptureWindowTest, HoverSetsTheSizingCursors) {
  CaptureWindow win(testScreen(400, 300), 1.0);
  dragOnPicture(win, {100, 100}, {200, 180});
  const std::pair<QPoint, Qt::CursorShape> cases[] = {{{1, 1}, Qt::SizeFDiagCursor},
                                                      {{98, 1}, Qt::SizeBDiagCursor},
                                                      {{50, 1}, Qt::SizeVerCursor},
                                                      {{1, 40}, Qt::SizeHorCursor},
                                                      {{50, 40}, Qt::SizeAllCursor}};
  for (auto [at, shape] : cases) {
    mouse(win.panel(), QEvent::MouseMove, at, Qt::NoButton, Qt::NoButton);
    EXPECT_EQ(win.panel()->cursor().shape(), shape);
  }
}

TEST_F(CaptureWindowTest, DoubleClickWritesExactlyThePixelsUnderTheSelection) {
  const QImage screen = testScreen(400, 300);
  CaptureWindow win(screen, 1.0);
  bool armed = false;
  win.onCaptured = [&] { armed = true; };
  dragOnPicture(win, {30, 40}, {94, 88});
  mouse(win.panel(), QEvent::MouseButtonDblClick, {10, 10}, Qt::LeftButton, Qt::LeftButton);
  EXPECT_TRUE(armed);
  const QImage bmp(QString::fromStdString(dir.file("temp/img.bmp")), "BMP");
  ASSERT_EQ(bmp.size(), QSize(64, 48));
  for (int y = 0; y < 48; ++y)
    for (int x = 0; x < 64; ++x) ASSERT_EQ(bmp.pixel(x, y) & 0xFFFFFF, screen.pixel(30 + x, 40 + y) & 0xFFFFFF);
  const QImage jpg(QString::fromStdString(dir.file("temp/img.jpg")), "JPEG");
  ASSERT_EQ(jpg.size(), QSize(64, 48));
}

TEST_F(CaptureWindowTest, DeviceRatioTwoCutsTheDevicePixels) {
  const QImage screen = testScreen(800, 600);
  CaptureWindow win(screen, 2.0);
  EXPECT_EQ(win.size(), QSize(400, 300));
  win.onCaptured = [] {};
  dragOnPicture(win, {10, 20}, {40, 50});
  mouse(win.panel(), QEvent::MouseButtonDblClick, {5, 5}, Qt::LeftButton, Qt::LeftButton);
  const QImage bmp(QString::fromStdString(dir.file("temp/img.bmp")), "BMP");
  ASSERT_EQ(bmp.size(), QSize(60, 60));
  EXPECT_EQ(bmp.pixel(0, 0) & 0xFFFFFF, screen.pixel(20, 40) & 0xFFFFFF);
  EXPECT_EQ(bmp.pixel(59, 59) & 0xFFFFFF, screen.pixel(79, 99) & 0xFFFFFF);
}

TEST_F(CaptureWindowTest, EscapeClosesWithoutFilesOrTimer) {
  inkpost::MainWindow w;
  CaptureWindow win(testScreen(400, 300), 1.0, &w);
  win.onCaptured = [&w] { inkpost::test::units(w).captureTimer->start(100); };
  QTimer::singleShot(0, &win, [&win] {
    dragOnPicture(win, {30, 40}, {94, 88});
    QTest::keyClick(&win, Qt::Key_Escape);
  });
  EXPECT_EQ(win.exec(), QDialog::Rejected);
  EXPECT_FALSE(inkpost::test::fileExists(dir.file("temp/img.bmp")));
  EXPECT_FALSE(inkpost::test::fileExists(dir.file("temp/img.jpg")));
  EXPECT_FALSE(inkpost::test::units(w).captureTimer->isActive());
}

TEST_F(CaptureWindowTest, UploadWithoutASiteReportsFailure) {
  inkpost::MainWindow w;
  inkpost::setToastTimeScale(0);
  inkpost::clearToastHistory();
  QImage small(20, 20, QImage::Format_RGB32);
  small.fill(Qt::blue);
  ASSERT_TRUE(inkpost::capture::writeJpeg(small, dir.file("temp/img.jpg")));
  inkpost::test::units(w).captureTimer->start(100);
  inkpost::UploadCapture(w);
  EXPECT_FALSE(inkpost::test::units(w).captureTimer->isActive());
  EXPECT_EQ(inkpost::toastTexts(),
            (QStringList{QStringLiteral("准备上传，请稍后…"), QStringLiteral("       上传失败！       ")}));
  EXPECT_TRUE(w.isEnabled());
}

TEST_F(CaptureWindowTest, ACapturedRegionIsUploadedToTheBlogAndListed) {
  inkpost::test::Sandbox blog(inkpost::test::sandboxOptions());
  inkpost::MainWindow w;
  inkpost::test::pointAtSite(w, blog.siteUrl(), inkpost::test::sandboxLogin(blog));
  inkpost::setToastTimeScale(0);
  inkpost::clearToastHistory();

  CaptureWindow win(testScreen(400, 300), 1.0, &w);
  win.onCaptured = [&w] { inkpost::test::units(w).captureTimer->start(100); };
  dragOnPicture(win, {30, 40}, {130, 90});
  mouse(win.panel(), QEvent::MouseButtonDblClick, {50, 25}, Qt::LeftButton, Qt::LeftButton);
  ASSERT_TRUE(inkpost::test::units(w).captureTimer->isActive());
  EXPECT_EQ(inkpost::test::units(w).captureTimer->interval(), 100);

  inkpost::UploadCapture(w);
  const std::string jpeg = inkpost::test::readFile(dir.file("temp/img.jpg"));
  const std::string stored = inkpost::contentName(jpeg) + ".jpg";
  ASSERT_EQ(inkpost::blogSession().gallery.size(), 1u);
  EXPECT_EQ(inkpost::blogSession().gallery[0], blog.siteUrl() + "upload/" + stored + "[100|50");
  EXPECT_EQ(inkpost::test::readFile(blog.dataDir() + "/upload/" + stored), jpeg);
  EXPECT_EQ(inkpost::toastTexts(),
            (QStringList{QStringLiteral("准备上传，请稍后…"), QStringLiteral("       上传成功！       ")}));
  EXPECT_TRUE(w.isEnabled());
  EXPECT_TRUE(inkpost::test::fileExists(dir.file("temp/index.html")));
}
