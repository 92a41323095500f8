// Byte-level GBK search and replace shared by the text tools. Offsets here
// count from 0; a match only ever starts at the first byte of a character
// (a byte >= 0x80 and the byte after it form one character).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace inkpost {

// Offset of the first match of needle at or after `from`, or npos. Without
// caseSensitive, ASCII letters fold; bytes of two-byte characters never do.
size_t gbkFind(std::string_view source, std::string_view needle, size_t from, bool caseSensitive);

// Every non-overlapping match of `what` (exact case), left to right, replaced.
std::string gbkReplaceAll(std::string_view text, std::string_view what, std::string_view with);

// removePatterns done step by step, exactly as described: the reference the
// faster removePatterns is checked against.
std::string removePatternsLiteral(std::string_view text, std::string_view patterns);

}  // namespace inkpost
