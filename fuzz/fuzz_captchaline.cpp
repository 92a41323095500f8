// The captcha reader's network file form and its reading of a picture on
// arbitrary bytes: a model either parses into consistent sizes or is refused
// whole, and any picture (two colours or many, any size) reads without
// touching memory outside what it owns.
#include "blog/captcha_line.h"

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

// The smallest model of the file form: one convolution, one hidden unit.
const inkpost::LineModel& tinyModel() {
  static const inkpost::LineModel m = [] {
    inkpost::LineModel t;
    t.convs.push_back({1, 1, 1, std::vector<float>(9, 0.1f), {0.0f}});
    t.window = inkpost::kLineWidth / inkpost::kLinePositions;
    t.hidden = 1;
    t.classes = inkpost::kGlyphClasses;
    t.w1.assign(static_cast<size_t>(inkpost::kLineHeight * t.window), 0.01f);
    t.b1 = {0.0f};
    t.w2.assign(static_cast<size_t>(t.classes), 1.0f);
    t.b2.assign(static_cast<size_t>(t.classes), 0.0f);
    return t;
  }();
  return m;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  inkpost::LineModel parsed;
  if (parsed.parse(bytes) != parsed.usable()) std::abort();
  if (parsed.usable() && parsed.serialize() != bytes.substr(0, parsed.serialize().size())) std::abort();
  if (!tinyModel().usable()) std::abort();
  // A picture: width and height from the first two bytes, pixels from the
  // rest (a few colours, or many).
  if (size < 4) return 0;
  inkpost::RgbImage image;
  image.width = 1 + data[0] % 120;
  image.height = 1 + data[1] % 40;
  image.pixels.resize(static_cast<size_t>(image.width * image.height));
  const bool many = data[2] & 1;
  for (size_t i = 0; i < image.pixels.size(); ++i) {
    const std::uint8_t b = data[3 + i % (size - 3)];
    image.pixels[i] = many ? b * 0x010203u : (b & 1 ? 0xFFFFFFu : 0x101010u);
  }
  const inkpost::CaptchaRead r = inkpost::readCaptchaPicture(tinyModel(), image);
  if (r.code.size() > inkpost::kLinePositions || !(r.confidence >= 0 && r.confidence <= 1)) std::abort();
  return 0;
}
