#include "crosspost/passport.h"

#include "net/formcode.h"

#include "crosspost/hosts.h"
#include "net/cookiestore.h"
#include "net/http.h"

namespace inkpost {
namespace {

void removeAll(std::string& text, std::string_view what) {
  for (size_t p = text.find(what); p != std::string::npos; p = text.find(what, p)) text.erase(p, what.size());
}

// The reply as text: up to its first zero byte.
std::string_view upToZero(std::string_view bytes) {
  size_t zero = bytes.find('\0');
  return zero == std::string_view::npos ? bytes : bytes.substr(0, zero);
}

}  // namespace

std::string NormaliseCookieHost(std::string_view host) {
  std::string text(host);
  removeAll(text, "https://");
  removeAll(text, "http://");
  if (size_t slash = text.find('/'); slash != std::string::npos) text.resize(slash);
  if (size_t colon = text.find(':'); colon != std::string::npos) text.resize(colon);
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

std::string ReadHostCookies(std::string_view host) {
  std::string text = cookieHeaderFor("http://" + NormaliseCookieHost(host) + "/");
  // The string and its terminating zero byte must fit the buffer; a longer
  // one is not cut but refused as a whole.
  if (text.size() + 1 > kCookieBufferSize) return {};
  return text;
}

std::string passportLoginUrl(const std::string& passportHost, const std::string& scheme) {
  return scheme + "://" + passportHost + "/?login";
}

std::string passportLoginHeaders(const std::string& passportHost) {
  return "Content-Type: application/x-www-form-urlencoded\r\nReferer: " + passportLoginUrl(passportHost) +
         "&u=http%3A%2F%2F" + passportHost + "%2F%3Fcenter%26tpl%3Dik%26aid%3D7%26default_tab%3D4";
}

std::string passportLoginBody(const std::string& passportHost, std::string_view userName, std::string_view password) {
  std::string body = "tpl_ok=&next_target=&tpl=&skip_ok=&aid=&need_pay=&need_coin=&pay_method=&u=http%3A%2F%2F";
  body += passportHost;
  body +=
      "%2F&return_method=get&more_param=center%26tpl%3Dik%26aid%3D7%26default_tab%3D4&return_type=&psp_tt=0"
      "&password=";
  // The password is encoded like the user name, so "&", "=", "+" and "%"
  // in it reach the passport unchanged.
  body += formEncode(password);
  body += "&safeflg=0&isphone=false&username=";
  body += formEncode(userName);
  body += "&verifycode=&mem_pass=on";
  return body;
}

bool isPassportSuccess(std::string_view reply, const std::string& passportHost) {
  const std::string fragment =
      "window.location.replace(\"http://" + passportHost + "/loginPage.html?type=2&u=\" + encodeURIComponent(url)";
  return upToZero(reply).find(fragment) != std::string_view::npos;
}

bool BaiduPassportLogin(std::string_view userName, std::string_view password) {
  const SpaceSettings& settings = spaceSettings();
  const std::string& host = settings.passportHost;
  std::string headers = passportLoginHeaders(host);
  std::string responseHeaders;
  std::string cookies;  // empty: the process-wide store sends and keeps the cookies
  std::string reply = HttpEngine(passportLoginUrl(host, settings.passportLoginScheme), "post", "", "", "", "", headers,
                                 passportLoginBody(host, userName, password), 0, responseHeaders, cookies);
  return isPassportSuccess(reply, host);
}

void ResetPassportSession() { (void)BaiduPassportLogin(kDummyPassportUser, kDummyPassportPassword); }

}  // namespace inkpost
