#include "sandbox/captcha_image.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <array>
#include <cstdint>
#include <mutex>
#include <vector>

namespace inkpost::sandbox {
namespace {

// 5x7 glyphs, one row per entry, bit 4 = left column. Drawn at 2x.
constexpr std::array<std::array<uint8_t, 7>, 10> kGlyphs = {{
    {0x0E, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E},  // 0
    {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E},  // 1
    {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F},  // 2
    {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E},  // 3
    {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02},  // 4
    {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E},  // 5
    {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E},  // 6
    {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08},  // 7
    {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E},  // 8
    {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C},  // 9
}};

// One digit as a coverage mask.
struct Mask {
  int w = 0, h = 0;
  std::vector<uint8_t> on;
};

// The built-in 5x7 font, drawn at 2x.
Mask builtinGlyph(int digit) {
  Mask m{10, 14, std::vector<uint8_t>(140, 0)};
  const auto& g = kGlyphs[static_cast<size_t>(digit)];
  for (int y = 0; y < 14; ++y)
    for (int x = 0; x < 10; ++x)
      m.on[static_cast<size_t>(y * 10 + x)] = (g[static_cast<size_t>(y / 2)] & (0x10 >> (x / 2))) != 0;
  return m;
}

// Digits of a TrueType font, rendered once without anti-aliasing (the
// classic look of such images: every ink pixel in one colour) and kept. All
// masks share one height so baselines line up.
class FontGlyphs {
 public:
  bool load(const std::string& path, int pixelSize) {
    FT_Library lib;
    if (FT_Init_FreeType(&lib)) return false;
    FT_Face face;
    bool ok = FT_New_Face(lib, path.c_str(), 0, &face) == 0;
    if (ok) {
      FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(pixelSize));
      int ascent = 0, descent = 0;
      struct Raw {
        int left, top, w, h;
        std::vector<uint8_t> bits;
      };
      std::array<Raw, 10> raw;
      for (int d = 0; d < 10 && ok; ++d) {
        if (FT_Load_Char(face, static_cast<FT_ULong>('0' + d), FT_LOAD_RENDER | FT_LOAD_TARGET_MONO) != 0) {
          ok = false;
          break;
        }
        FT_Bitmap& bm = face->glyph->bitmap;
        Raw r{face->glyph->bitmap_left,
              face->glyph->bitmap_top,
              static_cast<int>(bm.width),
              static_cast<int>(bm.rows),
              {}};
        for (int y = 0; y < r.h; ++y)
          for (int x = 0; x < r.w; ++x) r.bits.push_back((bm.buffer[y * bm.pitch + x / 8] >> (7 - x % 8)) & 1);
        ascent = std::max(ascent, r.top);
        descent = std::max(descent, r.h - r.top);
        raw[static_cast<size_t>(d)] = std::move(r);
      }
      for (int d = 0; d < 10 && ok; ++d) {
        const Raw& r = raw[static_cast<size_t>(d)];
        Mask m{r.w, ascent + descent, {}};
        m.on.assign(static_cast<size_t>(m.w * m.h), 0);
        for (int y = 0; y < r.h; ++y)
          for (int x = 0; x < r.w; ++x)
            m.on[static_cast<size_t>((ascent - r.top + y) * m.w + x)] = r.bits[static_cast<size_t>(y * r.w + x)];
        masks_[static_cast<size_t>(d)] = std::move(m);
      }
      FT_Done_Face(face);
    }
    FT_Done_FreeType(lib);
    return ok;
  }
  const Mask& digit(int d) const { return masks_[static_cast<size_t>(d)]; }

 private:
  std::array<Mask, 10> masks_;
};

std::mutex gFontMu;
std::string gFontPath = kDefaultCaptchaFont;
const FontGlyphs* font() {
  static FontGlyphs glyphs;
  static std::string loaded;
  static bool ok = false;
  if (loaded != gFontPath) {
    loaded = gFontPath;
    ok = !loaded.empty() && glyphs.load(loaded, 22);
  }
  return ok ? &glyphs : nullptr;
}

struct Rgb {
  uint8_t r, g, b;
};

int pick(std::mt19937& rng, int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); }

void put32(std::string& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
}
void put16(std::string& out, uint16_t v) {
  out += static_cast<char>(v & 0xFF);
  out += static_cast<char>(v >> 8);
}

std::string encodeBmp(const std::vector<Rgb>& px, int w, int h) {
  const int rowBytes = (w * 3 + 3) & ~3;
  const uint32_t imageBytes = static_cast<uint32_t>(rowBytes * h);
  std::string out;
  out.reserve(54 + imageBytes);
  out += "BM";
  put32(out, 54 + imageBytes);
  put32(out, 0);
  put32(out, 54);
  put32(out, 40);  // BITMAPINFOHEADER
  put32(out, static_cast<uint32_t>(w));
  put32(out, static_cast<uint32_t>(h));  // positive: bottom-up rows
  put16(out, 1);
  put16(out, 24);
  put32(out, 0);  // no compression
  put32(out, imageBytes);
  put32(out, 2835);
  put32(out, 2835);
  put32(out, 0);
  put32(out, 0);
  for (int y = h - 1; y >= 0; --y) {
    std::string row;
    for (int x = 0; x < w; ++x) {
      const Rgb& c = px[static_cast<size_t>(y * w + x)];
      row += static_cast<char>(c.b);
      row += static_cast<char>(c.g);
      row += static_cast<char>(c.r);
    }
    row.resize(static_cast<size_t>(rowBytes), '\0');
    out += row;
  }
  return out;
}

}  // namespace

void setCaptchaFont(const std::string& path) {
  std::lock_guard<std::mutex> lock(gFontMu);
  gFontPath = path;
}

std::string randomCaptchaCode(std::mt19937& rng) {
  std::string code;
  for (int i = 0; i < 5; ++i) code += static_cast<char>('0' + pick(rng, 0, 9));
  return code;
}

std::string renderCaptchaBmp(const std::string& digits, std::mt19937& rng) {
  const int w = kCaptchaWidth, h = kCaptchaHeight;
  const Rgb paper{static_cast<uint8_t>(pick(rng, 228, 250)), static_cast<uint8_t>(pick(rng, 228, 250)),
                  static_cast<uint8_t>(pick(rng, 228, 250))};
  std::vector<Rgb> px(static_cast<size_t>(w * h));
  for (Rgb& c : px) {
    int d = pick(rng, -6, 5);
    c = {static_cast<uint8_t>(paper.r + d), static_cast<uint8_t>(paper.g + d), static_cast<uint8_t>(paper.b + d)};
  }
  // A few faint lines across the background.
  for (int n = 0; n < 2; ++n) {
    int y = pick(rng, 2, h - 3), slope = pick(rng, -1, 1);
    Rgb line{static_cast<uint8_t>(pick(rng, 185, 215)), static_cast<uint8_t>(pick(rng, 185, 215)),
             static_cast<uint8_t>(pick(rng, 185, 215))};
    for (int x = 0; x < w; ++x) {
      int yy = y + (slope * x) / 40;
      if (yy >= 0 && yy < h) px[static_cast<size_t>(yy * w + x)] = line;
    }
  }
  // The digits, each shifted by a few pixels both ways.
  std::lock_guard<std::mutex> lock(gFontMu);
  const FontGlyphs* f = font();
  const int count = static_cast<int>(digits.size());
  const int pitch = 18;
  const int left = (w - (count * pitch - 5)) / 2 - 1;
  for (int i = 0; i < count; ++i) {
    char ch = digits[static_cast<size_t>(i)];
    if (ch < '0' || ch > '9') continue;
    Mask m = f ? f->digit(ch - '0') : builtinGlyph(ch - '0');
    Rgb ink{static_cast<uint8_t>(pick(rng, 0, 110)), static_cast<uint8_t>(pick(rng, 0, 110)),
            static_cast<uint8_t>(pick(rng, 0, 110))};
    int x0 = left + i * pitch + (pitch - 5 - m.w) / 2 + pick(rng, -1, 2);
    int y0 = pick(rng, 1, std::max(1, h - m.h - 1));
    for (int gy = 0; gy < m.h; ++gy)
      for (int gx = 0; gx < m.w; ++gx) {
        if (!m.on[static_cast<size_t>(gy * m.w + gx)]) continue;
        int x = x0 + gx, y = y0 + gy;
        if (x >= 0 && x < w && y >= 0 && y < h) px[static_cast<size_t>(y * w + x)] = ink;
      }
  }
  // Scattered noise dots in random dark colours, some touching the digits.
  for (int n = 0; n < 45; ++n) {
    Rgb dot{static_cast<uint8_t>(pick(rng, 0, 150)), static_cast<uint8_t>(pick(rng, 0, 150)),
            static_cast<uint8_t>(pick(rng, 0, 150))};
    px[static_cast<size_t>(pick(rng, 0, h - 1) * w + pick(rng, 0, w - 1))] = dot;
  }
  return encodeBmp(px, w, h);
}

}  // namespace inkpost::sandbox
