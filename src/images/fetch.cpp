#include "images/fetch.h"

#include "common/programdir.h"
#include "net/encoding.h"

#include <curl/curl.h>

namespace inkpost {
namespace {

// A web image larger than this is not an image the blog wants; the fetch
// stops instead of filling memory.
constexpr size_t kMaxImageBytes = 64u << 20;

size_t collect(char* data, size_t size, size_t count, void* user) {
  auto* out = static_cast<std::string*>(user);
  size_t n = size * count;
  if (out->size() + n > kMaxImageBytes) return 0;  // aborts the transfer
  out->append(data, n);
  return n;
}

// Blanks are not allowed in a request address; the user's pasted address
// may still hold some.
std::string requestAddress(const std::string& address) {
  std::string u = toUtf8(address);
  if (u.empty()) u = address;
  std::string out;
  for (char c : u) {
    if (c == ' ')
      out += "%20";
    else
      out += c;
  }
  return out;
}

}  // namespace

std::string fetchImage(const std::string& url, int timeoutSeconds) {
  static const bool ready = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
  if (!ready || url.empty()) return {};
  CURL* curl = curl_easy_init();
  if (!curl) return {};
  std::string body;
  const std::string address = requestAddress(url);
  curl_easy_setopt(curl, CURLOPT_URL, address.c_str());
  curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 5L);
  curl_easy_setopt(curl, CURLOPT_FAILONERROR, 1L);
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, 10L);
  curl_easy_setopt(curl, CURLOPT_TIMEOUT, static_cast<long>(timeoutSeconds > 0 ? timeoutSeconds : 20));
  curl_easy_setopt(curl, CURLOPT_USERAGENT, "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)");
  curl_easy_setopt(curl, CURLOPT_ACCEPT_ENCODING, "");
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, collect);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
  CURLcode rc = curl_easy_perform(curl);
  curl_easy_cleanup(curl);
  if (rc != CURLE_OK) return {};
  return body;
}

std::string stagingFileFor(const std::string& address) {
  bool gif = address.size() >= 4 && address.compare(address.size() - 4, 4, ".gif") == 0;
  return programPath(gif ? "temp/img.gif" : "temp/img.jpg");
}

}  // namespace inkpost
