// The tolerant GIF decoder on arbitrary bytes: it never reads outside the
// input, never produces a picture larger than allowed, and what it returns
// is consistent (pixel count = width x height).
#include "blog/captcha_image.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  inkpost::RgbImage image;
  const bool ok = inkpost::decodeGif(bytes, image, 300);
  if (ok) {
    if (image.width <= 0 || image.height <= 0 || image.width > 300 || image.height > 300) std::abort();
    if (image.pixels.size() != static_cast<size_t>(image.width) * static_cast<size_t>(image.height)) std::abort();
  } else if (!image.pixels.empty()) {
    std::abort();
  }
  int w = 0, h = 0;
  if (inkpost::gifImageSize(bytes, w, h) && (w <= 0 || h <= 0)) std::abort();
  return 0;
}
