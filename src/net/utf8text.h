// Walking UTF-8 text strictly: overlong forms, surrogates and values past
// U+10FFFF are malformed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace inkpost {

// Length (1..4) of the well-formed UTF-8 character at text[i], its code point
// in `cp`; 0 when the bytes there are malformed or cut off.
inline size_t utf8CharLength(std::string_view text, size_t i, uint32_t& cp) {
  const auto c = static_cast<unsigned char>(text[i]);
  size_t len;
  uint32_t min;
  if (c < 0x80) {
    cp = c;
    return 1;
  }
  if ((c & 0xE0) == 0xC0)
    len = 2, cp = c & 0x1F, min = 0x80;
  else if ((c & 0xF0) == 0xE0)
    len = 3, cp = c & 0x0F, min = 0x800;
  else if ((c & 0xF8) == 0xF0)
    len = 4, cp = c & 0x07, min = 0x10000;
  else
    return 0;
  if (i + len > text.size()) return 0;
  for (size_t k = 1; k < len; ++k) {
    const auto t = static_cast<unsigned char>(text[i + k]);
    if ((t & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (t & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return len;
}

// Offset of the first malformed byte, or npos when the whole text is UTF-8.
inline size_t utf8FirstMalformed(std::string_view text) {
  uint32_t cp = 0;
  for (size_t i = 0; i < text.size();) {
    const size_t len = utf8CharLength(text, i, cp);
    if (len == 0) return i;
    i += len;
  }
  return std::string_view::npos;
}

}  // namespace inkpost
