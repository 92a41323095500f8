// The second blog service: its two hosts and the knobs of a cross-post. The
// sandbox includes this header to know which Host headers are its doubles.
#pragma once

#include <string>

namespace inkpost {

// The account service that signs a user in to the second blog service and
// hands out the session cookies its blog host accepts.
inline constexpr const char* kPassportHost = "passport.baidu.com";
// The second service's blog host the entries are posted to.
inline constexpr const char* kSpaceHost = "hi.baidu.com";

// The knobs of a cross-post. The program runs with the defaults (make run
// points the hosts at the sandbox); tests shorten the waits.
struct SpaceSettings {
  std::string passportHost = kPassportHost;
  std::string spaceHost = kSpaceHost;
  // The passport takes the sign-in over https; a local double without TLS
  // is reached with "http".
  std::string passportLoginScheme = "https";
  int waitLimit = 16;         // polls for the session cookies
  int waitIntervalMs = 2000;  // length of one poll
  double waitNoticeSeconds = 30.0;
  int waitNoticeDelaySeconds = 1;
};

// The settings in force, one set for the program (set at start-up, before
// any cross-post; tests set them in their fixtures).
SpaceSettings& spaceSettings();

}  // namespace inkpost
