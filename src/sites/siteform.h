// The checks of the add and modify dialogs' form, and the one way two site
// addresses are compared. Texts are GBK.
#pragma once

#include "sites/siterecord.h"

#include <string>

namespace inkpost {

// The first problem of a site form, stopping at the first one; empty when
// the form may be stored:
//   a required field empty (a blank counts as content): "任何内容都必需填写！"
//   the address starts with neither "http://" nor "https://" (exact case):
//     "网站地址必需以 http:// 或 https:// 开头。"
//   the address does not end with "/": "网站地址必需以 / 结尾。"
std::string siteFormProblem(const SiteRecord& form);

// What two addresses of one site share: scheme and host in lower case, the
// default port (80, 443) left out, the path as written. "http://Host/" and
// "http://host:80/" give the same key; "https://host/" another.
std::string siteAddressKey(const std::string& url);

}  // namespace inkpost
