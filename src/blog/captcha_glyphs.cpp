#include "blog/captcha_glyphs.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <set>

namespace inkpost {
namespace {

int red(std::uint32_t c) { return static_cast<int>((c >> 16) & 0xFF); }
int green(std::uint32_t c) { return static_cast<int>((c >> 8) & 0xFF); }
int blue(std::uint32_t c) { return static_cast<int>(c & 0xFF); }
int luminance(std::uint32_t c) { return (red(c) * 299 + green(c) * 587 + blue(c) * 114) / 1000; }

// For each of `n` output cells over the source span [from, from + length):
// the source indexes it covers and the share each contributes.
struct Tap {
  int index;
  float weight;
};
std::vector<std::vector<Tap>> spans(double from, double length, int n, int sourceSize) {
  std::vector<std::vector<Tap>> out(static_cast<size_t>(n));
  const double step = length / n;
  for (int o = 0; o < n; ++o) {
    const double a = from + o * step, b = a + step;
    for (int s = static_cast<int>(std::floor(a)); s < b; ++s) {
      const double overlap = std::min<double>(b, s + 1) - std::max<double>(a, s);
      if (overlap <= 0 || s < 0 || s >= sourceSize) continue;
      out[static_cast<size_t>(o)].push_back({s, static_cast<float>(overlap / step)});
    }
  }
  return out;
}

// The share of ink under each patch cell for the source rectangle
// (x, y, w, h) of a width x height ink mask; outside the picture is background.
GlyphPatch patchOf(const std::vector<std::uint8_t>& ink, int width, int height, double x, double y, double w,
                   double h) {
  GlyphPatch patch(static_cast<size_t>(kGlyphInputs), 0.0f);
  const auto columns = spans(x, w, kGlyphWidth, width);
  const auto rows = spans(y, h, kGlyphHeight, height);
  for (int oy = 0; oy < kGlyphHeight; ++oy)
    for (int ox = 0; ox < kGlyphWidth; ++ox) {
      float sum = 0;
      for (const Tap& r : rows[static_cast<size_t>(oy)])
        for (const Tap& c : columns[static_cast<size_t>(ox)])
          if (ink[static_cast<size_t>(r.index) * static_cast<size_t>(width) + static_cast<size_t>(c.index)])
            sum += r.weight * c.weight;
      patch[static_cast<size_t>(oy * kGlyphWidth + ox)] = sum;
    }
  return patch;
}

// The engine's kind: the darker colour is ink; one patch per fifth.
std::vector<GlyphPatch> cellGlyphs(const RgbImage& image, std::uint32_t inkColour) {
  const int w = image.width, h = image.height;
  std::vector<std::uint8_t> ink(image.pixels.size());
  for (size_t i = 0; i < ink.size(); ++i) ink[i] = image.pixels[i] == inkColour;
  std::vector<GlyphPatch> out;
  for (int i = 0; i < 5; ++i) {
    const int from = i * w / 5, to = (i + 1) * w / 5;
    const double pad = (to - from) / 6.0;
    out.push_back(patchOf(ink, w, h, from - pad, 0, to - from + 2 * pad, h));
  }
  return out;
}

struct Piece {
  int left, top, right, bottom;  // inclusive
  std::vector<int> pixels;       // indexes into the picture
};

// A piece much wider than the others holds characters that touch: it is cut
// at the columns with the least ink into as many parts as its width suggests.
std::vector<Piece> splitWide(std::vector<Piece> pieces, int imageWidth) {
  std::vector<int> widths;
  for (const auto& p : pieces) widths.push_back(p.right - p.left + 1);
  std::sort(widths.begin(), widths.end());
  const int typical = widths[widths.size() / 2];
  if (typical <= 0 || pieces.size() < 2) return pieces;
  std::vector<Piece> out;
  for (auto& c : pieces) {
    const int width = c.right - c.left + 1;
    const int parts = static_cast<int>(static_cast<double>(width) / typical + 0.35);
    if (parts < 2) {
      out.push_back(std::move(c));
      continue;
    }
    std::vector<int> ink(static_cast<size_t>(width), 0);
    for (int i : c.pixels) ++ink[static_cast<size_t>(i % imageWidth - c.left)];
    std::vector<int> cuts;  // first column of each later part
    for (int p = 1; p < parts; ++p) {
      const int centre = width * p / parts;
      int best = centre;
      for (int x = std::max(1, centre - typical / 3); x <= std::min(width - 1, centre + typical / 3); ++x)
        if (ink[static_cast<size_t>(x)] < ink[static_cast<size_t>(best)]) best = x;
      cuts.push_back(best);
    }
    std::vector<Piece> parted(static_cast<size_t>(parts), Piece{imageWidth, 1 << 20, -1, -1, {}});
    for (int i : c.pixels) {
      const int x = i % imageWidth - c.left;
      Piece& p = parted[static_cast<size_t>(std::upper_bound(cuts.begin(), cuts.end(), x) - cuts.begin())];
      p.pixels.push_back(i);
      p.left = std::min(p.left, i % imageWidth);
      p.right = std::max(p.right, i % imageWidth);
      p.top = std::min(p.top, i / imageWidth);
      p.bottom = std::max(p.bottom, i / imageWidth);
    }
    for (auto& p : parted)
      if (!p.pixels.empty()) out.push_back(std::move(p));
  }
  return out;
}

// The many-coloured kind: like-coloured pieces of ink, noise removed.
std::vector<GlyphPatch> pieceGlyphs(const RgbImage& image, const GlyphCleaning& s) {
  const int w = image.width, h = image.height;
  const auto& px = image.pixels;
  std::vector<std::uint8_t> ink(px.size());
  for (size_t i = 0; i < px.size(); ++i) ink[i] = luminance(px[i]) < s.dark;
  auto like = [&](size_t a, size_t b) {
    return std::abs(red(px[a]) - red(px[b])) <= s.like && std::abs(green(px[a]) - green(px[b])) <= s.like &&
           std::abs(blue(px[a]) - blue(px[b])) <= s.like;
  };
  std::vector<std::uint8_t> keep(px.size(), 0);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const size_t i = static_cast<size_t>(y * w + x);
      if (!ink[i]) continue;
      int n = 0;
      for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx) {
          const int xx = x + dx, yy = y + dy;
          if ((dx || dy) && xx >= 0 && xx < w && yy >= 0 && yy < h) {
            const size_t j = static_cast<size_t>(yy * w + xx);
            if (ink[j] && like(i, j)) ++n;
          }
        }
      keep[i] = n >= s.neighbours;
    }
  std::vector<Piece> pieces;
  std::vector<std::uint8_t> seen(px.size(), 0);
  std::vector<int> stack;
  for (int start = 0; start < w * h; ++start) {
    if (!keep[static_cast<size_t>(start)] || seen[static_cast<size_t>(start)]) continue;
    Piece c{w, h, -1, -1, {}};
    stack.assign(1, start);
    seen[static_cast<size_t>(start)] = 1;
    while (!stack.empty()) {
      const int i = stack.back();
      stack.pop_back();
      c.pixels.push_back(i);
      const int x = i % w, y = i / w;
      c.left = std::min(c.left, x);
      c.right = std::max(c.right, x);
      c.top = std::min(c.top, y);
      c.bottom = std::max(c.bottom, y);
      for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx) {
          const int xx = x + dx, yy = y + dy;
          if (xx < 0 || xx >= w || yy < 0 || yy >= h) continue;
          const size_t j = static_cast<size_t>(yy * w + xx);
          if (keep[j] && !seen[j] && like(static_cast<size_t>(i), j)) {
            seen[j] = 1;
            stack.push_back(static_cast<int>(j));
          }
        }
    }
    if (c.bottom - c.top + 1 >= s.minHeight && static_cast<int>(c.pixels.size()) >= s.minPixels)
      pieces.push_back(std::move(c));
  }
  if (pieces.empty()) return {};
  std::sort(pieces.begin(), pieces.end(), [](const Piece& a, const Piece& b) { return a.left < b.left; });
  pieces = splitWide(std::move(pieces), w);

  std::vector<GlyphPatch> out;
  std::vector<std::uint8_t> mask(px.size(), 0);
  for (const Piece& p : pieces) {
    for (int i : p.pixels) mask[static_cast<size_t>(i)] = 1;
    // The piece centred in a patch of the same proportions as the engine's
    // cells, with room around it.
    const double ph = (p.bottom - p.top + 1) * 20.0 / 17.0;
    const double pw = std::max(ph * kGlyphWidth / kGlyphHeight, p.right - p.left + 3.0);
    const double cx = (p.left + p.right + 1) / 2.0, cy = (p.top + p.bottom + 1) / 2.0;
    out.push_back(patchOf(mask, w, h, cx - pw / 2, cy - ph / 2, pw, ph));
    for (int i : p.pixels) mask[static_cast<size_t>(i)] = 0;
  }
  return out;
}

void putU32(std::string& out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
}
std::uint32_t getU32(const std::string& in, size_t at) {
  std::uint32_t v = 0;
  for (int i = 0; i < 4; ++i)
    v |= static_cast<std::uint32_t>(static_cast<unsigned char>(in[at + static_cast<size_t>(i)])) << (8 * i);
  return v;
}

}  // namespace

std::vector<GlyphPatch> captchaGlyphs(const RgbImage& image, const GlyphCleaning& cleaning) {
  if (image.width <= 0 || image.height <= 0 ||
      image.pixels.size() != static_cast<size_t>(image.width) * static_cast<size_t>(image.height))
    return {};
  std::set<std::uint32_t> colours;
  for (std::uint32_t c : image.pixels) {
    colours.insert(c);
    if (colours.size() > 2) break;
  }
  if (colours.size() > 2) return pieceGlyphs(image, cleaning);
  if (colours.size() < 2) return {};  // one colour: nothing drawn
  const std::uint32_t a = *colours.begin(), b = *colours.rbegin();
  return cellGlyphs(image, luminance(a) <= luminance(b) ? a : b);
}

bool GlyphModel::parse(const std::string& bytes) {
  *this = {};
  if (bytes.size() < 16 || bytes.compare(0, 4, "ICM1") != 0) return false;
  const std::uint32_t in = getU32(bytes, 4), hid = getU32(bytes, 8), cls = getU32(bytes, 12);
  if (in == 0 || in > 4096 || hid == 0 || hid > 4096 || cls == 0 || cls > 64) return false;
  const size_t count = static_cast<size_t>(hid) * (in + 1) + static_cast<size_t>(cls) * (hid + 1);
  if (bytes.size() < 16 + 4 * count) return false;
  std::vector<float> all(count);
  for (size_t i = 0; i < count; ++i) {
    const std::uint32_t bits = getU32(bytes, 16 + 4 * i);
    std::memcpy(&all[i], &bits, 4);
    if (!std::isfinite(all[i])) return false;
  }
  inputs = static_cast<int>(in);
  hidden = static_cast<int>(hid);
  classes = static_cast<int>(cls);
  auto take = [&, at = size_t{0}](std::vector<float>& v, size_t n) mutable {
    v.assign(all.begin() + static_cast<std::ptrdiff_t>(at), all.begin() + static_cast<std::ptrdiff_t>(at + n));
    at += n;
  };
  take(w1, static_cast<size_t>(hid) * in);
  take(b1, hid);
  take(w2, static_cast<size_t>(cls) * hid);
  take(b2, cls);
  return true;
}

std::string GlyphModel::serialize() const {
  std::string out = "ICM1";
  putU32(out, static_cast<std::uint32_t>(inputs));
  putU32(out, static_cast<std::uint32_t>(hidden));
  putU32(out, static_cast<std::uint32_t>(classes));
  for (const auto* v : {&w1, &b1, &w2, &b2})
    for (float f : *v) {
      std::uint32_t bits;
      std::memcpy(&bits, &f, 4);
      putU32(out, bits);
    }
  return out;
}

void GlyphModel::forward(const float* input, float* hiddenOut, float* probs) const {
  for (int j = 0; j < hidden; ++j) {
    const float* row = &w1[static_cast<size_t>(j) * static_cast<size_t>(inputs)];
    float sum = b1[static_cast<size_t>(j)];
    for (int i = 0; i < inputs; ++i) sum += row[i] * input[i];
    hiddenOut[j] = sum > 0 ? sum : 0;
  }
  float top = -1e30f;
  for (int k = 0; k < classes; ++k) {
    const float* row = &w2[static_cast<size_t>(k) * static_cast<size_t>(hidden)];
    float sum = b2[static_cast<size_t>(k)];
    for (int j = 0; j < hidden; ++j) sum += row[j] * hiddenOut[j];
    probs[k] = sum;
    top = std::max(top, sum);
  }
  float total = 0;
  for (int k = 0; k < classes; ++k) total += probs[k] = std::exp(probs[k] - top);
  for (int k = 0; k < classes; ++k) probs[k] /= total;
}

int GlyphModel::classify(const GlyphPatch& patch, float* probability) const {
  if (!usable() || patch.size() != static_cast<size_t>(inputs)) return -1;
  std::vector<float> hiddenOut(static_cast<size_t>(hidden)), probs(static_cast<size_t>(classes));
  forward(patch.data(), hiddenOut.data(), probs.data());
  const int best = static_cast<int>(std::max_element(probs.begin(), probs.end()) - probs.begin());
  if (probability) *probability = probs[static_cast<size_t>(best)];
  return best;
}

}  // namespace inkpost
