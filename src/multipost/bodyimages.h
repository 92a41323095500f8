// The images of an article body when it goes to several blogs: each blog's
// copy points at its own upload folder, never at another blog's. Texts are
// GBK.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace inkpost {

// The web addresses (http:// or https://) the body's <img> elements load, in
// order of first appearance, each once; references in the attribute
// decoded ("&amp;" as "&").
std::vector<std::string> bodyImageAddresses(std::string_view gbkBody);

// True when `address` lies in the upload folder of the blog at `site` (site
// address + "upload/"; scheme and host compared without case): the blog
// serves it itself and nothing has to move.
bool inUploadFolderOf(std::string_view address, std::string_view site);

// The body with every occurrence of each address (as written, and with "&"
// written "&amp;") replaced by its new address.
std::string replaceAddresses(std::string_view gbkBody, const std::map<std::string, std::string>& moved);

}  // namespace inkpost
