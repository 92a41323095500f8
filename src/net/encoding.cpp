// GBK <-> UTF-8 conversion and the GBK-aware text tools.
//
// The conversions run on two lookup tables built once, on first use, from
// glibc's own GBK converter, so strict results are those of iconv while a
// megabyte converts in a few milliseconds. fromUtf8 makes one strict pass
// and, when that fails, one lenient pass that decodes like a browser: each
// maximal ill-formed subsequence becomes U+FFFD, which (like every other
// character without a GBK form) comes out as "?". A leading byte-order mark
// is dropped in the lenient pass, as text streams do.
#include "net/encoding.h"

#include "net/utf8text.h"

#include <iconv.h>
#include <openssl/evp.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>

#include "net/gbktext.h"

namespace inkpost {
namespace {

struct GbkTables {
  // Unicode of the two-byte character lead<<8|trail, 0 when not a character.
  uint16_t toUnicode[65536];
  // GBK code of a BMP code point: 0 none, < 0x100 one byte, else two bytes.
  uint16_t fromUnicode[65536];

  GbkTables() {
    std::memset(toUnicode, 0, sizeof toUnicode);
    std::memset(fromUnicode, 0, sizeof fromUnicode);
    iconv_t cd = iconv_open("UCS-4LE", "GBK");
    if (cd == reinterpret_cast<iconv_t>(-1)) return;
    auto decode = [&](const char* in, size_t len, uint32_t& cp) {
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
      char* src = const_cast<char*>(in);
      size_t srcLeft = len;
      uint32_t out[2];
      char* dst = reinterpret_cast<char*>(out);
      size_t dstLeft = sizeof out;
      if (iconv(cd, &src, &srcLeft, &dst, &dstLeft) == static_cast<size_t>(-1) || srcLeft != 0 ||
          dstLeft != sizeof out - 4 || out[0] > 0xFFFF)
        return false;
      cp = out[0];
      return true;
    };
    uint32_t cp = 0;
    for (int b = 0x80; b <= 0xFF; ++b) {
      char in[1] = {static_cast<char>(b)};
      if (decode(in, 1, cp)) {
        singleHigh[b - 0x80] = static_cast<uint16_t>(cp);
        if (!fromUnicode[cp]) fromUnicode[cp] = static_cast<uint16_t>(b);
      }
    }
    for (int lead = 0x81; lead <= 0xFE; ++lead) {
      for (int trail = 0x40; trail <= 0xFE; ++trail) {
        char in[2] = {static_cast<char>(lead), static_cast<char>(trail)};
        if (!decode(in, 2, cp)) continue;
        uint16_t code = static_cast<uint16_t>(lead << 8 | trail);
        toUnicode[code] = static_cast<uint16_t>(cp);
        if (!fromUnicode[cp]) fromUnicode[cp] = code;
      }
    }
    iconv_close(cd);
  }

  // Unicode of a single byte >= 0x80 (the euro sign at 0x80), 0 when none.
  uint16_t singleHigh[128] = {};
};

const GbkTables& tables() {
  static const std::unique_ptr<GbkTables> t = std::make_unique<GbkTables>();
  return *t;
}

// Decodes GBK into code points; false at the first byte that is not GBK.
template <typename Sink>
bool decodeGbk(std::string_view in, Sink&& sink) {
  const GbkTables& t = tables();
  const auto* s = reinterpret_cast<const unsigned char*>(in.data());
  size_t n = in.size();
  size_t i = 0;
  while (i < n) {
    unsigned char c = s[i];
    if (c < 0x80) {
      sink(c);
      ++i;
      continue;
    }
    if (i + 1 < n) {
      uint16_t cp = t.toUnicode[c << 8 | s[i + 1]];
      if (cp) {
        sink(cp);
        i += 2;
        continue;
      }
    }
    uint16_t single = t.singleHigh[c - 0x80];
    if (!single) return false;
    sink(single);
    ++i;
  }
  return true;
}

// Decodes UTF-8. Strict: returns false at the first ill-formed sequence or
// character without a GBK form. Lenient: writes "?" for those and goes on.
// The GBK text is never longer than the UTF-8 it comes from.
bool utf8ToGbk(std::string_view in, std::string& out, bool lenient) {
  const GbkTables& t = tables();
  const auto* s = reinterpret_cast<const unsigned char*>(in.data());
  const size_t n = in.size();
  out.assign(n, '\0');
  auto* const begin = reinterpret_cast<unsigned char*>(out.data());
  unsigned char* d = begin;
  size_t i = 0;
  if (lenient && n >= 3 && s[0] == 0xEF && s[1] == 0xBB && s[2] == 0xBF) i = 3;
  bool ok = true;
  while (i < n) {
    // ASCII runs, eight bytes at a time.
    while (i + 8 <= n) {
      uint64_t w;
      std::memcpy(&w, s + i, 8);
      if (w & 0x8080808080808080ULL) break;
      std::memcpy(d, s + i, 8);
      d += 8;
      i += 8;
    }
    if (i >= n) break;
    unsigned char c = s[i];
    if (c < 0x80) {
      *d++ = c;
      ++i;
      continue;
    }
    size_t need;
    uint32_t cp;
    unsigned char lo = 0x80, hi = 0xBF;  // allowed range of the second byte
    if (c >= 0xC2 && c <= 0xDF) {
      need = 1;
      cp = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
      need = 2;
      cp = c & 0x0F;
      if (c == 0xE0) lo = 0xA0;
      if (c == 0xED) hi = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
      need = 3;
      cp = c & 0x07;
      if (c == 0xF0) lo = 0x90;
      if (c == 0xF4) hi = 0x8F;
    } else {
      if (!lenient) {
        ok = false;
        break;
      }
      *d++ = '?';
      ++i;
      continue;
    }
    size_t k = 1;
    for (; k <= need && i + k < n; ++k) {
      unsigned char b = s[i + k];
      if (k == 1 ? (b < lo || b > hi) : (b & 0xC0) != 0x80) break;
      cp = cp << 6 | (b & 0x3F);
    }
    if (k <= need) {  // ill-formed: the maximal subpart becomes one U+FFFD
      if (!lenient) {
        ok = false;
        break;
      }
      *d++ = '?';
      i += k;
      continue;
    }
    i += need + 1;
    // Tag characters have no visible form; the strict converter drops them.
    if (cp >= 0xE0000 && cp <= 0xE007F) continue;
    uint16_t code = cp < 0x10000 ? t.fromUnicode[cp] : 0;
    if (!code) {
      if (!lenient) {
        ok = false;
        break;
      }
      *d++ = '?';
    } else if (code < 0x100) {
      *d++ = static_cast<unsigned char>(code);
    } else {
      *d++ = static_cast<unsigned char>(code >> 8);
      *d++ = static_cast<unsigned char>(code & 0xFF);
    }
  }
  out.resize(ok ? static_cast<size_t>(d - begin) : 0);
  return ok;
}

// ASCII-only case folding, so trail bytes of two-byte characters never fold.
inline unsigned char foldAscii(unsigned char c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; }

// Compares needle with source at offset p, folding ASCII letters only.
bool matchesAt(std::string_view source, size_t p, std::string_view needle, bool caseSensitive) {
  if (p + needle.size() > source.size()) return false;
  const auto* s = reinterpret_cast<const unsigned char*>(source.data()) + p;
  const auto* t = reinterpret_cast<const unsigned char*>(needle.data());
  if (caseSensitive) return std::memcmp(s, t, needle.size()) == 0;
  for (size_t j = 0; j < needle.size(); ++j) {
    if (gbkLead(t[j])) {  // a two-byte character compares exactly, trail included
      if (s[j] != t[j]) return false;
      if (j + 1 < needle.size()) {
        ++j;
        if (s[j] != t[j]) return false;
      }
      continue;
    }
    if (foldAscii(s[j]) != foldAscii(t[j])) return false;
  }
  return true;
}

void replaceAllExact(std::string& text, std::string_view what) {
  if (what.empty()) return;
  text = gbkReplaceAll(text, what, "");
}

}  // namespace

// ---------------------------------------------------------------------------
// GBK-aware search (declared in gbktext.h)

namespace {

// gbkFind with the character walk starting at `walkFrom`, a character
// boundary at or before `from`.
size_t findFromBoundary(std::string_view source, std::string_view needle, size_t from, bool caseSensitive,
                        size_t walkFrom) {
  if (needle.empty()) return from <= source.size() ? from : std::string_view::npos;
  const auto* s = reinterpret_cast<const unsigned char*>(source.data());
  const size_t n = source.size();
  // Boundary walker: `b` is always the start of a character.
  size_t b = walkFrom;
  auto onBoundary = [&](size_t p) {
    while (b < p) {
      // Runs of ASCII (each byte a character) eight at a time.
      if (b + 8 <= p) {
        uint64_t w;
        std::memcpy(&w, s + b, 8);
        if (!(w & 0x8080808080808080ULL)) {
          b += 8;
          continue;
        }
      }
      b += (gbkLead(s[b]) && b + 1 < n) ? 2 : 1;
    }
    return b == p;
  };
  const unsigned char first = static_cast<unsigned char>(needle[0]);
  const bool foldFirst = !caseSensitive && ((first >= 'a' && first <= 'z') || (first >= 'A' && first <= 'Z'));
  const unsigned char firstLo = foldAscii(first);
  const unsigned char firstUp = foldFirst ? firstLo - 32 : firstLo;
  size_t p = from;
  while (p + needle.size() <= n) {
    // Next candidate: the first needle byte in either case.
    const void* hit;
    if (!foldFirst) {
      hit = std::memchr(s + p, first, n - p);
    } else {
      const void* a = std::memchr(s + p, firstLo, n - p);
      const void* c = std::memchr(s + p, firstUp, a ? static_cast<const unsigned char*>(a) - (s + p) : n - p);
      hit = c ? c : a;
    }
    if (!hit) return std::string_view::npos;
    p = static_cast<const unsigned char*>(hit) - s;
    if (p + needle.size() > n) return std::string_view::npos;
    if (matchesAt(source, p, needle, caseSensitive) && onBoundary(p)) return p;
    ++p;
  }
  return std::string_view::npos;
}

}  // namespace

bool gbkWholeCharacters(std::string_view text) {
  size_t i = 0, last = 0;
  while (i < text.size()) {
    last = i;
    i += gbkCharLength(text, i);
  }
  return text.empty() || last != text.size() - 1 || !gbkLead(static_cast<unsigned char>(text.back()));
}

size_t gbkFind(std::string_view source, std::string_view needle, size_t from, bool caseSensitive) {
  return findFromBoundary(source, needle, from, caseSensitive, 0);
}

size_t gbkFindFrom(std::string_view source, std::string_view needle, size_t from, bool caseSensitive) {
  return findFromBoundary(source, needle, from, caseSensitive, std::min(from, source.size()));
}

std::string gbkReplaceAll(std::string_view text, std::string_view what, std::string_view with) {
  if (what.empty()) return std::string(text);
  std::string out;
  out.reserve(text.size());
  // After a match of whole characters the next character starts right
  // behind it, so each search resumes there instead of walking from the top.
  const bool resume = gbkWholeCharacters(what);
  size_t pos = 0;
  while (true) {
    size_t hit = resume ? gbkFindFrom(text, what, pos, true) : gbkFind(text, what, pos, true);
    if (hit == std::string_view::npos) break;
    out.append(text.substr(pos, hit - pos));
    out.append(with);
    pos = hit + what.size();
  }
  out.append(text.substr(pos));
  return out;
}

int findText(std::string_view source, std::string_view needle, int startPos, bool caseSensitive) {
  if (startPos < 1) startPos = 1;
  if (needle.empty() || static_cast<size_t>(startPos) > source.size()) return -1;
  size_t hit = gbkFind(source, needle, static_cast<size_t>(startPos - 1), caseSensitive);
  return hit == std::string_view::npos ? -1 : static_cast<int>(hit) + 1;
}

// ---------------------------------------------------------------------------

std::string toUtf8(std::string_view gbk) {
  const GbkTables& t = tables();
  const auto* s = reinterpret_cast<const unsigned char*>(gbk.data());
  const size_t n = gbk.size();
  std::string out(n * 3, '\0');
  auto* d = reinterpret_cast<unsigned char*>(out.data());
  size_t i = 0;
  while (i < n) {
    if (i + 8 <= n) {
      uint64_t w;
      std::memcpy(&w, s + i, 8);
      if (!(w & 0x8080808080808080ULL)) {
        std::memcpy(d, s + i, 8);
        d += 8;
        i += 8;
        continue;
      }
    }
    unsigned char c = s[i];
    if (c < 0x80) {
      *d++ = c;
      ++i;
      continue;
    }
    uint32_t cp = i + 1 < n ? t.toUnicode[c << 8 | s[i + 1]] : 0;
    if (cp) {
      i += 2;
    } else {
      cp = t.singleHigh[c - 0x80];
      if (!cp) return {};
      ++i;
    }
    if (cp < 0x800) {
      *d++ = static_cast<unsigned char>(0xC0 | cp >> 6);
      *d++ = static_cast<unsigned char>(0x80 | (cp & 0x3F));
    } else {
      *d++ = static_cast<unsigned char>(0xE0 | cp >> 12);
      *d++ = static_cast<unsigned char>(0x80 | (cp >> 6 & 0x3F));
      *d++ = static_cast<unsigned char>(0x80 | (cp & 0x3F));
    }
  }
  out.resize(d - reinterpret_cast<unsigned char*>(out.data()));
  return out;
}

std::string fromUtf8(std::string_view utf8) {
  std::string out;
  if (utf8ToGbk(utf8, out, false) && !out.empty()) return out;
  utf8ToGbk(utf8, out, true);
  return out;
}

bool gbkHasCharacter(uint32_t cp) { return cp < 0x80 || (cp < 0x10000 && tables().fromUnicode[cp] != 0); }

size_t decodeUtf8At(std::string_view utf8, size_t i, uint32_t& cp) { return utf8CharLength(utf8, i, cp); }

std::string gbkWithCharRefs(std::string_view utf8) {
  const GbkTables& t = tables();
  std::string out;
  out.reserve(utf8.size() + 16);
  for (size_t i = 0; i < utf8.size();) {
    const auto c = static_cast<unsigned char>(utf8[i]);
    if (c < 0x80) {
      out += static_cast<char>(c);
      ++i;
      continue;
    }
    uint32_t cp = 0;
    size_t len = decodeUtf8At(utf8, i, cp);
    if (len == 0) cp = 0xFFFD, len = 1;
    i += len;
    const uint16_t code = cp < 0x10000 ? t.fromUnicode[cp] : 0;
    if (code == 0) {
      out += "&#" + std::to_string(cp) + ";";
    } else if (code < 0x100) {
      out += static_cast<char>(code);
    } else {
      out += static_cast<char>(code >> 8);
      out += static_cast<char>(code & 0xFF);
    }
  }
  return out;
}

size_t charRefAt(std::string_view gbk, size_t i, uint32_t* cp) {
  if (gbk.compare(i, 2, "&#") != 0) return 0;
  size_t j = i + 2;
  uint32_t value = 0;
  while (j < gbk.size() && j - i - 2 < 7 && gbk[j] >= '0' && gbk[j] <= '9') value = value * 10 + (gbk[j++] - '0');
  const size_t digits = j - i - 2;
  if (digits == 0 || gbk[i + 2] == '0' || j >= gbk.size() || gbk[j] != ';') return 0;
  if (value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF) || gbkHasCharacter(value)) return 0;
  if (cp) *cp = value;
  return j + 1 - i;
}

std::string toUtf8WithCharRefs(std::string_view gbk) {
  size_t at = gbk.find("&#");
  if (at == std::string_view::npos) return toUtf8(gbk);
  std::string out;
  out.reserve(gbk.size() * 3);
  size_t copied = 0;  // gbk[copied, at) still to convert
  for (; at != std::string_view::npos; at = gbk.find("&#", at + 1)) {
    uint32_t cp = 0;
    const size_t len = charRefAt(gbk, at, &cp);
    if (len == 0) continue;
    const std::string_view before = gbk.substr(copied, at - copied);
    const std::string converted = toUtf8(before);
    if (converted.empty() && !before.empty()) return {};
    out += converted;
    char utf8[4];
    const int n = cp < 0x800 ? 2 : cp < 0x10000 ? 3 : 4;
    for (int k = n - 1; k > 0; --k, cp >>= 6) utf8[k] = static_cast<char>(0x80 | (cp & 0x3F));
    utf8[0] = static_cast<char>((n == 2 ? 0xC0 : n == 3 ? 0xE0 : 0xF0) | cp);
    out.append(utf8, static_cast<size_t>(n));
    copied = at + len;
    at = copied - 1;
  }
  const std::string_view rest = gbk.substr(copied);
  const std::string converted = toUtf8(rest);
  if (converted.empty() && !rest.empty()) return {};
  return out + converted;
}

std::string percentEncode(std::string_view text) {
  static const char hex[] = "0123456789ABCDEF";
  std::string out(text.size() * 3, '%');
  char* d = out.data();
  for (unsigned char c : text) {
    d[1] = hex[c >> 4];
    d[2] = hex[c & 15];
    d += 3;
  }
  return out;
}

// textBetween: with both markers, the text strictly between the first left
// and the first right after it; with only left, everything after the first
// left; with only right, everything before the first right. Any missing
// marker gives the empty text. includeMarkers puts the markers back.
std::string textBetween(std::string_view source, std::string_view left, std::string_view right, bool includeMarkers,
                        bool caseSensitive) {
  constexpr size_t npos = std::string_view::npos;
  if (left.empty() && right.empty()) return {};
  size_t start = 0, end = source.size();
  if (!left.empty()) {
    size_t l = gbkFind(source, left, 0, caseSensitive);
    if (l == npos) return {};
    start = l + left.size();
  }
  if (!right.empty()) {
    size_t r = gbkFind(source, right, start, caseSensitive);
    if (r == npos) return {};
    end = r;
  }
  std::string out;
  if (includeMarkers) out.append(left);
  out.append(source.substr(start, end - start));
  if (includeMarkers) out.append(right);
  return out;
}

namespace {

constexpr std::string_view kFrameOpen = "[\\]";
constexpr std::string_view kFrameClose = "[/]";
constexpr std::string_view kFramePair = "[\\][/]";

void finishRemoval(std::string& t) {
  replaceAllExact(t, kFrameOpen);
  replaceAllExact(t, kFrameClose);
  size_t a = t.find_first_not_of(' ');
  if (a == std::string::npos) {
    t.clear();
    return;
  }
  size_t b = t.find_last_not_of(' ');
  t = t.substr(a, b - a + 1);
}

// One "head*tail" pattern, step by step: remove every copy of the first
// head..tail run, drop an emptied frame, repeat.
void removeRunsLiteral(std::string& t, std::string_view head, std::string_view tail) {
  while (true) {
    size_t p = gbkFind(t, head, 0, true);
    if (p == std::string_view::npos) break;
    size_t q = gbkFind(t, tail, p + head.size(), true);
    if (q == std::string_view::npos) break;
    std::string match = t.substr(p, q + tail.size() - p);
    if (match.empty()) break;
    replaceAllExact(t, match);
    replaceAllExact(t, kFramePair);
  }
}

// The same for a one-byte head and tail, in one pass. Valid when every head
// is followed by a tail before the next head: then each run is removed
// exactly when its first copy is the first head, removing one run never
// changes another, and the result is the text with every complete run taken
// out. The frame clean-up between steps only touches text outside the runs,
// and only when a "[\][/]" appears there; texts remain adjacent once joined,
// so checking the end result is enough. Returns false (nothing changed) when
// these conditions do not hold.
bool removeRunsFast(std::string& t, char head, char tail) {
  if (t.size() < kFrameOpen.size() + kFrameClose.size() || t.compare(0, kFrameOpen.size(), kFrameOpen) != 0 ||
      t.compare(t.size() - kFrameClose.size(), kFrameClose.size(), kFrameClose) != 0)
    return false;
  const std::string_view inner =
      std::string_view(t).substr(kFrameOpen.size(), t.size() - kFrameOpen.size() - kFrameClose.size());
  auto badChar = [&](char c) { return c == '[' || c == ']' || c == '\\' || c == '/'; };
  if (head == tail || badChar(head) || badChar(tail) || static_cast<unsigned char>(head) >= 0x80 ||
      static_cast<unsigned char>(tail) >= 0x80)
    return false;
  const auto* s = reinterpret_cast<const unsigned char*>(inner.data());
  const size_t n = inner.size();
  // Check the preconditions while collecting run boundaries.
  std::string out;
  out.reserve(t.size());
  out.append(kFrameOpen);
  size_t copied = 0;
  size_t open = std::string::npos;
  bool removed = false;
  for (size_t i = 0; i < n;) {
    unsigned char c = s[i];
    if (gbkLead(c) && i + 1 < n) {
      i += 2;
      continue;
    }
    if (c == static_cast<unsigned char>(head)) {
      if (open != std::string::npos) return false;  // nested head: use the literal steps
      open = i;
    } else if (c == static_cast<unsigned char>(tail) && open != std::string::npos) {
      out.append(inner.substr(copied, open - copied));
      copied = i + 1;
      open = std::string::npos;
      removed = true;
    }
    ++i;
  }
  // A lone lead byte at the very end pairs with the frame's bracket.
  if (n && gbkLead(s[n - 1])) {
    size_t b = 0;
    while (b + 1 < n) b += gbkLead(s[b]) ? 2 : 1;
    if (b == n - 1) return false;
  }
  out.append(inner.substr(copied));
  out.append(kFrameClose);
  // A "[\][/]" left over would have been taken out between the steps of the
  // step-by-step form, with effects that depend on the order of removal.
  if (out == kFramePair) {
    if (removed) out.clear();  // the step-by-step form drops an emptied frame
  } else if (gbkFind(out, kFramePair, 0, true) != std::string_view::npos) {
    return false;
  }
  t.swap(out);
  return true;
}

// Both forms of removePatterns: the patterns in order, each "head*tail"
// removed step by step, or (withFastRuns) in one pass where that gives the
// same text.
std::string removeEachPattern(std::string_view text, std::string_view patterns, bool withFastRuns) {
  std::string t;
  t.reserve(text.size() + 6);
  t.append(kFrameOpen).append(text).append(kFrameClose);
  size_t pos = 0;
  while (pos <= patterns.size()) {
    size_t comma = patterns.find(',', pos);
    if (comma == std::string_view::npos) comma = patterns.size();
    std::string_view pat = patterns.substr(pos, comma - pos);
    pos = comma + 1;
    if (pat.empty()) continue;
    size_t star = pat.find('*');
    if (star == std::string_view::npos) {
      replaceAllExact(t, pat);
      continue;
    }
    std::string_view head = pat.substr(0, star), tail = pat.substr(star + 1);
    if (withFastRuns && head.size() == 1 && tail.size() == 1 && removeRunsFast(t, head[0], tail[0])) continue;
    removeRunsLiteral(t, head, tail);
  }
  finishRemoval(t);
  return t;
}

}  // namespace

std::string removePatternsLiteral(std::string_view text, std::string_view patterns) {
  return removeEachPattern(text, patterns, false);
}

std::string removePatterns(std::string_view text, std::string_view patterns) {
  return removeEachPattern(text, patterns, true);
}

std::string toFullWidth(std::string_view text) {
  std::string out;
  out.reserve(text.size() * 2);
  for (size_t i = 0; i < text.size(); ++i) {
    unsigned char c = text[i];
    if (gbkLead(c)) {
      out += static_cast<char>(c);
      if (i + 1 < text.size()) out += text[++i];
    } else if (c >= 0x80) {  // the euro sign and 0xFF are one byte wide
      out += static_cast<char>(c);
    } else if (c == ' ') {
      out += "\xA1\xA1";
    } else if (c >= '!' && c <= '}') {
      out += '\xA3';
      out += static_cast<char>(c | 0x80);
    } else if (c == '~') {
      out += "\xA1\xAB";
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

std::string toHalfWidth(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    unsigned char c = text[i];
    if (!gbkLead(c) || i + 1 >= text.size()) {
      out += static_cast<char>(c);
      continue;
    }
    unsigned char d = text[++i];
    if (c == 0xA1 && d == 0xA1)
      out += ' ';
    else if (c == 0xA1 && d == 0xAB)
      out += '~';
    else if (c == 0xA3 && d >= 0xA1 && d <= 0xFD)
      out += static_cast<char>(d & 0x7F);
    else {
      out += static_cast<char>(c);
      out += static_cast<char>(d);
    }
  }
  return out;
}

std::string c99Escape(std::string_view gbk) {
  static const char hex[] = "0123456789abcdef";
  std::string out;
  out.reserve(gbk.size() * 3);
  bool ok = decodeGbk(gbk, [&](uint32_t cp) {
    if (cp < 0xA0) {
      out += static_cast<char>(cp);
      return;
    }
    out += "\\u";
    for (int shift = 12; shift >= 0; shift -= 4) out += hex[cp >> shift & 15];
  });
  return ok ? out : std::string();
}

std::string md5Hex(std::string_view bytes) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int len = 0;
  if (!EVP_Digest(bytes.data(), bytes.size(), digest, &len, EVP_md5(), nullptr)) return {};
  static const char hex[] = "0123456789abcdef";
  std::string out;
  for (unsigned int i = 0; i < len; ++i) {
    out += hex[digest[i] >> 4];
    out += hex[digest[i] & 15];
  }
  return out;
}

std::string htmlEscape(std::string_view gbk) {
  // Byte by byte: the five bytes are never the second byte of a GBK
  // character, and a browser that meets one after a lead byte reads the
  // lead byte as broken and the byte itself as markup, so every one of them
  // is escaped wherever it stands.
  if (gbk.find_first_of("&<>\"'") == std::string_view::npos) return std::string(gbk);
  std::string out;
  out.reserve(gbk.size() + 16);
  for (const char c : gbk) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&#39;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

}  // namespace inkpost
