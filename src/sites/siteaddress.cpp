#include "sites/siteaddress.h"

#include "net/encoding.h"
#include "net/gbktext.h"

namespace inkpost {

AddressProblem siteAddressProblem(std::string_view address) {
  if (address.empty()) return AddressProblem::Empty;
  if (!address.starts_with("http://") && !address.starts_with("https://")) return AddressProblem::Scheme;
  if (address.back() != '/') return AddressProblem::TrailingSlash;
  return AddressProblem::None;
}

std::string addressProblemText(AddressProblem problem) {
  switch (problem) {
    case AddressProblem::None:
      return {};
    case AddressProblem::Empty:
      return fromUtf8("网站地址为空");
    case AddressProblem::Scheme:
      return fromUtf8("网站地址必需以 http:// 或 https:// 开头");
    case AddressProblem::TrailingSlash:
      return fromUtf8("网站地址必需以 / 结尾");
  }
  return {};
}

std::string siteAddressKey(std::string_view address) {
  std::string key(address);
  const size_t scheme = key.find("://");
  // Everything up to the end of the host: the first "/", "?" or "#" after
  // the scheme (no GBK trail byte is one of those three). Only ASCII letters
  // fold, never the trail byte of a two-byte character.
  const size_t hostStart = scheme == std::string::npos ? 0 : scheme + 3;
  const size_t hostEnd = key.find_first_of("/?#", hostStart);
  const size_t end = hostEnd == std::string::npos ? key.size() : hostEnd;
  for (size_t i = 0; i < end; i += gbkCharLength(key, i))
    if (key[i] >= 'A' && key[i] <= 'Z') key[i] = static_cast<char>(key[i] - 'A' + 'a');
  return key;
}

}  // namespace inkpost
