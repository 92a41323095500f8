// Conversions between the client's GBK texts and the UTF-8 that servers
// speak, plus the small text tools the protocol code cuts values with.
// Texts are GBK byte strings; a byte 0x81..0xFE starts a two-byte character
// (0x80, the euro sign, and 0xFF stand alone), and every search and cut
// steps over such a character as one unit.
// Positions count from 1; a failed search gives -1.
#pragma once

#include <string>
#include <string_view>

namespace inkpost {

// Strict GBK -> UTF-8; empty on any conversion error.
std::string toUtf8(std::string_view gbk);

// Strict UTF-8 -> GBK; when that yields nothing, a lenient decode in which
// malformed input becomes U+FFFD and characters without a GBK form become "?".
std::string fromUtf8(std::string_view utf8);

// Every byte as "%XX" (upper-case hex), letters and digits included.
std::string percentEncode(std::string_view text);

// The text between the first `left` and the next `right` after it (see the
// header comment of the implementation for the one-marker forms). Searches
// ignore ASCII case unless caseSensitive.
std::string textBetween(std::string_view source, std::string_view left, std::string_view right,
                        bool includeMarkers = false, bool caseSensitive = false);

// 1-based position of the first match of needle at or after startPos (1 when
// below 1), -1 when none. Matches start on character boundaries only.
int findText(std::string_view source, std::string_view needle, int startPos = 1, bool caseSensitive = false);

// Removes comma-separated patterns; "head*tail" removes every head...tail run.
std::string removePatterns(std::string_view text, std::string_view patterns);

std::string toFullWidth(std::string_view text);
std::string toHalfWidth(std::string_view text);

// GBK text for HTML, as element text or a quoted attribute value: & < > " '
// become references; a GBK pair stays whole (its trail byte may be any of
// them only in broken text, never in a pair).
std::string htmlEscape(std::string_view gbk);

// GBK text in the C99 escape form: ASCII kept, every other character as
// \uXXXX (or \UXXXXXXXX above the BMP). Empty when the text is not valid GBK.
std::string c99Escape(std::string_view gbk);

// MD5 digest of bytes as 32 lower-case hexadecimal digits.
std::string md5Hex(std::string_view bytes);

}  // namespace inkpost
