#include "multipost/bodyimages.h"

#include "blog/htmlscan.h"
#include "images/upload.h"
#include "net/asciitext.h"
#include "net/gbktext.h"
#include "sites/siteaddress.h"

#include <algorithm>

namespace inkpost {
namespace {

bool isWebAddress(std::string_view a) {
  const std::string lower = lowerAscii(std::string(a.substr(0, 8)));
  return lower.rfind("http://", 0) == 0 || lower.rfind("https://", 0) == 0;
}

std::string ampEscaped(const std::string& address) { return gbkReplaceAll(address, "&", "&amp;"); }

}  // namespace

std::vector<std::string> bodyImageAddresses(std::string_view gbkBody) {
  std::vector<std::string> out;
  html::TagScanner scanner(gbkBody);
  html::Tag tag;
  while (scanner.next(tag)) {
    if (tag.closing || !tag.is("img")) continue;
    const std::optional<std::string_view> src = tag.attribute("src");
    if (!src) continue;
    std::string address = html::decodeReferences(trimBlanks(std::string(*src)));
    if (!isWebAddress(address)) continue;
    if (std::find(out.begin(), out.end(), address) == out.end()) out.push_back(std::move(address));
  }
  return out;
}

bool inUploadFolderOf(std::string_view address, std::string_view site) {
  const std::string folder = siteAddressKey(std::string(site) + kUploadFolder);
  const std::string a = siteAddressKey(address);
  return a.size() > folder.size() && a.compare(0, folder.size(), folder) == 0;
}

std::string replaceAddresses(std::string_view gbkBody, const std::map<std::string, std::string>& moved) {
  std::string body(gbkBody);
  // Longer addresses first, so one that begins another is not cut out of it.
  std::vector<std::pair<std::string, std::string>> order(moved.begin(), moved.end());
  std::stable_sort(order.begin(), order.end(),
                   [](const auto& a, const auto& b) { return a.first.size() > b.first.size(); });
  for (const auto& [from, to] : order) {
    body = gbkReplaceAll(body, from, to);
    if (from.find('&') != std::string::npos) body = gbkReplaceAll(body, ampEscaped(from), ampEscaped(to));
  }
  return body;
}

}  // namespace inkpost
