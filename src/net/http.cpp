// The two request routines on libcurl.
//
// Both build the request themselves so that what goes out is exactly what a
// browser of the time sent: the raw request target (CURLOPT_REQUEST_TARGET,
// no re-encoding), the header lines in the order they were appended, no
// "Expect" and no libcurl "Accept". Redirects are followed here, hop by hop,
// rather than by libcurl, so each hop can take its cookies from the shared
// store and the header block of the final answer is the one returned.
// Up to 20 hops; 303, and 301/302 after a POST, go on as GET without body.
// A caller's cookie text and server credentials are not carried to another
// origin (host, port or scheme).
//
// Each call drives its own easy handle through a private multi handle and
// polls every few milliseconds, which keeps the time budget precise
// (HttpEngine: connect and idle time a third of the budget each; WinHttpEngine:
// the full budget each):
//  - the connection must be made within the connect time;
//  - no byte may come or go for longer than the idle time (received header
//    bytes count once their line is complete);
//  - the whole exchange, every hop included, ends by the deadline the budget
//    sets at the call; a server that trickles headers or body ends there too.
// Each answer is also bounded in size: the header block by kHeaderBlockCap,
// the body by the caller's cap (a larger Content-Length fails at once).
//
// Outcomes when the transfer fails:
//  HttpEngine: no answer at all (unreachable, refused, nothing received in
//    time): empty body, empty responseHeaders, cookies unchanged. An answer
//    whose body did not arrive whole (budget spent, stall, connection lost,
//    shorter than announced): empty body, but responseHeaders holds the
//    header block and its cookies are merged.
//  WinHttpEngine: "_nolink_" and empty cookies when no transfer can be set
//    up (no handle, a url libcurl cannot use). Any failure of the transfer
//    itself (unreachable, refused, timeout, truncated body): empty body,
//    empty responseHeaders, empty cookies; the caller cannot tell a
//    half-read answer from none, and no cookie of a half-read answer is kept.
#include "net/http.h"

#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <mutex>
#include <vector>

#include "net/asciitext.h"
#include "net/cancel.h"
#include "net/cookiestore.h"
#include "net/encoding.h"
#include "net/gbktext.h"

namespace inkpost {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kMaxRedirects = 20;
constexpr int kPollMs = 10;

constexpr const char* kEngineAccept =
    "image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, application/x-shockwave-flash, "
    "application/vnd.ms-excel, application/vnd.ms-powerpoint, application/msword, */*";
constexpr const char* kObjectAccept =
    "image/jpeg, application/x-ms-application, image/gif, application/xaml+xml, image/pjpeg, "
    "application/x-ms-xbap, application/x-shockwave-flash, application/vnd.ms-excel, "
    "application/vnd.ms-powerpoint, application/msword, */*";

void ensureCurl() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

std::mutex trustMutex;
std::string& trustFile() {
  static std::string path;
  return path;
}

std::mutex mappingMutex;
std::map<std::string, int>& mappings() {
  static std::map<std::string, int> m;
  return m;
}

std::string upperAscii(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  return s;
}

std::string withoutBlanks(const std::string& s) {
  std::string out;
  for (char c : s)
    if (c != ' ') out += c;
  return out;
}

bool containsFold(const std::string& hay, std::string_view needle) {
  return gbkFind(hay, needle, 0, false) != std::string_view::npos;
}

bool startsWithFold(const std::string& s, std::string_view prefix) {
  return s.size() >= prefix.size() && lowerAscii(s.substr(0, prefix.size())) == prefix;
}

std::vector<std::string> splitLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t eol = text.find("\r\n", pos);
    if (eol == std::string::npos) eol = text.size();
    if (eol > pos) lines.push_back(text.substr(pos, eol - pos));
    pos = eol + 2;
  }
  return lines;
}

std::vector<std::string> splitAt(const std::string& text, char sep) {
  std::vector<std::string> parts;
  size_t pos = 0;
  while (true) {
    size_t at = text.find(sep, pos);
    parts.push_back(text.substr(pos, at == std::string::npos ? std::string::npos : at - pos));
    if (at == std::string::npos) break;
    pos = at + 1;
  }
  return parts;
}

// Values of the header lines named `name` in a raw header block.
std::vector<std::string> headerValues(const std::string& block, std::string_view name) {
  std::vector<std::string> values;
  for (const std::string& line : splitLines(block)) {
    size_t colon = line.find(':');
    if (colon == std::string::npos || lowerAscii(trimBlanks(line.substr(0, colon))) != name) continue;
    size_t v = line.find_first_not_of(" \t", colon + 1);
    values.push_back(v == std::string::npos ? std::string() : line.substr(v));
  }
  return values;
}

// ---------------------------------------------------------------------------
// One hop: one request, one answer.

struct Hop {
  std::string connectUrl;  // scheme://host:port/ for libcurl
  std::string target;      // request target, sent byte for byte
  std::string method;
  const std::string* body = nullptr;  // sent when not null
  std::vector<std::string> lines;     // header lines in order
  std::string agent;                  // CURLOPT_USERAGENT, none when empty
  std::vector<std::string> proxy;     // address, user, password
  std::string user, password;
  bool credentials = false;
  int connectMs = 0, idleMs = 0;
  Clock::time_point deadline;  // of the whole exchange
  size_t cap = kPageAnswerCap;
};

struct Answer {
  enum Kind { Complete, Partial, NoAnswer, NotStarted } kind = NotStarted;
  // With no answer: whether any of the request may have gone out, and if
  // not, why.
  bool requestSent = false;
  ExchangeFate::Cause cause = ExchangeFate::OtherFailure;
  std::string headers;  // raw block of the last answer, CRLF line ends
  std::string body;
  long status = 0;
  bool timedOut = false;
  bool tooLarge = false;
};

struct Progress {
  Answer* answer;
  CURL* easy;
  Clock::time_point lastActivity;
  Clock::time_point deadline;
  size_t cap;
  bool bodyStarted = false;
  curl_off_t uploaded = 0;
};

size_t onHeader(char* data, size_t size, size_t count, void* user) {
  auto* p = static_cast<Progress*>(user);
  size_t n = size * count;
  std::string line(data, n);
  p->lastActivity = Clock::now();
  if (line.rfind("HTTP/", 0) == 0) {
    p->answer->headers.clear();
    p->answer->body.clear();
  }
  if (p->answer->headers.size() + n > kHeaderBlockCap) {
    p->answer->tooLarge = true;
    return 0;  // aborts the transfer
  }
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
  p->answer->headers += line;
  p->answer->headers += "\r\n";
  return n;
}

size_t onBody(char* data, size_t size, size_t count, void* user) {
  auto* p = static_cast<Progress*>(user);
  size_t n = size * count;
  p->lastActivity = Clock::now();
  if (!p->bodyStarted) {
    p->bodyStarted = true;
    curl_off_t announced = -1;
    curl_easy_getinfo(p->easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &announced);
    if (announced > 0 && static_cast<unsigned long long>(announced) > p->cap) {
      p->answer->tooLarge = true;
      return 0;
    }
    if (announced > 0) p->answer->body.reserve(static_cast<size_t>(announced));
  }
  if (p->answer->body.size() + n > p->cap) {
    p->answer->tooLarge = true;
    return 0;
  }
  p->answer->body.append(data, n);
  return n;
}

int onProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t ulnow) {
  auto* p = static_cast<Progress*>(user);
  const auto now = Clock::now();
  if (ulnow != p->uploaded) {
    p->uploaded = ulnow;
    p->lastActivity = now;
  }
  if (now >= p->deadline) {
    p->answer->timedOut = true;
    return 1;  // aborts the transfer inside libcurl too
  }
  return 0;
}

curl_slist* connectToList() {
  std::lock_guard<std::mutex> lock(mappingMutex);
  curl_slist* list = nullptr;
  for (const auto& [host, port] : mappings())
    list = curl_slist_append(list, (host + "::127.0.0.1:" + std::to_string(port)).c_str());
  return list;
}

ExchangeFate::Cause notSentCause(CURLcode code) {
  switch (code) {
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
      return ExchangeFate::UnknownHost;
    case CURLE_COULDNT_CONNECT:
      return ExchangeFate::Refused;
    case CURLE_OPERATION_TIMEDOUT:
    case CURLE_ABORTED_BY_CALLBACK:
      return ExchangeFate::ConnectTimeout;
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_INVALIDCERTSTATUS:
      return ExchangeFate::Certificate;
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_ENGINE_NOTFOUND:
    case CURLE_SSL_ENGINE_SETFAILED:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_CRL_BADFILE:
    case CURLE_USE_SSL_FAILED:
      return ExchangeFate::SecureFailed;
    case CURLE_URL_MALFORMAT:
    case CURLE_UNSUPPORTED_PROTOCOL:
      return ExchangeFate::BadAddress;
    default:
      return ExchangeFate::OtherFailure;
  }
}

// The fate of an exchange whose last hop got `answer`; `firstHop` when no
// hop before it was answered.
ExchangeFate fateOf(const Answer& answer, bool firstHop) {
  ExchangeFate f;
  switch (answer.kind) {
    case Answer::Complete:
      f.kind = ExchangeFate::Answered;
      break;
    case Answer::Partial:
      f.kind = ExchangeFate::CutShort;
      break;
    case Answer::NoAnswer:
    case Answer::NotStarted:
      if (firstHop && !answer.requestSent) {
        f.kind = ExchangeFate::NotSent;
        f.cause = answer.kind == Answer::NotStarted ? ExchangeFate::BadAddress : answer.cause;
      } else {
        f.kind = ExchangeFate::NoAnswer;
      }
      break;
  }
  if (f.kind != ExchangeFate::NotSent) f.cause = ExchangeFate::None;
  return f;
}

// A Set-Cookie value that carries the Secure attribute.
bool secureCookie(const std::string& setCookie) {
  const std::string low = lowerAscii(setCookie);
  size_t semi = low.find(';');
  while (semi != std::string::npos) {
    const size_t next = low.find(';', semi + 1);
    const std::string attribute = trimBlanks(low.substr(semi + 1, next == std::string::npos ? next : next - semi - 1));
    if (attribute == "secure" || attribute.rfind("secure=", 0) == 0) return true;
    semi = next;
  }
  return false;
}

// The Set-Cookie values of a header block that an answer from a url of
// this scheme may set: a Secure cookie only over https.
std::vector<std::string> acceptedSetCookies(const std::string& block, bool secure) {
  std::vector<std::string> values = headerValues(block, "set-cookie");
  if (!secure) values.erase(std::remove_if(values.begin(), values.end(), secureCookie), values.end());
  return values;
}

Answer perform(const Hop& hop) {
  Answer answer;
  if (exchangeCancelled()) {  // nothing goes out
    answer.kind = Answer::NoAnswer;
    return answer;
  }
  CURL* easy = curl_easy_init();
  CURLM* multi = curl_multi_init();
  if (!easy || !multi) {
    if (easy) curl_easy_cleanup(easy);
    if (multi) curl_multi_cleanup(multi);
    return answer;  // NotStarted
  }
  Progress progress{&answer, easy, Clock::now(), hop.deadline, hop.cap, false, 0};
  const long long leftMs = std::max<long long>(
      1, std::chrono::duration_cast<std::chrono::milliseconds>(hop.deadline - Clock::now()).count());

  curl_slist* headerList = nullptr;
  for (const std::string& line : hop.lines) headerList = curl_slist_append(headerList, line.c_str());
  // Keep libcurl's own additions out: these empty entries remove them
  // without sending anything (a line of the caller with a value still goes out).
  headerList = curl_slist_append(headerList, "Accept:");
  headerList = curl_slist_append(headerList, "Expect:");
  if (!hop.body || hop.body->empty()) headerList = curl_slist_append(headerList, "Content-Type:");
  curl_slist* connectTo = connectToList();

  curl_easy_setopt(easy, CURLOPT_URL, hop.connectUrl.c_str());
  curl_easy_setopt(easy, CURLOPT_REQUEST_TARGET, hop.target.c_str());
  curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, CURL_HTTP_VERSION_1_1);
  curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 0L);
  curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headerList);
  if (connectTo) curl_easy_setopt(easy, CURLOPT_CONNECT_TO, connectTo);
  if (!hop.agent.empty()) curl_easy_setopt(easy, CURLOPT_USERAGENT, hop.agent.c_str());
  // Secure exchanges: the certificate and its name are checked.
  curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 2L);
  const std::string trusted = trustedCertificates();
  if (!trusted.empty()) curl_easy_setopt(easy, CURLOPT_CAINFO, trusted.c_str());
  curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(std::min<long long>(hop.connectMs, leftMs)));
  // A backstop behind the polling below and the progress callback: libcurl
  // itself ends the transfer at the deadline. (Its low-speed limit is not
  // used: it does not count header bytes, so it would cut off a blog that
  // sends its header lines slowly but within the idle time.)
  curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, static_cast<long>(leftMs + 50));
  curl_easy_setopt(easy, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(hop.cap));
  curl_easy_setopt(easy, CURLOPT_BUFFERSIZE, 256L * 1024);
  curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, onHeader);
  curl_easy_setopt(easy, CURLOPT_HEADERDATA, &progress);
  curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, onBody);
  curl_easy_setopt(easy, CURLOPT_WRITEDATA, &progress);
  curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, onProgress);
  curl_easy_setopt(easy, CURLOPT_XFERINFODATA, &progress);
  curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);

  if (hop.method == "HEAD") {
    curl_easy_setopt(easy, CURLOPT_NOBODY, 1L);
  } else if (hop.body) {
    curl_easy_setopt(easy, CURLOPT_POST, 1L);
    curl_easy_setopt(easy, CURLOPT_POSTFIELDS, hop.body->data());
    curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(hop.body->size()));
    if (hop.method != "POST") curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, hop.method.c_str());
  } else {
    curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
    if (hop.method != "GET") curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, hop.method.c_str());
  }

  // Never take a proxy from the environment: a direct request is direct.
  curl_easy_setopt(easy, CURLOPT_PROXY, hop.proxy.empty() ? "" : hop.proxy[0].c_str());
  if (hop.proxy.size() >= 2) {
    curl_easy_setopt(easy, CURLOPT_PROXYUSERNAME, hop.proxy[1].c_str());
    curl_easy_setopt(easy, CURLOPT_PROXYPASSWORD, hop.proxy.size() >= 3 ? hop.proxy[2].c_str() : "");
    curl_easy_setopt(easy, CURLOPT_PROXYAUTH, CURLAUTH_BASIC);
  }
  if (hop.credentials) {
    curl_easy_setopt(easy, CURLOPT_USERNAME, hop.user.c_str());
    curl_easy_setopt(easy, CURLOPT_PASSWORD, hop.password.c_str());
    curl_easy_setopt(easy, CURLOPT_HTTPAUTH, CURLAUTH_BASIC);
  }

  CURLcode result = CURLE_OK;
  bool aborted = false;
  curl_multi_add_handle(multi, easy);
  int running = 1;
  while (running) {
    if (curl_multi_perform(multi, &running) != CURLM_OK) {
      aborted = true;
      break;
    }
    if (!running) break;
    auto now = Clock::now();
    if (now - progress.lastActivity > std::chrono::milliseconds(hop.idleMs) || now >= hop.deadline) {
      answer.timedOut = true;
      aborted = true;
      break;
    }
    if (exchangeCancelled()) {
      aborted = true;
      break;
    }
    curl_multi_poll(multi, nullptr, 0, kPollMs, nullptr);
  }
  if (!aborted) {
    int left = 0;
    while (CURLMsg* msg = curl_multi_info_read(multi, &left))
      if (msg->msg == CURLMSG_DONE) result = msg->data.result;
  }
  // libcurl refuses an announced length over the cap by itself, before any
  // body byte reaches onBody.
  if (result == CURLE_FILESIZE_EXCEEDED) answer.tooLarge = true;
  curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &answer.status);
  // Whether any of the request can have gone out: not before the connection
  // (and for https its secure layer) stood, nor once libcurl counts request
  // bytes as sent.
  long requestBytes = 0;
  curl_off_t connected = 0, secured = 0;
  curl_easy_getinfo(easy, CURLINFO_REQUEST_SIZE, &requestBytes);
  curl_easy_getinfo(easy, CURLINFO_CONNECT_TIME_T, &connected);
  curl_easy_getinfo(easy, CURLINFO_APPCONNECT_TIME_T, &secured);
  const bool secure = hop.connectUrl.rfind("https://", 0) == 0;
  answer.requestSent = requestBytes > 0 || (connected > 0 && (!secure || secured > 0));
  answer.cause = aborted ? ExchangeFate::ConnectTimeout : notSentCause(result);
  curl_multi_remove_handle(multi, easy);
  curl_easy_cleanup(easy);
  curl_multi_cleanup(multi);
  curl_slist_free_all(headerList);
  curl_slist_free_all(connectTo);

  if (answer.headers.empty())
    answer.kind = Answer::NoAnswer;
  else if (aborted || result != CURLE_OK)
    answer.kind = Answer::Partial;
  else
    answer.kind = Answer::Complete;
  if (answer.kind == Answer::NoAnswer && result == CURLE_URL_MALFORMAT) answer.kind = Answer::NotStarted;
  return answer;
}

// Where a redirect leads, from the current url and the Location value.
std::string resolveLocation(const std::string& base, bool secure, const std::string& location) {
  std::string loc = trimBlanks(location);
  if (startsWithFold(loc, "http://") || startsWithFold(loc, "https://")) return loc;
  std::string scheme = secure ? "https:" : "http:";
  if (loc.rfind("//", 0) == 0) return scheme + loc;
  std::string origin = scheme + "//" + urlHost(base, true);
  if (!loc.empty() && loc[0] == '/') return origin + loc;
  std::string path = urlPath(base);
  size_t cut = path.find_first_of("?#");
  if (cut != std::string::npos) path.resize(cut);
  if (!loc.empty() && loc[0] == '?') return origin + path + loc;
  size_t last = path.rfind('/');
  return origin + path.substr(0, last + 1) + loc;
}

// Scheme, host and port of a url: cookies and credentials given for one
// origin stay with it across redirects.
std::string originOf(const std::string& url) {
  const bool secure = lowerAscii(url).find("https://") != std::string::npos;
  const std::string hostPort = urlHost(url, true);
  const bool explicitPort = hostPort.find(':') != std::string::npos;
  const int port = explicitPort ? urlPort(url) : secure ? 443 : 80;
  return std::string(secure ? "https://" : "http://") + urlHost(url) + ":" + std::to_string(port);
}

// A url that would end the request line early and smuggle header lines in.
bool breaksRequestLine(const std::string& url) {
  return url.find_first_of(std::string("\r\n\0", 3)) != std::string::npos;
}

bool isRedirect(long status) {
  return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

// The Set-Cookie values of a header block as "name=value;" entries.
std::string freshCookies(const std::string& block, bool secure, bool* any) {
  std::string fresh;
  *any = false;
  for (const std::string& value : acceptedSetCookies(block, secure)) {
    *any = true;
    fresh += setCookieValue(value);
    fresh += ';';
  }
  return fresh;
}

}  // namespace

ExchangeFate::Cause curlNotSentCause(int curlCode) { return notSentCause(static_cast<CURLcode>(curlCode)); }

std::string notSentReason(const ExchangeFate& fate) {
  if (fate.sent()) return {};
  switch (fate.cause) {
    case ExchangeFate::UnknownHost:
      return fromUtf8("找不到这个网址的服务器（域名无法解析）");
    case ExchangeFate::Refused:
      return fromUtf8("连接被拒绝，或网络不通");
    case ExchangeFate::ConnectTimeout:
      return fromUtf8("连接超时");
    case ExchangeFate::Certificate:
      return fromUtf8("网站的安全证书不受信任，或与网址不符");
    case ExchangeFate::SecureFailed:
      return fromUtf8("无法建立安全连接（https）");
    case ExchangeFate::BadAddress:
      return fromUtf8("网址无效");
    case ExchangeFate::None:
    case ExchangeFate::OtherFailure:
      break;
  }
  return fromUtf8("连接失败");
}

void setTrustedCertificates(const std::string& pemFile) {
  std::lock_guard<std::mutex> lock(trustMutex);
  trustFile() = pemFile;
}

std::string trustedCertificates() {
  std::lock_guard<std::mutex> lock(trustMutex);
  return trustFile();
}

void setHostMapping(const std::string& host, int port) {
  std::lock_guard<std::mutex> lock(mappingMutex);
  mappings()[lowerAscii(host)] = port;
}

void clearHostMappings() {
  std::lock_guard<std::mutex> lock(mappingMutex);
  mappings().clear();
}

// ---------------------------------------------------------------------------

std::string HttpEngine(const std::string& url, const std::string& method, const std::string& proxy,
                       const std::string& serverUser, const std::string& serverPassword, const std::string& userAgent,
                       std::string& headers, const std::string& body, int timeoutSeconds, std::string& responseHeaders,
                       std::string& cookies, bool followRedirects, size_t answerCap, ExchangeFate* fate) {
  ensureCurl();
  ExchangeFate ignored;
  ExchangeFate& outcome = fate ? *fate : ignored;
  outcome = ExchangeFate{ExchangeFate::NotSent, ExchangeFate::BadAddress};
  if (breaksRequestLine(url)) {
    responseHeaders.clear();
    return {};
  }
  long long totalMs = timeoutSeconds < 1 ? 15000 : static_cast<long long>(timeoutSeconds) * 1000;
  if (totalMs > 24LL * 3600 * 1000) totalMs = 24LL * 3600 * 1000;
  const int partMs = static_cast<int>(totalMs / 3);
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(totalMs);
  const std::string verb = method.empty() ? "GET" : upperAscii(method);
  const std::string agent = trimBlanks(userAgent).empty() ? kDefaultUserAgent : userAgent;

  // The caller's header text, completed with the default lines.
  if (!headers.empty() && headers.compare(headers.size() < 2 ? 0 : headers.size() - 2, 2, "\r\n") != 0)
    headers += "\r\n";
  if (!containsFold(headers, "Accept: ")) headers += std::string("Accept: ") + kEngineAccept + "\r\n";
  if (!containsFold(headers, "Referer: ")) headers += "Referer: " + url + "\r\n";
  if (!containsFold(headers, "Accept-Language: ")) headers += "Accept-Language: zh-cn\r\n";
  const std::vector<std::string> baseLines = splitLines(headers);

  const bool useStore = trimBlanks(cookies).empty();
  const bool isPost = verb == "POST";
  std::vector<std::string> postLines;
  if (isPost && !body.empty()) {
    std::string extra;
    if (!containsFold(headers, "Content-Type: ")) extra += "Content-Type: application/x-www-form-urlencoded\r\n";
    extra += "Content-Length: " + std::to_string(body.size()) + "\r\n";
    headers += extra;
    postLines = splitLines(extra);
  }

  std::vector<std::string> proxyParts;
  if (!withoutBlanks(proxy).empty()) proxyParts = splitAt(proxy, '\x01');
  const bool credentials = !withoutBlanks(serverUser).empty();
  const std::string firstOrigin = originOf(url);

  std::string current = url;
  std::string currentVerb = verb;
  bool sendBody = isPost;
  Answer answer;
  for (int hops = 0;; ++hops) {
    const bool secure = lowerAscii(current).find("https://") != std::string::npos;
    const std::string host = urlHost(current);
    const bool sameHost = originOf(current) == firstOrigin;
    Hop hop;
    hop.connectUrl = std::string(secure ? "https://" : "http://") + host + ":" + std::to_string(urlPort(current)) + "/";
    hop.target = urlPath(current);
    if (!proxyParts.empty() && !secure) hop.target = "http://" + urlHost(current, true) + hop.target;
    hop.method = currentVerb;
    hop.body = sendBody ? &body : nullptr;
    hop.lines = baseLines;
    if (!useStore) {
      if (sameHost) hop.lines.push_back("Cookie: " + cookies);
    } else {
      std::string stored = cookieHeaderFor(current);
      if (!stored.empty()) hop.lines.push_back("Cookie: " + stored);
    }
    if (sendBody) hop.lines.insert(hop.lines.end(), postLines.begin(), postLines.end());
    hop.agent = agent;
    hop.proxy = proxyParts;
    hop.credentials = credentials && sameHost;
    hop.user = serverUser;
    hop.password = withoutBlanks(serverPassword).empty() ? std::string() : serverPassword;
    hop.connectMs = partMs;
    hop.idleMs = partMs;
    hop.deadline = deadline;
    hop.cap = answerCap;

    answer = perform(hop);
    outcome = fateOf(answer, hops == 0);
    outcome.tooLarge = answer.tooLarge;
    if (answer.kind == Answer::NoAnswer || answer.kind == Answer::NotStarted) {
      responseHeaders.clear();
      return {};
    }
    if (useStore)
      for (const std::string& value : acceptedSetCookies(answer.headers, secure)) storeSetCookie(current, value);
    if (!followRedirects || answer.kind != Answer::Complete || !isRedirect(answer.status) || hops >= kMaxRedirects)
      break;
    std::vector<std::string> location = headerValues(answer.headers, "location");
    if (location.empty() || trimBlanks(location[0]).empty()) break;
    current = resolveLocation(current, secure, location[0]);
    if (answer.status == 303 || ((answer.status == 301 || answer.status == 302) && currentVerb == "POST")) {
      if (currentVerb != "HEAD") currentVerb = "GET";
      sendBody = false;
    }
  }

  responseHeaders = answer.headers;
  bool any = false;
  std::string fresh = freshCookies(answer.headers, lowerAscii(current).find("https://") != std::string::npos, &any);
  if (any)
    cookies = mergeCookies(cookies, fresh);
  else if (cookies.size() > kCookieTextCap)
    cookies = mergeCookies(cookies, {});
  if (answer.kind != Answer::Complete) return {};
  return std::move(answer.body);
}

// ---------------------------------------------------------------------------

namespace {

struct ObjectUrl {
  bool ok = false;
  bool secure = false;
  std::string host;  // with port when one was given
  std::string hostOnly;
  int port = 80;
  std::string target;
};

ObjectUrl parseObjectUrl(const std::string& url) {
  ObjectUrl u;
  size_t start;
  if (startsWithFold(url, "https://")) {
    u.secure = true;
    start = 8;
    u.port = 443;
  } else if (startsWithFold(url, "http://")) {
    start = 7;
  } else {
    return u;
  }
  size_t end = url.find_first_of("/?#", start);
  u.host = lowerAscii(url.substr(start, end == std::string::npos ? std::string::npos : end - start));
  u.hostOnly = u.host;
  size_t colon = u.host.rfind(':');
  if (colon != std::string::npos && u.host.find(']', colon) == std::string::npos) {
    std::string digits = u.host.substr(colon + 1);
    u.hostOnly = u.host.substr(0, colon);
    if (!digits.empty()) {
      if (digits.size() > 5 || digits.find_first_not_of("0123456789") != std::string::npos) return u;
      u.port = std::stoi(digits);
    }
  }
  if (u.hostOnly.empty()) return u;
  std::string rest = end == std::string::npos ? std::string() : url.substr(end);
  size_t hash = rest.find('#');
  if (hash != std::string::npos) rest.resize(hash);
  if (rest.empty() || rest[0] != '/') rest = "/" + rest;
  u.target = rest;
  u.ok = true;
  return u;
}

}  // namespace

std::string WinHttpEngine(const std::string& url, const std::string& method, const std::string& proxy,
                          const std::string& serverUser, const std::string& serverPassword, const std::string& headers,
                          const std::string& body, int timeoutSeconds, std::string& responseHeaders,
                          std::string* cookies, bool followRedirects, size_t answerCap, ExchangeFate* fate) {
  ensureCurl();
  ExchangeFate ignored;
  ExchangeFate& outcome = fate ? *fate : ignored;
  outcome = ExchangeFate{ExchangeFate::NotSent, ExchangeFate::BadAddress};
  std::string fullUrl = url;
  // A scheme in capitals is still a scheme: prefixing it would make a url
  // that can never be requested.
  if (!startsWithFold(fullUrl, "http://") && !startsWithFold(fullUrl, "https://")) fullUrl = "http://" + fullUrl;
  const std::string verb = method.empty() ? "GET" : upperAscii(method);
  long long totalMs = timeoutSeconds < 1 ? 15000 : static_cast<long long>(timeoutSeconds) * 1000;
  if (totalMs > 24LL * 3600 * 1000) totalMs = 24LL * 3600 * 1000;
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(totalMs);

  auto noLink = [&] {
    responseHeaders = "_nolink_";
    if (cookies) cookies->clear();
    return std::string();
  };
  ObjectUrl first = parseObjectUrl(fullUrl);
  if (!first.ok || breaksRequestLine(fullUrl)) return noLink();

  // Header lines: the caller's, then each default whose name the caller's
  // text does not hold (plain, case-sensitive search).
  std::vector<std::string> lines;
  const std::pair<const char*, std::string> defaults[] = {
      {"User-Agent", kDefaultUserAgent},
      {"Referer", fullUrl},
      {"Accept", kObjectAccept},
      {"Accept-Language", "zh-CN"},
      {"Content-Type", "application/x-www-form-urlencoded"},
  };
  for (const std::string& line : splitLines(headers)) {
    size_t colon = line.find(':');
    if (colon == std::string::npos || colon == 0) continue;  // no name: nothing to set
    lines.push_back(line);
  }
  for (const auto& [name, value] : defaults)
    if (headers.find(name) == std::string::npos) lines.push_back(std::string(name) + ": " + value);
  const std::string cookieText = cookies ? *cookies : std::string();

  std::vector<std::string> proxyParts;
  if (!proxy.empty() && !withoutBlanks(proxy).empty()) proxyParts = splitAt(proxy, '\x01');

  std::string current = fullUrl;
  std::string currentVerb = verb;
  bool sendBody = !body.empty();
  Answer answer;
  for (int hops = 0;; ++hops) {
    ObjectUrl u = parseObjectUrl(current);
    if (!u.ok) return noLink();
    const bool sameHost = u.hostOnly == first.hostOnly && u.port == first.port && u.secure == first.secure;
    Hop hop;
    hop.connectUrl = std::string(u.secure ? "https://" : "http://") + u.hostOnly + ":" + std::to_string(u.port) + "/";
    hop.target = u.target;
    if (!proxyParts.empty() && !u.secure) hop.target = "http://" + u.host + u.target;
    hop.method = currentVerb;
    hop.body = sendBody ? &body : nullptr;
    hop.lines = lines;
    if (!cookieText.empty() && sameHost) hop.lines.push_back("Cookie: " + cookieText);
    hop.proxy = proxyParts;
    hop.credentials = !serverUser.empty() && sameHost;
    hop.user = serverUser;
    hop.password = serverPassword;
    hop.connectMs = static_cast<int>(totalMs);
    hop.idleMs = static_cast<int>(totalMs);
    hop.deadline = deadline;
    hop.cap = answerCap;

    answer = perform(hop);
    outcome = fateOf(answer, hops == 0);
    outcome.tooLarge = answer.tooLarge;
    if (answer.kind == Answer::NotStarted) return noLink();
    if (answer.kind != Answer::Complete) {
      responseHeaders.clear();
      if (cookies) cookies->clear();
      return {};
    }
    if (!followRedirects || !isRedirect(answer.status) || hops >= kMaxRedirects) break;
    std::vector<std::string> location = headerValues(answer.headers, "location");
    if (location.empty() || trimBlanks(location[0]).empty()) break;
    current = resolveLocation(current, u.secure, location[0]);
    if (answer.status == 303 || ((answer.status == 301 || answer.status == 302) && currentVerb == "POST")) {
      if (currentVerb != "HEAD") currentVerb = "GET";
      sendBody = false;
    }
  }

  responseHeaders = answer.headers;
  if (cookies) {
    std::string fresh;
    for (const std::string& value : acceptedSetCookies(answer.headers, startsWithFold(current, "https://"))) {
      fresh += setCookieValue(value);
      fresh += ';';
    }
    *cookies = fresh.size() > kCookieTextCap ? mergeCookies({}, fresh) : fresh;
  }
  return std::move(answer.body);
}

}  // namespace inkpost
