// mergeCookies and setCookieValue on arbitrary cookie texts.
#include <fuzzer/FuzzedDataProvider.h>

#include "net/http.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  std::string stored = in.ConsumeRandomLengthString(256);
  std::string line = in.ConsumeRemainingBytesAsString();
  std::string fresh = inkpost::setCookieValue(line) + ";";
  std::string merged = inkpost::mergeCookies(stored, fresh);
  // Merging the same entry again changes nothing.
  if (inkpost::mergeCookies(merged, fresh) != merged) __builtin_trap();
  inkpost::mergeCookies(fresh, stored);
  return 0;
}
