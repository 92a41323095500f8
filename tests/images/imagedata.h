// Image files made on the fly for the image tests: BMP, JPEG and PNG through
// QImage, GIF written by hand (Qt has no GIF writer).
#pragma once

#include "net/encoding.h"
#include "support/gbktext.h"

#include <QBuffer>
#include <QByteArray>
#include <QColor>
#include <QImage>

#include <algorithm>
#include <cstdint>
#include <string>

namespace inkpost::test {

inline std::string encodeImage(int width, int height, const char* format, int quality = -1) {
  QImage image(width, height, QImage::Format_RGB32);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) image.setPixel(x, y, qRgb((x * 7) & 255, (y * 5) & 255, ((x + y) * 3) & 255));
  QByteArray out;
  QBuffer buffer(&out);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, format, quality);
  return std::string(out.constData(), static_cast<size_t>(out.size()));
}

inline std::string makeJpeg(int width, int height) { return encodeImage(width, height, "JPEG", 90); }
inline std::string makePng(int width, int height) { return encodeImage(width, height, "PNG"); }
inline std::string makeBmp(int width, int height) { return encodeImage(width, height, "BMP"); }

// A two-colour GIF (a checkerboard). The LZW stream restarts with a clear
// code every two pixels, so every code stays three bits wide.
inline std::string makeGif(int width, int height) {
  std::string g = "GIF89a";
  auto le16 = [&g](int v) {
    g += static_cast<char>(v & 255);
    g += static_cast<char>((v >> 8) & 255);
  };
  le16(width);
  le16(height);
  g += static_cast<char>(0x80);  // global colour table of 2 entries
  g += '\0';
  g += '\0';
  g += std::string("\x00\x00\x00\xff\xff\xff", 6);
  g += ',';
  le16(0);
  le16(0);
  le16(width);
  le16(height);
  g += '\0';
  g += '\x02';  // LZW minimum code size
  std::string data;
  uint32_t acc = 0;
  int bits = 0;
  auto put = [&](int code) {
    acc |= static_cast<uint32_t>(code) << bits;
    bits += 3;
    while (bits >= 8) {
      data += static_cast<char>(acc & 255);
      acc >>= 8;
      bits -= 8;
    }
  };
  long pixels = static_cast<long>(width) * height;
  for (long i = 0; i < pixels; ++i) {
    if (i % 2 == 0) put(4);  // clear
    long x = i % width, y = i / width;
    put(static_cast<int>((x + y) & 1));
  }
  put(5);  // end of information
  if (bits > 0) data += static_cast<char>(acc & 255);
  for (size_t i = 0; i < data.size(); i += 255) {
    size_t n = std::min<size_t>(255, data.size() - i);
    g += static_cast<char>(n);
    g += data.substr(i, n);
  }
  g += '\0';
  g += ';';
  return g;
}

// GBK form of a UTF-8 literal (test sources are UTF-8).

}  // namespace inkpost::test
