// Loads the captcha reader's data once per test process, the way start-up
// does, through a temporary folder. Header-only: for the test executables
// that link the blog library.
#pragma once

#include "blog/captcha.h"
#include "support/tempdir.h"

#include <QBuffer>
#include <QImage>

#include <string>

namespace inkpost::test {

// Callers check CaptchaDataHandle() > 0 afterwards.
inline void ensureCaptchaData() {
  if (CaptchaDataHandle() > 0) return;
  TempDir dir;
  loadCaptchaData(dir.path());
}

// A black square picture of `side` pixels as a one-bit PNG: a few kilobytes
// on the wire that decode to side * side pixels (5790 gives some 33 KB).
inline std::string squarePng(int side) {
  QImage image(side, side, QImage::Format_Mono);
  image.fill(0);
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "PNG");
  return bytes.toStdString();
}

}  // namespace inkpost::test
