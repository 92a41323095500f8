#include "sandbox/engine_captcha.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <utility>

namespace inkpost::sandbox {
namespace {

double uniform(std::mt19937& rng, double lo, double hi) {
  return lo >= hi ? lo : std::uniform_real_distribution<double>(lo, hi)(rng);
}

void put16(std::string& out, int v) {
  out += static_cast<char>(v & 0xFF);
  out += static_cast<char>((v >> 8) & 0xFF);
}

}  // namespace

const std::array<DigitPolyline, 10>& engineDigitShapes() {
  static const std::array<DigitPolyline, 10> shapes = {{
      {{100, 20}, {70, 1}, {20, 1}, {1, 30}, {1, 80}, {30, 100}, {70, 100}, {100, 80}, {100, 60}, {90, 20}, {80, 3}},
      {{30, 15}, {50, 1}, {50, 100}},
      {{1, 34}, {30, 1}, {71, 1}, {100, 34}, {1, 100}, {93, 100}, {100, 86}},
      {{1, 1}, {100, 1}, {42, 42}, {100, 70}, {50, 100}, {1, 70}},
      {{100, 73}, {6, 73}, {75, 6}, {75, 100}},
      {{100, 1}, {1, 1}, {1, 50}, {50, 35}, {100, 55}, {100, 80}, {50, 100}, {1, 95}},
      {{100, 20},
       {70, 1},
       {20, 1},
       {1, 30},
       {1, 80},
       {30, 100},
       {70, 100},
       {100, 80},
       {100, 60},
       {70, 50},
       {30, 50},
       {1, 60}},
      {{6, 26}, {6, 6}, {100, 6}, {53, 100}},
      {{100, 30},
       {100, 20},
       {70, 1},
       {30, 1},
       {1, 20},
       {1, 30},
       {100, 70},
       {100, 80},
       {70, 100},
       {30, 100},
       {1, 80},
       {1, 70},
       {100, 30}},
      {{1, 80},
       {30, 100},
       {80, 100},
       {100, 70},
       {100, 20},
       {70, 1},
       {30, 1},
       {1, 20},
       {1, 40},
       {30, 50},
       {70, 50},
       {100, 40}},
  }};
  return shapes;
}

EngineCaptchaStyle spreadCaptchaStyle(std::mt19937& rng) {
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  EngineCaptchaStyle s;
  s.width = pick(45, 120);
  s.height = pick(std::max(15, s.width / 5), std::min(40, s.width / 2));
  s.noiseMin = uniform(rng, 2, 10);
  s.noiseMax = s.noiseMin + uniform(rng, 0, 6);
  s.angle = uniform(rng, 2, 12);
  s.margin = uniform(rng, 0, 12);
  return s;
}

bool applyCaptchaOption(const std::string& name, const std::string& value, EngineCaptchaStyle& style,
                        std::string& error) {
  error.clear();
  char* end = nullptr;
  const double number = std::strtod(value.c_str(), &end);
  const bool isNumber = end != value.c_str() && *end == '\0';
  if (name == "size") {
    if (!parseCaptchaSize(value, style)) error = "size wants WxH, each 10 to 1000";
  } else if (name == "noise") {
    if (!parseCaptchaNoise(value, style)) error = "noise wants P or MIN-MAX, 0 to 50";
  } else if (name == "angle") {
    if (isNumber && number >= 0 && number <= 90)
      style.angle = number;
    else
      error = "angle wants 0 to 90";
  } else if (name == "margin") {
    if (isNumber && number >= 0 && number <= 40)
      style.margin = number;
    else
      error = "margin wants 0 to 40";
  } else {
    return false;
  }
  return error.empty();
}

bool parseCaptchaSize(const std::string& text, EngineCaptchaStyle& style) {
  const size_t x = text.find('x');
  if (x == std::string::npos) return false;
  char* end = nullptr;
  const long w = std::strtol(text.c_str(), &end, 10);
  if (end != text.c_str() + x) return false;
  const long h = std::strtol(text.c_str() + x + 1, &end, 10);
  if (*end != '\0' || end == text.c_str() + x + 1) return false;
  if (w < 10 || w > 1000 || h < 10 || h > 1000) return false;
  style.width = static_cast<int>(w);
  style.height = static_cast<int>(h);
  return true;
}

bool parseCaptchaNoise(const std::string& text, EngineCaptchaStyle& style) {
  const size_t dash = text.find('-');
  char* end = nullptr;
  const double lo = std::strtod(text.c_str(), &end);
  if (end == text.c_str()) return false;
  double hi = lo;
  if (dash != std::string::npos) {
    if (end != text.c_str() + dash) return false;
    const char* start = text.c_str() + dash + 1;
    hi = std::strtod(start, &end);
    if (end == start) return false;
  }
  if (*end != '\0' || lo < 0 || hi < lo || hi > 50) return false;
  style.noiseMin = lo;
  style.noiseMax = hi;
  return true;
}

std::vector<std::uint8_t> drawEngineCaptcha(const std::string& digits, const EngineCaptchaStyle& style,
                                            std::mt19937& rng) {
  const int w = style.width, h = style.height;
  std::vector<std::uint8_t> line(static_cast<size_t>(w * h), 0);
  auto set = [&](int x, int y) {
    if (x >= 0 && x < w && y >= 0 && y < h) line[static_cast<size_t>(y * w + x)] = 1;
  };
  const double pi = std::acos(-1.0);
  const double share = style.margin / 100.0;
  double previousRight = 0;
  for (int i = 0; i < 5 && i < static_cast<int>(digits.size()); ++i) {
    const double cellLeft = static_cast<double>(i * w / 5), cellRight = static_cast<double>((i + 1) * w / 5 - 1);
    const double cellWidth = cellRight - cellLeft + 1;
    const double left = std::max(cellLeft, previousRight) + 1 + uniform(rng, 0, share * cellWidth);
    const double right = cellRight - 1 - uniform(rng, 0, share * cellWidth);
    const double top = 1 + uniform(rng, 0, share * h);
    const double bottom = h - 2 - uniform(rng, 0, share * h);
    previousRight = right;
    const char c = digits[static_cast<size_t>(i)];
    if (c < '0' || c > '9') continue;
    const DigitPolyline& shape = engineDigitShapes()[static_cast<size_t>(c - '0')];
    auto at = [&](const std::pair<int, int>& p) {
      return std::pair<double, double>(left + (p.first - 1) / 99.0 * (right - left),
                                       top + (p.second - 1) / 99.0 * (bottom - top));
    };
    auto [x, y] = at(shape.front());
    for (size_t k = 1; k < shape.size(); ++k) {
      const auto [tx, ty] = at(shape[k]);
      // Towards the next point, turned a little, cut to whole pixels; the
      // error carries into the next segment.
      const double length = std::floor(std::hypot(tx - x, ty - y));
      const double turn = uniform(rng, -style.angle, style.angle) * pi / 180.0;
      const double direction = std::atan2(ty - y, tx - x) + turn;
      const double ex = x + length * std::cos(direction), ey = y + length * std::sin(direction);
      const int steps = static_cast<int>(std::lround(std::max(std::fabs(ex - x), std::fabs(ey - y))));
      for (int s = 0; s <= steps; ++s) {
        const double t = steps ? static_cast<double>(s) / steps : 0.0;
        set(static_cast<int>(std::lround(x + t * (ex - x))), static_cast<int>(std::lround(y + t * (ey - y))));
      }
      x = ex;
      y = ey;
    }
  }
  // Strokes two pixels thick: a pixel whose left or upper neighbour is ink becomes ink.
  std::vector<std::uint8_t> ink = line;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      if ((x > 0 && line[static_cast<size_t>(y * w + x - 1)]) || (y > 0 && line[static_cast<size_t>((y - 1) * w + x)]))
        ink[static_cast<size_t>(y * w + x)] = 1;
  // Noise: a random share of all pixels flipped.
  const double rate = uniform(rng, style.noiseMin, style.noiseMax) / 100.0;
  const int flips = static_cast<int>(std::lround(rate * w * h));
  std::uniform_int_distribution<int> anyPixel(0, w * h - 1);
  for (int n = 0; n < flips; ++n) ink[static_cast<size_t>(anyPixel(rng))] ^= 1;
  return ink;
}

std::string encodeEngineGif(const std::vector<std::uint8_t>& pixels, int width, int height, std::mt19937& rng) {
  std::string out = "GIF89a";
  put16(out, width);
  put16(out, height);
  out += static_cast<char>(0x80);  // global colour table of two entries
  out += '\0';                     // background colour index
  out += '\0';                     // pixel aspect ratio
  std::uniform_int_distribution<int> shade(0, 63);
  unsigned char paper[3];
  for (unsigned char& c : paper) c = static_cast<unsigned char>(255 - shade(rng));
  for (unsigned char c : paper) out += static_cast<char>(c);
  for (unsigned char c : paper) out += static_cast<char>(255 - c);
  out += ',';
  put16(out, 0);
  put16(out, 0);
  put16(out, width);
  put16(out, height);
  out += '\0';                  // no local table, not interlaced
  out += static_cast<char>(7);  // LZW minimum code size

  // Every pixel one 8-bit code; a clear code before the table would grow.
  std::string codes;
  codes += static_cast<char>(128);
  const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
  for (size_t i = 0; i < count; ++i) {
    if (i > 0 && i % 126 == 0) codes += static_cast<char>(128);
    codes += static_cast<char>(pixels[i] ? 1 : 0);
  }
  codes += static_cast<char>(128);
  codes += static_cast<char>(129);

  // Sub-blocks of 255 bytes; the last one's length byte is the script's
  // (pixel count modulo 255), not the number of bytes that follow it.
  for (size_t pos = 0; pos < codes.size(); pos += 255) {
    const size_t n = std::min<size_t>(255, codes.size() - pos);
    out += static_cast<char>(n == 255 ? 255 : static_cast<int>(count % 255));
    out.append(codes, pos, n);
  }
  out += '\0';
  out += ';';
  return out;
}

std::string renderEngineCaptcha(const std::string& digits, const EngineCaptchaStyle& style, std::mt19937& rng) {
  return encodeEngineGif(drawEngineCaptcha(digits, style, rng), style.width, style.height, rng);
}

}  // namespace inkpost::sandbox
