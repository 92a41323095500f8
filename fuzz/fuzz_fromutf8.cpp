// fromUtf8 on arbitrary bytes: it never fails, gives valid GBK text, and
// agrees with glibc's strict converter wherever that one succeeds.
#include <iconv.h>

#include <cstdint>
#include <string>

#include "net/encoding.h"

namespace {

bool iconvStrict(const std::string& in, std::string& out) {
  static iconv_t cd = iconv_open("GBK", "UTF-8");
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  out.assign(in.size() * 2 + 8, '\0');
  char* src = const_cast<char*>(in.data());
  size_t srcLeft = in.size();
  char* dst = out.data();
  size_t dstLeft = out.size();
  bool ok = iconv(cd, &src, &srcLeft, &dst, &dstLeft) != static_cast<size_t>(-1) && srcLeft == 0;
  out.resize(out.size() - dstLeft);
  return ok;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string bytes(reinterpret_cast<const char*>(data), size);
  std::string text = inkpost::fromUtf8(bytes);
  if (!text.empty() && inkpost::toUtf8(text).empty()) __builtin_trap();
  if (text.size() > bytes.size()) __builtin_trap();
  std::string reference;
  if (iconvStrict(bytes, reference) && !reference.empty() && reference != text) __builtin_trap();
  // And back: GBK that glibc accepts converts to the same UTF-8.
  std::string utf8 = inkpost::toUtf8(bytes);
  if (!utf8.empty() && inkpost::fromUtf8(utf8) != bytes) __builtin_trap();
  return 0;
}
