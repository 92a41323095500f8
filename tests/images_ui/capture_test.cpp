// The capture window on a snapshot of its own (a selection dragged, moved,
// sized, cut out), and through 按钮_截图上传 of the wired window: the cut-out
// uploaded by the timer it arms.
#include "images/ui/capturewindow.h"

#include "common/programdir.h"
#include "guitest.h"
#include "images/convert.h"
#include "support/sandboxlogin.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QMouseEvent>
#include <QTest>
#include <QTimer>

#include <random>

using inkpost::CaptureWindow;
using inkpost::test::dragOnPicture;
using inkpost::test::mouse;

namespace {

QImage testScreen(int w, int h) {
  QImage img(w, h, QImage::Format_RGB32);
  std::mt19937 rng(42);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) img.setPixel(x, y, 0xFF000000u | (rng() & 0xFFFFFFu));
  return img;
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

// The window itself needs no main window; the program folder (temp/) is the
// fixture's.
class CaptureWindowTest : public inkpost::test::ImagesWindow {};

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

// While the button is down the rectangle spanned so far shows, whichever
// way the mouse goes; a release keeps it (or drops one too small).
TEST_F(CaptureWindowTest, TheRectangleShowsWhileItIsDragged) {
  CaptureWindow win(testScreen(400, 300), 1.0);
  mouse(win.picture(), QEvent::MouseButtonPress, {30, 40}, Qt::LeftButton, Qt::LeftButton);
  EXPECT_FALSE(win.panel()->isVisibleTo(&win));
  mouse(win.picture(), QEvent::MouseMove, {94, 88}, Qt::NoButton, Qt::LeftButton);
  EXPECT_TRUE(win.panel()->isVisibleTo(&win));
  EXPECT_EQ(win.panel()->geometry(), QRect(30, 40, 64, 48));
  EXPECT_FALSE(win.panel()->handlesShown());
  EXPECT_EQ(win.panel()->grab().toImage().pixel(5, 0), qRgb(0, 255, 255));  // its frame
  mouse(win.picture(), QEvent::MouseMove, {10, 20}, Qt::NoButton, Qt::LeftButton);
  EXPECT_EQ(win.panel()->geometry(), QRect(10, 20, 20, 20));
  mouse(win.picture(), QEvent::MouseButtonRelease, {94, 88}, Qt::LeftButton, Qt::NoButton);
  EXPECT_EQ(win.panel()->geometry(), QRect(30, 40, 64, 48));
  EXPECT_TRUE(win.panel()->handlesShown());
  EXPECT_TRUE(win.hint()->isVisibleTo(&win));
  // Moves without the button change nothing.
  mouse(win.picture(), QEvent::MouseMove, {200, 200}, Qt::NoButton, Qt::NoButton);
  EXPECT_EQ(win.panel()->geometry(), QRect(30, 40, 64, 48));

  mouse(win.picture(), QEvent::MouseButtonPress, {100, 100}, Qt::LeftButton, Qt::LeftButton);
  mouse(win.picture(), QEvent::MouseMove, {105, 104}, Qt::NoButton, Qt::LeftButton);
  EXPECT_TRUE(win.panel()->isVisibleTo(&win));
  mouse(win.picture(), QEvent::MouseButtonRelease, {105, 104}, Qt::LeftButton, Qt::NoButton);
  EXPECT_FALSE(win.panel()->isVisibleTo(&win));
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
  const QImage bmp(QString::fromStdString(dir_.file("temp/img.bmp")), "BMP");
  ASSERT_EQ(bmp.size(), QSize(64, 48));
  for (int y = 0; y < 48; ++y)
    for (int x = 0; x < 64; ++x) ASSERT_EQ(bmp.pixel(x, y) & 0xFFFFFF, screen.pixel(30 + x, 40 + y) & 0xFFFFFF);
  const QImage jpg(QString::fromStdString(dir_.file("temp/img.jpg")), "JPEG");
  ASSERT_EQ(jpg.size(), QSize(64, 48));
}

TEST_F(CaptureWindowTest, DeviceRatioTwoCutsTheDevicePixels) {
  const QImage screen = testScreen(800, 600);
  CaptureWindow win(screen, 2.0);
  EXPECT_EQ(win.size(), QSize(400, 300));
  win.onCaptured = [] {};
  dragOnPicture(win, {10, 20}, {40, 50});
  mouse(win.panel(), QEvent::MouseButtonDblClick, {5, 5}, Qt::LeftButton, Qt::LeftButton);
  const QImage bmp(QString::fromStdString(dir_.file("temp/img.bmp")), "BMP");
  ASSERT_EQ(bmp.size(), QSize(60, 60));
  EXPECT_EQ(bmp.pixel(0, 0) & 0xFFFFFF, screen.pixel(20, 40) & 0xFFFFFF);
  EXPECT_EQ(bmp.pixel(59, 59) & 0xFFFFFF, screen.pixel(79, 99) & 0xFFFFFF);
}

TEST_F(CaptureWindowTest, EscapeClosesWithoutFilesOrTimer) {
  int answered = 0;
  capture([&answered](CaptureWindow& win) {
    ++answered;
    dragOnPicture(win, {30, 40}, {94, 88});
    QTest::keyClick(&win, Qt::Key_Escape);
  });
  EXPECT_EQ(answered, 1);
  EXPECT_FALSE(inkpost::test::fileExists(dir_.file("temp/img.bmp")));
  EXPECT_FALSE(inkpost::test::fileExists(dir_.file("temp/img.jpg")));
  EXPECT_FALSE(units().captureTimer->isActive());
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST_F(CaptureWindowTest, UploadWithoutASiteReportsFailure) {
  QImage small(20, 20, QImage::Format_RGB32);
  small.fill(Qt::blue);
  ASSERT_TRUE(inkpost::capture::writeJpeg(small, dir_.file("temp/img.jpg")));
  w();
  inkpost::clearToastHistory();
  units().captureTimer->start(100);  // as the capture window arms it
  ASSERT_TRUE(inkpost::test::waitUntil([] { return inkpost::toastHistory().size() == 2; }));
  EXPECT_FALSE(units().captureTimer->isActive());
  EXPECT_EQ(inkpost::toastTexts(),
            (QStringList{QStringLiteral("准备上传，请稍后…"), QStringLiteral("       上传失败！       ")}));
  EXPECT_TRUE(w().images().isEnabled());
  EXPECT_FALSE(inkpost::test::fileExists(dir_.file("temp/img.jpg")));  // used up all the same
}

TEST_F(CaptureWindowTest, ACapturedRegionIsUploadedToTheBlogAndListed) {
  inkpost::test::Sandbox blog(inkpost::test::sandboxOptions());
  pickSandbox(blog);

  capture([](CaptureWindow& win) {
    dragOnPicture(win, {30, 40}, {130, 90});
    mouse(win.panel(), QEvent::MouseButtonDblClick, {50, 25}, Qt::LeftButton, Qt::LeftButton);
  });
  ASSERT_TRUE(units().captureTimer->isActive());
  EXPECT_EQ(units().captureTimer->interval(), 100);

  ASSERT_TRUE(inkpost::test::waitUntil([&] { return inkpost::toastHistory().size() == 2; }));
  // The cut-out went up under its content name; its files are gone.
  std::string stored = blog.get("_sandbox/files");
  if (!stored.empty() && stored.back() == '\n') stored.pop_back();
  const std::string jpeg = inkpost::test::readFile(blog.dataDir() + "/upload/" + stored);
  EXPECT_EQ(stored, inkpost::contentName(jpeg) + ".jpg");
  EXPECT_FALSE(inkpost::test::fileExists(dir_.file("temp/img.jpg")));
  EXPECT_FALSE(inkpost::test::fileExists(dir_.file("temp/img.bmp")));
  EXPECT_EQ(gallery(), std::vector<inkpost::GalleryEntry>{blog.siteUrl() + "upload/" + stored + "[100|50"});
  EXPECT_EQ(inkpost::test::readFile(blog.dataDir() + "/upload/" + stored), jpeg);
  EXPECT_EQ(inkpost::toastTexts(),
            (QStringList{QStringLiteral("准备上传，请稍后…"), QStringLiteral("       上传成功！       ")}));
  EXPECT_FALSE(units().captureTimer->isActive());
  EXPECT_TRUE(w().images().isEnabled());
  EXPECT_TRUE(inkpost::test::fileExists(dir_.file("temp/index.html")));
}
