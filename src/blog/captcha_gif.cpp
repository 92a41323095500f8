// The GIF half of the captcha image decoder: no outside library, so the
// fuzz target can take it alone.
#include "blog/captcha_image.h"

#include <algorithm>
#include <array>

namespace inkpost {
namespace {

int u16(const std::string& b, size_t at) {
  return static_cast<unsigned char>(b[at]) | static_cast<unsigned char>(b[at + 1]) << 8;
}

bool isGif(const std::string& b) {
  return b.size() >= 13 && (b.compare(0, 6, "GIF87a") == 0 || b.compare(0, 6, "GIF89a") == 0);
}

// LZW codes of a GIF image, read least significant bit first. Decodes up to
// `count` colour indexes into `out`; returns how many it produced. Stops at
// the end code (`ended` then true), at an impossible code, or when the data
// runs out.
size_t lzwDecode(const std::string& data, int minCodeSize, size_t count, std::vector<std::uint8_t>& out, bool& ended) {
  out.assign(count, 0);
  ended = false;
  const int clear = 1 << minCodeSize, end = clear + 1;
  std::array<std::uint16_t, 4096> prefix{};
  std::array<std::uint8_t, 4096> suffix{};
  std::array<std::uint8_t, 4097> stack{};
  int codeSize = minCodeSize + 1, next = clear + 2, previous = -1;
  std::uint8_t first = 0;
  size_t produced = 0, bitPos = 0;
  const size_t totalBits = data.size() * 8;
  for (int c = 0; c < clear; ++c) suffix[static_cast<size_t>(c)] = static_cast<std::uint8_t>(c);
  while (bitPos + static_cast<size_t>(codeSize) <= totalBits) {
    int code = 0;
    for (int i = 0; i < codeSize; ++i, ++bitPos)
      code |= ((static_cast<unsigned char>(data[bitPos >> 3]) >> (bitPos & 7)) & 1) << i;
    if (code == clear) {
      codeSize = minCodeSize + 1;
      next = clear + 2;
      previous = -1;
      continue;
    }
    if (code == end) {
      ended = true;
      break;
    }
    if (produced >= count) break;  // a whole picture, and more data than it needs
    if (previous < 0) {
      if (code >= clear) break;  // the first code after a clear is a plain colour
      out[produced++] = static_cast<std::uint8_t>(code);
      previous = code;
      first = static_cast<std::uint8_t>(code);
      continue;
    }
    if (code > next || (code == next && next >= 4096)) break;
    // The string of `code` (or, for the code about to be made, the previous
    // string plus its own first colour), written backwards onto the stack.
    size_t depth = 0;
    int walk = code;
    if (code == next) {
      stack[depth++] = first;
      walk = previous;
    }
    while (walk >= clear) {
      stack[depth++] = suffix[static_cast<size_t>(walk)];
      walk = prefix[static_cast<size_t>(walk)];
    }
    stack[depth++] = static_cast<std::uint8_t>(walk);
    first = static_cast<std::uint8_t>(walk);
    while (depth > 0 && produced < count) out[produced++] = stack[--depth];
    if (next < 4096) {
      prefix[static_cast<size_t>(next)] = static_cast<std::uint16_t>(previous);
      suffix[static_cast<size_t>(next)] = first;
      ++next;
      if (next == (1 << codeSize) && codeSize < 12) ++codeSize;
    }
    previous = code;
  }
  return produced;
}

// Sub-blocks from `pos` on: size byte, then that many bytes, until a zero
// size. `honest` collects them as their sizes say; `tolerant` trusts full
// 255-byte blocks only, and from the first shorter block on takes every
// remaining byte of the file as data (the codes say where the image ends).
void collectBlocks(const std::string& b, size_t pos, std::string& honest, std::string& tolerant, size_t& after) {
  honest.clear();
  tolerant.clear();
  bool diverged = false;
  while (pos < b.size()) {
    const size_t n = static_cast<unsigned char>(b[pos]);
    if (n == 0) {
      ++pos;
      break;
    }
    if (!diverged) {
      if (n == 255 && pos + 1 + n <= b.size()) {
        tolerant.append(b, pos + 1, n);
      } else {
        tolerant.append(b, pos + 1, std::string::npos);
        diverged = true;
      }
    }
    honest.append(b, pos + 1, std::min(n, b.size() - pos - 1));
    pos += 1 + n;
  }
  after = std::min(pos, b.size());
}

}  // namespace

bool gifImageSize(const std::string& bytes, int& width, int& height) {
  if (!isGif(bytes)) return false;
  {
    width = u16(bytes, 6);
    height = u16(bytes, 8);
    // The first image's own size counts too: it may be larger than the screen.
    size_t pos = 13;
    if (static_cast<unsigned char>(bytes[10]) & 0x80) pos += 3u << ((static_cast<unsigned char>(bytes[10]) & 7) + 1);
    while (pos < bytes.size()) {
      const unsigned char kind = static_cast<unsigned char>(bytes[pos]);
      if (kind == 0x2C) {
        if (pos + 10 > bytes.size()) break;
        width = std::max(width, u16(bytes, pos + 1) + u16(bytes, pos + 5));
        height = std::max(height, u16(bytes, pos + 3) + u16(bytes, pos + 7));
        break;
      }
      if (kind != 0x21) break;
      pos += 2;  // introducer and label, then sub-blocks
      while (pos < bytes.size() && bytes[pos] != 0) pos += 1 + static_cast<unsigned char>(bytes[pos]);
      ++pos;
    }
    return width > 0 && height > 0;
  }
}

bool decodeGif(const std::string& b, RgbImage& out, int maxSide) {
  out = {};
  int width = 0, height = 0;
  if (!gifImageSize(b, width, height)) return false;
  if (width > maxSide || height > maxSide) return false;
  const int screenW = u16(b, 6), screenH = u16(b, 8);
  const unsigned char packed = static_cast<unsigned char>(b[10]);
  std::vector<std::uint32_t> globalColours;
  size_t pos = 13;
  auto readTable = [&](unsigned char flags, std::vector<std::uint32_t>& table) {
    const size_t entries = size_t{1} << ((flags & 7) + 1);
    table.clear();
    for (size_t i = 0; i < entries && pos + 3 <= b.size(); ++i, pos += 3)
      table.push_back(static_cast<std::uint32_t>(static_cast<unsigned char>(b[pos])) << 16 |
                      static_cast<std::uint32_t>(static_cast<unsigned char>(b[pos + 1])) << 8 |
                      static_cast<unsigned char>(b[pos + 2]));
  };
  if (packed & 0x80) readTable(packed, globalColours);
  while (pos < b.size()) {
    const unsigned char kind = static_cast<unsigned char>(b[pos]);
    if (kind == 0x21) {  // extension: skip its sub-blocks
      pos += 2;
      while (pos < b.size() && b[pos] != 0) pos += 1 + static_cast<unsigned char>(b[pos]);
      ++pos;
      continue;
    }
    if (kind != 0x2C || pos + 11 > b.size()) return false;
    const int left = u16(b, pos + 1), top = u16(b, pos + 3), frameW = u16(b, pos + 5), frameH = u16(b, pos + 7);
    const unsigned char flags = static_cast<unsigned char>(b[pos + 9]);
    pos += 10;
    std::vector<std::uint32_t> localColours;
    if (flags & 0x80) readTable(flags, localColours);
    const std::vector<std::uint32_t>& colours = (flags & 0x80) ? localColours : globalColours;
    if (pos >= b.size() || frameW == 0 || frameH == 0) return false;
    const int minCodeSize = static_cast<unsigned char>(b[pos++]);
    if (minCodeSize < 1 || minCodeSize > 11) return false;

    std::string honest, tolerant;
    size_t after = 0;
    collectBlocks(b, pos, honest, tolerant, after);
    const size_t count = static_cast<size_t>(frameW) * static_cast<size_t>(frameH);
    // The sizes are believed when they lead to a whole picture closed by
    // the end code; otherwise the codes themselves decide.
    std::vector<std::uint8_t> indexes;
    bool ended = false;
    size_t produced = lzwDecode(honest, minCodeSize, count, indexes, ended);
    if (!(produced == count && ended) && tolerant != honest) {
      std::vector<std::uint8_t> second;
      bool secondEnded = false;
      const size_t more = lzwDecode(tolerant, minCodeSize, count, second, secondEnded);
      if (more > produced || (more == count && secondEnded)) {
        indexes.swap(second);
        produced = more;
      }
    }
    if (produced == 0) return false;

    out.width = screenW > 0 ? screenW : frameW;
    out.height = screenH > 0 ? screenH : frameH;
    const std::uint32_t background = (packed & 0x80) && static_cast<unsigned char>(b[11]) < globalColours.size()
                                         ? globalColours[static_cast<unsigned char>(b[11])]
                                         : (colours.empty() ? 0xFFFFFFu : colours[0]);
    out.pixels.assign(static_cast<size_t>(out.width) * static_cast<size_t>(out.height), background);
    // Rows of an interlaced image arrive in four passes.
    std::vector<int> rowOrder;
    if (flags & 0x40) {
      for (int start : {0, 4, 2, 1})
        for (int y = start; y < frameH; y += (start == 0 ? 8 : start == 4 ? 8 : start == 2 ? 4 : 2))
          rowOrder.push_back(y);
    } else {
      for (int y = 0; y < frameH; ++y) rowOrder.push_back(y);
    }
    for (size_t i = 0; i < produced; ++i) {
      const int x = left + static_cast<int>(i % static_cast<size_t>(frameW));
      const int y = top + rowOrder[i / static_cast<size_t>(frameW)];
      if (x >= out.width || y >= out.height) continue;
      const std::uint8_t index = indexes[i];
      out.pixels[static_cast<size_t>(y) * static_cast<size_t>(out.width) + static_cast<size_t>(x)] =
          index < colours.size() ? colours[index] : background;
    }
    return true;
  }
  return false;
}

}  // namespace inkpost
