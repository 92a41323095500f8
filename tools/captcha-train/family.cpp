#include "family.h"

#include "sandbox/engine_captcha.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <utility>
#include <vector>

namespace inkpost::train {
namespace {

using Polyline = sandbox::DigitPolyline;

struct Rng {
  std::mt19937& g;
  double real(double lo, double hi) { return lo >= hi ? lo : std::uniform_real_distribution<double>(lo, hi)(g); }
  int whole(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(g); }
  bool chance(double p) { return real(0, 1) < p; }
  double normal(double sd) { return std::normal_distribution<double>(0, sd)(g); }
};

// How one picture is drawn.
struct Style {
  int width = 60, height = 20;
  bool wholeCells = true;                // cell edges at whole pixels
  double border = 1;                     // pixels kept free at each side of a cell
  double margin = 0.05;                  // largest random margin, share of the cell width / the height
  int chain = 0;                         // 0: left edge after the previous box, 1: always from it, 2: ignore it
  double shift = 0;                      // largest box shift, share of the cell
  double scale = 0;                      // largest box scale change, share
  double shear = 0;                      // largest shear, x per y
  bool percentPoints = false;            // points at p/100 of the box rather than (p-1)/99
  double jitter = 0;                     // largest point jitter, share of the box
  double angle = 7;                      // largest segment turn, degrees
  bool normalTurns = false;              // turns drawn from a bell curve rather than evenly
  int heading = 0;                       // 0: towards the next point, 1: the ideal direction, 2: turns add up
  int length = 0;                        // 0: floor, 1: round, 2: not cut, 3: floor of the ideal length
  int stepping = 0;                      // 0: rounded steps, 1: truncated steps, 2: half-pixel steps
  std::vector<std::pair<int, int>> pen;  // offsets each line pixel also inks
  double noise = 0.08;                   // share of pixels touched by noise
  int noiseKind = 0;  // 0: that many flips, 1: each pixel flipped by chance, 2: ink only, 3: paper only
  int specks = 0, strokes = 0;
};

Style pickStyle(Rng& r) {
  Style s;
  if (r.chance(0.25)) {
    s.width = 60, s.height = 20;
  } else if (r.chance(0.06)) {
    s.width = r.whole(100, 124), s.height = r.whole(28, 42);
  } else {
    s.width = r.whole(46, 110);
    s.height = std::clamp(static_cast<int>(std::lround(s.width / r.real(2.4, 4.2))), 15, 36);
  }
  s.wholeCells = r.chance(0.7);
  s.border = r.chance(0.7) ? 1 : r.real(0, 2);
  s.margin = (r.chance(0.5) ? r.real(0.03, 0.07) : r.real(0, 0.13));
  s.chain = r.chance(0.6) ? 0 : r.whole(1, 2);
  s.shift = r.chance(0.5) ? 0 : r.real(0, 0.12);
  s.scale = r.chance(0.5) ? 0 : r.real(0, 0.15);
  s.shear = r.chance(0.6) ? 0 : r.real(0, 0.3);
  s.percentPoints = r.chance(0.5);
  s.jitter = r.chance(0.5) ? 0 : r.real(0, 0.04);
  s.angle = r.chance(0.4) ? r.real(5, 9) : r.real(0, 12.5);
  s.normalTurns = r.chance(0.25);
  s.heading = r.chance(0.6) ? 0 : r.chance(0.75) ? 1 : 2;
  s.length = r.chance(0.5) ? 0 : r.whole(1, 3);
  s.stepping = r.chance(0.5) ? 0 : r.whole(1, 2);
  // The pen: 1 to 3 pixels, grown towards any side.
  const double w = r.real(0, 1);
  const int dx = r.chance(0.5) ? 1 : -1, dy = r.chance(0.5) ? 1 : -1;
  s.pen = {{0, 0}};
  if (w < 0.15) {
  } else if (w < 0.75) {
    const double k = r.real(0, 1);
    if (k < 0.65)
      s.pen.insert(s.pen.end(), {{dx, 0}, {0, dy}});
    else if (k < 0.8)
      s.pen.insert(s.pen.end(), {{dx, 0}, {0, dy}, {dx, dy}});
    else if (k < 0.9)
      s.pen.push_back({dx, 0});
    else
      s.pen.push_back({0, dy});
  } else {
    const double k = r.real(0, 1);
    if (k < 0.4)
      s.pen.insert(s.pen.end(), {{1, 0}, {-1, 0}, {0, 1}, {0, -1}});
    else if (k < 0.6)
      for (int y = -1; y <= 1; ++y)
        for (int x = -1; x <= 1; ++x) s.pen.push_back({x, y});
    else
      s.pen.insert(s.pen.end(), {{dx, 0}, {2 * dx, 0}, {0, dy}, {0, 2 * dy}, {dx, dy}});
  }
  s.noise = r.chance(0.4) ? r.real(0.06, 0.10) : r.real(0, 0.155);
  s.noiseKind = r.chance(0.55) ? 0 : r.chance(0.6) ? 1 : r.whole(2, 3);
  if (r.chance(0.3)) s.specks = r.whole(1, std::max(2, s.width * s.height / 60));
  if (r.chance(0.3)) s.strokes = r.whole(1, 8);
  return s;
}

class Canvas {
 public:
  Canvas(int w, int h) : w_(w), h_(h), px_(static_cast<size_t>(w * h), 0) {}
  void set(int x, int y, std::uint8_t v = 1) {
    if (x >= 0 && x < w_ && y >= 0 && y < h_) px_[static_cast<size_t>(y * w_ + x)] = v;
  }
  void flip(int x, int y) {
    if (x >= 0 && x < w_ && y >= 0 && y < h_) px_[static_cast<size_t>(y * w_ + x)] ^= 1;
  }
  std::uint8_t at(int x, int y) const { return px_[static_cast<size_t>(y * w_ + x)]; }
  std::vector<std::uint8_t>& pixels() { return px_; }

 private:
  int w_, h_;
  std::vector<std::uint8_t> px_;
};

// A segment from (x, y) to (ex, ey), stepped along its longer axis.
void stepLine(Canvas& c, double x, double y, double ex, double ey, int stepping) {
  const double span = std::max(std::fabs(ex - x), std::fabs(ey - y));
  const int steps = stepping == 2 ? static_cast<int>(std::ceil(span * 2)) : static_cast<int>(std::lround(span));
  for (int s = 0; s <= steps; ++s) {
    const double t = steps ? static_cast<double>(s) / steps : 0.0;
    const double px = x + t * (ex - x), py = y + t * (ey - y);
    if (stepping == 1)
      c.set(static_cast<int>(std::floor(px)), static_cast<int>(std::floor(py)));
    else
      c.set(static_cast<int>(std::lround(px)), static_cast<int>(std::lround(py)));
  }
}

void drawDigit(Canvas& c, const Polyline& shape, const Style& s, double left, double top, double right, double bottom,
               Rng& r) {
  const double pi = std::acos(-1.0);
  // This box's own shift, scale and shear.
  const double bw = right - left, bh = bottom - top;
  const double cx = (left + right) / 2 + r.real(-s.shift, s.shift) * bw,
               cy = (top + bottom) / 2 + r.real(-s.shift, s.shift) * bh;
  const double sx = 1 + r.real(-s.scale, s.scale), sy = 1 + r.real(-s.scale, s.scale);
  const double shear = r.real(-s.shear, s.shear);
  auto at = [&](const std::pair<int, int>& p) {
    const double u = s.percentPoints ? p.first / 100.0 : (p.first - 1) / 99.0;
    const double v = s.percentPoints ? p.second / 100.0 : (p.second - 1) / 99.0;
    const double ju = u + r.real(-s.jitter, s.jitter), jv = v + r.real(-s.jitter, s.jitter);
    const double y = cy + (jv - 0.5) * bh * sy;
    return std::pair<double, double>(cx + (ju - 0.5) * bw * sx + shear * (y - cy), y);
  };
  std::vector<std::pair<double, double>> points;
  for (const auto& p : shape) points.push_back(at(p));
  auto [x, y] = points.front();
  double drift = 0;
  for (size_t k = 1; k < points.size(); ++k) {
    const auto [tx, ty] = points[k];
    const auto [ix, iy] = points[k - 1];
    const double turn =
        (s.normalTurns ? std::clamp(r.normal(s.angle / 2), -s.angle, s.angle) : r.real(-s.angle, s.angle)) * pi / 180.0;
    double direction, length;
    if (s.heading == 0) {
      direction = std::atan2(ty - y, tx - x) + turn;
      length = std::hypot(tx - x, ty - y);
    } else {
      drift = s.heading == 2 ? drift + turn : turn;
      direction = std::atan2(ty - iy, tx - ix) + drift;
      length = s.length == 3 ? std::hypot(tx - ix, ty - iy) : std::hypot(tx - x, ty - y);
    }
    if (s.length == 0 || s.length == 3)
      length = std::floor(length);
    else if (s.length == 1)
      length = std::round(length);
    const double ex = x + length * std::cos(direction), ey = y + length * std::sin(direction);
    stepLine(c, x, y, ex, ey, s.stepping);
    x = ex;
    y = ey;
  }
}

}  // namespace

RgbImage drawFamilyCaptcha(const std::string& shown, std::mt19937& gen) {
  Rng r{gen};
  const Style s = pickStyle(r);
  const int w = s.width, h = s.height;
  Canvas line(w, h);
  double previousRight = 0;
  for (int i = 0; i < 5 && i < static_cast<int>(shown.size()); ++i) {
    const double cellLeft = s.wholeCells ? i * w / 5 : i * w / 5.0;
    const double cellRight = s.wholeCells ? (i + 1) * w / 5 - 1 : (i + 1) * w / 5.0 - 1;
    const double cellWidth = cellRight - cellLeft + 1;
    const double from = s.chain == 0            ? std::max(cellLeft, previousRight)
                        : s.chain == 1 && i > 0 ? previousRight
                                                : cellLeft;
    const double left = from + s.border + r.real(0, s.margin * cellWidth);
    const double right = std::max(left + 3, cellRight - s.border - r.real(0, s.margin * cellWidth));
    const double top = s.border + r.real(0, s.margin * h);
    const double bottom = std::max(top + 5, h - 1 - s.border - r.real(0, s.margin * h));
    previousRight = right;
    const char ch = shown[static_cast<size_t>(i)];
    if (ch >= '0' && ch <= '9')
      drawDigit(line, sandbox::engineDigitShapes()[static_cast<size_t>(ch - '0')], s, left, top, right, bottom, r);
  }
  Canvas ink(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      if (line.at(x, y))
        for (const auto& [dx, dy] : s.pen) ink.set(x + dx, y + dy);
  // Noise: flips, or ink or paper only, over the whole picture.
  const int flips = static_cast<int>(std::lround(s.noise * w * h));
  if (s.noiseKind == 1) {
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x)
        if (r.chance(s.noise)) ink.flip(x, y);
  } else {
    for (int n = 0; n < flips; ++n) {
      const int x = r.whole(0, w - 1), y = r.whole(0, h - 1);
      if (s.noiseKind == 0)
        ink.flip(x, y);
      else
        ink.set(x, y, s.noiseKind == 2 ? 1 : 0);
    }
  }
  // Clustered specks and short strokes.
  for (int n = 0; n < s.specks; ++n) {
    const int x = r.whole(0, w - 1), y = r.whole(0, h - 1), size = r.whole(1, 3);
    for (int dy = 0; dy < size; ++dy)
      for (int dx = 0; dx < size; ++dx)
        if (r.chance(0.8)) ink.set(x + dx, y + dy);
  }
  for (int n = 0; n < s.strokes; ++n) {
    const double x = r.real(0, w), y = r.real(0, h), a = r.real(0, 2 * std::acos(-1.0)), len = r.real(3, 12);
    stepLine(ink, x, y, x + len * std::cos(a), y + len * std::sin(a), 0);
  }
  // Two colours: the engine's light paper and its complement, or any pair.
  std::uint32_t paper, pen;
  auto rgb = [](int cr, int cg, int cb) { return static_cast<std::uint32_t>((cr << 16) | (cg << 8) | cb); };
  if (r.chance(0.6)) {
    const int cr = 255 - r.whole(0, 63), cg = 255 - r.whole(0, 63), cb = 255 - r.whole(0, 63);
    paper = rgb(cr, cg, cb);
    pen = rgb(255 - cr, 255 - cg, 255 - cb);
  } else {
    do {
      paper = rgb(r.whole(0, 255), r.whole(0, 255), r.whole(0, 255));
      pen = rgb(r.whole(0, 255), r.whole(0, 255), r.whole(0, 255));
    } while (paper == pen);
  }
  RgbImage image;
  image.width = w;
  image.height = h;
  image.pixels.resize(static_cast<size_t>(w * h));
  for (size_t i = 0; i < image.pixels.size(); ++i) image.pixels[i] = ink.pixels()[i] ? pen : paper;
  return image;
}

}  // namespace inkpost::train
