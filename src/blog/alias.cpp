#include "blog/alias.h"

#include "blog/pinyin_table.h"
#include "net/encoding.h"
#include "net/gbktext.h"

namespace inkpost {

namespace {

// A GB2312 Chinese character starts at wide[i] (rows B0..F7, cells A1..FE).
bool hanziAt(std::string_view wide, size_t i) {
  return i + 1 < wide.size() && pinyinOf(static_cast<unsigned char>(wide[i]), static_cast<unsigned char>(wide[i + 1]));
}

// Appends the characters of text that may stand in an alias: digits,
// lower-case letters and "-", with upper-case letters lowered. A two-byte
// character never counts, whatever its trail byte looks like.
void appendKept(std::string& out, std::string_view text) {
  for (size_t i = 0; i < text.size(); i += gbkCharLength(text, i)) {
    const char c = text[i];
    if (gbkCharLength(text, i) == 2) continue;
    if ((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || c == '-')
      out += c;
    else if (c >= 'A' && c <= 'Z')
      out += static_cast<char>(c - 'A' + 'a');
  }
}

}  // namespace

std::string makeAlias(std::string_view gbkTitle) {
  // A character GBK cannot hold (kept as its reference "&#128512;") gives
  // nothing, as any other character without a reading.
  std::string title;
  title.reserve(gbkTitle.size());
  for (size_t i = 0; i < gbkTitle.size();) {
    const size_t ref = charRefAt(gbkTitle, i);
    if (ref == 0) title += gbkTitle[i++];
    i += ref;
  }
  const std::string wide = toFullWidth(title);
  const std::string_view w = wide;
  std::string alias;
  alias.reserve(wide.size() * 3);
  size_t i = 0;
  while (i < w.size()) {
    if (hanziAt(w, i)) {
      // Chinese is read by words: the longest phrase of the table that
      // starts here, else the character's own reading.
      const PhraseMatch phrase = longestPhrase(w.substr(i));
      if (phrase.length) {
        alias += phrase.reading;
        i += phrase.length;
      } else {
        alias += pinyinOf(static_cast<unsigned char>(w[i]), static_cast<unsigned char>(w[i + 1]));
        i += 2;
      }
      continue;
    }
    // Everything else in its half-width form; control characters, the euro
    // sign and 0xFF stay single bytes in the full-width form.
    const size_t len = gbkCharLength(w, i);
    appendKept(alias, toHalfWidth(w.substr(i, len)));
    i += len;
  }
  return alias;
}

}  // namespace inkpost
