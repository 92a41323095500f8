// The process-wide state of a session: what the blog login, the edit page,
// uploads and the Tags picker leave behind, the second service's session and
// settings, and the history of notices. One instance lives for the whole
// program, reached through blogSession(); everything here is used on the
// window thread only and nothing is locked.
//
// Tests start from a clean state with the fixture of tests/support/session.h,
// which calls reset() before and after each test.
#pragma once

#include <functional>
#include <string>
#include <vector>

class QWidget;

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

// Called after a post that went through (or may have) when the sync box is
// ticked, with the window, the title as typed and the body as posted (GBK).
// Set by the binding table; while unset the sync box has no effect.
using CrossPostHook = std::function<void(QWidget& window, const std::string& gbkTitle, const std::string& gbkBody)>;

// Called after a post the blog confirmed, before the cross-post hook, with
// the window. Set by the binding table (the drafts mark the article
// published); while unset nothing happens.
using PublishedHook = std::function<void(QWidget& window)>;

struct BlogSession {
  // --- the blog
  // name=value entries, each closed by ";", plus the login's own
  // " username=" and "; password=" entries. Replaced by every login attempt;
  // sent by the edit page, the article post and uploads.
  std::string cookie;
  // The site address (ending in "/") of the last login attempt; empty before.
  std::string site;
  // True once a login to `site` has read an edit page with categories;
  // false before, during and after a login that failed. Publishing needs it.
  bool ready = false;
  // The tags of the last loaded edit page, in page order.
  std::vector<std::string> tags;
  // The uploads of the session, oldest first (gallery entry texts: address,
  // "[", width, "|", height). Uploads append; restoring a draft replaces it.
  std::vector<std::string> gallery;
  // The tags of the Tags box as ",a,b," (always closed by commas).
  std::string chosenTags = ",";

  // --- the second service
  // The blog host's session cookie text; emptied before a sign-on, filled
  // once the hidden browser is home.
  std::string spaceCookie;
  SpaceSettings space;
  CrossPostHook crossPost;
  PublishedHook published;

  // --- notices
  // Every notice text shown or queued since the last clear, oldest first.
  std::vector<std::string> toastHistory;
  // Multiplies every notice's display time and delay (1.0 = real time).
  double toastScale = 1.0;

  // Everything back to the state at start, the process-wide cookie store
  // emptied too.
  void reset();
};

BlogSession& blogSession();

}  // namespace inkpost
