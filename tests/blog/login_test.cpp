// The login exchange against the sandbox blog over 127.0.0.1, and the bytes
// of the login requests as a raw server receives them.
#include "blog/login.h"
#include "blog/captcha.h"
#include "blog/editpage.h"

#include "net/encoding.h"
#include "sandbox/captcha_image.h"
#include "sandbox/engine_captcha.h"
#include "support/captchadata.h"
#include "support/capture_server.h"
#include "support/sandbox.h"

#include <gtest/gtest.h>

#include <chrono>
#include <random>

namespace inkpost {
namespace {

using test::CaptureServer;
using test::Sandbox;

class Login : public ::testing::Test {
 protected:
  void SetUp() override {
    test::ensureCaptchaData();
    ASSERT_GT(CaptchaDataHandle(), 0);
  }
};

std::string g(const char* utf8) { return fromUtf8(utf8); }

size_t countOf(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t p = text.find(what); p != std::string::npos; p = text.find(what, p + 1)) ++n;
  return n;
}

TEST_F(Login, SucceedsAndLeavesTheSessionAndLoginCookie) {
  Sandbox sb;
  std::string cookie = "old=1;";
  ASSERT_TRUE(blogLogin(sb.siteUrl(), "admin", "secret", cookie));
  EXPECT_EQ(cookie.rfind("ASPSESSIONIDQSRBTCAB=", 0), 0u) << cookie;
  EXPECT_NE(cookie.find("; username=admin; password=" + md5Hex("secret")), std::string::npos) << cookie;
  EXPECT_EQ(cookie.find("old=1"), std::string::npos) << "each login starts a fresh session";
  // The session is good for the edit page.
  EditPage page = parseEditPage(fetchEditPage(sb.siteUrl(), cookie));
  EXPECT_FALSE(page.categories.empty());
  EXPECT_FALSE(page.tags.empty());
}

TEST_F(Login, LogsInAtTheFirstAttemptAgainstTheEnginesCaptcha) {
  // The sandbox serves the engine's own GIF captcha unless told otherwise.
  Sandbox sb;
  int firstTime = 0;
  for (int i = 0; i < 20; ++i) {
    std::string cookie;
    firstTime += blogLogin(sb.siteUrl(), "admin", "secret", cookie);
  }
  EXPECT_GE(firstTime, 19);
  EXPECT_TRUE(sb.waitForLog("GET /admin/admin.asp 200", static_cast<size_t>(firstTime))) << sb.requestLog();
  EXPECT_LE(countOf(sb.requestLog(), "c_validcode.asp"), 22u) << "a second picture only now and then";
}

TEST_F(Login, AClearPictureIsReadSureAtTheFirstFetch) {
  Sandbox clean({.extraArgs = {"--captcha-noise", "0"}});
  CaptchaReads reads;
  bool came = false;
  EXPECT_EQ(readLoginCaptcha(clean.siteUrl(), "", &came, &reads).size(), 5u);
  EXPECT_TRUE(came);
  EXPECT_EQ(reads.fetches, 1);
  EXPECT_GE(reads.confidence * 100, static_cast<float>(captchaSettings(CaptchaDataHandle()).sure));
}

TEST_F(Login, WorksUnderABasePath) {
  Sandbox sb({.base = "/blog/"});
  std::string cookie;
  EXPECT_TRUE(blogLogin(sb.siteUrl(), "admin", "secret", cookie));
}

TEST_F(Login, WrongPasswordFailsButStillStoresTheCookie) {
  Sandbox sb;
  std::string cookie;
  EXPECT_FALSE(blogLogin(sb.siteUrl(), "admin", "wrong", cookie));
  EXPECT_NE(cookie.find("; password=" + md5Hex("wrong")), std::string::npos);
}

TEST_F(Login, AMisreadCaptchaFailsOnlyThatAttempt) {
  Sandbox sb({.extraArgs = {"--captcha-misread", "1"}});
  std::string cookie;
  EXPECT_FALSE(blogLogin(sb.siteUrl(), "admin", "secret", cookie));
  EXPECT_TRUE(blogLogin(sb.siteUrl(), "admin", "secret", cookie));
}

TEST_F(Login, MissingOrAbsoluteLocationFails) {
  {
    Sandbox sb({.extraArgs = {"--verify-no-location"}});
    std::string cookie;
    EXPECT_FALSE(blogLogin(sb.siteUrl(), "admin", "secret", cookie));
    // Without a Location the two hops go to the site address itself.
    EXPECT_TRUE(sb.waitForLog("GET / 200", 2)) << sb.requestLog();
  }
  {
    Sandbox sb({.extraArgs = {"--absolute-location"}});
    std::string cookie;
    EXPECT_FALSE(blogLogin(sb.siteUrl(), "admin", "secret", cookie));
  }
}

TEST_F(Login, AServerThatStopsMidwayFailsPromptly) {
  Sandbox sb({.extraArgs = {"--stop-after", "2"}});  // login page and one captcha
  std::string cookie;
  auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(blogLogin(sb.siteUrl(), "admin", "secret", cookie));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  std::string again;
  EXPECT_FALSE(blogLogin(sb.siteUrl(), "admin", "secret", again));
}

TEST_F(Login, ChineseAccountTravelsEscapedInTheCookie) {
  Sandbox sb({.user = "张三", .password = "密码", .extraArgs = {"--strict-cookies"}});
  std::string cookie;
  ASSERT_TRUE(blogLogin(sb.siteUrl(), g("张三"), g("密码"), cookie));
  EXPECT_NE(cookie.find(" username=%25u5f20%25u4e09; password=" + md5Hex(g("密码"))), std::string::npos) << cookie;
}

TEST_F(Login, PasswordWithFormCharactersLogsIn) {
  Sandbox sb({.password = "a&b=c%d+e 中", .extraArgs = {"--strict-cookies"}});
  std::string cookie;
  EXPECT_TRUE(blogLogin(sb.siteUrl(), "admin", g("a&b=c%d+e 中"), cookie));
}

TEST_F(Login, UnreadableCaptchaStopsAtTheReadBound) {
  Sandbox sb({.extraArgs = {"--captcha", "blank"}});
  std::string cookie;
  EXPECT_FALSE(blogLogin(sb.siteUrl(), "admin", "secret", cookie));
  EXPECT_TRUE(sb.waitForLog("c_validcode.asp", static_cast<size_t>(captchaSettings(CaptchaDataHandle()).reads)))
      << sb.requestLog();
  EXPECT_EQ(countOf(sb.requestLog(), "act=verify"), 0u) << "no form is posted without a code";
}

TEST_F(Login, NothingListeningFails) {
  std::string cookie = "x=1;";
  EXPECT_FALSE(blogLogin("http://127.0.0.1:1/", "admin", "secret", cookie));
}

// ---- bytes on the wire

std::string headerLine(const std::string& request, const std::string& name) {
  for (const std::string& line : test::requestHeaderLines(request))
    if (line.rfind(name + ":", 0) == 0) return line;
  return {};
}

class LoginBytes : public Login {
 protected:
  void SetUp() override {
    Login::SetUp();
    Sandbox fixed({.extraArgs = {"--captcha", "fixed:40721", "--captcha-style", "bmp"}});
    captcha_ = fixed.get("function/c_validcode.asp?name=loginvalid");
    ASSERT_EQ(captcha_.substr(0, 2), "BM");
    const std::string adminPage = toUtf8(g("<html><head><title>Inkpost 后台管理</title></head></html>"));
    server_.setResponder([this, adminPage](const std::string& req) -> std::string {
      auto answer = [](const std::string& head, const std::string& body) {
        return head + "Content-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
      };
      if (req.rfind("GET /login.asp ", 0) == 0)
        return answer("HTTP/1.1 200 OK\r\nSet-Cookie: ASPSESSIONIDAB=XYZ; path=/\r\n", "login");
      if (req.rfind("GET /function/c_validcode.asp?name=loginvalid ", 0) == 0)
        return answer("HTTP/1.1 200 OK\r\nContent-Type: image/bmp\r\n", captcha_);
      if (req.rfind("POST /cmd.asp?act=verify ", 0) == 0)
        return answer("HTTP/1.1 302 Found\r\nLocation: cmd.asp?act=login\r\n", "");
      if (req.rfind("GET /cmd.asp?act=login ", 0) == 0)
        return answer("HTTP/1.1 302 Found\r\nLocation: admin/admin.asp\r\n", "");
      if (req.rfind("GET /admin/admin.asp ", 0) == 0) return answer("HTTP/1.1 200 OK\r\n", adminPage);
      return answer("HTTP/1.1 404 Not Found\r\n", "");
    });
  }
  CaptureServer server_;
  std::string captcha_;
};

TEST_F(LoginBytes, FiveRequestsInOrderWithTheFormAndCookieAsSent) {
  std::string cookie;
  ASSERT_TRUE(blogLogin(server_.url("/"), g("张三"), g("p&%中"), cookie));
  const auto reqs = server_.requests();
  ASSERT_EQ(reqs.size(), 5u);
  EXPECT_EQ(reqs[0].rfind("GET /login.asp HTTP/1.1\r\n", 0), 0u);
  EXPECT_EQ(reqs[1].rfind("GET /function/c_validcode.asp?name=loginvalid HTTP/1.1\r\n", 0), 0u);
  EXPECT_EQ(headerLine(reqs[1], "Cookie"), "Cookie: ASPSESSIONIDAB=XYZ;") << "the image belongs to the session";
  EXPECT_EQ(reqs[2].rfind("POST /cmd.asp?act=verify HTTP/1.1\r\n", 0), 0u);
  EXPECT_EQ(test::requestBody(reqs[2]),
            "edtUserName=%E5%BC%A0%E4%B8%89&edtPassWord=%70%26%25%E4%B8%AD&edtSaveDate=365&edtCheckOut=40721");
  const std::string loginCookieLine =
      "Cookie: ASPSESSIONIDAB=XYZ; username=%25u5f20%25u4e09; password=" + md5Hex(g("p&%中"));
  EXPECT_EQ(headerLine(reqs[2], "Cookie"), loginCookieLine);
  EXPECT_EQ(headerLine(reqs[2], "Content-Type"), "Content-Type: application/x-www-form-urlencoded");
  EXPECT_EQ(reqs[3].rfind("GET /cmd.asp?act=login HTTP/1.1\r\n", 0), 0u);
  EXPECT_EQ(headerLine(reqs[3], "Cookie"), loginCookieLine);
  EXPECT_EQ(reqs[4].rfind("GET /admin/admin.asp HTTP/1.1\r\n", 0), 0u);
  EXPECT_EQ(cookie, loginCookieLine.substr(8));
}

TEST_F(LoginBytes, AnUnsureReadFetchesAFreshPictureUpToTheBoundThenSubmitsItsGuess) {
  // An engine picture so noisy that the reader makes out five digits without
  // being sure of them, served for every fetch.
  const CaptchaSettings settings = captchaSettings(CaptchaDataHandle());
  std::mt19937 rng(4242);
  sandbox::EngineCaptchaStyle noisy;
  noisy.noiseMin = noisy.noiseMax = 40;
  std::string guess;
  for (int i = 0; i < 500 && guess.empty(); ++i) {
    captcha_ = sandbox::renderEngineCaptcha(sandbox::randomCaptchaCode(rng), noisy, rng);
    float confidence = 1;
    const std::string read = readCaptchaImage(CaptchaDataHandle(), captcha_, &confidence);
    if (read.size() == 5 && confidence * 100 < static_cast<float>(settings.sure)) guess = read;
  }
  ASSERT_FALSE(guess.empty());
  std::string cookie;
  ASSERT_TRUE(blogLogin(server_.url("/"), "admin", "pw", cookie));  // this server takes any code
  const auto reqs = server_.requests();
  ASSERT_EQ(reqs.size(), static_cast<size_t>(4 + settings.reads));
  for (size_t i = 1; i <= static_cast<size_t>(settings.reads); ++i)
    EXPECT_EQ(reqs[i].rfind("GET /function/c_validcode.asp?name=loginvalid ", 0), 0u) << i;
  EXPECT_NE(test::requestBody(reqs[1 + static_cast<size_t>(settings.reads)]).find("&edtCheckOut=" + guess),
            std::string::npos);
}

TEST_F(LoginBytes, PlainAccountIsWrittenUnchanged) {
  std::string cookie;
  ASSERT_TRUE(blogLogin(server_.url("/"), "Admin_1", "pw", cookie));
  EXPECT_EQ(cookie, "ASPSESSIONIDAB=XYZ; username=Admin_1; password=" + md5Hex("pw"));
}

}  // namespace
}  // namespace inkpost
