// Signing in to a blog as its administrator, the way its own login page
// does: a fresh server session from login.asp, the captcha read for that
// session, the login form, and the two redirects that end on the admin page.
// Texts are GBK.
#pragma once

#include "net/http.h"

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

// How the automatic reads of one login went.
struct CaptchaReads {
  int fetches = 0;       // pictures fetched
  float confidence = 0;  // how sure the reader was of the last one (0..1)
};

// Reads the captcha of the session behind `cookies` with the start-up's
// captcha data (CaptchaDataHandle). Each fetch makes the new picture's code
// the one the blog expects, so a read the reader is not sure of (below the
// data's "sure" share) is not submitted while the data's read bound allows
// another fetch: a wrong code would cost a whole login round trip. Returns
// the first sure code of kCaptchaCodeLength characters; at the bound the
// last picture's code even when unsure. A fetch that brings no picture
// (nothing, or bytes of no image format, such as an error page) ends the
// reads with an empty code; *imageCame tells whether any fetch brought one.
std::string readLoginCaptcha(const std::string& site, const std::string& cookies, bool* imageCame = nullptr,
                             CaptchaReads* reads = nullptr);

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
  NoCaptcha,    // the login page answered, but the captcha address gave no picture:
                // the blog is unreachable there, or it does not run this engine
  TooLarge,     // an answer longer than a page can be (kPageAnswerCap): no blog's
};

// The notice for LoginOutcome::NoCaptcha (GBK), kNoCaptchaSeconds:
// "博客没有给出验证码图片：网址可能不对，或这个网站不是 Inkpost 博客。请检查网址后按F5重新登录！"
const std::string& noCaptchaNotice();
inline constexpr double kNoCaptchaSeconds = 2.6;

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

// One full login exchange against `site` (ending with "/", http:// or
// https://). The cookie text of the attempt is stored into sessionCookie
// whatever the outcome (untouched when the blog cannot be reached). When the
// automatic reads bring no code, or the blog refuses the code on the last
// attempt, `ask` is asked for one; a typed code goes into the form exactly as
// a read one. Nobody is asked when no picture came (NoCaptcha). `reached`
// (when not null) gets how the login page's exchange went: for Unreachable,
// notSentReason tells why (an untrusted certificate, say). `refusal` (when
// not null) gets the blog's own words for a refused login (refusalReason).
[[nodiscard]] LoginOutcome loginAttempt(const std::string& site, const std::string& account,
                                        const std::string& password, std::string& sessionCookie,
                                        const LoginAsk& ask = {}, ExchangeFate* reached = nullptr,
                                        std::string* refusal = nullptr);

// loginAttempt without asking anybody; true for LoginOutcome::Done.
[[nodiscard]] bool blogLogin(const std::string& site, const std::string& account, const std::string& password,
                             std::string& sessionCookie);

}  // namespace inkpost
