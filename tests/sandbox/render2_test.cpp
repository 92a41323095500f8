// The second captcha renderer (tools/captcha-render2): it runs, writes the
// pictures and codes it promises in the engine's byte layout, Qt shows what it
// writes, and a seed always gives the same bytes.
#include "support/program.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <QColor>
#include <QImage>

#include <fstream>
#include <regex>
#include <string>
#include <vector>

namespace inkpost::test {
namespace {

struct Rendered {
  std::string file, code, settings;
};

// Runs the renderer into `dir`; the lines of codes.txt, split.
std::vector<Rendered> render(const std::string& dir, const std::string& options) {
  int status = -1;
  std::string out = shellOutput(std::string(INKPOST_PYTHON3) + " " + INKPOST_SOURCE_DIR +
                                    "/tools/captcha-render2/render2.py --out " + dir + " " + options + " 2>&1",
                                &status);
  EXPECT_EQ(status, 0) << out;
  std::vector<Rendered> lines;
  std::ifstream in(dir + "/codes.txt");
  std::string line;
  static const std::regex form(R"((\d{5}\.gif) (\d{5})( .*)?)");
  while (std::getline(in, line)) {
    std::smatch m;
    EXPECT_TRUE(std::regex_match(line, m, form)) << line;
    lines.push_back({m[1], m[2], m[3]});
  }
  return lines;
}

unsigned byteAt(const std::string& s, size_t i) { return static_cast<unsigned char>(s.at(i)); }

class Render2 : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::string(INKPOST_PYTHON3).empty()) GTEST_SKIP() << "python3 is missing: run scripts/install-deps.sh";
  }
};

TEST_F(Render2, WritesTheEngineBytesAndQtShowsThem) {
  TempDir dir;
  auto lines = render(dir.path(), "--count 4 --seed 21");
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0].file, "00000.gif");
  EXPECT_EQ(lines[3].file, "00003.gif");
  for (const auto& r : lines) {
    SCOPED_TRACE(r.file);
    std::string gif = readFile(dir.file(r.file));
    ASSERT_GT(gif.size(), 40u);
    EXPECT_EQ(gif.substr(0, 6), "GIF89a");
    EXPECT_EQ(gif.substr(6, 4), std::string("\x3c\0\x14\0", 4));  // 60 x 20
    EXPECT_EQ(byteAt(gif, 10) & 0x87, 0x80u);                     // a global table of two entries
    for (size_t c = 0; c < 3; ++c) {
      EXPECT_GE(byteAt(gif, 13 + c), 192u);                        // light background
      EXPECT_EQ(byteAt(gif, 13 + c) + byteAt(gif, 16 + c), 255u);  // its complement as ink
    }
    EXPECT_EQ(gif.substr(19, 11), std::string(",\0\0\0\0\x3c\0\x14\0\0\x07", 11));
    // Clear after every 126 pixels; codes, 255-byte sub-blocks, the last
    // length byte from the pixel count (1200 % 255) though 192 bytes follow.
    EXPECT_EQ(gif.size(), 30u + 5 + (1 + 1200 + 9 + 1 + 1) + 2);
    EXPECT_EQ(byteAt(gif, 30 + 4 * 256), 1200u % 255);
    EXPECT_EQ(gif.substr(gif.size() - 4), std::string("\x80\x81\0;", 4));

    QImage image(QString::fromStdString(dir.file(r.file)));
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.size(), QSize(60, 20));
    QRgb bg = qRgb(byteAt(gif, 13), byteAt(gif, 14), byteAt(gif, 15));
    QRgb ink = qRgb(byteAt(gif, 16), byteAt(gif, 17), byteAt(gif, 18));
    int inkPixels = 0;
    for (int y = 0; y < 10; ++y)  // the rows before the untrustworthy last sub-block
      for (int x = 0; x < 60; ++x) {
        QRgb p = image.pixel(x, y) | 0xff000000;
        EXPECT_TRUE(p == bg || p == ink) << x << "," << y;
        inkPixels += p == ink;
      }
    EXPECT_GT(inkPixels, 30);  // digits and noise, not a blank picture
  }
}

TEST_F(Render2, SpreadPicturesKeepTheirStatedSizesAndSeedsRepeat) {
  TempDir a, b, c;
  auto first = render(a.path(), "--count 12 --seed 5 --spread");
  auto again = render(b.path(), "--count 12 --seed 5 --spread");
  auto other = render(c.path(), "--count 12 --seed 6 --spread");
  ASSERT_EQ(first.size(), 12u);
  ASSERT_EQ(again.size(), 12u);
  ASSERT_EQ(other.size(), 12u);
  int differing = 0;
  for (size_t i = 0; i < first.size(); ++i) {
    SCOPED_TRACE(first[i].file);
    EXPECT_EQ(first[i].code, again[i].code);
    EXPECT_EQ(first[i].settings, again[i].settings);
    std::string bytes = readFile(a.file(first[i].file));
    EXPECT_EQ(bytes, readFile(b.file(first[i].file)));
    differing += bytes != readFile(c.file(first[i].file));

    std::smatch m;
    ASSERT_TRUE(std::regex_search(first[i].settings, m, std::regex(R"(^ (\d+)x(\d+) )")));
    int w = std::stoi(m[1]), h = std::stoi(m[2]);
    EXPECT_TRUE(w >= 50 && w <= 100 && h >= 16 && h <= 30) << w << "x" << h;
    QImage image(QString::fromStdString(a.file(first[i].file)));
    EXPECT_EQ(image.size(), QSize(w, h));
  }
  EXPECT_EQ(differing, 12);
}

}  // namespace
}  // namespace inkpost::test
