// Conversions between the client's GBK texts and the UTF-8 that servers
// speak, plus the small text tools the protocol code cuts values with.
// Texts are GBK byte strings; a byte >= 0x80 starts a two-byte character.
#pragma once

#include <string>
#include <string_view>

namespace inkpost {

// Strict GBK -> UTF-8; empty on any conversion error.
std::string toUtf8(std::string_view gbk);

// Strict UTF-8 -> GBK; when that yields nothing, a lenient decode in which
// malformed input becomes U+FFFD and characters without a GBK form become "?".
std::string fromUtf8(std::string_view utf8);

}  // namespace inkpost
