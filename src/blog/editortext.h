// Text crossings between the client's GBK bodies and the editor page's script.
#pragma once

#include "net/encoding.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace inkpost {

// The longest body (GBK bytes) the editor page is given. Measured under
// Xvfb on a busy two-core machine (bench/blog_editorbody.cpp), a write and
// the read after it took 4 s for 1 MB, 33 s for 8 MB and 94 s for 32 MB:
// past 8 MB a read no longer comes back within the bound every read of the
// body has (30 s, blog/ui/editorbody.cpp), and some 100 MB leave the editor
// empty while the browser grows by gigabytes. Longer bodies are refused
// with a notice before they reach the page.
inline constexpr std::size_t kEditorBodyMax = 8u << 20;
// The longest plain text a paste puts into the body (UTF-16 units): it
// grows some twenty times on its way into the page.
inline constexpr std::size_t kPlainPasteMax = 2u << 20;

// The notice (GBK) for a plain-text paste longer than kPlainPasteMax: the
// text is not pasted.
std::string plainPasteTooLongNotice(std::size_t units);

// A JavaScript string literal (in single quotes) holding exactly the UTF-8
// text: quotes, backslashes, control characters, U+2028/U+2029 and "<" are
// escaped, so the literal is safe anywhere in a script, "</script>" included.
// Bytes that are not valid UTF-8 become U+FFFD.
std::string jsStringLiteral(std::string_view utf8);

// gbkWithCharRefs, the crossing of body text the other way, is in
// net/encoding.h.

}  // namespace inkpost
