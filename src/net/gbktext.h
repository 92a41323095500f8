// Byte-level GBK search and replace shared by the text tools. Offsets here
// count from 0; a match only ever starts at the first byte of a character
// (a byte 0x81..0xFE and the byte after it form one character; 0x80, the
// euro sign, and 0xFF stand alone).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace inkpost {

// True for a byte that starts a two-byte GBK character.
inline bool gbkLead(unsigned char c) { return c >= 0x81 && c <= 0xFE; }

// Length in bytes (1 or 2) of the character that starts at text[i]; a lead
// byte at the very end stands alone.
inline size_t gbkCharLength(std::string_view text, size_t i) {
  return gbkLead(static_cast<unsigned char>(text[i])) && i + 1 < text.size() ? 2 : 1;
}

// True when text ends on a character boundary (no lead byte left alone at
// its end).
bool gbkWholeCharacters(std::string_view text);

// Offset of the first match of needle at or after `from`, or npos. Without
// caseSensitive, ASCII letters fold; bytes of two-byte characters never do.
size_t gbkFind(std::string_view source, std::string_view needle, size_t from, bool caseSensitive);

// The same when `from` is known to be the first byte of a character: the
// search then costs the length after `from`, not the whole text, so a scan
// that resumes after each match stays linear.
size_t gbkFindFrom(std::string_view source, std::string_view needle, size_t from, bool caseSensitive);

// Every non-overlapping match of `what` (exact case), left to right, replaced.
std::string gbkReplaceAll(std::string_view text, std::string_view what, std::string_view with);

// removePatterns done step by step, exactly as described: the reference the
// faster removePatterns is checked against.
std::string removePatternsLiteral(std::string_view text, std::string_view patterns);

}  // namespace inkpost
