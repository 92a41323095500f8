// The process-wide state of the blog session: the cookie text the login
// leaves behind (sent by the edit page, the article post and uploads), the
// blog's tags from the edit page, and the address of the site logged in to.
// Everything runs on the window thread; nothing here is locked.
#pragma once

#include <string>
#include <vector>

namespace inkpost {

// name=value entries, each closed by ";", plus the login's own
// " username=" and "; password=" entries. Replaced by every login attempt.
std::string& sessionCookie();

// The tags of the last loaded edit page, in page order.
std::vector<std::string>& blogTags();

// The site address (ending in "/") of the last login attempt; empty before.
std::string& sessionSite();

// True once a login to sessionSite has read an edit page with categories;
// false before, during and after a login that failed. Publishing needs it.
bool& sessionReady();

}  // namespace inkpost
