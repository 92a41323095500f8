#include "net/encoding.h"

#include <iconv.h>

#include <cerrno>

namespace inkpost {
namespace {

// Runs a whole buffer through iconv; returns false on any error.
bool convertStrict(const char* to, const char* from, std::string_view in, std::string& out) {
  out.clear();
  if (in.empty()) return true;
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  out.resize(in.size() * 4 + 16);
  char* src = const_cast<char*>(in.data());
  size_t srcLeft = in.size();
  char* dst = out.data();
  size_t dstLeft = out.size();
  size_t rc = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
  bool ok = rc != static_cast<size_t>(-1) && srcLeft == 0;
  if (ok) ok = iconv(cd, nullptr, nullptr, &dst, &dstLeft) != static_cast<size_t>(-1);
  iconv_close(cd);
  if (!ok) {
    out.clear();
    return false;
  }
  out.resize(out.size() - dstLeft);
  return true;
}

}  // namespace

std::string toUtf8(std::string_view gbk) {
  std::string out;
  convertStrict("UTF-8", "GBK", gbk, out);
  return out;
}

std::string fromUtf8(std::string_view utf8) {
  std::string out;
  if (convertStrict("GBK", "UTF-8", utf8, out) && !out.empty()) return out;
  // Lenient pass: decode code point by code point.
  out.clear();
  size_t i = 0;
  while (i < utf8.size()) {
    unsigned char c = utf8[i];
    size_t len = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    bool good = len != 0 && i + len <= utf8.size();
    for (size_t k = 1; good && k < len; ++k) good = (static_cast<unsigned char>(utf8[i + k]) & 0xC0) == 0x80;
    if (!good) {
      out += '?';
      ++i;
      continue;
    }
    std::string piece;
    if (convertStrict("GBK", "UTF-8", utf8.substr(i, len), piece) && !piece.empty())
      out += piece;
    else
      out += '?';
    i += len;
  }
  return out;
}

}  // namespace inkpost
