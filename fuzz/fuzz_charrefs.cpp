// The crossing of characters GBK cannot hold: gbkWithCharRefs on arbitrary
// bytes gives valid GBK, and toUtf8WithCharRefs gives the text back exactly
// (well-formed input without a "&#" of its own); both read any bytes
// without harm, and charRefAt never reads past the text.
#include <cstdint>
#include <string>

#include "net/encoding.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  const std::string gbk = inkpost::gbkWithCharRefs(bytes);
  if (!gbk.empty() && inkpost::toUtf8(gbk).empty()) __builtin_trap();
  const std::string back = inkpost::toUtf8WithCharRefs(gbk);
  bool wellFormed = true;
  for (size_t i = 0; i < bytes.size() && wellFormed;) {
    uint32_t cp = 0;
    const size_t len = inkpost::decodeUtf8At(bytes, i, cp);
    wellFormed = len > 0;
    i += len;
  }
  if (wellFormed && bytes.find("&#") == std::string::npos && back != bytes) __builtin_trap();
  inkpost::toUtf8WithCharRefs(bytes);
  for (size_t i = 0; i < bytes.size(); ++i) inkpost::charRefAt(bytes, i);
  return 0;
}
