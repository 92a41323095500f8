// The process-wide cookie store: the cookies HttpEngine sends and keeps when
// its caller passes no cookie text of its own. Safe to use from any thread.
// A host that begins with "." is a domain cookie (sent to that domain and
// its subdomains); any other host is sent to that exact host only. A Secure
// cookie goes only to https addresses. The store is bounded: a cookie of
// more than kMaxCookieBytes from an answer is refused, and the oldest cookie
// of a host (then of the whole store) gives way when a host holds
// kMaxCookiesPerHost (the store kMaxCookies).
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace inkpost {

struct StoredCookie {
  std::string host, name, value, path;
  bool secure = false;
};

inline constexpr std::size_t kMaxCookieBytes = 4096;
inline constexpr std::size_t kMaxCookiesPerHost = 50;
inline constexpr std::size_t kMaxCookies = 3000;

// Adds or replaces the cookie (host, name, path); host is compared without case.
void storeCookie(const std::string& host, const std::string& name, const std::string& value,
                 const std::string& path = "/", bool secure = false);
// Every cookie held, oldest first.
std::vector<StoredCookie> storedCookies();
// The Cookie header value a browser would send to url: "a=1; b=2", longer
// paths first; empty when none applies.
std::string cookieHeaderFor(const std::string& url);
void clearCookieStore();

// Takes one Set-Cookie header value received from requestUrl into the store:
// Domain and Path attributes are honoured, a Max-Age of 0 or less or an
// Expires date in the past deletes the cookie. Returns false when ignored: a
// Domain that does not cover the host or is a public suffix (".com",
// ".co.uk", by the public-suffix list), a Secure cookie set over http, a
// cookie over kMaxCookieBytes.
bool storeSetCookie(const std::string& requestUrl, const std::string& setCookieValue);

// Called after each change that an answer's Set-Cookie makes to the store
// (removed = true when the cookie was deleted), from the requesting thread,
// outside the store's lock. Changes made with storeCookie are not reported,
// so a mirror that copies cookies in with storeCookie does not hear its own
// writes. An empty function switches it off.
void setCookieStoreObserver(std::function<void(const StoredCookie& cookie, bool removed)> observer);

}  // namespace inkpost
