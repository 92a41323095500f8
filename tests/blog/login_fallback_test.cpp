// One login attempt and what it tells apart: an unreachable blog, a captcha
// nobody could read, a code typed by a person (and a fresh picture in the
// same session), a refused code on the last attempt, a refused password.
#include "blog/captcha.h"
#include "blog/captcha_image.h"
#include "blog/login.h"

#include "net/encoding.h"
#include "support/captchacode.h"
#include "support/captchadata.h"
#include "support/capture_server.h"
#include "support/sandbox.h"

#include <gtest/gtest.h>

namespace inkpost {
namespace {

using test::Sandbox;

using test::countOf;
using test::lastCaptchaCookie;

std::string expectedCode(const Sandbox& sb) { return test::expectedCaptchaCode(sb); }

class LoginAttempt : public ::testing::Test {
 protected:
  void SetUp() override {
    test::ensureCaptchaData();
    ASSERT_GT(CaptchaDataHandle(), 0);
  }
};

TEST_F(LoginAttempt, AnUnreachableBlogIsToldApartAndKeepsTheCookie) {
  std::string cookie = "kept=1;";
  int asked = 0;
  LoginAsk ask{[&](const std::string&, const std::function<std::string()>&) {
                 ++asked;
                 return std::optional<std::string>("12345");
               },
               true};
  EXPECT_EQ(loginAttempt("http://127.0.0.1:1/", "admin", "secret", cookie, ask), LoginOutcome::Unreachable);
  EXPECT_EQ(cookie, "kept=1;");
  EXPECT_EQ(asked, 0);
  EXPECT_EQ(loginAttempt("http://no-such-host.invalid/", "admin", "secret", cookie), LoginOutcome::Unreachable);
}

// The login page answers, the captcha address gives an error page: not a
// blog of this engine (or not reachable there). Nobody is asked, nothing posted.
TEST_F(LoginAttempt, NoPictureAtTheCaptchaAddressIsToldApart) {
  test::CaptureServer other;
  other.setResponder([](const std::string& request) {
    if (request.find("login.asp") != std::string::npos) return test::okResponse("<html>", "Set-Cookie: s=1\r\n");
    return std::string("HTTP/1.1 404 Not Found\r\nContent-Length: 9\r\nConnection: close\r\n\r\nnot found");
  });
  int asked = 0;
  LoginAsk ask{[&](const std::string&, const std::function<std::string()>&) {
                 ++asked;
                 return std::optional<std::string>("12345");
               },
               true};
  std::string cookie;
  EXPECT_EQ(loginAttempt(other.url("/"), "admin", "secret", cookie, ask), LoginOutcome::NoCaptcha);
  EXPECT_EQ(asked, 0);
  EXPECT_EQ(other.requests().size(), 2u) << "one captcha fetch, no login form";
  EXPECT_EQ(noCaptchaNotice(),
            fromUtf8("博客没有给出验证码图片：网址可能不对，或这个网站不是 Inkpost 博客。请检查网址后按F5重新登录！"));
}

TEST_F(LoginAttempt, UnreadPicturesGiveNoCodeWithoutAPerson) {
  Sandbox sb({.extraArgs = {"--captcha", "blank"}});
  std::string cookie;
  EXPECT_EQ(loginAttempt(sb.siteUrl(), "admin", "secret", cookie), LoginOutcome::NoCode);
  EXPECT_EQ(countOf(sb.requestLog(), "act=verify"), 0u);
}

TEST_F(LoginAttempt, ATypedCodeGoesIntoTheFormOfTheSameSession) {
  Sandbox sb({.extraArgs = {"--captcha", "blank"}});
  std::string cookie;
  int asked = 0;
  std::string shown;
  LoginAsk ask{[&](const std::string& image, const std::function<std::string()>&) {
                 ++asked;
                 shown = image;
                 return std::optional<std::string>(expectedCode(sb));
               },
               false};
  EXPECT_EQ(loginAttempt(sb.siteUrl(), "admin", "secret", cookie, ask), LoginOutcome::Done);
  EXPECT_EQ(asked, 1);
  // The person saw the picture the blog had bound the code to: a decodable
  // engine GIF, fetched by the automatic reads (no extra fetch).
  RgbImage img;
  EXPECT_TRUE(decodeCaptchaImage(shown, img));
  EXPECT_EQ(img.width, 60);
  const size_t reads = static_cast<size_t>(captchaSettings(CaptchaDataHandle()).reads);
  EXPECT_EQ(countOf(sb.requestLog(), "c_validcode.asp"), reads);
  EXPECT_EQ(countOf(sb.requestLog(), "POST /cmd.asp?act=verify 302"), 1u) << sb.requestLog();
}

TEST_F(LoginAttempt, AnotherPictureBelongsToTheSameSessionAndItsCodeCounts) {
  Sandbox sb({.extraArgs = {"--captcha", "blank"}});
  std::string cookie;
  LoginAsk ask{[&](const std::string&, const std::function<std::string()>& another) {
                 const std::string before = lastCaptchaCookie(sb);
                 const std::string oldCode = expectedCode(sb);
                 EXPECT_FALSE(another().empty());
                 EXPECT_EQ(lastCaptchaCookie(sb), before) << "same server session";
                 const std::string newCode = expectedCode(sb);
                 EXPECT_EQ(newCode.size(), 5u);
                 (void)oldCode;
                 return std::optional<std::string>(newCode);
               },
               false};
  EXPECT_EQ(loginAttempt(sb.siteUrl(), "admin", "secret", cookie, ask), LoginOutcome::Done);
}

TEST_F(LoginAttempt, CancelEndsTheAttemptWithoutAForm) {
  Sandbox sb({.extraArgs = {"--captcha", "blank"}});
  std::string cookie;
  LoginAsk ask{[](const std::string&, const std::function<std::string()>&) { return std::optional<std::string>(); },
               true};
  EXPECT_EQ(loginAttempt(sb.siteUrl(), "admin", "secret", cookie, ask), LoginOutcome::Cancelled);
  EXPECT_EQ(countOf(sb.requestLog(), "act=verify"), 0u);
}

TEST_F(LoginAttempt, ARefusedCodeIsTypedOnlyOnTheLastAttempt) {
  // The first pictures show wrong digits: the reader reads them "right" and
  // the blog refuses the code.
  Sandbox sb({.extraArgs = {"--captcha-misread", "2"}});
  int asked = 0;
  LoginAsk ask{[&](const std::string& image, const std::function<std::string()>&) {
                 ++asked;
                 EXPECT_FALSE(image.empty());
                 return std::optional<std::string>(expectedCode(sb));
               },
               false};
  std::string cookie;
  EXPECT_EQ(loginAttempt(sb.siteUrl(), "admin", "secret", cookie, ask), LoginOutcome::CodeRefused);
  EXPECT_EQ(asked, 0);
  ask.lastAttempt = true;
  EXPECT_EQ(loginAttempt(sb.siteUrl(), "admin", "secret", cookie, ask), LoginOutcome::Done);
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(countOf(sb.requestLog(), "act=verify"), 3u);
}

TEST_F(LoginAttempt, AWrongPasswordIsNotAskedAbout) {
  Sandbox sb;
  int asked = 0;
  LoginAsk ask{[&](const std::string&, const std::function<std::string()>&) {
                 ++asked;
                 return std::optional<std::string>("00000");
               },
               true};
  std::string cookie;
  LoginOutcome outcome = loginAttempt(sb.siteUrl(), "admin", "wrong", cookie, ask);
  // A rare misread costs one typed code; the password is refused either way.
  EXPECT_EQ(outcome, asked ? LoginOutcome::CodeRefused : LoginOutcome::Refused);
  EXPECT_LE(asked, 3);
  EXPECT_EQ(refusalReason(fromUtf8("<p>错误原因:用户名或密码错误</p>")), fromUtf8("用户名或密码错误"));
  EXPECT_EQ(refusalReason("<p>nothing</p>"), "");
}

}  // namespace
}  // namespace inkpost
