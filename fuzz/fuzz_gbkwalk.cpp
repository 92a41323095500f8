// The GBK walk on arbitrary bytes, the euro sign (0x80) and 0xFF among them:
// searches resumed at a character boundary agree with searches from the top,
// the width conversions pair bytes alike, and a one-byte character splits a
// title's alias cleanly in two.
#include <fuzzer/FuzzedDataProvider.h>

#include "blog/alias.h"
#include "net/encoding.h"
#include "net/gbktext.h"

namespace {

void check(bool ok) {
  if (!ok) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace inkpost;
  FuzzedDataProvider in(data, size);
  const std::string needle = in.ConsumeRandomLengthString(6);
  const char single = in.ConsumeBool() ? '\x80' : '\xFF';
  const std::string first = in.ConsumeRandomLengthString(64);
  const std::string text = in.ConsumeRemainingBytesAsString();

  for (size_t at = 0; at < text.size(); at += gbkCharLength(text, at))
    for (bool exact : {false, true}) check(gbkFindFrom(text, needle, at, exact) == gbkFind(text, needle, at, exact));

  check(toHalfWidth(toFullWidth(text)) == toHalfWidth(text));

  const std::string alias = makeAlias(text);
  check(alias.find_first_not_of("0123456789abcdefghijklmnopqrstuvwxyz-") == std::string::npos);
  if (gbkWholeCharacters(first)) {
    check(makeAlias(first + single + text) == makeAlias(first) + alias);
    check(textBetween(first + single + text, "", "<") ==
          (gbkFind(first, "<", 0, false) != std::string::npos  ? textBetween(first, "", "<")
           : gbkFind(text, "<", 0, false) != std::string::npos ? first + single + textBetween(text, "", "<")
                                                               : std::string()));
  }
  return 0;
}
