// The two hosts of the second blog service, and the knobs of a cross-post.
// The program runs with the defaults; tests may shorten the waits and the
// sandbox includes this header to know which Host headers are its doubles.
#pragma once

#include <string>

namespace inkpost {

// The account service that signs a user in and hands out the session
// cookies the blog host accepts.
inline constexpr const char* kPassportHost = "passport.baidu.com";
// The blog host the entries are posted to.
inline constexpr const char* kSpaceHost = "hi.baidu.com";

struct SpaceSettings {
  std::string passportHost = kPassportHost;
  std::string spaceHost = kSpaceHost;
  // The passport takes the sign-in over https; a local double without TLS
  // is reached with "http".
  std::string passportLoginScheme = "https";
  int waitLimit = 16;            // polls for the session cookies
  int waitIntervalMs = 2000;     // length of one poll
  double waitNoticeSeconds = 30.0;
  int waitNoticeDelaySeconds = 1;
};

// The process-wide settings every cross-post call reads. Only tests change
// them.
SpaceSettings& spaceSettings();

}  // namespace inkpost
