// The article alias built from its title.
#pragma once

#include <string>
#include <string_view>

namespace inkpost {

// The alias of a GBK title. Chinese (GB2312) is read by words: the longest
// phrase of the phrase table at each point gives its reading, any other
// character its own most common reading (lower case, no tone). Every other
// character is taken in its half-width form, upper-case letters lowered;
// then only digits, lower-case letters and "-" are kept.
// "重庆银行" gives "chongqingyinhang", "中文 V2" gives "zhongwenv2".
std::string makeAlias(std::string_view gbkTitle);

}  // namespace inkpost
