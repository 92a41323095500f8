#include "images/fetch.h"

#include "common/programdir.h"
#include "net/cancel.h"
#include "net/encoding.h"
#include "net/http.h"

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <string_view>

namespace inkpost {
namespace {

// A web image larger than this is not an image the blog wants; the fetch
// stops instead of filling memory.
constexpr size_t kMaxImageBytes = 64u << 20;

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

// One GET as libcurl saw it.
struct Transfer {
  CURLcode rc = CURLE_FAILED_INIT;
  long status = 0;
  bool sent = false;  // the (first) request went out
  bool tooLarge = false;
  std::string contentType;
  std::string body;
};

size_t collect(char* data, size_t size, size_t count, void* user) {
  auto* t = static_cast<Transfer*>(user);
  size_t n = size * count;
  if (t->body.size() + n > kMaxImageBytes) {
    t->tooLarge = true;
    return 0;  // aborts the transfer
  }
  t->body.append(data, n);
  return n;
}

// libcurl calls this at least once a second, more often while bytes flow:
// a cancelled exchange ends there.
int stopWhenCancelled(void*, curl_off_t, curl_off_t, curl_off_t, curl_off_t) { return exchangeCancelled() ? 1 : 0; }

Transfer get(const std::string& url, int timeoutSeconds) {
  static const bool ready = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
  Transfer t;
  if (!ready || url.empty() || exchangeCancelled()) return t;
  CURL* curl = curl_easy_init();
  if (!curl) return t;
  const std::string address = requestAddress(url);
  curl_easy_setopt(curl, CURLOPT_URL, address.c_str());
  curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 5L);
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, 10L);
  curl_easy_setopt(curl, CURLOPT_TIMEOUT, static_cast<long>(timeoutSeconds > 0 ? timeoutSeconds : 20));
  curl_easy_setopt(curl, CURLOPT_USERAGENT, "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)");
  curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
  const std::string trusted = trustedCertificates();
  if (!trusted.empty()) curl_easy_setopt(curl, CURLOPT_CAINFO, trusted.c_str());
  curl_easy_setopt(curl, CURLOPT_ACCEPT_ENCODING, "");
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, collect);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &t);
  curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, stopWhenCancelled);
  curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
  t.rc = curl_easy_perform(curl);
  curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &t.status);
  long requestBytes = 0;
  curl_easy_getinfo(curl, CURLINFO_REQUEST_SIZE, &requestBytes);
  t.sent = requestBytes > 0;
  const char* type = nullptr;
  if (curl_easy_getinfo(curl, CURLINFO_CONTENT_TYPE, &type) == CURLE_OK && type) t.contentType = type;
  curl_easy_cleanup(curl);
  return t;
}

// "http://" or "https://" (any case) and a server name after it.
bool webAddress(const std::string& address) {
  size_t at = 0;
  while (at < address.size() && (address[at] == ' ' || address[at] == '\t')) ++at;
  const std::string_view a = std::string_view(address).substr(at);
  const auto startsWith = [&](std::string_view p) {
    return a.size() > p.size() && std::equal(p.begin(), p.end(), a.begin(), [](char x, char y) {
             return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
  };
  const size_t rest = startsWith("http://") ? 7 : startsWith("https://") ? 8 : 0;
  return rest != 0 && a[rest] != '/' && a[rest] != ' ';
}

bool looksLikeWebPage(const Transfer& t) {
  std::string type = t.contentType.substr(0, t.contentType.find(';'));
  for (char& c : type) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (type == "text/html" || type == "application/xhtml+xml") return true;
  const size_t first = t.body.find_first_not_of(" \t\r\n");
  return first != std::string::npos && t.body[first] == '<';
}

// Why a transfer that ended in `rc` gave no answer (GBK).
std::string noAnswerReason(const Transfer& t, int timeoutSeconds) {
  switch (t.rc) {
    case CURLE_OPERATION_TIMEDOUT:
      if (!t.sent) break;
      return fromUtf8("网站在 ") + std::to_string(timeoutSeconds) + fromUtf8(" 秒内没有把图片传完");
    case CURLE_GOT_NOTHING:
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
    case CURLE_PARTIAL_FILE:
      return fromUtf8("网站没有给出完整的回答");
    case CURLE_TOO_MANY_REDIRECTS:
      return fromUtf8("网站转向的次数太多");
    case CURLE_URL_MALFORMAT:
    case CURLE_UNSUPPORTED_PROTOCOL:
    case CURLE_WEIRD_SERVER_REPLY:
      if (!t.sent) break;
      // A redirect to an address that is not a web one, or an answer in no
      // known form.
      if (t.status >= 300 && t.status <= 399) return fromUtf8("网站把地址转到了不能下载的地方");
      return fromUtf8("网站的回答无法识别");
    default:
      break;
  }
  ExchangeFate fate;
  fate.kind = ExchangeFate::NotSent;
  fate.cause = curlNotSentCause(t.rc);
  return notSentReason(fate);
}

}  // namespace

FetchedImage fetchImageFrom(const std::string& address, int timeoutSeconds) {
  FetchedImage f;
  if (!webAddress(address)) {
    f.outcome = FetchOutcome::NotAnAddress;
    return f;
  }
  const int seconds = timeoutSeconds > 0 ? timeoutSeconds : 20;
  Transfer t = get(address, seconds);
  f.status = static_cast<int>(t.status);
  if (t.tooLarge) {
    f.outcome = FetchOutcome::TooLarge;
  } else if (t.rc != CURLE_OK) {
    const bool badAddress = t.rc == CURLE_URL_MALFORMAT || t.rc == CURLE_UNSUPPORTED_PROTOCOL;
    f.outcome = badAddress && !t.sent ? FetchOutcome::NotAnAddress : FetchOutcome::NoAnswer;
    if (f.outcome == FetchOutcome::NoAnswer) f.reason = noAnswerReason(t, seconds);
  } else if (t.status < 200 || t.status > 299) {
    f.outcome = FetchOutcome::HttpError;
  } else if ((f.kind = imageKind(t.body)) == ImageKind::None) {
    f.outcome = FetchOutcome::NotAnImage;
    f.webPage = looksLikeWebPage(t);
  } else {
    f.outcome = FetchOutcome::Image;
    f.bytes = std::move(t.body);
  }
  return f;
}

namespace {

// What went wrong (GBK, no closing stop) and what the user can do about it.
struct FetchFailure {
  std::string what;
  std::string todo;
};

FetchFailure fetchFailure(const FetchedImage& f) {
  const std::string http = "HTTP " + std::to_string(f.status);
  switch (f.outcome) {
    case FetchOutcome::Image:
      return {};
    case FetchOutcome::NotAnAddress:
      return {fromUtf8("这不是网络图片的地址"), fromUtf8("请输入以 http:// 或 https:// 开头的完整地址。")};
    case FetchOutcome::HttpError:
      if (f.status == 404 || f.status == 410)
        return {fromUtf8("网站上找不到这张图片（") + http + fromUtf8("）"), fromUtf8("请检查图片地址。")};
      if (f.status == 401 || f.status == 403)
        return {fromUtf8("网站不让下载这张图片（") + http + fromUtf8("）"),
                fromUtf8("可以把图片存到电脑上，再拖入上传框。")};
      if (f.status >= 500)
        return {fromUtf8("图片所在的网站出错了（") + http + fromUtf8("）"), fromUtf8("请稍后再试。")};
      return {fromUtf8("网站没有给出这张图片（") + http + fromUtf8("）"), fromUtf8("请检查图片地址。")};
    case FetchOutcome::NotAnImage:
      if (f.webPage)
        return {fromUtf8("这个地址打开的是网页，不是图片"), fromUtf8("请在图片上右键“复制图片地址”，再粘贴到这里。")};
      return {fromUtf8("这个地址上的文件不是图片（能上传的是 GIF、JPEG、PNG、BMP 和 WebP 图片）"), {}};
    case FetchOutcome::NoAnswer:
      return {fromUtf8("图片下载不了，") + f.reason, fromUtf8("请检查地址和网络后再试。")};
    case FetchOutcome::TooLarge:
      return {fromUtf8("图片太大（超过 64 MB），博客不会接受"), fromUtf8("请先把图片缩小。")};
  }
  return {};
}

}  // namespace

std::string fetchFailureText(const FetchedImage& f) {
  const FetchFailure failure = fetchFailure(f);
  if (failure.what.empty()) return {};
  return fromUtf8("上传失败：") + failure.what + fromUtf8("。") + failure.todo;
}

std::string fetchFailureReason(const FetchedImage& f) { return fetchFailure(f).what; }

std::string fetchBlogFile(const std::string& url, const std::string& cookie, int timeoutSeconds, bool* found) {
  std::string responseHeaders;
  std::string cookies = cookie;
  std::string body =
      WinHttpEngine(url, "GET", "", "", "", "", "", timeoutSeconds, responseHeaders, &cookies, true, kImageAnswerCap);
  const size_t sp = responseHeaders.find(' ');
  const bool ok = sp != std::string::npos && responseHeaders.compare(sp + 1, 4, "200 ") == 0;
  if (found) *found = ok;
  return ok ? body : std::string();
}

std::string stagingFileFor(const std::string& address) {
  bool gif = address.size() >= 4 && address.compare(address.size() - 4, 4, ".gif") == 0;
  return programPath(gif ? "temp/img.gif" : "temp/img.jpg");
}

}  // namespace inkpost
