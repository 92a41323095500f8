// textBetween and findText on arbitrary source and marker bytes, findText
// checked against a plain character-by-character search.
#include <fuzzer/FuzzedDataProvider.h>

#include "net/encoding.h"

namespace {

char fold(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

bool lead(char c) { return static_cast<unsigned char>(c) >= 0x81 && static_cast<unsigned char>(c) <= 0xFE; }

// Walks the source character by character (a byte 0x81..0xFE and the next
// one form a character; 0x80 and 0xFF stand alone) and compares the needle at
// each character start.
int naiveFind(const std::string& s, const std::string& needle, bool caseSensitive) {
  if (needle.empty()) return -1;
  for (size_t i = 0; i < s.size(); i += (lead(s[i]) && i + 1 < s.size()) ? 2 : 1) {
    if (i + needle.size() > s.size()) return -1;
    bool same = true;
    for (size_t j = 0; j < needle.size() && same; ++j) {
      if (lead(needle[j])) {
        same = s[i + j] == needle[j] && (j + 1 >= needle.size() || s[i + j + 1] == needle[j + 1]);
        ++j;
      } else {
        same = caseSensitive ? s[i + j] == needle[j] : fold(s[i + j]) == fold(needle[j]);
      }
    }
    if (same) return static_cast<int>(i) + 1;
  }
  return -1;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  bool include = in.ConsumeBool();
  bool caseSensitive = in.ConsumeBool();
  std::string left = in.ConsumeRandomLengthString(16);
  std::string right = in.ConsumeRandomLengthString(16);
  std::string source = in.ConsumeRemainingBytesAsString();
  std::string cut = inkpost::textBetween(source, left, right, include, caseSensitive);
  if (cut.size() > source.size() + left.size() + right.size()) __builtin_trap();
  if (!include && !cut.empty() && source.find(cut) == std::string::npos) __builtin_trap();
  if (inkpost::findText(source, left, 1, caseSensitive) != naiveFind(source, left, caseSensitive)) __builtin_trap();
  if (inkpost::findText(source, right, 1, caseSensitive) != naiveFind(source, right, caseSensitive)) __builtin_trap();
  return 0;
}
