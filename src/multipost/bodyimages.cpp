#include "multipost/bodyimages.h"

#include "blog/htmlscan.h"
#include "net/asciitext.h"

#include <algorithm>

namespace inkpost {
namespace {

bool isWebAddress(std::string_view a) {
  const std::string lower = lowerAscii(std::string(a.substr(0, 8)));
  return lower.rfind("http://", 0) == 0 || lower.rfind("https://", 0) == 0;
}

// Scheme and host in lower case, the rest as written.
std::string folded(std::string_view address) {
  std::string out(address);
  const size_t scheme = out.find("://");
  if (scheme == std::string::npos) return out;
  const size_t hostEnd = out.find_first_of("/?#", scheme + 3);
  const size_t n = hostEnd == std::string::npos ? out.size() : hostEnd;
  for (size_t i = 0; i < n; ++i)
    if (out[i] >= 'A' && out[i] <= 'Z') out[i] = static_cast<char>(out[i] + 32);
  return out;
}

void replaceAll(std::string& text, const std::string& from, const std::string& to) {
  if (from.empty() || from == to) return;
  std::string out;
  out.reserve(text.size());
  size_t pos = 0;
  for (size_t at; (at = text.find(from, pos)) != std::string::npos; pos = at + from.size()) {
    out.append(text, pos, at - pos);
    out += to;
  }
  out.append(text, pos, std::string::npos);
  text = std::move(out);
}

std::string ampEscaped(const std::string& address) {
  std::string out = address;
  replaceAll(out, "&", "&amp;");
  return out;
}

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
  const std::string folder = folded(std::string(site) + "upload/");
  const std::string a = folded(address);
  return a.size() > folder.size() && a.compare(0, folder.size(), folder) == 0;
}

std::string replaceAddresses(std::string_view gbkBody, const std::map<std::string, std::string>& moved) {
  std::string body(gbkBody);
  // Longer addresses first, so one that begins another is not cut out of it.
  std::vector<std::pair<std::string, std::string>> order(moved.begin(), moved.end());
  std::stable_sort(order.begin(), order.end(),
                   [](const auto& a, const auto& b) { return a.first.size() > b.first.size(); });
  for (const auto& [from, to] : order) {
    replaceAll(body, from, to);
    if (from.find('&') != std::string::npos) replaceAll(body, ampEscaped(from), ampEscaped(to));
  }
  return body;
}

}  // namespace inkpost
