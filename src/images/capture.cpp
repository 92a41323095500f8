#include "images/capture.h"

#include "common/privatefile.h"

#include <jpeglib.h>

#include <csetjmp>
#include <cstdio>
#include <cstdlib>

namespace inkpost::capture {

QImage DarkenImage(const QImage& screen) {
  QImage src = screen.format() == QImage::Format_RGB32 || screen.format() == QImage::Format_ARGB32
                   ? screen
                   : screen.convertToFormat(QImage::Format_RGB32);
  QImage out(src.size(), QImage::Format_RGB888);
  const int w = src.width();
  for (int y = 0; y < src.height(); ++y) {
    const auto* in = reinterpret_cast<const quint32*>(src.constScanLine(y));
    uchar* o = out.scanLine(y);
    for (int x = 0; x < w; ++x) {
      quint32 half = (in[x] & 0xFEFEFEu) >> 1;
      o[0] = static_cast<uchar>(half >> 16);
      o[1] = static_cast<uchar>(half >> 8);
      o[2] = static_cast<uchar>(half);
      o += 3;
    }
  }
  return out;
}

Zone zoneAt(int x, int y, int w, int h) {
  const bool left = x <= kEdgeZone, right = x >= w - kEdgeZone;
  const bool top = y <= kEdgeZone, bottom = y >= h - kEdgeZone;
  if (left && top) return Zone::TopLeft;
  if (right && bottom) return Zone::BottomRight;
  if (right && top) return Zone::TopRight;
  if (left && bottom) return Zone::BottomLeft;
  if (top) return Zone::Top;
  if (bottom) return Zone::Bottom;
  if (left) return Zone::Left;
  if (right) return Zone::Right;
  return Zone::Inside;
}

QRect dragSelection(const QRect& start, Zone zone, int dx, int dy) {
  if (zone == Zone::Inside) return start.translated(dx, dy);
  int l = start.left(), t = start.top();
  int r = start.left() + start.width(), b = start.top() + start.height();  // exclusive
  const bool moveLeft = zone == Zone::TopLeft || zone == Zone::BottomLeft || zone == Zone::Left;
  const bool moveRight = zone == Zone::TopRight || zone == Zone::BottomRight || zone == Zone::Right;
  const bool moveTop = zone == Zone::TopLeft || zone == Zone::TopRight || zone == Zone::Top;
  const bool moveBottom = zone == Zone::BottomLeft || zone == Zone::BottomRight || zone == Zone::Bottom;
  if (moveLeft) l = std::min(l + dx, r - kMinSelection);
  if (moveRight) r = std::max(r + dx, l + kMinSelection);
  if (moveTop) t = std::min(t + dy, b - kMinSelection);
  if (moveBottom) b = std::max(b + dy, t + kMinSelection);
  return QRect(l, t, r - l, b - t);
}

QRect spanned(int x1, int y1, int x2, int y2) {
  return QRect(std::min(x1, x2), std::min(y1, y2), std::abs(x1 - x2), std::abs(y1 - y2));
}

void handleSquares(int w, int h, QRect out[8]) {
  const int s = 4, mx = w / 2, my = h / 2;
  out[0] = QRect(0, 0, s, s);
  out[1] = QRect(w - s, 0, s, s);
  out[2] = QRect(0, h - s, s, s);
  out[3] = QRect(w - s, h - s, s, s);
  out[4] = QRect(mx - 2, 0, s, s);
  out[5] = QRect(mx - 2, h - s, s, s);
  out[6] = QRect(0, my - 2, s, s);
  out[7] = QRect(w - s, my - 2, s, s);
}

namespace {

// libjpeg's default error handler ends the process; ours jumps back.
struct JpegError {
  jpeg_error_mgr mgr;
  std::jmp_buf jump;
};

[[noreturn]] void jpegErrorExit(j_common_ptr cinfo) { std::longjmp(reinterpret_cast<JpegError*>(cinfo->err)->jump, 1); }

}  // namespace

bool writeJpeg(const QImage& image, const std::string& path, int quality) {
  if (image.isNull()) return false;
  const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
  // Encoded in memory, then put in place in one step (common/privatefile.h).
  unsigned char* encoded = nullptr;
  unsigned long encodedSize = 0;
  jpeg_compress_struct cinfo;
  JpegError jerr;
  cinfo.err = jpeg_std_error(&jerr.mgr);
  jerr.mgr.error_exit = jpegErrorExit;
  if (setjmp(jerr.jump)) {
    jpeg_destroy_compress(&cinfo);
    std::free(encoded);
    return false;
  }
  jpeg_create_compress(&cinfo);
  jpeg_mem_dest(&cinfo, &encoded, &encodedSize);
  cinfo.image_width = static_cast<JDIMENSION>(rgb.width());
  cinfo.image_height = static_cast<JDIMENSION>(rgb.height());
  cinfo.input_components = 3;
  cinfo.in_color_space = JCS_RGB;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, quality, TRUE);
  jpeg_start_compress(&cinfo, TRUE);
  while (cinfo.next_scanline < cinfo.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(rgb.constScanLine(static_cast<int>(cinfo.next_scanline)));
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  const bool ok = replacePrivateFile(path, std::string_view(reinterpret_cast<const char*>(encoded), encodedSize));
  std::free(encoded);
  return ok;
}

}  // namespace inkpost::capture
