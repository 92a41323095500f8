// The passport sign-in and the entry submission against the sandbox's
// doubles, reached under the service's own host names through the host
// mapping. The browser's part (the sign-on redirects) is stood in for by
// putting the cookies it would collect into the process-wide store.
#include "crosspost/hosts.h"
#include "crosspost/localdoubles.h"
#include "crosspost/passport.h"
#include "crosspost/space_log.h"
#include "crosspost/spacepost.h"
#include "net/cookiestore.h"
#include "net/encoding.h"
#include "net/http.h"
#include "support/capture_server.h"
#include "support/sandbox.h"

#include <gtest/gtest.h>

#include <memory>

namespace inkpost {
namespace {

using test::closedPort;
using test::hexOf;
using test::spaceRequests;

class SpaceExchange : public ::testing::Test {
 protected:
  void SetUp() override {
    sandbox_ = std::make_unique<test::Sandbox>();
    ASSERT_TRUE(sandbox_->running());
    // One exchange first: a sandbox stopped before its server loop runs
    // takes seconds to end.
    sandbox_->get("/");
    clearCookieStore();
    clearHostMappings();
    spaceSettings() = SpaceSettings{};
    useLocalSpaceDoubles(sandbox_->port());
  }
  void TearDown() override {
    clearHostMappings();
    clearCookieStore();
    spaceSettings() = SpaceSettings{};
  }

  // The cookies the browser collects when the sign-on of `user` ends.
  void signedOn(const std::string& user) {
    storeCookie(kSpaceHost, "STOKEN", hexOf(user));
    storeCookie(kSpaceHost, "PSPTOKEN", "p" + hexOf(user));
  }

  std::vector<test::SpaceRequest> requests() const { return spaceRequests(sandbox_->dataDir()); }

  std::unique_ptr<test::Sandbox> sandbox_;
};

TEST_F(SpaceExchange, PassportSignInSendsTheFormAndKeepsItsCookieInTheStore) {
  EXPECT_TRUE(BaiduPassportLogin("alice", "pw"));
  auto log = requests();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].method, "POST");
  EXPECT_EQ(log[0].target, "/?login");
  EXPECT_EQ(log[0].host(), kPassportHost);
  EXPECT_EQ(log[0].body, passportLoginBody(kPassportHost, "alice", "pw"));
  EXPECT_EQ(log[0].header("content-type"), "application/x-www-form-urlencoded");
  // The sandbox's server hands header values over percent-decoded.
  EXPECT_EQ(log[0].header("referer"), std::string("https://") + kPassportHost + "/?login&u=http://" + kPassportHost +
                                          "/?center&tpl=ik&aid=7&default_tab=4");
  EXPECT_EQ(log[0].header("cookie"), "");
  EXPECT_EQ(cookieHeaderFor(std::string("http://") + kPassportHost + "/"), "BDUSS=" + hexOf("alice"));
  // The passport's cookie is not the blog host's.
  EXPECT_EQ(ReadHostCookies(kSpaceHost), "");
}

TEST_F(SpaceExchange, PassportRefusalsAndTheDummyReset) {
  EXPECT_FALSE(BaiduPassportLogin("wrong-user", "pw"));
  EXPECT_FALSE(BaiduPassportLogin("alice", "wrong"));
  EXPECT_FALSE(BaiduPassportLogin("", ""));
  EXPECT_EQ(cookieHeaderFor(std::string("http://") + kPassportHost + "/"), "");
  ResetPassportSession();
  auto log = requests();
  ASSERT_EQ(log.size(), 4u);
  EXPECT_EQ(log[3].body, passportLoginBody(kPassportHost, "0", "0"));
  EXPECT_NE(log[3].body.find("&password=0&"), std::string::npos);
  EXPECT_NE(log[3].body.find("&username=0&"), std::string::npos);
}

TEST_F(SpaceExchange, PasswordWithFormCharactersReachesThePassportIntact) {
  // The double refuses a form with fields it does not know, as an unencoded
  // "&b=c" would make.
  const std::string password = "a&b=c+d%e f\xC3\xDC";
  EXPECT_TRUE(BaiduPassportLogin("\xD5\xC5\xC8\xFD bob", password));
  auto log = requests();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_NE(log[0].body.find("&password=a%26b%3Dc%2Bd%25e+f%C3%DC&"), std::string::npos);
  EXPECT_NE(log[0].body.find("&username=%D5%C5%C8%FD+bob&"), std::string::npos);
}

TEST_F(SpaceExchange, PassportWithoutAnswerIsAFailedSignIn) {
  setHostMapping(kPassportHost, closedPort());
  EXPECT_FALSE(BaiduPassportLogin("alice", "pw"));
}

TEST_F(SpaceExchange, SubmissionFetchesTheTokenAndPostsTheCleanedEntry) {
  signedOn("alice");
  std::string cookies = ReadHostCookies(kSpaceHost);
  ASSERT_EQ(cookies, "STOKEN=" + hexOf("alice") + "; PSPTOKEN=p" + hexOf("alice"));
  const std::string title = "T&i=t+l%e \xB1\xEA\xCC\xE2";
  const std::string body = "<p>one</p>\r\n<P></P>\n<p>two&HELLIP;</p>";
  EXPECT_TRUE(SubmitSpacePost(title, body, cookies));

  auto log = requests();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0].method, "GET");
  EXPECT_EQ(log[0].target, "/pub/show/createtext");
  EXPECT_EQ(log[0].host(), kSpaceHost);
  EXPECT_EQ(log[0].header("referer"), spaceCreatePageUrl(kSpaceHost));
  EXPECT_EQ(log[0].header("cookie"), cookies);  // from the store

  EXPECT_EQ(log[1].method, "POST");
  EXPECT_EQ(log[1].target, "/pub/submit/createtext");
  EXPECT_EQ(log[1].body, "title=" + percentEncode(toUtf8(title)) +
                             "&content=" + percentEncode(toUtf8("<p>one</p><p>two\xA1\xAD\xA1\xAD</p>")) +
                             "&private=0&imgnum=0&bdstoken=bds" + hexOf("alice") + "&qbid=&refer=http:%2F%2F" +
                             kSpaceHost + "%2Fhome&multimedia[]=&private1=0&qing_request_source=");
  EXPECT_EQ(log[1].header("host"), kSpaceHost);
  EXPECT_EQ(log[1].header("referer"), spaceCreatePageUrl(kSpaceHost));
  EXPECT_EQ(log[1].header("content-type"), "application/x-www-form-urlencoded; charset=UTF-8");
  EXPECT_EQ(log[1].header("accept"), "text/html,application/xhtml+xml,application/xml;q=0.9,*/*;q=0.8");
  EXPECT_EQ(log[1].header("cookie"), cookies);
}

TEST_F(SpaceExchange, AnswerOneBlankOffTheMarkerIsAFailure) {
  signedOn("badsubmit-carol");
  std::string cookies = ReadHostCookies(kSpaceHost);
  EXPECT_FALSE(SubmitSpacePost("t", "b", cookies));
  EXPECT_EQ(requests().size(), 2u);
}

TEST_F(SpaceExchange, WithoutSessionTheEntryIsStillSentAndRefused) {
  std::string cookies;
  EXPECT_FALSE(SubmitSpacePost("t", "b", cookies));
  auto log = requests();
  ASSERT_GE(log.size(), 2u);
  EXPECT_EQ(log.back().target, "/pub/submit/createtext");
  EXPECT_NE(log.back().body.find("&bdstoken=&"), std::string::npos);
}

TEST_F(SpaceExchange, UnreachableHostIsAFailure) {
  signedOn("alice");
  std::string cookies = ReadHostCookies(kSpaceHost);
  setHostMapping(kSpaceHost, closedPort());
  EXPECT_FALSE(SubmitSpacePost("t", "b", cookies));
}

TEST(HostCookies, TheStringAndItsZeroByteMustFitTheBuffer) {
  clearCookieStore();
  const std::string host = "cookies.example";
  // "A=" + value: 7,499 bytes fit with the zero byte, 7,500 do not.
  storeCookie(host, "A", std::string(7497, 'v'));
  EXPECT_EQ(ReadHostCookies("http://COOKIES.example:81/x").size(), 7499u);
  storeCookie(host, "A", std::string(7498, 'v'));
  EXPECT_EQ(ReadHostCookies(host), "");
  storeCookie(host, "A", "1");
  storeCookie(host, "B", "2");
  EXPECT_EQ(ReadHostCookies(host), "A=1; B=2");
  EXPECT_EQ(ReadHostCookies("other.example"), "");
  clearCookieStore();
}

}  // namespace
}  // namespace inkpost
