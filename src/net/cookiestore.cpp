#include "net/cookiestore.h"

#include <curl/curl.h>
#include <libpsl.h>

#include <algorithm>
#include <ctime>
#include <mutex>

#include "net/asciitext.h"
#include "net/http.h"

namespace inkpost {
namespace {

std::mutex storeMutex;
std::mutex observerMutex;
std::function<void(const StoredCookie&, bool)>& observer() {
  static std::function<void(const StoredCookie&, bool)> f;
  return f;
}
std::vector<StoredCookie>& cookies() {
  static std::vector<StoredCookie> all;
  return all;
}

// The path of a url without query and fragment.
std::string plainPath(const std::string& url) {
  std::string path = urlPath(url);
  size_t cut = path.find_first_of("?#");
  if (cut != std::string::npos) path.resize(cut);
  return path.empty() ? "/" : path;
}

bool domainMatches(const std::string& cookieHost, const std::string& host) {
  if (cookieHost.empty()) return false;
  if (cookieHost[0] != '.') return cookieHost == host;
  std::string bare = cookieHost.substr(1);
  return host == bare || (host.size() > cookieHost.size() &&
                          host.compare(host.size() - cookieHost.size(), cookieHost.size(), cookieHost) == 0);
}

// The public-suffix list: the newer of the system's list and the one built
// into libpsl.
const psl_ctx_t* suffixList() {
  static const psl_ctx_t* list = [] {
    const psl_ctx_t* l = psl_latest(nullptr);
    return l ? l : psl_builtin();
  }();
  return list;
}

// May `host` set a cookie for the whole of `domain` (no leading dot)?
bool domainAcceptable(const std::string& host, const std::string& domain) {
  if (!(host == domain || (host.size() > domain.size() &&
                           host.compare(host.size() - domain.size() - 1, domain.size() + 1, "." + domain) == 0)))
    return false;  // a domain attribute must cover the host that set it
  if (const psl_ctx_t* list = suffixList())
    return psl_is_cookie_domain_acceptable(list, host.c_str(), domain.c_str()) != 0;
  return domain.find('.') != std::string::npos;  // no list at all: at least never a top-level domain
}

bool isSecureUrl(const std::string& url) { return lowerAscii(url.substr(0, 8)) == "https://"; }

bool pathMatches(const std::string& cookiePath, const std::string& path) {
  if (path == cookiePath) return true;
  if (path.rfind(cookiePath, 0) != 0) return false;
  return cookiePath.back() == '/' || path[cookiePath.size()] == '/';
}

void upsert(StoredCookie c) {
  auto& all = cookies();
  size_t sameHost = 0, oldestOfHost = all.size();
  for (size_t i = 0; i < all.size(); ++i) {
    auto& have = all[i];
    if (have.host != c.host) continue;
    if (have.name == c.name && have.path == c.path) {
      have.value = std::move(c.value);
      have.secure = c.secure;
      return;
    }
    if (sameHost++ == 0) oldestOfHost = i;
  }
  if (sameHost >= kMaxCookiesPerHost)
    all.erase(all.begin() + static_cast<std::ptrdiff_t>(oldestOfHost));
  else if (all.size() >= kMaxCookies)
    all.erase(all.begin());
  all.push_back(std::move(c));
}

void erase(const std::string& host, const std::string& name, const std::string& path) {
  auto& all = cookies();
  all.erase(std::remove_if(all.begin(), all.end(),
                           [&](const StoredCookie& c) { return c.host == host && c.name == name && c.path == path; }),
            all.end());
}

}  // namespace

void storeCookie(const std::string& host, const std::string& name, const std::string& value, const std::string& path,
                 bool secure) {
  if (name.empty() || host.empty()) return;
  std::lock_guard<std::mutex> lock(storeMutex);
  upsert({lowerAscii(host), name, value, path.empty() || path[0] != '/' ? "/" : path, secure});
}

std::vector<StoredCookie> storedCookies() {
  std::lock_guard<std::mutex> lock(storeMutex);
  return cookies();
}

std::string cookieHeaderFor(const std::string& url) {
  std::string host = urlHost(url);
  std::string path = plainPath(url);
  const bool secure = isSecureUrl(url);
  std::vector<const StoredCookie*> hits;
  std::lock_guard<std::mutex> lock(storeMutex);
  for (const auto& c : cookies())
    if ((secure || !c.secure) && domainMatches(c.host, host) && pathMatches(c.path, path)) hits.push_back(&c);
  std::stable_sort(hits.begin(), hits.end(),
                   [](const StoredCookie* a, const StoredCookie* b) { return a->path.size() > b->path.size(); });
  std::string out;
  for (const StoredCookie* c : hits) {
    // The header stays within the size any cookie text is kept to.
    if (out.size() + c->name.size() + c->value.size() + 3 >= kCookieTextCap) continue;
    if (!out.empty()) out += "; ";
    out += c->name + "=" + c->value;
  }
  return out;
}

void clearCookieStore() {
  std::lock_guard<std::mutex> lock(storeMutex);
  cookies().clear();
}

bool storeSetCookie(const std::string& requestUrl, const std::string& value) {
  std::string host = urlHost(requestUrl);
  size_t semi = value.find(';');
  std::string pair = trimBlanks(value.substr(0, semi));
  size_t eq = pair.find('=');
  if (eq == std::string::npos || host.empty()) return false;
  std::string name = trimBlanks(pair.substr(0, eq));
  std::string val = trimBlanks(pair.substr(eq + 1));
  if (name.empty() || name.size() + val.size() > kMaxCookieBytes) return false;

  std::string cookieHost = host;
  bool secure = false;
  std::string path;
  bool remove = false;
  size_t pos = semi;
  while (pos != std::string::npos) {
    size_t next = value.find(';', pos + 1);
    std::string attr =
        trimBlanks(value.substr(pos + 1, next == std::string::npos ? std::string::npos : next - pos - 1));
    pos = next;
    size_t aeq = attr.find('=');
    std::string key = lowerAscii(trimBlanks(attr.substr(0, aeq)));
    std::string arg = aeq == std::string::npos ? std::string() : trimBlanks(attr.substr(aeq + 1));
    if (key == "domain" && !arg.empty()) {
      std::string d = lowerAscii(arg);
      if (d[0] == '.') d.erase(0, 1);
      if (d.empty() || !domainAcceptable(host, d)) return false;
      cookieHost = "." + d;
    } else if (key == "secure") {
      secure = true;
    } else if (key == "path" && !arg.empty() && arg[0] == '/') {
      path = arg;
    } else if (key == "max-age") {
      char* end = nullptr;
      long age = std::strtol(arg.c_str(), &end, 10);
      if (end != arg.c_str() && age <= 0) remove = true;
    } else if (key == "expires") {
      time_t when = curl_getdate(arg.c_str(), nullptr);
      if (when != -1 && when < std::time(nullptr)) remove = true;
    }
  }
  if (path.empty()) {
    // The default path: the request path up to its last "/".
    path = plainPath(requestUrl);
    size_t last = path.rfind('/');
    path = last == 0 || last == std::string::npos ? "/" : path.substr(0, last);
  }
  // Only a secure exchange may set a Secure cookie.
  if (secure && !isSecureUrl(requestUrl)) return false;
  StoredCookie cookie{cookieHost, name, val, path, secure};
  {
    std::lock_guard<std::mutex> lock(storeMutex);
    if (remove)
      erase(cookieHost, name, path);
    else
      upsert(cookie);
  }
  std::function<void(const StoredCookie&, bool)> notify;
  {
    std::lock_guard<std::mutex> lock(observerMutex);
    notify = observer();
  }
  if (notify) notify(cookie, remove);
  return true;
}

void setCookieStoreObserver(std::function<void(const StoredCookie& cookie, bool removed)> f) {
  std::lock_guard<std::mutex> lock(observerMutex);
  observer() = std::move(f);
}

}  // namespace inkpost
