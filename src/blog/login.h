// Signing in to a blog as its administrator, the way its own login page
// does: a fresh server session from login.asp, the captcha read for that
// session, the login form, and the two redirects that end on the admin page.
// Texts are GBK.
#pragma once

#include <functional>
#include <optional>
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
// reached or when a fetch brings no image at all (then *imageCame is false).
std::string readLoginCaptcha(const std::string& site, const std::string& cookies, bool* imageCame = nullptr);

// One more captcha picture of the session behind `cookies`, fetched exactly as
// a read fetches it (the server binds a new code to the session). The bytes
// as served; empty when no picture came.
std::string fetchLoginCaptcha(const std::string& site, const std::string& cookies);

// How one login attempt ended.
enum class LoginOutcome {
  Done,         // the admin page came back
  Refused,      // the blog answered, but not with the admin page
  CodeRefused,  // the blog said the captcha code was wrong
  NoCode,       // no five-character code: the reads failed and nobody typed one
  Cancelled,    // the person asked for the code chose 取消
  Unreachable,  // no answer at all: refused connection, unknown name, silence
};

// Asks a person for the code of the session's current captcha picture.
// `image` holds the picture's bytes; `another` fetches a new picture in the
// same session (and makes its code the one the blog expects). Returns the
// typed code, or nothing for 取消.
using ManualCodeAsk =
    std::function<std::optional<std::string>(const std::string& image, const std::function<std::string()>& another)>;

// When an attempt may fall back on a typed code.
struct LoginAsk {
  ManualCodeAsk ask;         // unset: never ask
  bool lastAttempt = false;  // a refused code is asked for once more
};

// The reason on the blog's refusal page (the text after "错误原因:"), GBK;
// empty when the page gives none.
std::string refusalReason(const std::string& gbkPage);

// One full login exchange against `site` (ending with "/"). The cookie text
// of the attempt is stored into sessionCookie whatever the outcome (untouched
// when the blog cannot be reached). When the automatic reads bring no code,
// or the blog refuses the code on the last attempt, `ask` is asked for one;
// a typed code goes into the form exactly as a read one.
LoginOutcome loginAttempt(const std::string& site, const std::string& account, const std::string& password,
                          std::string& sessionCookie, const LoginAsk& ask = {});

// loginAttempt without asking anybody; true for LoginOutcome::Done.
bool blogLogin(const std::string& site, const std::string& account, const std::string& password,
               std::string& sessionCookie);

}  // namespace inkpost
