// The one crossing between the core's GBK byte strings and Qt's QString.
#pragma once

#include <QString>

#include <string>
#include <string_view>

namespace inkpost {

// GBK bytes -> QString; bytes that are not valid GBK become U+FFFD.
QString toQ(std::string_view gbk);

// QString -> GBK bytes; characters GBK cannot hold become "?".
std::string fromQ(const QString& text);

}  // namespace inkpost
