// The article alias built from its title.
#pragma once

#include <string>
#include <string_view>

namespace inkpost {

// The alias of a GBK title: each GB2312 Chinese character becomes its first
// pinyin reading (lower case, no tone), every other character its half-width
// form; then only digits, lower-case letters and "-" are kept.
// "中文 V2" gives "zhongwen2".
std::string makeAlias(std::string_view gbkTitle);

}  // namespace inkpost
