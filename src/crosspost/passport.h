// Signing in to the passport host, and the cookies of the blog host that the
// sign-in leads to. Requests go through HttpEngine with an empty cookie text,
// so the cookies land in (and come from) the process-wide cookie store.
#pragma once

#include "net/formcode.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace inkpost {

// The host part of a host or address text, lower-case: scheme prefixes,
// path and port removed.
std::string NormaliseCookieHost(std::string_view host);

// The largest cookie string ReadHostCookies hands out, terminating zero
// byte included.
inline constexpr std::size_t kCookieBufferSize = 7500;

// Every cookie the process-wide store holds for the plain-http address of
// host ("a=1; b=2"), or the empty text when there is none or the string and
// its terminating zero would not fit kCookieBufferSize bytes.
std::string ReadHostCookies(std::string_view host);

// The pieces of the sign-in request, for the given passport host. The
// request goes to passportLoginUrl; the Referer names the https address
// whatever the scheme.
std::string passportLoginUrl(const std::string& passportHost, const std::string& scheme = "https");
std::string passportLoginHeaders(const std::string& passportHost);
std::string passportLoginBody(const std::string& passportHost, std::string_view userName, std::string_view password);
// True when the reply is the passport's success page.
bool isPassportSuccess(std::string_view reply, const std::string& passportHost);

// Posts the account to the passport host of spaceSettings(); true when the
// reply is its success page. Blocking.
bool BaiduPassportLogin(std::string_view userName, std::string_view password);

// The dummy account ResetPassportSession signs in with.
inline constexpr const char* kDummyPassportUser = "0";
inline constexpr const char* kDummyPassportPassword = "0";

// Signs in once more with the dummy account, so the user's passport
// session does not outlive the cross-post. The result is not looked at.
void ResetPassportSession();

}  // namespace inkpost
