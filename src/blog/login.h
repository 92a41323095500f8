// Signing in to a blog as its administrator, the way its own login page
// does: a fresh server session from login.asp, the captcha read for that
// session, the login form, and the two redirects that end on the admin page.
// Texts are GBK.
#pragma once

#include <string>

namespace inkpost {

// Relative pages of the blog the login visits.
inline constexpr const char* kLoginPage = "login.asp";
inline constexpr const char* kCaptchaPage = "function/c_validcode.asp?name=loginvalid";
inline constexpr const char* kVerifyPage = "cmd.asp?act=verify";
// A captcha code counts only with exactly this many characters.
inline constexpr int kCaptchaCodeLength = 5;

// The login form: account and password as UTF-8, every byte percent-encoded.
std::string loginForm(const std::string& account, const std::string& password, const std::string& code);

// The cookie text of the login request: the server's cookies, then
// " username=" + the account in C99 escape form with every "\" as "%25",
// then "; password=" + MD5 of the password's GBK bytes.
std::string loginCookie(const std::string& serverCookies, const std::string& account, const std::string& password);

// The admin page's title (GBK) that marks a successful login.
const std::string& adminTitleMarker();

// Reads the captcha of the session behind `cookies` with the start-up's
// captcha data (CaptchaDataHandle): up to the data's read bound, until a
// code of kCaptchaCodeLength characters comes back. Empty when the bound is
// reached or when a fetch brings no image at all.
std::string readLoginCaptcha(const std::string& site, const std::string& cookies);

// One full login exchange against `site` (ending with "/"). The cookie text
// of the attempt is stored into sessionCookie whatever the outcome; true when
// the final page is the admin page.
bool blogLogin(const std::string& site, const std::string& account, const std::string& password,
               std::string& sessionCookie);

}  // namespace inkpost
