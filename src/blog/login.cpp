#include "blog/login.h"

#include "blog/captcha.h"
#include "blog/captcha_image.h"
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

namespace {

bool noAnswer(const std::string& responseHeaders) { return responseHeaders.empty() || responseHeaders == "_nolink_"; }

// Bytes of an image format (by their header), not an error page.
bool isPicture(const std::string& bytes) {
  int width = 0, height = 0;
  return captchaImageSize(bytes, width, height);
}

// The automatic reads of one session (see readLoginCaptcha); the last
// picture fetched goes to *lastImage (the one whose code the blog now expects).
std::string readCode(const std::string& site, const std::string& cookies, std::string* lastImage, bool* imageCame,
                     CaptchaReads* reads) {
  const std::int32_t handle = CaptchaDataHandle();
  const CaptchaSettings settings = captchaSettings(handle);
  const float sure = static_cast<float>(settings.sure) / 100.0f;
  if (imageCame) *imageCame = false;
  if (reads) *reads = {};
  std::string code;
  for (int read = 0; read < settings.reads; ++read) {
    std::string image = fetchCaptchaImage(handle, site + kCaptchaPage, cookies);
    // No picture: the server is gone or serves no captcha there; another
    // read would only wait again.
    if (!isPicture(image)) return {};
    if (imageCame) *imageCame = true;
    float confidence = 0;
    code = readCaptchaImage(handle, image, &confidence);
    if (code.size() != static_cast<size_t>(kCaptchaCodeLength)) code.clear();
    if (lastImage) *lastImage = std::move(image);
    if (reads) *reads = {read + 1, confidence};
    if (!code.empty() && confidence >= sure) break;
  }
  return code;
}

// 4. The form; 5 and 6. the two redirects, followed by hand. `cookie` is the
// login cookie text and takes in what the blog sets.
LoginOutcome submitLogin(const std::string& site, const std::string& account, const std::string& password,
                         const std::string& code, std::string& cookie, std::string* refusal) {
  std::string headers, responseHeaders;
  ExchangeFate fate;
  std::string body = HttpEngine(site + kVerifyPage, "POST", "", "", "", "", headers, loginForm(account, password, code),
                                0, responseHeaders, cookie, false, kPageAnswerCap, &fate);
  if (fate.tooLarge) return LoginOutcome::TooLarge;
  if (noAnswer(responseHeaders)) return LoginOutcome::Unreachable;
  const std::string verifyPage = fromUtf8(body);
  if (refusal) *refusal = refusalReason(verifyPage);
  for (int hop = 0; hop < 2; ++hop) {
    const std::string location = textBetween(responseHeaders, "Location: ", "\r\n");
    headers.clear();
    body = HttpEngine(site + location, "GET", "", "", "", "", headers, "", 0, responseHeaders, cookie, false,
                      kPageAnswerCap, &fate);
    if (fate.tooLarge) return LoginOutcome::TooLarge;
  }
  if (gbkFind(fromUtf8(body), adminTitleMarker(), 0, true) != std::string::npos) return LoginOutcome::Done;
  static const std::string kCodeWord = fromUtf8("验证码");
  if (gbkFind(refusalReason(verifyPage), kCodeWord, 0, true) != std::string::npos) return LoginOutcome::CodeRefused;
  return LoginOutcome::Refused;
}

// A person types at most this many codes for one attempt after the blog
// refused one.
constexpr int kTypedCodeRetries = 3;

}  // namespace

std::string readLoginCaptcha(const std::string& site, const std::string& cookies, bool* imageCame,
                             CaptchaReads* reads) {
  return readCode(site, cookies, nullptr, imageCame, reads);
}

std::string fetchLoginCaptcha(const std::string& site, const std::string& cookies) {
  return fetchCaptchaImage(CaptchaDataHandle(), site + kCaptchaPage, cookies);
}

std::string refusalReason(const std::string& gbkPage) {
  static const std::string kMarker = fromUtf8("错误原因:");
  return textBetween(gbkPage, kMarker, "<");
}

const std::string& noCaptchaNotice() {
  static const std::string text =
      fromUtf8("博客没有给出验证码图片：网址可能不对，或这个网站不是 Inkpost 博客。请检查网址后按F5重新登录！");
  return text;
}

LoginOutcome loginAttempt(const std::string& site, const std::string& account, const std::string& password,
                          std::string& sessionCookie, const LoginAsk& ask, ExchangeFate* reached,
                          std::string* refusal) {
  // 1. A fresh server session.
  std::string serverCookies;
  std::string responseHeaders;
  ExchangeFate fate;
  WinHttpEngine(site + kLoginPage, "GET", "", "", "", "", "", 0, responseHeaders, &serverCookies, true, kPageAnswerCap,
                &fate);
  if (reached) *reached = fate;
  if (fate.tooLarge) return LoginOutcome::TooLarge;
  if (noAnswer(responseHeaders)) return LoginOutcome::Unreachable;

  // 2. The captcha of that session.
  std::string image;
  bool imageCame = false;
  std::string code = readCode(site, serverCookies, &image, &imageCame, nullptr);
  const auto another = [&site, &serverCookies] { return fetchLoginCaptcha(site, serverCookies); };

  // 3. The login cookie. The attempt's cookie text stays whatever the outcome.
  std::string cookie = loginCookie(serverCookies, account, password);
  sessionCookie = cookie;
  // Without a picture there is nothing for a person to read either.
  if (!imageCame) return LoginOutcome::NoCaptcha;
  if (code.empty()) {
    if (!ask.ask) return LoginOutcome::NoCode;
    const std::optional<std::string> typed = ask.ask(image, another);
    if (!typed) return LoginOutcome::Cancelled;
    code = *typed;
  }

  LoginOutcome outcome = submitLogin(site, account, password, code, cookie, refusal);
  sessionCookie = cookie;
  // On the last attempt a refused code is not the end: the person reads the
  // next picture of the same session.
  for (int retry = 0; outcome == LoginOutcome::CodeRefused && ask.lastAttempt && ask.ask && retry < kTypedCodeRetries;
       ++retry) {
    const std::optional<std::string> typed = ask.ask(another(), another);
    if (!typed) return LoginOutcome::Cancelled;
    cookie = loginCookie(serverCookies, account, password);
    outcome = submitLogin(site, account, password, *typed, cookie, refusal);
    sessionCookie = cookie;
  }
  return outcome;
}

bool blogLogin(const std::string& site, const std::string& account, const std::string& password,
               std::string& sessionCookie) {
  return loginAttempt(site, account, password, sessionCookie) == LoginOutcome::Done;
}

}  // namespace inkpost
