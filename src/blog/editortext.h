// Text crossings between the client's GBK bodies and the editor page's script.
#pragma once

#include <string>
#include <string_view>

namespace inkpost {

// A JavaScript string literal (in single quotes) holding exactly the UTF-8
// text: quotes, backslashes, control characters, U+2028/U+2029 and "<" are
// escaped, so the literal is safe anywhere in a script, "</script>" included.
// Bytes that are not valid UTF-8 become U+FFFD.
std::string jsStringLiteral(std::string_view utf8);

// UTF-8 -> GBK where every character GBK cannot hold (emoji, rare characters)
// becomes an HTML numeric character reference such as "&#128512;", so nothing
// is lost. Malformed UTF-8 bytes become U+FFFD's reference "&#65533;".
std::string gbkWithCharRefs(std::string_view utf8);

}  // namespace inkpost
