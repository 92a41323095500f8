#include "blog/login.h"

#include "blog/captcha.h"
#include "net/encoding.h"
#include "net/gbktext.h"
#include "net/http.h"

#include <string>

namespace inkpost {

std::string loginForm(const std::string& account, const std::string& password, const std::string& code) {
  // The password is encoded like the account: sent raw, an "&", "=", "%" or
  // "+" in it would break the form and the login could never succeed.
  return "edtUserName=" + percentEncode(toUtf8(account)) + "&edtPassWord=" + percentEncode(toUtf8(password)) +
         "&edtSaveDate=365&edtCheckOut=" + code;
}

std::string loginCookie(const std::string& serverCookies, const std::string& account, const std::string& password) {
  std::string escaped;
  for (char c : c99Escape(account)) {
    if (c == '\\')
      escaped += "%25";
    else
      escaped += c;
  }
  return serverCookies + " username=" + escaped + "; password=" + md5Hex(password);
}

const std::string& adminTitleMarker() {
  static const std::string marker = fromUtf8("<title>Inkpost 后台管理</title>");
  return marker;
}

std::string readLoginCaptcha(const std::string& site, const std::string& cookies) {
  const std::int32_t handle = CaptchaDataHandle();
  const int bound = captchaSettings(handle).reads;
  for (int read = 0; read < bound; ++read) {
    char buffer[33];
    int n = GetVcodeFromURL(handle, site + kCaptchaPage, buffer, sizeof buffer, cookies);
    if (n == kCaptchaCodeLength) return std::string(buffer, static_cast<size_t>(n));
    if (n == -2) break;  // no image at all: the server is gone, another read would only wait again
  }
  return {};
}

bool blogLogin(const std::string& site, const std::string& account, const std::string& password,
               std::string& sessionCookie) {
  // 1. A fresh server session.
  std::string serverCookies;
  std::string responseHeaders;
  WinHttpEngine(site + kLoginPage, "GET", "", "", "", "", "", 0, responseHeaders, &serverCookies, true);

  // 2. The captcha of that session.
  const std::string code = readLoginCaptcha(site, serverCookies);

  // 3. The login cookie.
  std::string cookie = loginCookie(serverCookies, account, password);
  if (code.empty()) {
    sessionCookie = cookie;
    return false;
  }

  // 4. The form; 5 and 6. the two redirects, followed by hand.
  std::string headers;
  std::string body = HttpEngine(site + kVerifyPage, "POST", "", "", "", "", headers, loginForm(account, password, code),
                                0, responseHeaders, cookie, false);
  for (int hop = 0; hop < 2; ++hop) {
    const std::string location = textBetween(responseHeaders, "Location: ", "\r\n");
    headers.clear();
    body = HttpEngine(site + location, "GET", "", "", "", "", headers, "", 0, responseHeaders, cookie, false);
  }

  // The attempt's cookie text stays whatever the outcome; the admin page's
  // title tells whether the login went through.
  sessionCookie = cookie;
  return gbkFind(fromUtf8(body), adminTitleMarker(), 0, true) != std::string::npos;
}

}  // namespace inkpost
