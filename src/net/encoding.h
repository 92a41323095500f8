// Conversions between the client's GBK texts and the UTF-8 that servers
// speak, plus the small text tools the protocol code cuts values with.
// Texts are GBK byte strings; a byte 0x81..0xFE starts a two-byte character
// (0x80, the euro sign, and 0xFF stand alone), and every search and cut
// steps over such a character as one unit.
// Positions count from 1; a failed search gives -1.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace inkpost {

// Strict GBK -> UTF-8; empty on any conversion error.
std::string toUtf8(std::string_view gbk);

// Strict UTF-8 -> GBK; when that yields nothing, a lenient decode in which
// malformed input becomes U+FFFD and characters without a GBK form become "?".
std::string fromUtf8(std::string_view utf8);

// ---- Characters GBK cannot hold ----------------------------------------
// An emoji or a rare character the user types is kept in GBK text as the
// HTML numeric character reference "&#N;" (decimal, no leading zero): what a
// browser, and so the blog's pages, show as that character. Every text that
// crosses from the window into the core does so (common/ui/gbk.h fromQ), and
// back (toQ) such a reference is the character again. A reference of a
// character GBK does hold ("&#20013;") is text like any other.

// UTF-8 -> GBK where every character GBK cannot hold becomes its reference,
// so nothing is lost. Each malformed UTF-8 byte becomes "&#65533;" (U+FFFD).
std::string gbkWithCharRefs(std::string_view utf8);

// The length of the reference at gbk[i] of a character GBK cannot hold, as
// gbkWithCharRefs writes it; 0 when none starts there. *cp gets the
// character. ("&", "#", digits and ";" are never the second byte of a GBK
// character, so any byte offset may be asked.)
size_t charRefAt(std::string_view gbk, size_t i, std::uint32_t* cp = nullptr);

// GBK -> UTF-8 as toUtf8, each such reference given as its character.
std::string toUtf8WithCharRefs(std::string_view gbk);

// True when GBK has a form for the code point.
bool gbkHasCharacter(std::uint32_t cp);

// The well-formed UTF-8 sequence at utf8[i]: its length and *cp, or 0 when
// none starts there (malformed, overlong, a surrogate, beyond U+10FFFF, cut
// short).
size_t decodeUtf8At(std::string_view utf8, size_t i, std::uint32_t& cp);

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
