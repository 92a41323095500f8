// Whether a request can have reached the server, and secure exchanges: a
// refused port, an unknown name, a server that takes the request and goes
// silent, a TLS sandbox with a trusted and an untrusted certificate.
#include <gtest/gtest.h>

#include "net/encoding.h"
#include "net/http.h"
#include "support/capture_server.h"
#include "support/hostile_server.h"
#include "support/sandbox.h"
#include "support/tlscert.h"

using namespace inkpost;
using namespace inkpost::test;

namespace {

struct Exchange {
  std::string body, responseHeaders, cookies;
  ExchangeFate fate;
  // HttpEngine with a cookie text of its own, or WinHttpEngine.
  Exchange& run(const std::string& url, bool object = false, int seconds = 2, const std::string& data = {}) {
    if (object) {
      body = WinHttpEngine(url, data.empty() ? "GET" : "POST", "", "", "", "", data, seconds, responseHeaders, &cookies,
                           true, kPageAnswerCap, &fate);
    } else {
      std::string headers;
      if (cookies.empty()) cookies = "a=1;";
      body = HttpEngine(url, data.empty() ? "GET" : "POST", "", "", "", "", headers, data, seconds, responseHeaders,
                        cookies, true, kPageAnswerCap, &fate);
    }
    return *this;
  }
};

class Fate : public ::testing::Test {
 protected:
  void TearDown() override { setTrustedCertificates({}); }
};

}  // namespace

TEST_F(Fate, NothingSentWhenTheBlogCannotBeReached) {
  for (bool object : {false, true}) {
    SCOPED_TRACE(object ? "WinHttpEngine" : "HttpEngine");
    Exchange refused;
    refused.run("http://127.0.0.1:" + std::to_string(closedPort()) + "/cmd.asp", object, 2, "a=1");
    EXPECT_EQ(refused.fate.kind, ExchangeFate::NotSent);
    EXPECT_EQ(refused.fate.cause, ExchangeFate::Refused);
    EXPECT_EQ(notSentReason(refused.fate), fromUtf8("连接被拒绝，或网络不通"));

    Exchange unknown;
    unknown.run("http://no-such-blog.invalid/cmd.asp", object, 5, "a=1");
    EXPECT_EQ(unknown.fate.kind, ExchangeFate::NotSent);
    EXPECT_EQ(unknown.fate.cause, ExchangeFate::UnknownHost);

    // A plain server addressed as https: the secure connection fails
    // before any request goes out.
    Sandbox plain;
    Exchange handshake;
    handshake.run("https://127.0.0.1:" + std::to_string(plain.port()) + "/", object);
    EXPECT_EQ(handshake.fate.kind, ExchangeFate::NotSent);
    EXPECT_EQ(handshake.fate.cause, ExchangeFate::SecureFailed);
  }
  Exchange nolink;
  nolink.run("http://:99999999/", true);
  EXPECT_EQ(nolink.fate.cause, ExchangeFate::BadAddress);
}

TEST_F(Fate, SentWhenTheServerTookTheRequest) {
  HostileServer silent([](HostileServer::Connection& c) { c.pause(3000); });
  CaptureServer closes("");  // reads the request, closes without a word
  CaptureServer cut("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nshort");
  CaptureServer redirect("HTTP/1.1 302 Found\r\nLocation: http://127.0.0.1:" + std::to_string(closedPort()) +
                         "/\r\nContent-Length: 0\r\n\r\n");
  CaptureServer fine;
  for (bool object : {false, true}) {
    SCOPED_TRACE(object ? "WinHttpEngine" : "HttpEngine");
    EXPECT_EQ(Exchange().run(silent.url("/"), object, 1, "a=1").fate.kind, ExchangeFate::NoAnswer);
    EXPECT_EQ(Exchange().run(closes.url("/"), object, 2, "a=1").fate.kind, ExchangeFate::NoAnswer);
    // The first hop was answered: the post reached the blog.
    EXPECT_EQ(Exchange().run(redirect.url("/"), object, 2, "a=1").fate.kind, ExchangeFate::NoAnswer);
    EXPECT_EQ(Exchange().run(fine.url("/"), object).fate.kind, ExchangeFate::Answered);
    EXPECT_EQ(notSentReason(Exchange().run(fine.url("/"), object).fate), "");
  }
  EXPECT_EQ(Exchange().run(cut.url("/")).fate.kind, ExchangeFate::CutShort);
}

TEST_F(Fate, SecureCookiesComeOnlyOverHttps) {
  CaptureServer plain(okResponse("ok", "Set-Cookie: s=1; path=/; Secure\r\nSet-Cookie: p=2; path=/\r\n"));
  Exchange engine;
  engine.run(plain.url("/"));
  EXPECT_EQ(engine.cookies, "a=1;p=2;");
  Exchange object;
  object.run(plain.url("/"), true);
  EXPECT_EQ(object.cookies, "p=2;");

  // The TLS sandbox marks its session cookie secure.
  TestCertificate cert;
  Sandbox blog({.extraArgs = cert.sandboxArgs()});
  setTrustedCertificates(cert.certFile());
  Exchange secure;
  secure.run(blog.siteUrl() + "login.asp", true);
  EXPECT_EQ(secure.fate.kind, ExchangeFate::Answered);
  EXPECT_EQ(secure.cookies.rfind("ASPSESSIONID", 0), 0u) << secure.responseHeaders;
}

TEST_F(Fate, CertificatesAreChecked) {
  TestCertificate cert("blog"), stranger("stranger");
  Sandbox blog({.extraArgs = cert.sandboxArgs()});
  ASSERT_EQ(blog.siteUrl().rfind("https://127.0.0.1:", 0), 0u);
  // Neither the system's authorities nor another certificate vouch for it.
  for (const std::string& trust : {std::string(), stranger.certFile()}) {
    setTrustedCertificates(trust);
    for (bool object : {false, true}) {
      Exchange e;
      e.run(blog.siteUrl() + "login.asp", object);
      EXPECT_EQ(e.body, "");
      EXPECT_EQ(e.fate.kind, ExchangeFate::NotSent);
      EXPECT_EQ(e.fate.cause, ExchangeFate::Certificate);
      EXPECT_EQ(notSentReason(e.fate), fromUtf8("网站的安全证书不受信任，或与网址不符"));
    }
  }
  EXPECT_FALSE(blog.waitForLog("login.asp", 1, 200)) << "nothing reached the blog";
  setTrustedCertificates(cert.certFile());
  Exchange trusted;
  EXPECT_NE(trusted.run(blog.siteUrl() + "login.asp").body, "");
  EXPECT_EQ(trusted.fate.kind, ExchangeFate::Answered);
  // The certificate names 127.0.0.1, not another host mapped onto it.
  setHostMapping("elsewhere.test", blog.port());
  Exchange misnamed;
  misnamed.run("https://elsewhere.test:" + std::to_string(blog.port()) + "/login.asp");
  clearHostMappings();
  EXPECT_EQ(misnamed.fate.cause, ExchangeFate::Certificate);
}
