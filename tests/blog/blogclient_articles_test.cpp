// A BlogClient's exchanges with the articles already on its blog: the list,
// an article opened for editing and the check after an unclear post, each
// with the session renewed once, and each ended by its caller's own stop
// without touching the client's other exchanges.
#include "blog/arrival.h"
#include "blog/blogclient.h"

#include "net/encoding.h"
#include "support/captchadata.h"
#include "support/gbktext.h"
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

using test::gbk;

SiteRecord siteAt(const std::string& url) {
  SiteRecord s;
  s.id = 1;
  s.webname = "blog";
  s.weburl = url;
  return s;
}

PostForm article(const std::string& title, int id = 0) {
  PostForm f;
  f.articleId = id;
  f.title = title;
  f.categoryId = "1";
  f.authorId = "1";
  f.level = "4";
  f.year = "2026";
  f.month = "3";
  f.day = "1";
  f.time = "8:0:0";
  f.body = "<p>" + title + "</p>";
  return f;
}

class ClientArticles : public ::testing::Test {
 protected:
  void SetUp() override { test::ensureCaptchaData(); }
  // A client logged in to `sb` with `count` articles "文章1".. on it.
  void start(Sandbox& sb, int count) {
    client_ = std::make_unique<BlogClient>(siteAt(sb.siteUrl()));
    ASSERT_EQ(client_->logIn("admin", "secret").result, LoginResult::Ready);
    for (int i = 1; i <= count; ++i)
      ASSERT_EQ(client_->publish(article(gbk("文章") + std::to_string(i))).outcome, kPostDone);
  }
  std::unique_ptr<BlogClient> client_;
};

TEST_F(ClientArticles, ListOpenAndCheckRenewAnExpiredSessionOnce) {
  Sandbox sb(test::sandboxOptions({"--session-minutes", "0.02"}));
  start(sb, 25);
  int logins = 0;
  LoginHooks renewal;
  renewal.attemptStarting = [&](int) { ++logins; };
  const auto expire = [] { std::this_thread::sleep_for(std::chrono::milliseconds(1500)); };

  expire();
  const ListReport first = client_->readArticleList(1, renewal);
  EXPECT_TRUE(first.session.renewed);
  EXPECT_FALSE(first.session.expiredAgain);
  ASSERT_EQ(first.page.outcome, ListOutcome::Done);
  ASSERT_EQ(first.page.entries.size(), 20u);
  EXPECT_EQ(first.page.entries.front().id, 25) << "newest first";
  EXPECT_EQ(first.page.entries.front().title, gbk("文章25"));
  const ListReport second = client_->readArticleList(2, renewal);
  EXPECT_FALSE(second.session.renewed);
  EXPECT_EQ(second.page.entries.size(), 5u);

  expire();
  const OpenReport opened = client_->openArticle(7, renewal);
  EXPECT_TRUE(opened.session.renewed);
  ASSERT_EQ(opened.result.outcome, OpenOutcome::Opened);
  EXPECT_EQ(opened.result.opened.article.title, gbk("文章7"));
  const OpenReport missing = client_->openArticle(99, renewal);
  EXPECT_FALSE(missing.session.renewed) << "the blog's error page is no expired session";
  EXPECT_EQ(missing.result.outcome, OpenOutcome::NotFound);

  expire();
  const ArrivalReport check = client_->checkArrival(article(gbk("文章25")), renewal);
  EXPECT_TRUE(check.session.renewed);
  EXPECT_EQ(check.check.arrival, Arrival::Arrived);
  EXPECT_EQ(check.check.id, 25);
  EXPECT_EQ(logins, 3);

  // A renewal the blog refuses ends as expired again, the page not read.
  Sandbox other(test::sandboxOptions());
  BlogClient stranger(siteAt(other.siteUrl()));
  const ListReport refused = stranger.readArticleList(1);
  EXPECT_TRUE(refused.session.renewed);
  EXPECT_TRUE(refused.session.expiredAgain);
  EXPECT_EQ(refused.page.outcome, ListOutcome::NeedsLogin);
}

TEST_F(ClientArticles, ACallersStopEndsItsOwnReadWithinASecondAndNothingElse) {
  Sandbox sb(test::sandboxOptions({"--delay", "act=ArticleMng:3000", "--delay", "act=ArticlePst:1500"}));
  start(sb, 1);
  std::atomic<bool> stop{false};
  auto list = std::async(std::launch::async, [&] { return client_->readArticleList(1, {}, &stop); });
  auto post = std::async(std::launch::async, [&] { return client_->publish(article(gbk("同时发布"))).outcome; });
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  const auto stopped = Clock::now();
  stop = true;
  ASSERT_EQ(list.wait_for(std::chrono::seconds(1)), std::future_status::ready) << "still reading after a second";
  EXPECT_EQ(list.get().page.outcome, ListOutcome::NoAnswer);
  EXPECT_LT(Clock::now() - stopped, std::chrono::seconds(1));
  EXPECT_EQ(post.get(), kPostDone) << "the client's other exchange went on";
  EXPECT_FALSE(client_->cancelled());
  EXPECT_EQ(sb.articleCount(), 2);

  // The client's own cancel ends a read that has a stop of its own too.
  std::atomic<bool> notSet{false};
  auto open = std::async(std::launch::async, [&] { return client_->readArticleList(1, {}, &notSet); });
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  client_->cancel();
  ASSERT_EQ(open.wait_for(std::chrono::seconds(1)), std::future_status::ready);
  EXPECT_EQ(open.get().page.outcome, ListOutcome::NoAnswer);
}

TEST_F(ClientArticles, TheCheckOfAnUpdateComparesWhatTheArticleHolds) {
  Sandbox sb(test::sandboxOptions());
  start(sb, 2);
  PostForm update = article(gbk("改过的标题"), 1);
  update.body = gbk("<p>a &amp; b</p>\r\n<p>改过的段落</p>");
  // Sent, but not (yet) stored: the article still holds the old text.
  ArrivalReport before = client_->checkArrival(update);
  EXPECT_EQ(before.check.arrival, Arrival::NotThere);
  EXPECT_EQ(arrivalText(before.check, true), gbk("博客上的这篇文章还是修改前的样子，修改没有保存，可以重新发布。"));
  ASSERT_EQ(client_->publish(update).outcome, kPostDone);
  // Blanks between the tags do not count.
  update.body = gbk("<p>a &amp; b</p> <p>改过的段落</p>");
  const ArrivalReport after = client_->checkArrival(update);
  EXPECT_EQ(after.check.arrival, Arrival::Arrived);
  EXPECT_EQ(after.check.id, 1);
  EXPECT_EQ(arrivalText(after.check, true), gbk("修改已经保存到博客上了，不必重新发布。"));
  EXPECT_EQ(sb.articleCount(), 2);

  // An article the blog no longer holds cannot have taken the update.
  const ArrivalReport gone = client_->checkArrival(article(gbk("x"), 9));
  EXPECT_EQ(gone.check.arrival, Arrival::Unknown);
  EXPECT_EQ(gone.check.outcome, ListOutcome::Refused);
  EXPECT_EQ(arrivalText(gone.check, true), gbk("无法确认修改是否已保存：博客拒绝了请求：文章不存在"));

  // A new article: by its title among the newest; a blog that is gone
  // cannot say.
  EXPECT_EQ(arrivalText(client_->checkArrival(article(gbk("文章2"))).check, false),
            gbk("文章已经在博客上了，不必重新发布。"));
  EXPECT_EQ(arrivalText(client_->checkArrival(article(gbk("没发出去"))).check, false),
            gbk("博客最新的文章中没有这一篇，它没有发布成功，可以重新发布。"));
  sb.stop();
  const ArrivalReport down = client_->checkArrival(article(gbk("文章2")));
  EXPECT_EQ(down.check.arrival, Arrival::Unknown);
  EXPECT_EQ(arrivalText(down.check, false),
            gbk("无法确认文章是否已发布：博客没有回应，文章列表没有读到。请检查网络后再试一次。"));
  EXPECT_EQ(arrivalText(client_->checkArrival(update).check, true),
            gbk("无法确认修改是否已保存：博客没有回应，文章没有读到。请检查网络后再试一次。"));
}

}  // namespace
}  // namespace inkpost
