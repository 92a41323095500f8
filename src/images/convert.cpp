#include "images/convert.h"

#include "common/privatefile.h"
#include "net/encoding.h"

#include <QBuffer>
#include <QByteArray>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>

#include <cstdint>
#include <cstring>

namespace inkpost {
namespace {

const char* writerFormat(int formatCode) {
  switch (formatCode) {
    case kImageBmp:
      return "bmp";
    case kImageJpeg:
      return "jpeg";
    case kImageGif:
      return "gif";
    case kImageTiff:
      return "tiff";
    case kImagePng:
      return "png";
    default:
      return nullptr;
  }
}

// A read-only view of the caller's bytes (no copy).
QByteArray view(std::string_view bytes) {
  return QByteArray::fromRawData(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

// Both routes decode with the same reader settings (no rotation from
// metadata), so the size read from a header matches the decoded image.
QImage decode(std::string_view bytes) {
  QByteArray data = view(bytes);
  QBuffer buffer(&data);
  buffer.open(QIODevice::ReadOnly);
  QImageReader reader(&buffer);
  reader.setAutoTransform(false);
  return reader.read();
}

bool isBmp(std::string_view bytes) { return bytes.size() >= 2 && bytes[0] == 'B' && bytes[1] == 'M'; }

int32_t le32(std::string_view bytes, size_t offset) {
  if (bytes.size() < offset + 4) return 0;
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(bytes[offset + i]);
  return static_cast<int32_t>(v);
}

// Width and height fields of a BMP's information header. A top-down bitmap
// stores its height negative; the pixel height is its magnitude.
void bmpSize(std::string_view bmp, int& width, int& height) {
  if (bmp.size() < 26) {
    width = height = 0;
    return;
  }
  int64_t w = le32(bmp, 18), h = le32(bmp, 22);
  width = static_cast<int>(w < 0 ? -w : w);
  height = static_cast<int>(h < 0 ? -h : h);
}

std::string nativePath(const std::string& gbkPath) {
  std::string u = toUtf8(gbkPath);
  return u.empty() ? gbkPath : u;
}

bool blank(const std::string& s) { return s.find_first_not_of(" \t\r\n") == std::string::npos; }

}  // namespace

bool ConvertImage(std::string_view bytes, int formatCode, const std::string& outPath, std::string& outBytes) {
  outBytes.clear();
  const char* format = writerFormat(formatCode);
  if (!format || bytes.empty()) return false;
  QImage image = decode(bytes);
  if (image.isNull()) return false;
  QByteArray encoded;
  {
    QBuffer out(&encoded);
    out.open(QIODevice::WriteOnly);
    QImageWriter writer(&out, format);
    if (!writer.canWrite() || !writer.write(image)) return false;
  }
  if (encoded.isEmpty()) return false;
  outBytes.assign(encoded.constData(), static_cast<size_t>(encoded.size()));
  if (!blank(outPath)) {
    if (!replacePrivateFile(nativePath(outPath), outBytes)) {
      outBytes.clear();
      return false;
    }
  }
  return true;
}

void ImageSizeByConversion(std::string_view bytes, int& width, int& height) {
  if (isBmp(bytes)) return bmpSize(bytes, width, height);
  std::string bmp;
  ConvertImage(bytes, kImageBmp, "", bmp);
  bmpSize(bmp, width, height);
}

bool ImageSizeFromHeader(std::string_view bytes, int& width, int& height) {
  width = height = 0;
  if (bytes.empty()) return false;
  if (isBmp(bytes)) {
    bmpSize(bytes, width, height);
    return width > 0 && height > 0;
  }
  QByteArray data = view(bytes);
  QBuffer buffer(&data);
  buffer.open(QIODevice::ReadOnly);
  QImageReader reader(&buffer);
  reader.setAutoTransform(false);
  if (!reader.canRead()) return false;
  const QSize size = reader.size();
  if (!size.isValid() || size.isEmpty()) return false;
  width = size.width();
  height = size.height();
  return true;
}

void ImageSize(std::string_view bytes, int& width, int& height) {
  width = height = 0;
  if (bytes.empty()) return;
  if (isBmp(bytes)) return bmpSize(bytes, width, height);
  // Most decoders can tell the size from the header without decoding the
  // pixels; the long way is taken only when they cannot.
  QByteArray data = view(bytes);
  QBuffer buffer(&data);
  buffer.open(QIODevice::ReadOnly);
  QImageReader reader(&buffer);
  reader.setAutoTransform(false);
  if (!reader.canRead()) return;
  QSize size = reader.size();
  if (size.isValid() && !size.isEmpty()) {
    width = size.width();
    height = size.height();
    return;
  }
  ImageSizeByConversion(bytes, width, height);
}

int ImageWidth(std::string_view bytes) {
  int w, h;
  ImageSize(bytes, w, h);
  return w;
}

int ImageHeight(std::string_view bytes) {
  int w, h;
  ImageSize(bytes, w, h);
  return h;
}

std::string contentName(std::string_view bytes) { return md5Hex(bytes); }

}  // namespace inkpost
