#pragma once
// Tests write their texts in UTF-8; the code under test speaks GBK.
#include <string>

#include "net/encoding.h"

namespace inkpost::test {

inline std::string gbk(const char* utf8) { return inkpost::fromUtf8(utf8); }

}  // namespace inkpost::test
