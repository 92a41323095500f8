// The two request routines every server exchange passes through, and the
// URL and cookie helpers they share. All texts are GBK byte strings sent and
// received as they are; no character-set conversion happens here.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace inkpost {

inline constexpr const char* kDefaultUserAgent = "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)";

// The largest answer body each kind of exchange accepts. A longer answer (or
// one that announces a longer Content-Length) ends the exchange with the
// failure result, so a broken or hostile server cannot fill memory.
inline constexpr std::size_t kPageAnswerCap = 16u << 20;    // pages: login, edit page, redirects
inline constexpr std::size_t kCaptchaAnswerCap = 2u << 20;  // captcha images
inline constexpr std::size_t kPostAnswerCap = 1u << 20;     // answers to an article post or an upload
inline constexpr std::size_t kImageAnswerCap = 64u << 20;   // image downloads
// The header block of one answer is never longer than this.
inline constexpr std::size_t kHeaderBlockCap = 256u << 10;
// The cookie text a routine keeps after merging an answer's cookies.
inline constexpr std::size_t kCookieTextCap = 16u << 10;

// How one exchange went, for a caller that must know whether its request can
// have reached the server (an article post: "certainly not stored" or
// "maybe stored"). Telling it changes nothing that goes on the wire.
struct ExchangeFate {
  enum Kind {
    Answered,  // a whole answer came (whatever it says)
    NotSent,   // nothing of the request left this machine: see `cause`
    NoAnswer,  // the request went out (wholly or partly) and no answer came
    CutShort,  // an answer began but did not arrive whole
  };
  // Why nothing was sent.
  enum Cause {
    None,
    UnknownHost,     // the name does not resolve
    Refused,         // the connection was refused or the network is unreachable
    ConnectTimeout,  // no connection (or no secure connection) within the time
    Certificate,     // the server's certificate is not trusted or not for this name
    SecureFailed,    // the secure connection could not be set up
    BadAddress,      // the address cannot be requested at all
    OtherFailure,    // any other failure before the request went out
  };
  // Unknown until an exchange tells: as if it may have gone out.
  Kind kind = NoAnswer;
  Cause cause = None;
  // The exchange failed because an answer was longer than its cap (or its
  // header block longer than kHeaderBlockCap): the server answered, but too
  // much to take.
  bool tooLarge = false;
  bool sent() const { return kind != NotSent; }
};

// Why nothing was sent, in a few words (GBK), e.g. "连接被拒绝"; empty when
// the request went out.
std::string notSentReason(const ExchangeFate& fate);
// The cause behind a libcurl result code (a CURLcode) of a transfer that
// failed before its request went out (OtherFailure for any other code).
ExchangeFate::Cause curlNotSentCause(int curlCode);

// Secure (https) exchanges verify the server's certificate and its name
// against the system's authorities. For tests: the authorities of this PEM
// file instead (empty: the system's again). Also used by fetchImageFrom.
void setTrustedCertificates(const std::string& pemFile);
std::string trustedCertificates();

// Time: `timeoutSeconds` (15 when below 1) is one budget for the whole
// exchange, every redirect hop included; when it is spent the exchange ends
// as a failure however steadily bytes are still trickling in.

// One request, one connection: sends, reads the whole answer, closes.
// `headers` is extended in place with the default lines; `responseHeaders`
// receives the raw header block of the final answer (status line first, CRLF
// line ends), empty on failure; `cookies` is sent as the Cookie line and
// receives the cookies the answer sets, merged in. An empty `cookies` uses
// the process-wide cookie store instead. Returns the body, empty on failure.
// No answer at all (unreachable, refused, silent): empty body, empty
// responseHeaders, cookies unchanged. An answer whose body did not arrive
// whole (time budget spent, stall, connection lost, shorter than announced):
// empty body, but responseHeaders and the cookie merge are still done.
// A Set-Cookie with the Secure attribute is taken only from an https answer.
// `fate` (when not null) tells how the exchange went; NotSent only when
// nothing at all went out (a later redirect hop that fails counts as
// NoAnswer: the first request did reach the server).
std::string HttpEngine(const std::string& url, const std::string& method, const std::string& proxy,
                       const std::string& serverUser, const std::string& serverPassword, const std::string& userAgent,
                       std::string& headers, const std::string& body, int timeoutSeconds, std::string& responseHeaders,
                       std::string& cookies, bool followRedirects = true, std::size_t answerCap = kPageAnswerCap,
                       ExchangeFate* fate = nullptr);

// The request-object routine used for the login page and uploads: five
// default headers, the body sent with every method, the full time budget on
// every phase. `cookies` (when not null) is sent as the Cookie header and
// replaced by the cookies of this one answer (an empty text sends no Cookie
// line). `responseHeaders` is "_nolink_" (and the cookies empty) when the
// transfer cannot be set up: no handle, or a url without a usable host or
// port. When the transfer fails (host unreachable, connection refused, time
// budget spent on connect or while waiting, answer cut short) the body,
// `responseHeaders` and the cookies are all empty. Secure cookies and `fate`
// as for HttpEngine ("_nolink_" is NotSent, BadAddress).
std::string WinHttpEngine(const std::string& url, const std::string& method, const std::string& proxy,
                          const std::string& serverUser, const std::string& serverPassword, const std::string& headers,
                          const std::string& body, int timeoutSeconds, std::string& responseHeaders,
                          std::string* cookies, bool followRedirects = true, std::size_t answerCap = kPageAnswerCap,
                          ExchangeFate* fate = nullptr);

std::string urlHost(const std::string& url, bool keepPort = false);
std::string urlPath(const std::string& url);
int urlPort(const std::string& url);

// The name=value part of one Set-Cookie value: the text before the first
// ";", or the whole value (trimmed) when it carries no attribute.
std::string setCookieValue(const std::string& line);
// Merges fresh "name=value;" entries into a stored cookie text. A fresh entry
// replaces the stored entry of the same cookie name (ASCII case ignored,
// whole names only) or is appended with ";"; later entries of a name already
// present are dropped. Linear in the two lengths. A result longer than
// kCookieTextCap loses whole entries, oldest (leftmost) first, those of the
// blog session's own names (isSessionCookieName) last, until it fits.
std::string mergeCookies(const std::string& stored, const std::string& fresh);
// The names that make up a blog session: the server's ASPSESSIONID* and the
// login cookie's username and password (ASCII case ignored).
bool isSessionCookieName(std::string_view name);

// Requests (both routines) to `host` connect to 127.0.0.1:port instead; the
// Host header and everything else of the request stay unchanged. For tests
// and the local sandbox.
void setHostMapping(const std::string& host, int port);
void clearHostMappings();

}  // namespace inkpost
