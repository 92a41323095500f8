// What makes a site address acceptable, and when two addresses name the
// same site. Addresses are GBK text as typed.
#pragma once

#include <string>
#include <string_view>

namespace inkpost {

enum class AddressProblem {
  None,
  Empty,
  Scheme,         // does not start with "http://" or "https://" (lower case, as typed)
  TrailingSlash,  // does not end with "/"
};

AddressProblem siteAddressProblem(std::string_view address);

// The problem in words (GBK), without a closing full stop; empty for None:
// "网站地址为空", "网站地址必需以 http:// 或 https:// 开头", "网站地址必需以 / 结尾".
std::string addressProblemText(AddressProblem problem);

// The form two addresses are compared in: scheme and host (with port and
// any user part) in lower case, the path as it is. So "http://Blog.Example/a/"
// and "http://blog.example/a/" are one site, "http://blog.example/A/" another.
std::string siteAddressKey(std::string_view address);

inline bool sameSiteAddress(std::string_view a, std::string_view b) { return siteAddressKey(a) == siteAddressKey(b); }

}  // namespace inkpost
