#include "blog/htmlscan.h"

#include "net/encoding.h"

#include <algorithm>
#include <array>
#include <utility>

namespace inkpost::html {
namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f'; }
bool isLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isNameChar(char c) { return isLetter(c) || isDigit(c) || c == '-' || c == '_' || c == ':'; }
char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

bool sameName(std::string_view written, std::string_view lowerName) {
  if (written.size() != lowerName.size()) return false;
  for (size_t i = 0; i < written.size(); ++i)
    if (lower(written[i]) != lowerName[i]) return false;
  return true;
}

// Elements whose contents are text up to their own closing tag.
bool isRawTextElement(const Tag& t) { return t.is("textarea") || t.is("script") || t.is("style") || t.is("title"); }

// Offset of the "</name" that closes a raw-text element, npos when none.
size_t closingTag(std::string_view page, std::string_view name, size_t from) {
  for (;;) {
    const size_t p = page.find("</", from);
    if (p == std::string_view::npos) return p;
    const size_t after = p + 2 + name.size();
    bool same = after <= page.size();
    for (size_t i = 0; same && i < name.size(); ++i) same = lower(page[p + 2 + i]) == lower(name[i]);
    if (same && (after == page.size() || !isNameChar(page[after]))) return p;
    from = p + 2;
  }
}

// End of the text that stops at '>' outside quoted attribute values.
size_t tagEnd(std::string_view page, size_t from) {
  bool afterEquals = false;
  size_t j = from;
  while (j < page.size() && page[j] != '>') {
    const char c = page[j];
    if (c == '=') {
      afterEquals = true;
    } else if (afterEquals && (c == '"' || c == '\'')) {
      const size_t q = page.find(c, j + 1);
      if (q == std::string_view::npos) return page.size();
      j = q;
      afterEquals = false;
    } else if (!isBlank(c)) {
      afterEquals = false;
    }
    ++j;
  }
  return j;
}

struct Named {
  const char* name;
  uint32_t codePoint;
};

// The named references the engine's pages and editors write.
constexpr std::array<Named, 32> kNamed = {{
    {"amp", '&'},      {"lt", '<'},       {"gt", '>'},       {"quot", '"'},     {"apos", '\''},     {"nbsp", 0xA0},
    {"copy", 0xA9},    {"reg", 0xAE},     {"trade", 0x2122}, {"middot", 0xB7},  {"hellip", 0x2026}, {"mdash", 0x2014},
    {"ndash", 0x2013}, {"lsquo", 0x2018}, {"rsquo", 0x2019}, {"ldquo", 0x201C}, {"rdquo", 0x201D},  {"times", 0xD7},
    {"divide", 0xF7},  {"yen", 0xA5},     {"laquo", 0xAB},   {"raquo", 0xBB},   {"deg", 0xB0},      {"plusmn", 0xB1},
    {"sect", 0xA7},    {"bull", 0x2022},  {"euro", 0x20AC},  {"para", 0xB6},    {"cent", 0xA2},     {"pound", 0xA3},
    {"larr", 0x2190},  {"rarr", 0x2192},
}};

// Reads the reference at text[at] ("&..."): its code point and length, or
// nothing when it is not one.
std::optional<std::pair<uint32_t, size_t>> reference(std::string_view text, size_t at) {
  size_t i = at + 1;
  if (i < text.size() && text[i] == '#') {
    ++i;
    const bool hex = i < text.size() && (text[i] == 'x' || text[i] == 'X');
    if (hex) ++i;
    const size_t digits = i;
    uint32_t cp = 0;
    for (; i < text.size(); ++i) {
      const char c = text[i];
      int d = isDigit(c) ? c - '0' : hex && lower(c) >= 'a' && lower(c) <= 'f' ? lower(c) - 'a' + 10 : -1;
      if (d < 0) break;
      if (cp > 0x10FFFF) return std::nullopt;  // far too large; stays as written
      cp = cp * (hex ? 16 : 10) + static_cast<uint32_t>(d);
    }
    if (i == digits || cp == 0 || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return std::nullopt;
    if (i < text.size() && text[i] == ';')
      ++i;
    else if (i < text.size() && (isLetter(text[i]) || isDigit(text[i])))
      return std::nullopt;
    return std::make_pair(cp, i - at);
  }
  const size_t start = i;
  while (i < text.size() && i - start <= 8 && (isLetter(text[i]) || isDigit(text[i]))) ++i;
  if (i == start || i >= text.size() || text[i] != ';') return std::nullopt;
  const std::string_view name = text.substr(start, i - start);
  for (const Named& n : kNamed)
    if (name == n.name) return std::make_pair(n.codePoint, i + 1 - at);
  return std::nullopt;
}

}  // namespace

bool Tag::is(std::string_view lowerName) const { return sameName(name, lowerName); }

std::optional<std::string_view> Tag::attribute(std::string_view lowerName) const {
  const std::string_view s = attributes;
  size_t i = 0;
  while (i < s.size()) {
    while (i < s.size() && (isBlank(s[i]) || s[i] == '/')) ++i;
    const size_t start = i;
    while (i < s.size() && !isBlank(s[i]) && s[i] != '=' && s[i] != '/') ++i;
    const std::string_view name = s.substr(start, i - start);
    size_t j = i;
    while (j < s.size() && isBlank(s[j])) ++j;
    std::string_view value;
    if (j < s.size() && s[j] == '=') {
      ++j;
      while (j < s.size() && isBlank(s[j])) ++j;
      if (j < s.size() && (s[j] == '"' || s[j] == '\'')) {
        const size_t close = s.find(s[j], j + 1);
        const size_t end = close == std::string_view::npos ? s.size() : close;
        value = s.substr(j + 1, end - j - 1);
        j = close == std::string_view::npos ? s.size() : close + 1;
      } else {
        const size_t from = j;
        while (j < s.size() && !isBlank(s[j])) ++j;
        value = s.substr(from, j - from);
      }
      i = j;
    }
    if (!name.empty() && sameName(name, lowerName)) return value;
    if (i == start) ++i;  // a stray "=" or the like: step over it
  }
  return std::nullopt;
}

bool TagScanner::next(Tag& tag) {
  raw_ = {};
  const size_t size = page_.size();
  for (;;) {
    const size_t lt = page_.find('<', pos_);
    if (lt == std::string_view::npos) {
      pos_ = size;
      return false;
    }
    size_t i = lt + 1;
    if (i < size && (page_[i] == '!' || page_[i] == '?')) {
      const bool comment = page_.substr(i, 3) == "!--";
      const size_t e = comment ? page_.find("-->", i + 3) : page_.find('>', i);
      pos_ = e == std::string_view::npos ? size : e + (comment ? 3 : 1);
      continue;
    }
    const bool closing = i < size && page_[i] == '/';
    if (closing) ++i;
    if (i >= size || !isLetter(page_[i])) {
      pos_ = lt + 1;  // a "<" that opens no tag is text
      continue;
    }
    size_t nameEnd = i;
    while (nameEnd < size && isNameChar(page_[nameEnd])) ++nameEnd;
    const size_t close = tagEnd(page_, nameEnd);
    tag.name = page_.substr(i, nameEnd - i);
    tag.closing = closing;
    tag.attributes = page_.substr(nameEnd, close - nameEnd);
    tag.begin = lt;
    tag.end = close < size ? close + 1 : size;
    pos_ = tag.end;
    if (!closing && isRawTextElement(tag)) {
      const size_t endTag = closingTag(page_, tag.name, pos_);
      const size_t stop = endTag == std::string_view::npos ? size : endTag;
      raw_ = page_.substr(pos_, stop - pos_);
      pos_ = stop;  // the closing tag comes next
    }
    return true;
  }
}

void appendCodePoint(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
    return;
  }
  std::string utf8;
  if (cp < 0x800) {
    utf8 = {static_cast<char>(0xC0 | cp >> 6), static_cast<char>(0x80 | (cp & 0x3F))};
  } else if (cp < 0x10000) {
    utf8 = {static_cast<char>(0xE0 | cp >> 12), static_cast<char>(0x80 | (cp >> 6 & 0x3F)),
            static_cast<char>(0x80 | (cp & 0x3F))};
  } else {
    utf8 = {static_cast<char>(0xF0 | cp >> 18), static_cast<char>(0x80 | (cp >> 12 & 0x3F)),
            static_cast<char>(0x80 | (cp >> 6 & 0x3F)), static_cast<char>(0x80 | (cp & 0x3F))};
  }
  // fromUtf8 gives "?" for a character GBK cannot hold.
  const std::string gbk = cp < 0x10000 ? fromUtf8(utf8) : std::string();
  if (gbk.empty() || gbk == "?")
    out += "&#" + std::to_string(cp) + ";";
  else
    out += gbk;
}

std::string decodeReferences(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  size_t copied = 0;
  for (size_t amp = text.find('&'); amp != std::string_view::npos; amp = text.find('&', amp + 1)) {
    const auto ref = reference(text, amp);
    if (!ref) continue;
    out.append(text.substr(copied, amp - copied));
    appendCodePoint(out, ref->first);
    copied = amp + ref->second;
    amp = copied - 1;
  }
  out.append(text.substr(copied));
  return out;
}

std::string visibleText(std::string_view htmlText) {
  std::string text;
  TagScanner scan(htmlText);
  Tag tag;
  size_t at = 0;
  while (scan.next(tag)) {
    text.append(htmlText.substr(at, tag.begin - at));
    at = tag.end + scan.rawText().size();
    if (tag.is("title") || tag.is("textarea")) text.append(scan.rawText());
  }
  text.append(htmlText.substr(std::min(at, htmlText.size())));
  return collapseBlanks(decodeReferences(text));
}

std::string collapseBlanks(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  bool blank = false;
  for (char c : text) {
    if (isBlank(c)) {
      blank = !out.empty();
      continue;
    }
    if (blank) out += ' ';
    blank = false;
    out += c;
  }
  return out;
}

}  // namespace inkpost::html
