#include "images/capture.h"

#include "support/tempdir.h"

#include <gtest/gtest.h>
#include <QImage>

#include <random>

#include <sys/stat.h>
#include <unistd.h>

using namespace inkpost::capture;

namespace {

QImage noiseImage(int w, int h, unsigned seed) {
  QImage img(w, h, QImage::Format_RGB32);
  std::mt19937 rng(seed);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) img.setPixel(x, y, 0xFF000000u | (rng() & 0xFFFFFFu));
  return img;
}

}  // namespace

TEST(DarkenImage, HalvesEveryChannelWithoutCarries) {
  QImage src = noiseImage(37, 23, 7);
  src.setPixel(0, 0, qRgb(255, 255, 255));
  src.setPixel(1, 0, qRgb(1, 0, 255));
  QImage dark = DarkenImage(src);
  ASSERT_EQ(dark.size(), src.size());
  EXPECT_EQ(dark.depth(), 24);
  for (int y = 0; y < src.height(); ++y)
    for (int x = 0; x < src.width(); ++x) {
      QRgb s = src.pixel(x, y), d = dark.pixel(x, y);
      ASSERT_EQ(qRed(d), qRed(s) / 2) << x << "," << y;
      ASSERT_EQ(qGreen(d), qGreen(s) / 2);
      ASSERT_EQ(qBlue(d), qBlue(s) / 2);
    }
  EXPECT_EQ(dark.pixel(0, 0), qRgb(127, 127, 127));
  EXPECT_EQ(dark.pixel(1, 0), qRgb(0, 0, 127));
}

TEST(DarkenImage, AcceptsOtherFormats) {
  QImage src(4, 4, QImage::Format_RGB888);
  src.fill(qRgb(200, 100, 51));
  EXPECT_EQ(DarkenImage(src).pixel(3, 3), qRgb(100, 50, 25));
  EXPECT_TRUE(DarkenImage(QImage()).isNull());
}

TEST(SelectionZones, FollowThePressOrder) {
  const int W = 100, H = 60;
  EXPECT_EQ(zoneAt(0, 0, W, H), Zone::TopLeft);
  EXPECT_EQ(zoneAt(4, 4, W, H), Zone::TopLeft);
  EXPECT_EQ(zoneAt(99, 59, W, H), Zone::BottomRight);
  EXPECT_EQ(zoneAt(96, 2, W, H), Zone::TopRight);
  EXPECT_EQ(zoneAt(2, 57, W, H), Zone::BottomLeft);
  EXPECT_EQ(zoneAt(50, 3, W, H), Zone::Top);
  EXPECT_EQ(zoneAt(50, 56, W, H), Zone::Bottom);
  EXPECT_EQ(zoneAt(3, 30, W, H), Zone::Left);  // 3 pixels inside the left edge
  EXPECT_EQ(zoneAt(96, 30, W, H), Zone::Right);
  EXPECT_EQ(zoneAt(5, 30, W, H), Zone::Inside);
  EXPECT_EQ(zoneAt(50, 30, W, H), Zone::Inside);
  // A selection so small that the zones overlap: top-left is tested first,
  // then bottom-right.
  EXPECT_EQ(zoneAt(4, 4, 8, 8), Zone::TopLeft);
  EXPECT_EQ(zoneAt(5, 5, 8, 8), Zone::BottomRight);
}

TEST(SelectionGeometry, SpannedIsTheSameForEveryDragDirection) {
  const QRect want(10, 20, 30, 40);
  EXPECT_EQ(spanned(10, 20, 40, 60), want);
  EXPECT_EQ(spanned(40, 60, 10, 20), want);
  EXPECT_EQ(spanned(40, 20, 10, 60), want);
  EXPECT_EQ(spanned(10, 60, 40, 20), want);
}

TEST(SelectionGeometry, DraggingEdgesAndMoving) {
  const QRect r(100, 100, 50, 40);
  EXPECT_EQ(dragSelection(r, Zone::Inside, 7, -3), QRect(107, 97, 50, 40));
  EXPECT_EQ(dragSelection(r, Zone::Left, -10, 99), QRect(90, 100, 60, 40));
  EXPECT_EQ(dragSelection(r, Zone::Right, 5, 0), QRect(100, 100, 55, 40));
  EXPECT_EQ(dragSelection(r, Zone::Top, 0, 10), QRect(100, 110, 50, 30));
  EXPECT_EQ(dragSelection(r, Zone::BottomRight, 10, 10), QRect(100, 100, 60, 50));
  EXPECT_EQ(dragSelection(r, Zone::TopLeft, -5, -5), QRect(95, 95, 55, 45));
  // Never below the minimum, even when dragged across the other edge.
  EXPECT_EQ(dragSelection(r, Zone::Left, 200, 0), QRect(140, 100, 10, 40));
  EXPECT_EQ(dragSelection(r, Zone::Bottom, 0, -300), QRect(100, 100, 50, 10));
}

TEST(SelectionGeometry, HandlesSitAtCornersAndEdgeMiddles) {
  QRect s[8];
  handleSquares(17, 17, s);
  EXPECT_EQ(s[0], QRect(0, 0, 4, 4));
  EXPECT_EQ(s[3], QRect(13, 13, 4, 4));
  EXPECT_EQ(s[4], QRect(6, 0, 4, 4));  // middle 8, from 6 to 10
  EXPECT_EQ(s[6], QRect(0, 6, 4, 4));
}

TEST(CaptureJpeg, WritesAStandardJpegCloseToTheSource) {
  inkpost::test::TempDir dir;
  QImage src(64, 48, QImage::Format_RGB32);
  for (int y = 0; y < 48; ++y)
    for (int x = 0; x < 64; ++x) src.setPixel(x, y, qRgb(x * 4, y * 5, 128));
  const std::string path = dir.file("a.jpg");
  ASSERT_TRUE(writeJpeg(src, path));
  const std::string bytes = inkpost::test::readFile(path);
  ASSERT_GE(bytes.size(), 4u);
  EXPECT_EQ(static_cast<unsigned char>(bytes[0]), 0xFF);
  EXPECT_EQ(static_cast<unsigned char>(bytes[1]), 0xD8);
  QImage back(QString::fromStdString(path), "JPEG");
  ASSERT_EQ(back.size(), src.size());
  int worst = 0;
  for (int y = 0; y < 48; ++y)
    for (int x = 0; x < 64; ++x) {
      QRgb a = src.pixel(x, y), b = back.pixel(x, y);
      worst = std::max(
          {worst, std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)), std::abs(qBlue(a) - qBlue(b))});
    }
  EXPECT_LE(worst, 24);
}

TEST(CaptureJpeg, ReportsFailureInsteadOfEndingTheProcess) {
  QImage src(8, 8, QImage::Format_RGB32);
  src.fill(Qt::red);
  EXPECT_FALSE(writeJpeg(src, "/nonexistent-dir/x.jpg"));
  EXPECT_FALSE(writeJpeg(QImage(), "/tmp/never.jpg"));
}

TEST(CaptureJpeg, ALinkInTheFilesPlaceIsReplacedNotWrittenThrough) {
  inkpost::test::TempDir dir;
  QImage src(8, 8, QImage::Format_RGB32);
  src.fill(Qt::red);
  inkpost::test::writeFile(dir.file("outside"), "keep");
  ASSERT_EQ(::symlink(dir.file("outside").c_str(), dir.file("img.jpg").c_str()), 0);
  ASSERT_TRUE(writeJpeg(src, dir.file("img.jpg")));
  EXPECT_EQ(inkpost::test::readFile(dir.file("outside")), "keep");
  struct stat st {};
  ASSERT_EQ(::lstat(dir.file("img.jpg").c_str(), &st), 0);
  EXPECT_TRUE(S_ISREG(st.st_mode));
  EXPECT_EQ(QImage(QString::fromStdString(dir.file("img.jpg")), "JPEG").size(), src.size());
}
