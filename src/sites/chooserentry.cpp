#include "sites/chooserentry.h"

namespace inkpost {
namespace {

// Position of the ASCII marker at or after `from`, stepping over two-byte
// GBK characters as one unit (their second byte may equal a marker).
size_t findMarker(const std::string& s, char marker, size_t from) {
  size_t i = 0;
  while (i < s.size()) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    if (i >= from && s[i] == marker) return i;
    i += (c >= 0x81 && c <= 0xFE && i + 1 < s.size()) ? 2 : 1;
  }
  return std::string::npos;
}

// The text between the first `open` and the next `close` after it; empty
// when either is missing. close == 0: everything after `open`.
std::string between(const std::string& s, char open, char close) {
  size_t a = findMarker(s, open, 0);
  if (a == std::string::npos) return {};
  if (close == 0) return s.substr(a + 1);
  size_t b = findMarker(s, close, a + 1);
  if (b == std::string::npos) return {};
  return s.substr(a + 1, b - a - 1);
}

}  // namespace

std::string SiteChooserEntry(const SiteRecord& s) {
  return s.webname + std::string(50, ' ') + "\t" + s.weburl + "[" + s.admin + "|" + s.pass + "]" +
         (s.ikname ? "1" : "0") + "*" + (s.imgname ? "1" : "0");
}

ChooserValues ParseChooserEntry(const std::string& entry) {
  ChooserValues v;
  v.weburl = between(entry, '\t', '[');
  v.admin = between(entry, '[', '|');
  v.pass = between(entry, '|', ']');
  v.ikname = between(entry, ']', '*');
  v.imgname = between(entry, '*', 0);
  return v;
}

ChooserValues chooserValues(const SiteRecord& s) {
  return {s.weburl, s.admin, s.pass, s.ikname ? "1" : "0", s.imgname ? "1" : "0"};
}

}  // namespace inkpost
