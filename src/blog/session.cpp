#include "blog/session.h"

namespace inkpost {

std::string& sessionCookie() {
  static std::string cookie;
  return cookie;
}

std::vector<std::string>& blogTags() {
  static std::vector<std::string> tags;
  return tags;
}

std::string& sessionSite() {
  static std::string site;
  return site;
}

bool& sessionReady() {
  static bool ready = false;
  return ready;
}

}  // namespace inkpost
