// The form encoding: ASCII letters, digits, "-", "." and "_" stay, a blank
// becomes "+", every other byte becomes "%XX" (upper-case hex). It keeps
// free text on one line inside the draft files and encodes form fields.
#pragma once

#include <string>
#include <string_view>

namespace inkpost {

std::string formEncode(std::string_view bytes);

// "+" gives a blank and "%XX" the byte XX; a "%" that is not followed by two
// hexadecimal digits is kept as it stands.
std::string formDecode(std::string_view text);

}  // namespace inkpost
