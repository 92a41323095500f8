#include "blog/captcha_line.h"

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

using Mask = std::vector<std::uint8_t>;

// For each of `n` output cells over the source span [0, sourceSize): the
// source indexes it covers and the share each contributes.
struct Tap {
  int index;
  float weight;
};
std::vector<std::vector<Tap>> spans(int n, int sourceSize) {
  std::vector<std::vector<Tap>> out(static_cast<size_t>(n));
  const double step = static_cast<double>(sourceSize) / n;
  for (int o = 0; o < n; ++o) {
    const double a = o * step, b = a + step;
    for (int s = static_cast<int>(std::floor(a)); s < b && s < sourceSize; ++s) {
      const double overlap = std::min<double>(b, s + 1) - std::max<double>(a, s);
      if (overlap > 0) out[static_cast<size_t>(o)].push_back({s, static_cast<float>(overlap / step)});
    }
  }
  return out;
}

// The share of ink under each line cell of a width x height ink mask.
LineInput scaled(const Mask& ink, int width, int height) {
  LineInput line(static_cast<size_t>(kLineWidth * kLineHeight), 0.0f);
  const auto columns = spans(kLineWidth, width);
  const auto rows = spans(kLineHeight, height);
  for (int oy = 0; oy < kLineHeight; ++oy)
    for (const Tap& r : rows[static_cast<size_t>(oy)]) {
      const std::uint8_t* source = &ink[static_cast<size_t>(r.index) * static_cast<size_t>(width)];
      float* target = &line[static_cast<size_t>(oy * kLineWidth)];
      for (int ox = 0; ox < kLineWidth; ++ox) {
        float sum = 0;
        for (const Tap& c : columns[static_cast<size_t>(ox)])
          if (source[c.index]) sum += c.weight;
        target[ox] += r.weight * sum;
      }
    }
  return line;
}

// Two colours: the one holding most of the outer frame is the background.
Mask twoColourInk(const RgbImage& image, std::uint32_t a, std::uint32_t b) {
  const int w = image.width, h = image.height;
  long frameA = 0, frameB = 0;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      if (y != 0 && y != h - 1 && x != 0 && x != w - 1) continue;
      (image.pixels[static_cast<size_t>(y * w + x)] == a ? frameA : frameB) += 1;
    }
  const bool aIsInk = frameA != frameB ? frameA < frameB : luminance(a) <= luminance(b);
  const std::uint32_t ink = aIsInk ? a : b;
  Mask mask(image.pixels.size());
  for (size_t i = 0; i < mask.size(); ++i) mask[i] = image.pixels[i] == ink;
  return mask;
}

// More colours: dark pixels with like-coloured dark neighbours, in pieces
// large enough to be characters.
Mask manyColourInk(const RgbImage& image, const GlyphCleaning& s) {
  const int w = image.width, h = image.height;
  const auto& px = image.pixels;
  Mask dark(px.size());
  for (size_t i = 0; i < px.size(); ++i) dark[i] = luminance(px[i]) < s.dark;
  auto like = [&](size_t a, size_t b) {
    return std::abs(red(px[a]) - red(px[b])) <= s.like && std::abs(green(px[a]) - green(px[b])) <= s.like &&
           std::abs(blue(px[a]) - blue(px[b])) <= s.like;
  };
  // Calls f(j) for each like-coloured dark neighbour j of pixel i.
  auto neighbours = [&](int i, auto&& f) {
    const int x = i % w, y = i / w;
    for (int dy = -1; dy <= 1; ++dy)
      for (int dx = -1; dx <= 1; ++dx) {
        const int xx = x + dx, yy = y + dy;
        if ((dx || dy) && xx >= 0 && xx < w && yy >= 0 && yy < h) {
          const size_t j = static_cast<size_t>(yy * w + xx);
          if (dark[j] && like(static_cast<size_t>(i), j)) f(j);
        }
      }
  };
  Mask keep(px.size(), 0);
  for (int i = 0; i < w * h; ++i) {
    if (!dark[static_cast<size_t>(i)]) continue;
    int n = 0;
    neighbours(i, [&](size_t) { ++n; });
    keep[static_cast<size_t>(i)] = n >= s.neighbours;
  }
  Mask ink(px.size(), 0), seen(px.size(), 0);
  std::vector<int> piece, stack;
  for (int start = 0; start < w * h; ++start) {
    if (!keep[static_cast<size_t>(start)] || seen[static_cast<size_t>(start)]) continue;
    piece.clear();
    stack.assign(1, start);
    seen[static_cast<size_t>(start)] = 1;
    int top = h, bottom = -1;
    while (!stack.empty()) {
      const int i = stack.back();
      stack.pop_back();
      piece.push_back(i);
      top = std::min(top, i / w);
      bottom = std::max(bottom, i / w);
      neighbours(i, [&](size_t j) {
        if (keep[j] && !seen[j]) {
          seen[j] = 1;
          stack.push_back(static_cast<int>(j));
        }
      });
    }
    if (bottom - top + 1 >= s.minHeight && static_cast<int>(piece.size()) >= s.minPixels)
      for (int i : piece) ink[static_cast<size_t>(i)] = 1;
  }
  return ink;
}

void putU32(std::string& out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
}

// Reads the file form front to back; every read past the end fails.
struct Cursor {
  const std::string& bytes;
  size_t at = 0;
  bool ok = true;
  std::uint32_t u32() {
    if (!ok || bytes.size() - at < 4) {
      ok = false;
      return 0;
    }
    std::uint32_t v = 0;
    for (int i = 0; i < 4; ++i)
      v |= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + static_cast<size_t>(i)])) << (8 * i);
    at += 4;
    return v;
  }
  void floats(std::vector<float>& v, size_t n) {
    if (!ok || (bytes.size() - at) / 4 < n) {
      ok = false;
      return;
    }
    v.resize(n);
    for (float& f : v) {
      const std::uint32_t bits = u32();
      std::memcpy(&f, &bits, 4);
      ok = ok && std::isfinite(f);
    }
  }
};

int outSide(int side, int stride) { return (side - 1) / stride + 1; }

// One 3x3 convolution (padding 1) with rectified output, channel by channel.
std::vector<float> convolve(const LineModel::Conv& c, const std::vector<float>& in, int& h, int& w) {
  const int ph = h + 2, pw = w + 2;
  std::vector<float> padded(static_cast<size_t>(c.in * ph * pw), 0.0f);
  for (int ch = 0; ch < c.in; ++ch)
    for (int y = 0; y < h; ++y)
      std::memcpy(&padded[static_cast<size_t>((ch * ph + y + 1) * pw + 1)], &in[static_cast<size_t>((ch * h + y) * w)],
                  sizeof(float) * static_cast<size_t>(w));
  const int oh = outSide(h, c.stride), ow = outSide(w, c.stride), s = c.stride;
  std::vector<float> out(static_cast<size_t>(c.out * oh * ow));
  for (int o = 0; o < c.out; ++o) {
    float* plane = &out[static_cast<size_t>(o * oh * ow)];
    std::fill(plane, plane + oh * ow, c.b[static_cast<size_t>(o)]);
    for (int ch = 0; ch < c.in; ++ch) {
      const float* k = &c.w[static_cast<size_t>((o * c.in + ch) * 9)];
      const float* source = &padded[static_cast<size_t>(ch * ph * pw)];
      for (int y = 0; y < oh; ++y) {
        float* row = plane + y * ow;
        for (int ky = 0; ky < 3; ++ky) {
          const float* src = source + (y * s + ky) * pw;
          const float k0 = k[ky * 3], k1 = k[ky * 3 + 1], k2 = k[ky * 3 + 2];
          if (s == 1)
            for (int x = 0; x < ow; ++x) row[x] += k0 * src[x] + k1 * src[x + 1] + k2 * src[x + 2];
          else
            for (int x = 0; x < ow; ++x) row[x] += k0 * src[x * s] + k1 * src[x * s + 1] + k2 * src[x * s + 2];
        }
      }
    }
    for (int i = 0; i < oh * ow; ++i) plane[i] = std::max(plane[i], 0.0f);
  }
  h = oh;
  w = ow;
  return out;
}

// The feature map's size after the convolutions.
void featureSize(const LineModel& m, int& rows, int& columns) {
  rows = kLineHeight;
  columns = kLineWidth;
  for (const auto& c : m.convs) {
    rows = outSide(rows, c.stride);
    columns = outSide(columns, c.stride);
  }
}

}  // namespace

LineInput captchaLine(const RgbImage& image, const GlyphCleaning& cleaning) {
  if (image.width <= 0 || image.height <= 0 ||
      image.pixels.size() != static_cast<size_t>(image.width) * static_cast<size_t>(image.height))
    return {};
  std::set<std::uint32_t> colours;
  for (std::uint32_t c : image.pixels) {
    colours.insert(c);
    if (colours.size() > 2) break;
  }
  if (colours.size() < 2) return {};  // one colour: nothing drawn
  const Mask ink =
      colours.size() > 2 ? manyColourInk(image, cleaning) : twoColourInk(image, *colours.begin(), *colours.rbegin());
  return scaled(ink, image.width, image.height);
}

bool LineModel::parse(const std::string& bytes) {
  *this = {};
  if (bytes.size() < 4 || bytes.compare(0, 4, "ICN1") != 0) return false;
  Cursor in{bytes, 4};
  const std::uint32_t height = in.u32(), width = in.u32(), count = in.u32();
  if (!in.ok || height != kLineHeight || width != kLineWidth || count == 0 || count > 16) return false;
  std::uint32_t channels = 1;
  for (std::uint32_t i = 0; i < count; ++i) {
    Conv c;
    const std::uint32_t from = in.u32(), to = in.u32(), stride = in.u32();
    if (!in.ok || from != channels || to == 0 || to > 512 || (stride != 1 && stride != 2)) return false;
    c.in = static_cast<int>(from);
    c.out = static_cast<int>(to);
    c.stride = static_cast<int>(stride);
    convs.push_back(std::move(c));
    channels = to;
  }
  const std::uint32_t win = in.u32(), hid = in.u32(), cls = in.u32();
  int rows = 0, columns = 0;
  featureSize(*this, rows, columns);
  const int cell = columns / kLinePositions;
  if (!in.ok || columns % kLinePositions != 0 || win < static_cast<std::uint32_t>(cell) || win > 64 ||
      (win - static_cast<std::uint32_t>(cell)) % 2 != 0 || hid == 0 || hid > 4096 || cls != kGlyphClasses)
    return false;
  window = static_cast<int>(win);
  hidden = static_cast<int>(hid);
  classes = static_cast<int>(cls);
  for (Conv& c : convs) {
    in.floats(c.w, static_cast<size_t>(c.out * c.in * 9));
    in.floats(c.b, static_cast<size_t>(c.out));
  }
  in.floats(w1, static_cast<size_t>(hidden) * channels * static_cast<size_t>(rows * window));
  in.floats(b1, static_cast<size_t>(hidden));
  in.floats(w2, static_cast<size_t>(classes * hidden));
  in.floats(b2, static_cast<size_t>(classes));
  if (!in.ok) *this = {};
  return in.ok;
}

std::string LineModel::serialize() const {
  std::string out = "ICN1";
  putU32(out, kLineHeight);
  putU32(out, kLineWidth);
  putU32(out, static_cast<std::uint32_t>(convs.size()));
  for (const Conv& c : convs)
    for (int v : {c.in, c.out, c.stride}) putU32(out, static_cast<std::uint32_t>(v));
  for (int v : {window, hidden, classes}) putU32(out, static_cast<std::uint32_t>(v));
  auto put = [&](const std::vector<float>& v) {
    for (float f : v) {
      std::uint32_t bits;
      std::memcpy(&bits, &f, 4);
      putU32(out, bits);
    }
  };
  for (const Conv& c : convs) {
    put(c.w);
    put(c.b);
  }
  for (const auto* v : {&w1, &b1, &w2, &b2}) put(*v);
  return out;
}

LineRead LineModel::read(const LineInput& line) const {
  LineRead r;
  r.classes.fill(kNoGlyph);
  if (!usable() || line.size() != static_cast<size_t>(kLineWidth * kLineHeight)) return r;
  int h = kLineHeight, w = kLineWidth;
  std::vector<float> map = line;
  for (const Conv& c : convs) map = convolve(c, map, h, w);
  const int channels = convs.back().out, cell = w / kLinePositions, inputs = channels * h * window;
  std::vector<float> x(static_cast<size_t>(inputs)), act(static_cast<size_t>(hidden)),
      logits(static_cast<size_t>(classes));
  for (int p = 0; p < kLinePositions; ++p) {
    // The columns around the p-th fifth, background beyond the edges.
    const int first = p * cell - (window - cell) / 2;
    for (int ch = 0; ch < channels; ++ch)
      for (int y = 0; y < h; ++y)
        for (int k = 0; k < window; ++k) {
          const int col = first + k;
          x[static_cast<size_t>((ch * h + y) * window + k)] =
              col >= 0 && col < w ? map[static_cast<size_t>((ch * h + y) * w + col)] : 0.0f;
        }
    for (int j = 0; j < hidden; ++j) {
      const float* row = &w1[static_cast<size_t>(j) * static_cast<size_t>(inputs)];
      float sum = b1[static_cast<size_t>(j)];
      for (int i = 0; i < inputs; ++i) sum += row[i] * x[static_cast<size_t>(i)];
      act[static_cast<size_t>(j)] = std::max(sum, 0.0f);
    }
    for (int k = 0; k < classes; ++k) {
      const float* row = &w2[static_cast<size_t>(k * hidden)];
      float sum = b2[static_cast<size_t>(k)];
      for (int j = 0; j < hidden; ++j) sum += row[j] * act[static_cast<size_t>(j)];
      logits[static_cast<size_t>(k)] = sum;
    }
    const float top = *std::max_element(logits.begin(), logits.end());
    float total = 0;
    for (float& l : logits) total += l = std::exp(l - top);
    const int best = static_cast<int>(std::max_element(logits.begin(), logits.end()) - logits.begin());
    r.classes[static_cast<size_t>(p)] = best;
    r.probabilities[static_cast<size_t>(p)] = logits[static_cast<size_t>(best)] / total;
  }
  return r;
}

CaptchaRead readCaptchaPicture(const LineModel& model, const RgbImage& image, const GlyphCleaning& cleaning) {
  const LineInput line = captchaLine(image, cleaning);
  if (line.empty()) return {};
  const LineRead r = model.read(line);
  CaptchaRead out;
  out.confidence = 1;
  for (int p = 0; p < kLinePositions; ++p) {
    const int k = r.classes[static_cast<size_t>(p)];
    if (k >= 0 && k <= 9) out.code += static_cast<char>('0' + k);
    out.confidence *= r.probabilities[static_cast<size_t>(p)];
  }
  return out;
}

}  // namespace inkpost
