#include "blog/editortext.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>

namespace inkpost {

namespace {

// Decodes one UTF-8 sequence at utf8[i]; returns its length (0 when malformed).
size_t decodeUtf8(std::string_view utf8, size_t i, uint32_t& cp) {
  const auto c = static_cast<unsigned char>(utf8[i]);
  size_t len;
  uint32_t min;
  if (c < 0x80) {
    cp = c;
    return 1;
  } else if ((c & 0xE0) == 0xC0) {
    len = 2, cp = c & 0x1F, min = 0x80;
  } else if ((c & 0xF0) == 0xE0) {
    len = 3, cp = c & 0x0F, min = 0x800;
  } else if ((c & 0xF8) == 0xF0) {
    len = 4, cp = c & 0x07, min = 0x10000;
  } else {
    return 0;
  }
  if (i + len > utf8.size()) return 0;
  for (size_t k = 1; k < len; ++k) {
    const auto t = static_cast<unsigned char>(utf8[i + k]);
    if ((t & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (t & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return len;
}

void appendHex4(std::string& out, uint32_t v) {
  static const char kHex[] = "0123456789abcdef";
  out += "\\u";
  for (int shift = 12; shift >= 0; shift -= 4) out += kHex[(v >> shift) & 0xF];
}

}  // namespace

std::string jsStringLiteral(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size() + utf8.size() / 8 + 2);
  out += '\'';
  size_t i = 0;
  while (i < utf8.size()) {
    const char c = utf8[i];
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x80) {
      switch (c) {
        case '\'':
          out += "\\'";
          break;
        case '"':
          out += "\\\"";
          break;
        case '\\':
          out += "\\\\";
          break;
        case '\n':
          out += "\\n";
          break;
        case '\r':
          out += "\\r";
          break;
        case '\t':
          out += "\\t";
          break;
        case '<':
          out += "\\x3C";
          break;
        case '>':
          out += "\\x3E";
          break;
        default:
          if (u < 0x20 || u == 0x7F)
            appendHex4(out, u);
          else
            out += c;
      }
      ++i;
      continue;
    }
    uint32_t cp = 0;
    const size_t len = decodeUtf8(utf8, i, cp);
    if (len == 0) {
      appendHex4(out, 0xFFFD);
      ++i;
    } else if (cp == 0x2028 || cp == 0x2029) {
      appendHex4(out, cp);
      i += len;
    } else {
      out.append(utf8.substr(i, len));
      i += len;
    }
  }
  out += '\'';
  return out;
}

std::string gbkWithCharRefs(std::string_view utf8) {
  std::string out;
  if (utf8.empty()) return out;
  iconv_t cd = iconv_open("GBK", "UTF-8");
  if (cd == reinterpret_cast<iconv_t>(-1)) return out;
  // iconv is fed short pieces cut on character boundaries: after a failure
  // inside a multi-step conversion it re-converts the piece to find the
  // failing position, which must not cost the length of the whole text.
  constexpr size_t kPiece = 256;
  out.resize(utf8.size() + 64);
  size_t done = 0;  // bytes of out in use
  size_t at = 0;    // bytes of utf8 consumed
  while (at < utf8.size()) {
    size_t end = std::min(utf8.size(), at + kPiece);
    while (end < utf8.size() && end > at + 1 && (static_cast<unsigned char>(utf8[end]) & 0xC0) == 0x80) --end;
    char* src = const_cast<char*>(utf8.data()) + at;
    size_t srcLeft = end - at;
    if (out.size() - done < srcLeft * 2 + 64) out.resize(out.size() * 2 + srcLeft * 2 + 64);
    char* dst = out.data() + done;
    size_t dstLeft = out.size() - done;
    const size_t rc = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
    done = out.size() - dstLeft;
    at = end - srcLeft;
    if (rc != static_cast<size_t>(-1)) continue;
    if (errno == E2BIG) continue;  // grown above on the next round
    // EILSEQ (no GBK form, or malformed) or EINVAL (cut short at the end).
    uint32_t cp = 0xFFFD;
    size_t len = decodeUtf8(utf8, at, cp);
    if (len == 0) {
      cp = 0xFFFD;
      len = 1;
    }
    const std::string ref = "&#" + std::to_string(cp) + ";";
    if (out.size() - done < ref.size()) out.resize(out.size() * 2 + ref.size());
    out.replace(done, ref.size(), ref);
    done += ref.size();
    at += len;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
  }
  iconv_close(cd);
  out.resize(done);
  return out;
}

}  // namespace inkpost
