// One BlogClient per blog: logins, publishing and cancelling against real
// sandbox blogs, several clients at once from several threads.
#include "blog/blogclient.h"

#include "net/encoding.h"
#include "support/captchadata.h"
#include "support/sandbox.h"
#include "support/sandboxlogin.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

namespace inkpost {
namespace {

using test::Sandbox;
using Clock = std::chrono::steady_clock;

SiteRecord siteAt(const std::string& url, int id) {
  SiteRecord s;
  s.id = id;
  s.webname = "blog" + std::to_string(id);
  s.weburl = url;
  return s;
}

PostForm articleNamed(const std::string& title) {
  Article a;
  a.title = title;
  a.category = "1";
  a.author = "1";
  a.type = "4";
  a.year = "2026";
  a.month = "12";
  a.day = "9";
  a.time = "10:0:0";
  PostForm f = postFields(a);
  f.body = "<p>" + title + "</p>";
  f.intro = title;
  return f;
}

// The session cookie names the request log shows for requests whose target
// holds `target`.
std::vector<std::string> loggedCookies(const Sandbox& sb, const std::string& target) {
  std::vector<std::string> out;
  const std::string log = sb.requestLog();
  size_t pos = 0;
  while (pos < log.size()) {
    size_t end = log.find('\n', pos);
    if (end == std::string::npos) end = log.size();
    const std::string line = log.substr(pos, end - pos);
    if (line.find(target) != std::string::npos) {
      const size_t at = line.find("ASPSESSIONID");
      out.push_back(at == std::string::npos ? std::string() : line.substr(at, line.find('=', at) - at));
    }
    pos = end + 1;
  }
  return out;
}

class Clients : public ::testing::Test {
 protected:
  void SetUp() override {
    test::ensureCaptchaData();
    ASSERT_GT(CaptchaDataHandle(), 0);
  }
};

// Two blogs logged in to at once publish at the same time, each from its own
// thread, each article once, each with the cookies of its own blog.
void publishTogether(BlogClient& one, BlogClient& two, const std::string& pass1, const std::string& pass2) {
  auto login1 = std::async(std::launch::async, [&] { return one.logIn("admin", pass1).result; });
  auto login2 = std::async(std::launch::async, [&] { return two.logIn("admin", pass2).result; });
  ASSERT_EQ(login1.get(), LoginResult::Ready);
  ASSERT_EQ(login2.get(), LoginResult::Ready);
  EXPECT_NE(one.sessionCookie(), two.sessionCookie());
  auto post1 = std::async(std::launch::async, [&] { return one.publish(articleNamed("first")).outcome; });
  auto post2 = std::async(std::launch::async, [&] { return two.publish(articleNamed("second")).outcome; });
  EXPECT_EQ(post1.get(), kPostDone);
  EXPECT_EQ(post2.get(), kPostDone);
}

TEST_F(Clients, TwoBlogsOnTwoPortsPublishAtOnce) {
  Sandbox a(test::sandboxOptions({"--delay", "act=ArticlePst:300"}));
  Sandbox b(test::sandboxOptions({"--delay", "act=ArticlePst:300"}));
  BlogClient one(siteAt(a.siteUrl(), 1)), two(siteAt(b.siteUrl(), 2));
  publishTogether(one, two, "secret", "secret");
  EXPECT_EQ(a.articleCount(), 1);
  EXPECT_EQ(b.articleCount(), 1);
  EXPECT_EQ(a.articleField(1, "edtTitle"), "first");
  EXPECT_EQ(b.articleField(1, "edtTitle"), "second");
}

TEST_F(Clients, TwoBlogsUnderTwoPathsOfOneHostKeepTheirOwnSessions) {
  Sandbox::Options o = test::sandboxOptions({"--delay", "act=ArticlePst:300"});
  o.sites = 2;
  Sandbox sb(o);
  BlogClient one(siteAt(sb.blogUrl(1), 1)), two(siteAt(sb.blogUrl(2), 2));
  publishTogether(one, two, sb.password(1), sb.password(2));
  EXPECT_EQ(sb.articleCount(1), 1);
  EXPECT_EQ(sb.articleCount(2), 1);
  EXPECT_EQ(sb.articleField(1, 1, "edtTitle"), "first");
  EXPECT_EQ(sb.articleField(2, 1, "edtTitle"), "second");
  // Each post carried its own blog's session cookie, and only that one.
  ASSERT_TRUE(sb.waitForLog("act=ArticlePst", 2));
  const std::vector<std::string> to1 = loggedCookies(sb, sb.blogPath(1) + "cmd.asp?act=ArticlePst");
  const std::vector<std::string> to2 = loggedCookies(sb, sb.blogPath(2) + "cmd.asp?act=ArticlePst");
  ASSERT_EQ(to1.size(), 1u);
  ASSERT_EQ(to2.size(), 1u);
  EXPECT_FALSE(to1[0].empty());
  EXPECT_FALSE(to2[0].empty());
  EXPECT_NE(to1[0], to2[0]);
  EXPECT_EQ(one.sessionCookie().find(to2[0] + "="), std::string::npos);
  EXPECT_EQ(two.sessionCookie().find(to1[0] + "="), std::string::npos);
}

TEST_F(Clients, ACancelEndsASlowPostWithinASecondAndLaterOnesSendNothing) {
  Sandbox sb(test::sandboxOptions({"--delay", "act=ArticlePst:3000"}));
  BlogClient client(siteAt(sb.siteUrl(), 1));
  ASSERT_EQ(client.logIn("admin", "secret").result, LoginResult::Ready);
  auto post = std::async(std::launch::async, [&] { return client.publish(articleNamed("slow")).outcome; });
  std::this_thread::sleep_for(std::chrono::milliseconds(400));
  const auto cancelled = Clock::now();
  client.cancel();
  ASSERT_EQ(post.wait_for(std::chrono::seconds(1)), std::future_status::ready) << "still waiting after a second";
  EXPECT_EQ(post.get(), kPostNoAnswer) << "sent, and no answer came: it may still arrive";
  EXPECT_LT(Clock::now() - cancelled, std::chrono::seconds(1));
  // Until the cancel is taken back, nothing more goes out.
  EXPECT_EQ(client.publish(articleNamed("after")).outcome, kPostNotSent) << "nothing left the machine";
  EXPECT_EQ(client.logIn("admin", "secret").result, LoginResult::Interrupted);
  client.resetCancel();
  EXPECT_EQ(client.logIn("admin", "secret").result, LoginResult::Ready);
}

TEST_F(Clients, AnExpiredSessionIsRenewedOnceAndTheArticleSentAgain) {
  Sandbox sb(test::sandboxOptions({"--session-minutes", "0.02"}));
  BlogClient client(siteAt(sb.siteUrl(), 1));
  ASSERT_EQ(client.logIn("admin", "secret").result, LoginResult::Ready);
  std::this_thread::sleep_for(std::chrono::milliseconds(1600));
  int attempts = 0;
  LoginHooks renewal;
  renewal.attemptStarting = [&](int) { ++attempts; };
  const PublishReport report = client.publish(articleNamed("late"), renewal);
  EXPECT_EQ(report.outcome, kPostDone);
  EXPECT_TRUE(report.session.renewed);
  EXPECT_FALSE(report.session.expiredAgain);
  EXPECT_EQ(attempts, 1);
  EXPECT_EQ(sb.articleCount(), 1);
}

TEST_F(Clients, AFailedLoginLeavesTheClientLoggedOutWithoutLists) {
  Sandbox sb(test::sandboxOptions());
  BlogClient client(siteAt(sb.siteUrl(), 1));
  ASSERT_EQ(client.logIn("admin", "secret").result, LoginResult::Ready);
  EXPECT_FALSE(client.lists().categories.empty());
  std::vector<int> failed;
  LoginHooks hooks;
  hooks.attemptFailed = [&](int attempt, LoginOutcome) { failed.push_back(attempt); };
  const LoginReport report = client.logIn("admin", "wrong", hooks);
  EXPECT_EQ(report.result, LoginResult::Refused);
  EXPECT_EQ(report.attempts, kLoginAttempts);
  EXPECT_EQ(failed, (std::vector<int>{1, 2, 3, 4}));
  EXPECT_FALSE(client.ready());
  EXPECT_TRUE(client.lists().categories.empty());
  EXPECT_EQ(client.publish(articleNamed("x")).outcome, kPostNeedsLogin) << "no session: the blog asks for a login";
  EXPECT_EQ(sb.articleCount(), 0);
}

TEST_F(Clients, AnExchangeThatOutlivesItsSessionDoesNotPutItsCookieBack) {
  Sandbox sb(test::sandboxOptions());
  BlogClient client(siteAt(sb.siteUrl(), 1));
  ASSERT_EQ(client.logIn("admin", "secret").result, LoginResult::Ready);
  const std::string before = client.sessionCookie();
  std::promise<void> started, release;
  std::shared_future<void> go = release.get_future().share();
  // A slow exchange of the first session (a post held up by the blog).
  auto slow = std::async(std::launch::async, [&] {
    return client.withSession([&](std::string& cookie) {
      started.set_value();
      go.wait();
      cookie += "; stale=1";
      return false;
    });
  });
  started.get_future().wait();
  client.logOut();
  ASSERT_EQ(client.logIn("admin", "secret").result, LoginResult::Ready);
  const std::string fresh = client.sessionCookie();
  ASSERT_NE(fresh, before);
  release.set_value();
  (void)slow.get();
  EXPECT_EQ(client.sessionCookie(), fresh);
  EXPECT_TRUE(client.ready());
}

}  // namespace
}  // namespace inkpost
