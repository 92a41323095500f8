#include "blog/captcha_image.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageReader>

namespace inkpost {
namespace {

bool qtImageSize(const std::string& bytes, int& width, int& height) {
  QByteArray data = QByteArray::fromRawData(bytes.data(), static_cast<qsizetype>(bytes.size()));
  QBuffer buffer(&data);
  buffer.open(QIODevice::ReadOnly);
  QImageReader reader(&buffer);
  if (!reader.canRead()) return false;
  const QSize size = reader.size();
  if (!size.isValid()) return false;
  width = size.width();
  height = size.height();
  return true;
}

}  // namespace

bool captchaImageSize(const std::string& bytes, int& width, int& height) {
  if (gifImageSize(bytes, width, height)) return true;
  return qtImageSize(bytes, width, height) && width > 0 && height > 0;
}

bool decodeCaptchaImage(const std::string& bytes, RgbImage& out, int maxSide) {
  out = {};
  int width = 0, height = 0;
  if (!captchaImageSize(bytes, width, height) || width > maxSide || height > maxSide) return false;
  if (decodeGif(bytes, out, maxSide)) return true;
  QByteArray data = QByteArray::fromRawData(bytes.data(), static_cast<qsizetype>(bytes.size()));
  QBuffer buffer(&data);
  buffer.open(QIODevice::ReadOnly);
  QImageReader reader(&buffer);
  reader.setAutoTransform(false);
  QImage image = reader.read();
  if (image.isNull() || image.width() > maxSide || image.height() > maxSide) return false;
  image = image.convertToFormat(QImage::Format_RGB32);
  out.width = image.width();
  out.height = image.height();
  out.pixels.resize(static_cast<size_t>(out.width) * static_cast<size_t>(out.height));
  for (int y = 0; y < out.height; ++y) {
    const auto* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
    for (int x = 0; x < out.width; ++x)
      out.pixels[static_cast<size_t>(y) * static_cast<size_t>(out.width) + static_cast<size_t>(x)] = row[x] & 0xFFFFFFu;
  }
  return true;
}

}  // namespace inkpost
