// The request routines against a raw capture server on 127.0.0.1.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <tuple>

#include "net/cookiestore.h"
#include "net/http.h"
#include "support/capture_server.h"

using namespace inkpost;
using inkpost::test::CaptureServer;
using inkpost::test::closedPort;
using inkpost::test::okResponse;
using inkpost::test::requestBody;
using inkpost::test::requestHeaderLines;
using Lines = std::vector<std::string>;

namespace {

const std::string kAccept =
    "Accept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, application/x-shockwave-flash, "
    "application/vnd.ms-excel, application/vnd.ms-powerpoint, application/msword, */*";
const std::string kUa = std::string("User-Agent: ") + kDefaultUserAgent;

struct Call {
  std::string headers, responseHeaders, cookies;
  std::string body;
  std::string run(const std::string& url, const std::string& method = "GET", const std::string& data = "",
                  int timeout = 2, bool follow = true, const std::string& proxy = "", const std::string& user = "",
                  const std::string& pass = "") {
    body = HttpEngine(url, method, proxy, user, pass, "", headers, data, timeout, responseHeaders, cookies, follow);
    return body;
  }
};

double secondsSince(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

class HttpEngineTest : public ::testing::Test {
 protected:
  void SetUp() override { clearCookieStore(); }
  void TearDown() override {
    clearCookieStore();
    clearHostMappings();
  }
};

}  // namespace

TEST_F(HttpEngineTest, PlainGetSendsDefaultsInOrder) {
  CaptureServer server(okResponse("hello", "Set-Cookie: s=1; path=/\r\n"));
  Call c;
  c.cookies = "a=1;";
  std::string url = server.url("/a/b?x=1");
  EXPECT_EQ(c.run(url), "hello");
  Lines lines = requestHeaderLines(server.lastRequest());
  Lines want = {"GET /a/b?x=1 HTTP/1.1",
                "Host: 127.0.0.1:" + std::to_string(server.port()),
                kUa,
                kAccept,
                "Referer: " + url,
                "Accept-Language: zh-cn",
                "Cookie: a=1;"};
  EXPECT_EQ(lines, want);
  EXPECT_EQ(requestBody(server.lastRequest()), "");
  EXPECT_EQ(c.headers, kAccept + "\r\nReferer: " + url + "\r\nAccept-Language: zh-cn\r\n");
  EXPECT_EQ(c.responseHeaders,
            "HTTP/1.1 200 OK\r\nSet-Cookie: s=1; path=/\r\nContent-Length: 5\r\nConnection: close\r\n\r\n");
  EXPECT_EQ(c.cookies, "a=1;s=1;");
}

TEST_F(HttpEngineTest, CallerHeadersKeepTheirPlaceAndSuppressDefaults) {
  CaptureServer server;
  Call c;
  c.headers = "X-One: 1\r\naccept: text/html\r\nReferer: x";
  c.cookies = " k=v; ";
  c.run(server.url("/"));
  Lines lines = requestHeaderLines(server.lastRequest());
  Lines want = {"GET / HTTP/1.1",
                "Host: 127.0.0.1:" + std::to_string(server.port()),
                kUa,
                "X-One: 1",
                "accept: text/html",
                "Referer: x",
                "Accept-Language: zh-cn",
                "Cookie:  k=v; "};
  EXPECT_EQ(lines, want);
  EXPECT_EQ(c.headers, "X-One: 1\r\naccept: text/html\r\nReferer: x\r\nAccept-Language: zh-cn\r\n");
}

TEST_F(HttpEngineTest, PostSendsBodyWithTypeAndLengthLast) {
  CaptureServer server;
  Call c;
  c.cookies = "sid=9;";
  std::string body(3 * 1024 * 1024, 'q');  // large enough that libcurl would ask for 100-continue
  body += "&title=%E4%B8%AD";
  c.run(server.url("/cmd.asp?act=verify"), "post", body);
  std::string raw = server.lastRequest();
  Lines lines = requestHeaderLines(raw);
  ASSERT_GE(lines.size(), 9u);
  EXPECT_EQ(lines[0], "POST /cmd.asp?act=verify HTTP/1.1");
  EXPECT_EQ(lines[6], "Cookie: sid=9;");
  EXPECT_EQ(lines[7], "Content-Type: application/x-www-form-urlencoded");
  EXPECT_EQ(lines[8], "Content-Length: " + std::to_string(body.size()));
  EXPECT_EQ(lines.size(), 9u);
  EXPECT_EQ(requestBody(raw), body);
  for (const auto& l : lines) EXPECT_NE(l.rfind("Expect", 0), 0u) << l;
  EXPECT_NE(c.headers.find("Content-Length: " + std::to_string(body.size()) + "\r\n"), std::string::npos);
}

TEST_F(HttpEngineTest, PostKeepsCallerContentTypeAndGetNeverSendsBody) {
  CaptureServer server;
  Call c;
  c.headers = "Content-Type: multipart/form-data; boundary=xx\r\n";
  c.run(server.url("/up"), "POST", "--xx--");
  Lines lines = requestHeaderLines(server.lastRequest());
  EXPECT_EQ(lines[3], "Content-Type: multipart/form-data; boundary=xx");
  EXPECT_EQ(lines.back(), "Content-Length: 6");
  EXPECT_EQ(
      std::count_if(lines.begin(), lines.end(), [](const std::string& l) { return l.rfind("Content-Type", 0) == 0; }),
      1);

  Call g;
  g.run(server.url("/g"), "GET", "ignored=1");
  std::string raw = server.lastRequest();
  EXPECT_EQ(requestBody(raw), "");
  EXPECT_EQ(raw.find("Content-Length"), std::string::npos);
  EXPECT_EQ(raw.find("Content-Type"), std::string::npos);

  Call e;
  e.run(server.url("/e"), "");
  EXPECT_EQ(requestHeaderLines(server.lastRequest())[0], "GET /e HTTP/1.1");
}

TEST_F(HttpEngineTest, RawRequestTargetIsSentByteForByte) {
  CaptureServer server;
  Call c;
  std::string path = "/a b/\xD6\xD0.asp?q=\x95\x5C&r=%41#frag";
  c.run(server.url(path));
  EXPECT_EQ(requestHeaderLines(server.lastRequest())[0], "GET " + path + " HTTP/1.1");
}

TEST_F(HttpEngineTest, ServerCredentials) {
  CaptureServer server;
  Call c;
  c.run(server.url("/"), "GET", "", 2, true, "", "admin", "s3cret");
  Lines lines = requestHeaderLines(server.lastRequest());
  EXPECT_NE(std::find(lines.begin(), lines.end(), "Authorization: Basic YWRtaW46czNjcmV0"), lines.end());
  Call blank;
  blank.run(server.url("/"), "GET", "", 2, true, "", "   ", "x");
  EXPECT_EQ(server.lastRequest().find("Authorization"), std::string::npos);
}

TEST_F(HttpEngineTest, ProxyWithCredentials) {
  CaptureServer proxy(okResponse("via proxy"));
  Call c;
  c.cookies = "a=1;";
  std::string proxyText = "127.0.0.1:" + std::to_string(proxy.port()) + "\x01puser\x01ppass";
  EXPECT_EQ(c.run("http://blog.invalid/x y?z=1", "GET", "", 2, true, proxyText), "via proxy");
  Lines lines = requestHeaderLines(proxy.lastRequest());
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines[0], "GET http://blog.invalid/x y?z=1 HTTP/1.1");
  EXPECT_EQ(lines[1], "Host: blog.invalid");
  EXPECT_NE(std::find(lines.begin(), lines.end(), "Proxy-Authorization: Basic cHVzZXI6cHBhc3M="), lines.end());
  EXPECT_NE(std::find(lines.begin(), lines.end(), "Cookie: a=1;"), lines.end());

  // Only a user name: an empty password.
  Call d;
  d.run("http://blog.invalid/", "GET", "", 2, true, "127.0.0.1:" + std::to_string(proxy.port()) + "\x01u");
  Lines l2 = requestHeaderLines(proxy.lastRequest());
  EXPECT_NE(std::find(l2.begin(), l2.end(), "Proxy-Authorization: Basic dTo="), l2.end());
}

TEST_F(HttpEngineTest, SecureRequestsTunnelThroughTheProxy) {
  CaptureServer proxy("HTTP/1.1 403 Forbidden\r\nContent-Length: 0\r\n\r\n");
  Call c;
  c.cookies = "a=1;";
  EXPECT_EQ(
      c.run("https://blog.invalid/x", "GET", "", 1, true, "127.0.0.1:" + std::to_string(proxy.port()) + "\x01pu\x01pp"),
      "");
  Lines lines = requestHeaderLines(proxy.lastRequest());
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines[0], "CONNECT blog.invalid:443 HTTP/1.1");
  EXPECT_NE(std::find(lines.begin(), lines.end(), "Proxy-Authorization: Basic cHU6cHA="), lines.end());
  // The tunnel was refused: nothing of the request itself went to the proxy.
  EXPECT_EQ(proxy.lastRequest().find("a=1"), std::string::npos);
}

TEST_F(HttpEngineTest, HttpsAnywhereInTheUrlMeansSecure) {
  CaptureServer server;
  Call c;
  c.cookies = "a=1;";
  // A plain server on the other end: the TLS handshake it receives fails.
  EXPECT_EQ(c.run(server.url("/?back=https://x/"), "GET", "", 1), "");
  ASSERT_TRUE(server.waitForRequests(1, 2000));
  EXPECT_EQ(static_cast<unsigned char>(server.lastRequest()[0]), 0x16);  // a TLS record
  EXPECT_EQ(c.responseHeaders, "");
}

TEST_F(HttpEngineTest, RedirectsFollowedOrLeftForTheCaller) {
  CaptureServer server;
  server.setResponder([](const std::string& req) {
    if (req.rfind("POST /login", 0) == 0)
      return std::string(
          "HTTP/1.1 302 Found\r\nLocation: /step2\r\nSet-Cookie: early=1; path=/\r\nContent-Length: 0\r\n\r\n");
    if (req.rfind("GET /step2", 0) == 0)
      return std::string("HTTP/1.1 301 Moved\r\nLocation: final?x=1\r\nContent-Length: 0\r\n\r\n");
    return okResponse("landed", "Set-Cookie: late=2\r\n");
  });
  Call c;
  c.cookies = "sid=1;";
  EXPECT_EQ(c.run(server.url("/login"), "POST", "u=a"), "landed");
  auto reqs = server.requests();
  ASSERT_EQ(reqs.size(), 3u);
  EXPECT_EQ(requestHeaderLines(reqs[1])[0], "GET /step2 HTTP/1.1");
  EXPECT_EQ(requestHeaderLines(reqs[2])[0], "GET /final?x=1 HTTP/1.1");
  EXPECT_EQ(requestBody(reqs[1]), "");
  EXPECT_EQ(reqs[2].find("Content-Length"), std::string::npos);
  EXPECT_NE(reqs[2].find("Cookie: sid=1;\r\n"), std::string::npos);
  EXPECT_EQ(c.responseHeaders.rfind("HTTP/1.1 200 OK\r\n", 0), 0u);
  // With a cookie text of its own, only the final answer's cookies are merged.
  EXPECT_EQ(c.cookies, "sid=1;late=2;");

  Call off;
  off.cookies = "sid=1;";
  EXPECT_EQ(off.run(server.url("/login"), "POST", "u=a", 2, false), "");
  EXPECT_EQ(off.responseHeaders.rfind("HTTP/1.1 302 Found\r\n", 0), 0u);
  EXPECT_NE(off.responseHeaders.find("Location: /step2\r\n"), std::string::npos);
  EXPECT_EQ(off.cookies, "sid=1;early=1;");
  EXPECT_EQ(server.requests().size(), 4u);
}

TEST_F(HttpEngineTest, EmptyCookieTextUsesTheSharedStoreAcrossRedirects) {
  CaptureServer server;
  server.setResponder([](const std::string& req) {
    if (req.rfind("GET /a ", 0) == 0)
      return std::string(
          "HTTP/1.1 302 Found\r\nLocation: /b\r\nSet-Cookie: hop=1; path=/\r\nContent-Length: 0\r\n\r\n");
    return okResponse("b", "Set-Cookie: fin=2; path=/\r\n");
  });
  setHostMapping("blog.test", server.port());
  Call c;
  EXPECT_EQ(c.run("http://blog.test/a"), "b");
  auto reqs = server.requests();
  ASSERT_EQ(reqs.size(), 2u);
  EXPECT_EQ(requestHeaderLines(reqs[0])[1], "Host: blog.test");
  EXPECT_EQ(reqs[0].find("Cookie:"), std::string::npos);
  EXPECT_NE(reqs[1].find("\r\nCookie: hop=1\r\n"), std::string::npos);
  EXPECT_EQ(cookieHeaderFor("http://blog.test/"), "hop=1; fin=2");
  EXPECT_EQ(c.cookies, "fin=2;");

  // A later call without cookie text sends what the store holds.
  Call again;
  again.run("http://blog.test/c");
  EXPECT_NE(server.lastRequest().find("\r\nCookie: hop=1; fin=2\r\n"), std::string::npos);

  // A caller's own cookie text switches the store off both ways.
  Call own;
  own.cookies = "mine=1;";
  server.setResponse(okResponse("x", "Set-Cookie: other=3\r\n"));
  own.run("http://blog.test/d");
  EXPECT_NE(server.lastRequest().find("\r\nCookie: mine=1;\r\n"), std::string::npos);
  EXPECT_EQ(server.lastRequest().find("hop=1"), std::string::npos);
  EXPECT_EQ(cookieHeaderFor("http://blog.test/"), "hop=1; fin=2");
  EXPECT_EQ(own.cookies, "mine=1;other=3;");
}

TEST_F(HttpEngineTest, CookieTextIsNotCarriedToAnotherHost) {
  CaptureServer other(okResponse("other"));
  setHostMapping("elsewhere.test", other.port());
  CaptureServer server("HTTP/1.1 302 Found\r\nLocation: http://elsewhere.test/landing\r\nContent-Length: 0\r\n\r\n");
  Call c;
  c.cookies = "session=secret;";
  EXPECT_EQ(c.run(server.url("/go"), "GET", "", 2, true, "", "user", "pw"), "other");
  std::string landed = other.lastRequest();
  EXPECT_EQ(requestHeaderLines(landed)[0], "GET /landing HTTP/1.1");
  EXPECT_EQ(requestHeaderLines(landed)[1], "Host: elsewhere.test");
  EXPECT_EQ(landed.find("secret"), std::string::npos);
  EXPECT_EQ(landed.find("Authorization"), std::string::npos);
}

TEST_F(HttpEngineTest, HeadAndUnusableUrl) {
  CaptureServer server;
  Call c;
  c.cookies = "a=1;";
  EXPECT_EQ(c.run(server.url("/h"), "head"), "");
  EXPECT_EQ(requestHeaderLines(server.lastRequest())[0], "HEAD /h HTTP/1.1");
  EXPECT_EQ(c.responseHeaders.rfind("HTTP/1.1 200 OK\r\n", 0), 0u);

  Call bad;
  bad.cookies = "a=1;";
  bad.responseHeaders = "old";
  EXPECT_EQ(bad.run(""), "");
  EXPECT_EQ(bad.responseHeaders, "");
  EXPECT_EQ(bad.cookies, "a=1;");

  // A line break in the url never reaches the wire.
  size_t before = server.requests().size();
  EXPECT_EQ(bad.run(server.url("/x HTTP/1.1\r\nX-Injected: 1\r\n\r\n")), "");
  std::string rh;
  EXPECT_EQ(WinHttpEngine(server.url("/x\r\nX-Injected: 1"), "GET", "", "", "", "", "", 1, rh, nullptr), "");
  EXPECT_EQ(rh, "_nolink_");
  EXPECT_EQ(server.requests().size(), before);
}

TEST_F(HttpEngineTest, ConcurrentCallsShareTheStoreSafely) {
  CaptureServer server;
  server.setResponder([](const std::string& req) {
    std::string path = requestHeaderLines(req)[0];
    std::string name = path.substr(5, path.find(' ', 5) - 5);  // "GET /<name> HTTP/1.1"
    return okResponse("ok", "Set-Cookie: " + name + "=1; path=/\r\n");
  });
  setHostMapping("shared.test", server.port());
  std::vector<std::thread> threads;
  std::atomic<int> good{0};
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t, &good] {
      for (int i = 0; i < 10; ++i) {
        Call c;
        if (c.run("http://shared.test/t" + std::to_string(t) + "x" + std::to_string(i)) == "ok") ++good;
      }
    });
  }
  for (auto& th : threads) th.join();
  EXPECT_EQ(good.load(), 40);
  EXPECT_EQ(storedCookies().size(), 40u);
}

TEST_F(HttpEngineTest, StallBeforeAnswerIsBoundedAndEmpty) {
  CaptureServer server(okResponse("late"));
  server.setStallMs(5000);
  Call c;
  c.cookies = "a=1;";
  auto t0 = std::chrono::steady_clock::now();
  EXPECT_EQ(c.run(server.url("/"), "GET", "", 1), "");
  EXPECT_LT(secondsSince(t0), 2.5);  // 1 s budget, slack for a loaded machine
  EXPECT_EQ(c.responseHeaders, "");
  EXPECT_EQ(c.cookies, "a=1;");
}

TEST_F(HttpEngineTest, StallInsideBodyGivesEmptyBodyButKeepsHeadersAndCookies) {
  std::string head = "HTTP/1.1 200 OK\r\nSet-Cookie: ID=5; path=/\r\nContent-Length: 100\r\n\r\n";
  CaptureServer server(head + std::string(100, 'b'));
  server.setMidStall(head.size() + 10, 5000);
  Call c;
  c.cookies = "ID=1;";
  auto t0 = std::chrono::steady_clock::now();
  EXPECT_EQ(c.run(server.url("/"), "GET", "", 1), "");
  EXPECT_LT(secondsSince(t0), 2.5);  // 1 s budget, slack for a loaded machine
  EXPECT_EQ(c.responseHeaders, head);
  EXPECT_EQ(c.cookies, "ID=5;");
}

TEST_F(HttpEngineTest, SlowBodyOverTheWholeBudgetIsDiscarded) {
  // Bytes keep coming, so no single wait is too long, but the whole body
  // takes longer than the budget.
  std::string head = "HTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r\n";
  CaptureServer server(head + "abcd");
  server.setMidStall(head.size() + 1, 250);
  Call c;
  c.cookies = "a=1;";
  // Budget 1 s: idle limit 333 ms > 250 ms stall, body limit 1 s > 250 ms: complete.
  EXPECT_EQ(c.run(server.url("/"), "GET", "", 1), "abcd");
}

TEST_F(HttpEngineTest, BodyTricklingPastTheBudgetIsDiscarded) {
  // Never silent for long, but the whole body takes longer than 1 s.
  std::string head = "HTTP/1.1 200 OK\r\nSet-Cookie: t=1\r\nContent-Length: 40\r\n\r\n";
  CaptureServer server(head + std::string(40, 'z'));
  server.setMidStall(head.size(), 1);  // the header block arrives at once
  server.setTrickle(2, 100);
  Call c;
  c.cookies = "a=1;";
  auto t0 = std::chrono::steady_clock::now();
  EXPECT_EQ(c.run(server.url("/"), "GET", "", 1), "");
  double took = secondsSince(t0);
  EXPECT_GT(took, 0.9);
  EXPECT_LT(took, 2.5);
  EXPECT_EQ(c.responseHeaders, head);
  EXPECT_EQ(c.cookies, "a=1;t=1;");
}

TEST_F(HttpEngineTest, EarlyCloseAndUnreachableHost) {
  CaptureServer server("HTTP/1.1 200 OK\r\nContent-Length: 1000\r\nSet-Cookie: t=1\r\n\r\nonly this");
  Call c;
  c.cookies = "a=1;";
  EXPECT_EQ(c.run(server.url("/")), "");
  EXPECT_EQ(c.responseHeaders.rfind("HTTP/1.1 200 OK\r\n", 0), 0u);
  EXPECT_EQ(c.cookies, "a=1;t=1;");

  // Closed without a length: the body ends with the connection and is whole.
  server.setResponse("HTTP/1.0 200 OK\r\n\r\nto the end");
  EXPECT_EQ(c.run(server.url("/")), "to the end");

  Call u;
  u.cookies = "keep=1;";
  u.responseHeaders = "old";
  EXPECT_EQ(u.run("http://127.0.0.1:" + std::to_string(closedPort()) + "/"), "");
  EXPECT_EQ(u.responseHeaders, "");
  EXPECT_EQ(u.cookies, "keep=1;");
}

TEST_F(HttpEngineTest, LargeBodyAndLargeHeaderBlock) {
  std::string big(6 * 1024 * 1024 + 7, '\0');
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 31 + i / 4096);
  CaptureServer server(okResponse(big));
  Call c;
  c.cookies = "a=1;";
  std::string got = c.run(server.url("/big"), "GET", "", 5);
  EXPECT_EQ(got.size(), big.size());
  EXPECT_TRUE(got == big);

  std::string head = "HTTP/1.1 200 OK\r\n";
  for (int i = 0; i < 80; ++i) head += "X-Padding-" + std::to_string(i) + ": " + std::string(60, 'p') + "\r\n";
  head += "Set-Cookie: ID=5; path=/\r\nSet-Cookie: b=2\r\nContent-Length: 2\r\n\r\n";
  ASSERT_GT(head.size(), 4096u);
  server.setResponse(head + "ok");
  Call h;
  h.cookies = "SESSIONID=abc;ID=1;";
  EXPECT_EQ(h.run(server.url("/")), "ok");
  EXPECT_EQ(h.responseHeaders, head);
  EXPECT_EQ(h.cookies, "SESSIONID=abc;ID=5;b=2;");
}

TEST_F(HttpEngineTest, HeaderBlockWithBareLineFeedsComesBackWithCrlf) {
  CaptureServer server("HTTP/1.1 200 OK\nSet-Cookie: a=2; path=/\nContent-Length: 1\n\nz");
  Call c;
  c.cookies = "a=1;";
  EXPECT_EQ(c.run(server.url("/")), "z");
  EXPECT_EQ(c.responseHeaders, "HTTP/1.1 200 OK\r\nSet-Cookie: a=2; path=/\r\nContent-Length: 1\r\n\r\n");
  EXPECT_EQ(c.cookies, "a=2;");
}

// ---------------------------------------------------------------------------

namespace {

const std::string kObjAccept =
    "Accept: image/jpeg, application/x-ms-application, image/gif, application/xaml+xml, image/pjpeg, "
    "application/x-ms-xbap, application/x-shockwave-flash, application/vnd.ms-excel, "
    "application/vnd.ms-powerpoint, application/msword, */*";

}  // namespace

class WinHttpEngineTest : public HttpEngineTest {};

TEST_F(WinHttpEngineTest, FiveDefaultHeadersAndCookiesOfThisAnswer) {
  CaptureServer server(okResponse("page", "Set-Cookie: a=1; path=/\r\nSet-Cookie: b=2; HttpOnly\r\n"));
  setHostMapping("example.org", server.port());
  std::string rh;
  std::string cookies = "old=1;";
  EXPECT_EQ(WinHttpEngine("example.org/login.asp", "", "", "", "", "", "", 0, rh, &cookies), "page");
  Lines lines = requestHeaderLines(server.lastRequest());
  Lines want = {"GET /login.asp HTTP/1.1",
                "Host: example.org",
                kUa,
                "Referer: http://example.org/login.asp",
                kObjAccept,
                "Accept-Language: zh-CN",
                "Content-Type: application/x-www-form-urlencoded",
                "Cookie: old=1;"};
  EXPECT_EQ(lines, want);
  EXPECT_EQ(cookies, "a=1;b=2;");
  EXPECT_EQ(rh.rfind("HTTP/1.1 200 OK\r\n", 0), 0u);
  EXPECT_NE(rh.find("Set-Cookie: b=2; HttpOnly\r\n"), std::string::npos);

  // An empty cookie text sends no Cookie line; a scheme in capitals is kept.
  std::string none;
  WinHttpEngine("HTTP://example.org/x", "get", "", "", "", "", "", 0, rh, &none);
  EXPECT_EQ(requestHeaderLines(server.lastRequest())[0], "GET /x HTTP/1.1");
  EXPECT_EQ(server.lastRequest().find("Cookie"), std::string::npos);
  EXPECT_EQ(none, "a=1;b=2;");
}

TEST_F(WinHttpEngineTest, CallerHeadersAndBodyWithAnyMethod) {
  CaptureServer server;
  std::string rh;
  std::string headers = "Accept-Language: en\r\nContent-Type: multipart/form-data; boundary=--b";
  std::string body("--b\r\n\0\xFF\r\n--b--", 13);
  std::string url = server.url("/cmd.asp?act=FileUpload&reload=1&filename=\xD6\xD0.jpg");
  WinHttpEngine(url, "post", "", "", "", headers, body, 2, rh, nullptr);
  std::string raw = server.lastRequest();
  Lines lines = requestHeaderLines(raw);
  ASSERT_GE(lines.size(), 6u);
  EXPECT_EQ(lines[0], "POST /cmd.asp?act=FileUpload&reload=1&filename=\xD6\xD0.jpg HTTP/1.1");
  EXPECT_EQ(lines[2], "Accept-Language: en");
  EXPECT_EQ(lines[3], "Content-Type: multipart/form-data; boundary=--b");
  EXPECT_EQ(lines[4], kUa);
  EXPECT_EQ(lines[5], "Referer: " + url);
  EXPECT_EQ(raw.find("\r\nAccept:"), std::string::npos);  // "Accept-Language" counts as "Accept"
  EXPECT_EQ(raw.find("Expect"), std::string::npos);
  EXPECT_EQ(requestBody(raw), body);

  WinHttpEngine(server.url("/q"), "GET", "", "", "", "", "k=v", 2, rh, nullptr);
  EXPECT_EQ(requestHeaderLines(server.lastRequest())[0], "GET /q HTTP/1.1");
  EXPECT_EQ(requestBody(server.lastRequest()), "k=v");
}

TEST_F(WinHttpEngineTest, ProxyCredentialsAndRedirectSwitch) {
  CaptureServer proxy("HTTP/1.1 302 Found\r\nLocation: http://elsewhere.invalid/\r\nContent-Length: 0\r\n\r\n");
  std::string rh;
  std::string cookies;
  WinHttpEngine("http://site.invalid/a", "GET", "127.0.0.1:" + std::to_string(proxy.port()) + "\x01pu\x01pp", "su",
                "sp", "", "", 2, rh, &cookies, false);
  Lines lines = requestHeaderLines(proxy.lastRequest());
  EXPECT_EQ(lines[0], "GET http://site.invalid/a HTTP/1.1");
  EXPECT_NE(std::find(lines.begin(), lines.end(), "Proxy-Authorization: Basic cHU6cHA="), lines.end());
  EXPECT_NE(std::find(lines.begin(), lines.end(), "Authorization: Basic c3U6c3A="), lines.end());
  EXPECT_NE(rh.find("Location: http://elsewhere.invalid/"), std::string::npos);
  EXPECT_EQ(proxy.requests().size(), 1u);
}

TEST_F(WinHttpEngineTest, FollowsRedirectsAndKeepsOnlyTheFinalCookies) {
  CaptureServer server;
  server.setResponder([](const std::string& req) {
    if (req.rfind("POST /up", 0) == 0)
      return std::string("HTTP/1.1 302 Found\r\nLocation: /done\r\nSet-Cookie: mid=1\r\nContent-Length: 0\r\n\r\n");
    return okResponse("done", "Set-Cookie: fin=2; path=/\r\n");
  });
  std::string rh;
  std::string cookies = "s=1;";
  EXPECT_EQ(WinHttpEngine(server.url("/up"), "POST", "", "", "", "", "x=1", 2, rh, &cookies), "done");
  auto reqs = server.requests();
  ASSERT_EQ(reqs.size(), 2u);
  EXPECT_EQ(requestHeaderLines(reqs[1])[0], "GET /done HTTP/1.1");
  EXPECT_EQ(requestBody(reqs[1]), "");
  EXPECT_EQ(cookies, "fin=2;");
  EXPECT_EQ(rh.rfind("HTTP/1.1 200 OK\r\n", 0), 0u);
}

TEST_F(WinHttpEngineTest, FailuresHaveFixedOutputs) {
  std::string rh = "x";
  std::string cookies = "old=1;";
  auto t0 = std::chrono::steady_clock::now();
  EXPECT_EQ(WinHttpEngine("http://127.0.0.1:" + std::to_string(closedPort()) + "/", "GET", "", "", "", "", "", 1, rh,
                          &cookies),
            "");
  EXPECT_EQ(rh, "");
  EXPECT_EQ(cookies, "");

  CaptureServer server(okResponse("late", "Set-Cookie: a=1\r\n"));
  server.setStallMs(5000);
  rh = "x";
  cookies = "old=1;";
  t0 = std::chrono::steady_clock::now();
  EXPECT_EQ(WinHttpEngine(server.url("/"), "GET", "", "", "", "", "", 1, rh, &cookies), "");
  EXPECT_LT(secondsSince(t0), 2.5);  // 1 s budget, slack for a loaded machine
  EXPECT_EQ(rh, "");
  EXPECT_EQ(cookies, "");

  std::string head = "HTTP/1.1 200 OK\r\nSet-Cookie: a=1\r\nContent-Length: 50\r\n\r\n";
  server.setStallMs(0);
  server.setResponse(head + "short");
  cookies = "old=1;";
  EXPECT_EQ(WinHttpEngine(server.url("/"), "GET", "", "", "", "", "", 1, rh, &cookies), "");
  EXPECT_EQ(rh, "");
  EXPECT_EQ(cookies, "");

  cookies = "old=1;";
  EXPECT_EQ(WinHttpEngine("http:///nohost", "GET", "", "", "", "", "", 1, rh, &cookies), "");
  EXPECT_EQ(rh, "_nolink_");
  EXPECT_EQ(cookies, "");
}

TEST(TooLarge, AnAnswerOverTheCapIsToldApartFromNoAnswer) {
  // Announced over the cap, sent over the cap without a length, and a
  // normal answer; then nothing listening at all.
  CaptureServer announced("HTTP/1.1 200 OK\r\nContent-Length: 40000000\r\nConnection: close\r\n\r\n" +
                          std::string(4096, 'x'));
  CaptureServer unannounced("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n" + std::string(3u << 20, 'x'));
  CaptureServer fine;
  for (const auto& [url, cap, expected] :
       {std::tuple{announced.url("/"), kPageAnswerCap, true}, std::tuple{unannounced.url("/"), kPostAnswerCap, true},
        std::tuple{fine.url("/"), kPageAnswerCap, false},
        std::tuple{std::string("http://127.0.0.1:1/"), kPageAnswerCap, false}}) {
    std::string headers, responseHeaders, cookies;
    bool tooLarge = !expected;
    ExchangeFate fate;
    HttpEngine(url, "GET", "", "", "", "", headers, "", 10, responseHeaders, cookies, true, cap, &fate);
    tooLarge = fate.tooLarge;
    EXPECT_EQ(tooLarge, expected) << url;
    tooLarge = !expected;
    WinHttpEngine(url, "GET", "", "", "", "", "", 10, responseHeaders, &cookies, true, cap, &fate);
    tooLarge = fate.tooLarge;
    EXPECT_EQ(tooLarge, expected) << url;
  }
}
