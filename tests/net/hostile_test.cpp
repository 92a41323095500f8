// Both request routines against servers that never end, trickle, redirect
// slowly, send oversized answers or grow their cookies: each exchange ends
// within its budget, within a bounded amount of memory, with the failure
// result.
#include <gtest/gtest.h>

#include <chrono>

#include "net/cookiestore.h"
#include "net/http.h"
#include "support/capture_server.h"
#include "support/hostile_server.h"

using namespace inkpost;
using inkpost::test::CaptureServer;
using inkpost::test::HostileServer;
using inkpost::test::okResponse;

namespace {

using Clock = std::chrono::steady_clock;
constexpr long long kMemoryBound = 100ll << 20;

double secondsSince(Clock::time_point t0) { return std::chrono::duration<double>(Clock::now() - t0).count(); }

struct Outcome {
  std::string body, responseHeaders, cookies;
  double seconds = 0;
  long long extraPeak = 0;
};

// One HttpEngine exchange, timed and with its peak memory measured.
Outcome engine(const std::string& url, int budget, std::size_t cap = kPageAnswerCap,
               const std::string& cookies = "sid=1;") {
  Outcome o;
  o.cookies = cookies;
  test::resetPeakResident();
  const long long before = test::peakResidentBytes();
  std::string headers;
  const auto t0 = Clock::now();
  o.body = HttpEngine(url, "GET", "", "", "", "", headers, "", budget, o.responseHeaders, o.cookies, true, cap);
  o.seconds = secondsSince(t0);
  o.extraPeak = test::peakResidentBytes() - before;
  return o;
}

Outcome object(const std::string& url, int budget, std::size_t cap = kPageAnswerCap) {
  Outcome o;
  o.cookies = "sid=1;";
  test::resetPeakResident();
  const long long before = test::peakResidentBytes();
  const auto t0 = Clock::now();
  o.body = WinHttpEngine(url, "GET", "", "", "", "", "", budget, o.responseHeaders, &o.cookies, true, cap);
  o.seconds = secondsSince(t0);
  o.extraPeak = test::peakResidentBytes() - before;
  return o;
}

// A 3 s budget spent by a server that never goes quiet: both routines end
// by it with the failure result.
void endsWithTheBudget(const std::string& url) {
  Outcome page = engine(url, 3);
  EXPECT_EQ(page.body, "");
  EXPECT_GT(page.seconds, 2.5);
  EXPECT_LT(page.seconds, 4.5);
  EXPECT_LT(page.extraPeak, kMemoryBound);
  Outcome obj = object(url, 3);
  EXPECT_EQ(obj.body, "");
  EXPECT_EQ(obj.responseHeaders, "");
  EXPECT_GT(obj.seconds, 2.5);
  EXPECT_LT(obj.seconds, 4.5);
}

void endlessBody(HostileServer::Connection& c) {
  if (!c.send("HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nConnection: close\r\n\r\n")) return;
  while (c.send(test::fillerBlock())) {
  }
}

TEST(HostileServer, EndlessBodyStopsAtTheCap) {
  HostileServer server(endlessBody);
  Outcome page = engine(server.url("/login.asp"), 60);
  EXPECT_EQ(page.body, "");
  EXPECT_LT(page.seconds, 30);
  EXPECT_LT(page.extraPeak, kMemoryBound);
  EXPECT_NE(page.responseHeaders.find("200 OK"), std::string::npos);  // an answer, cut off

  Outcome captcha = object(server.url("/function/c_validcode.asp"), 60, kCaptchaAnswerCap);
  EXPECT_EQ(captcha.body, "");
  EXPECT_EQ(captcha.responseHeaders, "");
  EXPECT_EQ(captcha.cookies, "");
  EXPECT_LT(captcha.seconds, 10);
  EXPECT_LT(captcha.extraPeak, kMemoryBound);
}

TEST(HostileServer, AnnouncedOversizeAnswersFailAtOnceAndAnswersWithinTheCapPass) {
  const std::string big(kCaptchaAnswerCap + 1, 'g');
  const std::string fits(kCaptchaAnswerCap - 1000, 'g');
  HostileServer server([&](HostileServer::Connection& c) {
    const std::string& body = c.request.find("/big") != std::string::npos ? big : fits;
    c.send(okResponse(body));
  });
  Outcome captcha = object(server.url("/big"), 30, kCaptchaAnswerCap);
  EXPECT_EQ(captcha.body, "");
  EXPECT_LT(captcha.seconds, 5);
  EXPECT_EQ(object(server.url("/fits"), 30, kCaptchaAnswerCap).body.size(), fits.size());

  Outcome post = engine(server.url("/fits"), 30, kPostAnswerCap);  // 2 MB is over the post cap
  EXPECT_EQ(post.body, "");
  EXPECT_EQ(engine(server.url("/fits"), 30).body.size(), fits.size());
}

TEST(HostileServer, TrickledHeadersEndWithTheBudget) {
  HostileServer server([](HostileServer::Connection& c) {
    if (!c.send("HTTP/1.1 200 OK\r\n")) return;
    for (int i = 0; c.pause(100) && c.send("X-Line-" + std::to_string(i) + ": more\r\n"); ++i) {
    }
  });
  endsWithTheBudget(server.url("/"));
}

TEST(HostileServer, TrickledBodyEndsWithTheBudget) {
  HostileServer server([](HostileServer::Connection& c) {
    if (!c.send("HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n")) return;
    while (c.pause(100) && c.send("x")) {
    }
  });
  endsWithTheBudget(server.url("/"));
}

TEST(HostileServer, SlowRedirectChainEndsWithTheBudgetOfTheWholeExchange) {
  HostileServer server([](HostileServer::Connection& c) {
    // Each hop answers well inside the idle time, but there is always another.
    if (!c.pause(600)) return;
    c.send("HTTP/1.1 302 Found\r\nLocation: /hop" + std::to_string(c.index + 1) +
           "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
  });
  Outcome page = engine(server.url("/hop0"), 3);
  EXPECT_EQ(page.body, "");
  EXPECT_LT(page.seconds, 4);
  EXPECT_LE(server.connections(), 6);
  Outcome obj = object(server.url("/hop0"), 3);
  EXPECT_EQ(obj.body, "");
  EXPECT_EQ(obj.responseHeaders, "");
  EXPECT_LT(obj.seconds, 4);
}

TEST(HostileServer, CookieThatGrowsOnEveryAnswerStaysCapped) {
  HostileServer server([](HostileServer::Connection& c) {
    c.send("HTTP/1.1 200 OK\r\nSet-Cookie: ASPSESSIONIDQQ=s" + std::to_string(c.index) +
           "; path=/\r\nSet-Cookie: grow" + std::to_string(c.index) + "=" + std::string(3000, 'c') +
           "\r\nContent-Length: 2\r\nConnection: close\r\n\r\nok");
  });
  std::string cookies = "ASPSESSIONIDQQ=s; username=me; password=0cc175b9c0f1b6a831c399e269772661";
  double slowest = 0;
  for (int i = 0; i < 40; ++i) {
    Outcome o = engine(server.url("/admin/edit_fckeditor.asp"), 10, kPageAnswerCap, cookies);
    ASSERT_EQ(o.body, "ok");
    cookies = o.cookies;
    slowest = std::max(slowest, o.seconds);
    ASSERT_LT(cookies.size(), kCookieTextCap);
  }
  EXPECT_NE(cookies.find("ASPSESSIONIDQQ=s39;"), std::string::npos);
  EXPECT_NE(cookies.find("username=me"), std::string::npos);
  EXPECT_NE(cookies.find("password=0cc175b9c0f1b6a831c399e269772661"), std::string::npos);
  EXPECT_NE(cookies.find("grow39="), std::string::npos);  // the newest stay
  EXPECT_EQ(cookies.find("grow0="), std::string::npos);   // the oldest went first
  EXPECT_LT(slowest, 1.0);
}

// ---- Redirects to another port keep the caller's cookies and credentials ----

TEST(RedirectOrigin, AnotherPortOfTheSameHostGetsNoCookiesOrCredentials) {
  CaptureServer other(okResponse("other"));
  CaptureServer server("HTTP/1.1 302 Found\r\nLocation: http://127.0.0.1:" + std::to_string(other.port()) +
                       "/landing\r\nContent-Length: 0\r\n\r\n");
  std::string headers, responseHeaders, cookies = "session=secret;";
  EXPECT_EQ(HttpEngine(server.url("/go"), "GET", "", "user", "pw", "", headers, "", 5, responseHeaders, cookies),
            "other");
  EXPECT_NE(server.lastRequest().find("secret"), std::string::npos);  // the first origin has them
  EXPECT_NE(server.lastRequest().find("Authorization: Basic"), std::string::npos);
  EXPECT_EQ(other.lastRequest().find("secret"), std::string::npos);
  EXPECT_EQ(other.lastRequest().find("Authorization"), std::string::npos);

  std::string objectCookies = "session=secret;";
  EXPECT_EQ(WinHttpEngine(server.url("/go"), "GET", "", "user", "pw", "", "", 5, responseHeaders, &objectCookies),
            "other");
  EXPECT_EQ(other.lastRequest().find("secret"), std::string::npos);
  EXPECT_EQ(other.lastRequest().find("Authorization"), std::string::npos);
}

TEST(RedirectOrigin, SameOriginRedirectKeepsThem) {
  CaptureServer server;
  server.setResponder([&](const std::string& request) {
    if (request.rfind("GET /go ", 0) == 0)
      return std::string("HTTP/1.1 302 Found\r\nLocation: /landing\r\nContent-Length: 0\r\n\r\n");
    return okResponse("landed");
  });
  std::string headers, responseHeaders, cookies = "session=secret;";
  EXPECT_EQ(HttpEngine(server.url("/go"), "GET", "", "", "", "", headers, "", 5, responseHeaders, cookies), "landed");
  EXPECT_NE(server.lastRequest().find("Cookie: session=secret;"), std::string::npos);
}

}  // namespace
