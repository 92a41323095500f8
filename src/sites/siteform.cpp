#include "sites/siteform.h"

#include "net/asciitext.h"
#include "net/encoding.h"

namespace inkpost {

std::string siteFormProblem(const SiteRecord& r) {
  if (r.pass.empty() || r.admin.empty() || r.weburl.empty() || r.webname.empty())
    return fromUtf8("任何内容都必需填写！");
  if (r.weburl.compare(0, 7, "http://") != 0 && r.weburl.compare(0, 8, "https://") != 0)
    return fromUtf8("网站地址必需以 http:// 或 https:// 开头。");
  if (r.weburl.back() != '/') return fromUtf8("网站地址必需以 / 结尾。");
  return {};
}

std::string siteAddressKey(const std::string& url) {
  const size_t schemeEnd = url.find("://");
  if (schemeEnd == std::string::npos) return url;
  const std::string scheme = lowerAscii(url.substr(0, schemeEnd));
  const size_t hostStart = schemeEnd + 3;
  size_t pathStart = url.find_first_of("/?#", hostStart);
  if (pathStart == std::string::npos) pathStart = url.size();
  std::string host = lowerAscii(url.substr(hostStart, pathStart - hostStart));
  const std::string defaultPort = scheme == "https" ? ":443" : scheme == "http" ? ":80" : "";
  if (!defaultPort.empty() && host.size() > defaultPort.size() &&
      host.compare(host.size() - defaultPort.size(), defaultPort.size(), defaultPort) == 0)
    host.resize(host.size() - defaultPort.size());
  return scheme + "://" + host + (pathStart < url.size() ? url.substr(pathStart) : std::string(1, '/'));
}

}  // namespace inkpost
