#include "blog/pageaccess.h"

#include <algorithm>
#include <cctype>

namespace inkpost {
namespace {

std::string lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s;
}

bool startsWithNoCase(const std::string& text, const char* prefix) {
  const std::string p(prefix);
  return text.size() >= p.size() && lower(text.substr(0, p.size())) == p;
}

// The decoded path of a file: address; empty when it is not a plain local
// one or holds a "%00" or a ".." step.
std::string filePath(const std::string& url) {
  std::string rest = url.substr(5);  // after "file:"
  if (rest.compare(0, 2, "//") == 0) {
    rest = rest.substr(2);
    const size_t slash = rest.find('/');
    if (slash == std::string::npos) return {};
    const std::string host = lower(rest.substr(0, slash));
    if (!host.empty() && host != "localhost") return {};
    rest = rest.substr(slash);
  }
  rest = rest.substr(0, rest.find_first_of("?#"));
  std::string path;
  for (size_t i = 0; i < rest.size(); ++i) {
    if (rest[i] == '%' && i + 2 < rest.size() && std::isxdigit(static_cast<unsigned char>(rest[i + 1])) &&
        std::isxdigit(static_cast<unsigned char>(rest[i + 2]))) {
      const char c = static_cast<char>(std::stoi(rest.substr(i + 1, 2), nullptr, 16));
      if (c == '\0') return {};
      path += c;
      i += 2;
    } else {
      path += rest[i];
    }
  }
  if (path.empty() || path[0] != '/') return {};
  for (size_t at = 0; (at = path.find("/..", at)) != std::string::npos; ++at)
    if (at + 3 == path.size() || path[at + 3] == '/') return {};
  return path;
}

}  // namespace

std::string addressOrigin(const std::string& url) {
  size_t colon = url.find("://");
  if (colon == std::string::npos) return {};
  const std::string scheme = lower(url.substr(0, colon));
  if (scheme != "http" && scheme != "https") return {};
  const size_t start = colon + 3;
  size_t end = url.find_first_of("/?#", start);
  std::string authority = url.substr(start, end == std::string::npos ? std::string::npos : end - start);
  // Credentials are not part of the origin.
  const size_t at = authority.rfind('@');
  if (at != std::string::npos) authority = authority.substr(at + 1);
  authority = lower(authority);
  if (authority.empty()) return {};
  const std::string defaultPort = scheme == "http" ? ":80" : ":443";
  if (authority.size() > defaultPort.size() &&
      authority.compare(authority.size() - defaultPort.size(), defaultPort.size(), defaultPort) == 0)
    authority.resize(authority.size() - defaultPort.size());
  return scheme + "://" + authority;
}

bool pageMayLoad(const PageAccess& access, const std::string& url, PageResource kind) {
  if (kind == PageResource::Frame) return false;
  if (startsWithNoCase(url, "data:") || startsWithNoCase(url, "blob:") || url == "about:blank") return true;
  if (startsWithNoCase(url, "file:")) {
    if (access.ownFolder.empty()) return false;
    const std::string path = filePath(url);
    return !path.empty() && path.compare(0, access.ownFolder.size(), access.ownFolder) == 0;
  }
  const std::string origin = addressOrigin(url);
  if (origin.empty()) return false;
  if (access.remoteImages && kind == PageResource::Image) return true;
  return std::find(access.origins.begin(), access.origins.end(), origin) != access.origins.end();
}

}  // namespace inkpost
