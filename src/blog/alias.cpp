#include "blog/alias.h"

#include "blog/pinyin_table.h"
#include "net/encoding.h"

namespace inkpost {

namespace {

bool aliasChar(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || c == '-';
}

// Appends the characters of text that may stand in an alias; a two-byte
// character never does, whatever its trail byte looks like.
void appendKept(std::string& out, std::string_view text) {
  for (size_t i = 0; i < text.size(); ++i) {
    if (static_cast<unsigned char>(text[i]) >= 0x81 && i + 1 < text.size()) {
      ++i;
      continue;
    }
    if (aliasChar(text[i])) out += text[i];
  }
}

}  // namespace

std::string makeAlias(std::string_view gbkTitle) {
  const std::string wide = toFullWidth(gbkTitle);
  std::string alias;
  alias.reserve(wide.size() * 2);
  size_t i = 0;
  while (i < wide.size()) {
    const auto lead = static_cast<unsigned char>(wide[i]);
    if (lead >= 0x81 && i + 1 < wide.size()) {
      const auto trail = static_cast<unsigned char>(wide[i + 1]);
      if (const char* reading = pinyinOf(lead, trail))
        alias += reading;
      else
        appendKept(alias, toHalfWidth(wide.substr(i, 2)));
      i += 2;
    } else {
      // Control characters stay single bytes in the full-width form.
      appendKept(alias, toHalfWidth(wide.substr(i, 1)));
      ++i;
    }
  }
  return alias;
}

}  // namespace inkpost
