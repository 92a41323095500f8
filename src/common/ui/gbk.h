// The one crossing between the core's GBK byte strings and Qt's QString.
#pragma once

#include <QString>

#include <string>
#include <string_view>

namespace inkpost {

// GBK bytes -> QString; bytes that are not valid GBK become U+FFFD. A
// reference "&#N;" of a character GBK cannot hold is that character again.
QString toQ(std::string_view gbk);

// QString -> GBK bytes; a character GBK cannot hold (an emoji) becomes its
// numeric reference "&#128512;" (net/encoding.h gbkWithCharRefs), which the
// blog's pages show as the character and toQ turns back into it, so nothing
// typed is lost. (A reference typed as such reads back as its character.)
std::string fromQ(const QString& text);

}  // namespace inkpost
