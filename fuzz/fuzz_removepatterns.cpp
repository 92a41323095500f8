// removePatterns on arbitrary text and patterns; the fast form must agree
// with the step-by-step one.
#include <fuzzer/FuzzedDataProvider.h>

#include "net/encoding.h"
#include "net/gbktext.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  std::string patterns = in.ConsumeRandomLengthString(24);
  std::string text = in.ConsumeRemainingBytesAsString();
  if (inkpost::removePatterns(text, patterns) != inkpost::removePatternsLiteral(text, patterns)) __builtin_trap();
  // The common case, tag removal, on the same text.
  if (inkpost::removePatterns(text, "<*>") != inkpost::removePatternsLiteral(text, "<*>")) __builtin_trap();
  return 0;
}
