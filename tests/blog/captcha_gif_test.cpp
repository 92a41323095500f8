// Decoding captcha images: the engine's hand-written GIFs (wrong last
// sub-block length, a clear code every 126 pixels, any size), ordinary
// compressed GIFs checked against Qt's own reader, the other formats, and
// the size check made on the header before anything is decoded.
#include "blog/captcha.h"
#include "blog/captcha_image.h"

#include "sandbox/captcha_image.h"
#include "sandbox/engine_captcha.h"
#include "support/captchadata.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>

#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <random>

namespace inkpost {
namespace {

using sandbox::EngineCaptchaStyle;

// The bytes of the engine's data sub-blocks, as (declared length, bytes
// really there before the next 255-block or the end) pairs.
struct Block {
  size_t declared, offset;
};
std::vector<Block> engineBlocks(const std::string& gif) {
  std::vector<Block> out;
  size_t pos = 13 + 6 + 10 + 1;  // header, two colours, descriptor, code size
  while (pos < gif.size() && gif[pos] != 0) {
    const size_t n = static_cast<unsigned char>(gif[pos]);
    out.push_back({n, pos + 1});
    if (n != 255) break;
    pos += 256;
  }
  return out;
}

void expectSamePicture(const RgbImage& image, const std::vector<std::uint8_t>& mask, int w, int h) {
  ASSERT_EQ(image.width, w);
  ASSERT_EQ(image.height, h);
  // Two colours: the background is light, the ink its complement.
  std::uint32_t paper = 0, ink = 0;
  for (size_t i = 0; i < mask.size(); ++i) (mask[i] ? ink : paper) = image.pixels[i];
  EXPECT_EQ(ink, 0xFFFFFFu - paper);
  size_t wrong = 0;
  for (size_t i = 0; i < mask.size(); ++i) wrong += image.pixels[i] != (mask[i] ? ink : paper);
  EXPECT_EQ(wrong, 0u);
}

TEST(EngineGif, HasTheWrongLastLengthAndStillDecodesExactly) {
  std::mt19937 rng(11);
  EngineCaptchaStyle style;
  const auto mask = sandbox::drawEngineCaptcha("31415", style, rng);
  const std::string gif = sandbox::encodeEngineGif(mask, 60, 20, rng);
  ASSERT_EQ(gif.substr(0, 6), "GIF89a");
  EXPECT_EQ(gif.back(), ';');
  const auto blocks = engineBlocks(gif);
  ASSERT_EQ(blocks.size(), 5u);
  // 1200 pixels, 10 clear codes, the end code: 1212 bytes of codes; the last
  // block holds 192 of them but says 1200 mod 255 = 180.
  EXPECT_EQ(blocks.back().declared, 180u);
  EXPECT_EQ(gif.size() - blocks.back().offset - 2, 192u);
  // A clear code (128) stands before every 126 pixels.
  std::string codes;
  for (const Block& b : blocks) codes += gif.substr(b.offset, b.declared == 255 ? 255 : gif.size() - b.offset - 2);
  for (size_t i = 0; i < codes.size() - 2; i += 127) EXPECT_EQ(static_cast<unsigned char>(codes[i]), 128u) << i;
  EXPECT_EQ(static_cast<unsigned char>(codes.back()), 129u);

  RgbImage image;
  ASSERT_TRUE(decodeGif(gif, image));
  expectSamePicture(image, mask, 60, 20);
}

TEST(EngineGif, EverySizeDecodes) {
  // 51x5 = 255 pixels: the last length byte is 0, which reads as the end.
  for (auto [w, h] : std::vector<std::pair<int, int>>{{100, 30}, {37, 13}, {126, 10}, {51, 5}, {120, 40}, {250, 80}}) {
    std::mt19937 rng(static_cast<unsigned>(w * 1000 + h));
    EngineCaptchaStyle style;
    style.width = w;
    style.height = h;
    const auto mask = sandbox::drawEngineCaptcha("90817", style, rng);
    RgbImage image;
    ASSERT_TRUE(decodeGif(sandbox::encodeEngineGif(mask, w, h, rng), image)) << w << "x" << h;
    expectSamePicture(image, mask, w, h);
  }
}

TEST(EngineGif, QtReadsAllButTheLastBlockTheSame) {
  std::mt19937 rng(5);
  const auto mask = sandbox::drawEngineCaptcha("24680", EngineCaptchaStyle{}, rng);
  const std::string gif = sandbox::encodeEngineGif(mask, 60, 20, rng);
  QImage qt = QImage::fromData(QByteArray(gif.data(), static_cast<qsizetype>(gif.size())), "GIF");
  ASSERT_FALSE(qt.isNull());
  RgbImage ours;
  ASSERT_TRUE(decodeGif(gif, ours));
  // Qt believes the last length byte and leaves the picture's last pixels
  // empty; up to there the two agree.
  for (int y = 0; y < 19; ++y)
    for (int x = 0; x < 60; ++x)
      ASSERT_EQ(ours.pixels[static_cast<size_t>(y * 60 + x)], qt.pixel(x, y) & 0xFFFFFFu) << x << "," << y;
  expectSamePicture(ours, mask, 60, 20);
}

TEST(EngineGif, ACutShortFileKeepsWhatArrived) {
  std::mt19937 rng(3);
  const auto mask = sandbox::drawEngineCaptcha("55555", EngineCaptchaStyle{}, rng);
  const std::string gif = sandbox::encodeEngineGif(mask, 60, 20, rng);
  RgbImage image;
  ASSERT_TRUE(decodeGif(gif.substr(0, 600), image));
  ASSERT_EQ(image.pixels.size(), 1200u);
  const std::uint32_t paper = image.pixels.back();
  std::uint32_t ink = 0xFFFFFFu - paper;
  for (size_t i = 0; i < 400; ++i) EXPECT_EQ(image.pixels[i], mask[i] ? ink : paper) << i;
  EXPECT_FALSE(decodeGif(gif.substr(0, 31), image)) << "no pixel at all";
}

// ---- ordinary GIFs: a compressing encoder (code widths growing to 12 bits,
// a clear code when the table is full), checked against Qt's reader.

std::string compressedGif(int w, int h, const std::vector<std::uint32_t>& palette, const std::vector<int>& indexes,
                          int minCodeSize, bool interlaced) {
  auto put16 = [](std::string& s, int v) {
    s += static_cast<char>(v & 0xFF);
    s += static_cast<char>(v >> 8);
  };
  int bits = 0;
  while ((1 << (bits + 1)) < static_cast<int>(palette.size())) ++bits;
  std::string out = "GIF89a";
  put16(out, w);
  put16(out, h);
  out += static_cast<char>(0x80 | bits);
  out += '\0';
  out += '\0';
  for (int i = 0; i < (2 << bits); ++i) {
    const std::uint32_t c = i < static_cast<int>(palette.size()) ? palette[static_cast<size_t>(i)] : 0;
    out += static_cast<char>(c >> 16);
    out += static_cast<char>(c >> 8);
    out += static_cast<char>(c);
  }
  out += std::string("\x21\xF9\x04\x00\x00\x00\x00\x00", 8);  // a graphic control extension to skip
  out += ',';
  put16(out, 0);
  put16(out, 0);
  put16(out, w);
  put16(out, h);
  out += static_cast<char>(interlaced ? 0x40 : 0);
  out += static_cast<char>(minCodeSize);
  // Rows in file order.
  std::vector<int> order;
  if (interlaced) {
    for (int y = 0; y < h; y += 8) order.push_back(y);
    for (int y = 4; y < h; y += 8) order.push_back(y);
    for (int y = 2; y < h; y += 4) order.push_back(y);
    for (int y = 1; y < h; y += 2) order.push_back(y);
  } else {
    for (int y = 0; y < h; ++y) order.push_back(y);
  }
  std::vector<int> px;
  for (int y : order)
    for (int x = 0; x < w; ++x) px.push_back(indexes[static_cast<size_t>(y * w + x)]);

  std::string data;
  unsigned long acc = 0;
  int accBits = 0, size = minCodeSize + 1;
  const int clear = 1 << minCodeSize, end = clear + 1;
  int next = end + 1;
  auto write = [&](int code) {
    acc |= static_cast<unsigned long>(code) << accBits;
    accBits += size;
    while (accBits >= 8) {
      data += static_cast<char>(acc & 0xFF);
      acc >>= 8;
      accBits -= 8;
    }
    if (next >= (1 << size) && size < 12) ++size;
  };
  std::map<std::pair<int, int>, int> dict;
  write(clear);
  int cur = px[0];
  for (size_t i = 1; i < px.size(); ++i) {
    auto it = dict.find({cur, px[i]});
    if (it != dict.end()) {
      cur = it->second;
      continue;
    }
    write(cur);
    if (next >= 4095) {
      write(clear);
      dict.clear();
      next = end + 1;
      size = minCodeSize + 1;
    } else {
      dict[{cur, px[i]}] = next++;
    }
    cur = px[i];
  }
  write(cur);
  write(end);
  if (accBits > 0) data += static_cast<char>(acc & 0xFF);
  for (size_t pos = 0; pos < data.size(); pos += 255) {
    const size_t n = std::min<size_t>(255, data.size() - pos);
    out += static_cast<char>(n);
    out.append(data, pos, n);
  }
  out += '\0';
  out += ';';
  return out;
}

TEST(OrdinaryGif, CompressedPicturesDecodeLikeQtDecodesThem) {
  std::mt19937 rng(99);
  struct Case {
    int w, h, colours, minCodeSize;
    bool interlaced, smooth;
  };
  for (const Case& c : std::vector<Case>{{40, 12, 2, 2, false, false},
                                         {64, 48, 16, 4, false, true},
                                         {90, 33, 16, 4, true, false},
                                         {300, 200, 256, 8, false, false},  // fills the table: clear codes
                                         {200, 120, 256, 8, true, true}}) {
    std::vector<std::uint32_t> palette;
    for (int i = 0; i < c.colours; ++i) palette.push_back(rng() & 0xFFFFFFu);
    std::vector<int> px(static_cast<size_t>(c.w * c.h));
    for (size_t i = 0; i < px.size(); ++i)  // runs make the codes grow long
      px[i] = c.smooth && i > 0 && rng() % 4 ? px[i - 1] : static_cast<int>(rng() % static_cast<unsigned>(c.colours));
    const std::string gif = compressedGif(c.w, c.h, palette, px, c.minCodeSize, c.interlaced);
    RgbImage ours;
    ASSERT_TRUE(decodeGif(gif, ours)) << c.w << "x" << c.h;
    QImage qt = QImage::fromData(QByteArray(gif.data(), static_cast<qsizetype>(gif.size())), "GIF");
    ASSERT_FALSE(qt.isNull());
    size_t wrong = 0, wrongQt = 0;
    for (int y = 0; y < c.h; ++y)
      for (int x = 0; x < c.w; ++x) {
        const size_t i = static_cast<size_t>(y * c.w + x);
        wrong += ours.pixels[i] != palette[static_cast<size_t>(px[i])];
        wrongQt += (qt.pixel(x, y) & 0xFFFFFFu) != palette[static_cast<size_t>(px[i])];
      }
    EXPECT_EQ(wrongQt, 0u) << "the test's encoder writes what Qt reads, " << c.w << "x" << c.h;
    EXPECT_EQ(wrong, 0u) << c.w << "x" << c.h;
  }
}

// ---- other formats and the size check

std::string encodeWithQt(const QImage& image, const char* format) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, format);
  return bytes.toStdString();
}

TEST(CaptchaImage, OtherFormatsStillDecode) {
  std::mt19937 rng(1);
  const std::string bmp = sandbox::renderCaptchaBmp("12345", rng);
  RgbImage image;
  ASSERT_TRUE(decodeCaptchaImage(bmp, image));
  EXPECT_EQ(image.width, sandbox::kCaptchaWidth);
  EXPECT_EQ(image.height, sandbox::kCaptchaHeight);
  QImage picture(70, 25, QImage::Format_RGB32);
  picture.fill(QColor(250, 240, 230));
  picture.setPixel(3, 4, qRgb(10, 20, 30));
  for (const char* format : {"PNG", "BMP", "JPEG"}) {
    const std::string bytes = encodeWithQt(picture, format);
    int w = 0, h = 0;
    ASSERT_TRUE(captchaImageSize(bytes, w, h)) << format;
    EXPECT_EQ(w, 70);
    EXPECT_EQ(h, 25);
    ASSERT_TRUE(decodeCaptchaImage(bytes, image)) << format;
    EXPECT_EQ(image.width, 70);
    EXPECT_EQ(image.pixels.size(), 70u * 25u);
    if (std::string(format) != "JPEG") EXPECT_EQ(image.pixels[4 * 70 + 3], 0x0A141Eu) << format;
  }
  EXPECT_FALSE(decodeCaptchaImage("GIF89a", image));
  EXPECT_FALSE(decodeCaptchaImage(std::string(3000, 'x'), image));
  EXPECT_FALSE(decodeCaptchaImage("", image));
}

TEST(CaptchaImage, PicturesOverAThousandPixelsASideAreRefusedFromTheHeader) {
  std::mt19937 rng(2);
  auto engine = [&](int w, int h) {
    EngineCaptchaStyle style;
    style.width = w;
    style.height = h;
    return sandbox::renderEngineCaptcha("12345", style, rng);
  };
  RgbImage image;
  EXPECT_TRUE(decodeCaptchaImage(engine(1000, 20), image));
  EXPECT_FALSE(decodeCaptchaImage(engine(1001, 20), image));
  EXPECT_FALSE(decodeCaptchaImage(engine(20, 1001), image));
  EXPECT_TRUE(image.pixels.empty());
  // A small screen with a huge image on it counts as huge.
  std::string gif = engine(60, 20);
  gif[13 + 6 + 5] = static_cast<char>(0xD0), gif[13 + 6 + 6] = 0x07;  // image width 2000
  EXPECT_FALSE(decodeCaptchaImage(gif, image));
  for (const char* format : {"PNG", "BMP", "JPEG"}) {
    QImage wide(1001, 2, QImage::Format_RGB32), fits(1000, 2, QImage::Format_RGB32);
    wide.fill(Qt::white);
    fits.fill(Qt::white);
    EXPECT_FALSE(decodeCaptchaImage(encodeWithQt(wide, format), image)) << format;
    EXPECT_TRUE(decodeCaptchaImage(encodeWithQt(fits, format), image)) << format;
  }
  // A PNG header that claims 20000 x 20000: refused at once, nothing decoded.
  std::string png = encodeWithQt(QImage(4, 4, QImage::Format_RGB32), "PNG");
  png[16] = 0, png[17] = 0, png[18] = 0x4E, png[19] = 0x20;
  png[20] = 0, png[21] = 0, png[22] = 0x4E, png[23] = 0x20;
  std::uint32_t crc = 0xFFFFFFFFu;  // the IHDR chunk's CRC over its type and data
  for (size_t i = 12; i < 29; ++i) {
    crc ^= static_cast<unsigned char>(png[i]);
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  crc ^= 0xFFFFFFFFu;
  for (int k = 0; k < 4; ++k) png[29 + static_cast<size_t>(k)] = static_cast<char>(crc >> (24 - 8 * k));
  int w = 0, h = 0;
  ASSERT_TRUE(captchaImageSize(png, w, h));
  EXPECT_EQ(w, 20000);
  test::ensureCaptchaData();
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(readCaptchaImage(CaptchaDataHandle(), png), "");
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(200));
}

}  // namespace
}  // namespace inkpost
