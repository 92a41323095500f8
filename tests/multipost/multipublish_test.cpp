// Publishing one article to many sandbox blogs at once: each blog once, with
// its own category and its own copies of the pictures; failing blogs say
// why and are the only ones sent again; a cancel leaves no duplicate.
#include "multipost/multipublish.h"

#include "../images/imagedata.h"
#include "common/programdir.h"
#include "images/upload.h"
#include "multipost/bodyimages.h"
#include "net/encoding.h"
#include "support/captchacode.h"
#include "support/captchadata.h"
#include "support/capture_server.h"
#include "support/sandbox.h"
#include "support/sandboxlogin.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <chrono>

namespace inkpost {
namespace {

using test::Sandbox;
using Clock = std::chrono::steady_clock;

std::string g(const char* utf8) { return fromUtf8(utf8); }

TEST(BodyImages, FindsWebPicturesAndMovesEachBlogsCopy) {
  const std::string body =
      "<p><img src=\"http://a.example/upload/x.jpg\"> <IMG alt='' SRC='https://Pics.Example/p.png?a=1&amp;b=2'>"
      "<img src=\"file:///local.gif\"><img src=\"http://a.example/upload/x.jpg\"></p>";
  EXPECT_EQ(bodyImageAddresses(body),
            (std::vector<std::string>{"http://a.example/upload/x.jpg", "https://Pics.Example/p.png?a=1&b=2"}));
  EXPECT_TRUE(inUploadFolderOf("HTTP://A.Example/upload/x.jpg", "http://a.example/"));
  EXPECT_FALSE(inUploadFolderOf("http://a.example/uploadx.jpg", "http://a.example/"));
  EXPECT_FALSE(inUploadFolderOf("http://a.example/upload/x.jpg", "http://a.example/blog/"));
  const std::string moved = replaceAddresses(body, {{"http://a.example/upload/x.jpg", "http://b/upload/x.jpg"},
                                                    {"https://Pics.Example/p.png?a=1&b=2", "http://b/upload/p.png"}});
  EXPECT_EQ(moved,
            "<p><img src=\"http://b/upload/x.jpg\"> <IMG alt='' SRC='http://b/upload/p.png'>"
            "<img src=\"file:///local.gif\"><img src=\"http://b/upload/x.jpg\"></p>");
  // Text that only looks like the address from the trail byte of a
  // character on (乭 is 81 68, "h") stays as it was.
  const std::string text = g("<p>乭") + "ttp://a.example/upload/x.jpg</p>";
  EXPECT_EQ(replaceAddresses(text, {{"http://a.example/upload/x.jpg", "http://b/upload/x.jpg"}}), text);
}

class ManyBlogs : public ::testing::Test {
 protected:
  void SetUp() override {
    test::ensureCaptchaData();
    saved_ = programDir();
    setProgramDir(dir_.path());
    mkdir(dir_.file("temp").c_str(), 0700);
  }
  void TearDown() override { setProgramDir(saved_); }

  // The rows of `sb`'s blogs 1..n.
  std::vector<MultiTarget> targets(const Sandbox& sb, int n) {
    std::vector<MultiTarget> out;
    for (int k = 1; k <= n; ++k) {
      SiteRecord site;
      site.id = k;
      site.webname = "blog" + std::to_string(k);
      site.weburl = sb.blogUrl(k);
      MultiTarget t;
      t.client = std::make_shared<BlogClient>(site);
      t.account = {"admin", sb.password(k)};
      t.categoryName = g("技术");
      out.push_back(std::move(t));
    }
    return out;
  }

  MultiArticle article(const std::string& body) {
    MultiArticle a;
    a.fields.title = "many";
    a.fields.type = "4";
    a.fields.year = "2026";
    a.fields.month = "12";
    a.fields.day = "9";
    a.fields.time = "9:0:0";
    a.body = body;
    return a;
  }

  static std::vector<size_t> rows(size_t n) {
    std::vector<size_t> out;
    for (size_t i = 0; i < n; ++i) out.push_back(i);
    return out;
  }

  test::TempDir dir_;
  std::string saved_;
};

TEST_F(ManyBlogs, EachBlogGetsTheArticleOnceWithItsOwnCategoryAndPictures) {
  Sandbox::Options o = test::sandboxOptions();
  o.sites = 4;
  o.failSites = {"3"};
  Sandbox sb(o);
  // A picture on the web, and one already in blog 1's upload folder.
  const std::string gif = test::makeGif(20, 10);
  test::CaptureServer web("HTTP/1.1 200 OK\r\nContent-Type: image/gif\r\nContent-Length: " +
                          std::to_string(gif.size()) + "\r\nConnection: close\r\n\r\n" + gif);
  std::vector<MultiTarget> t = targets(sb, 4);
  ASSERT_EQ(t[0].client->logIn("admin", sb.password(1)).result, LoginResult::Ready);
  test::writeFile(dir_.file("own.gif"), test::makeGif(8, 8));
  UploadResult own;
  (void)t[0].client->withSession([&](std::string& cookie) {
    own = uploadImage(sb.blogUrl(1), cookie, dir_.file("own.gif"), StoreAs::OwnName);
    return false;
  });
  ASSERT_TRUE(own.ok());
  const std::string body = "<p>text</p><img src=\"" + web.url("/pic.gif") + "\"><img src=\"" + own.address + "\">";

  MultiPublisher run(std::move(t), 2, {}, dir_.file("temp/multipost"));
  run.publish(rows(4), article(body));
  run.wait();

  for (int k : {1, 2, 4}) {
    ASSERT_EQ(sb.articleCount(k), 1) << "blog " << k;
    EXPECT_EQ(run.state(static_cast<size_t>(k - 1)).step, RowStep::Succeeded);
    // 技术 is the blog's own id: 2 on blog 1, 12 on blog 2, ...
    EXPECT_EQ(sb.articleField(k, 1, "edtCateID"), std::to_string(2 + 10 * (k - 1)));
    const std::string posted = sb.articleField(k, 1, "txaContent");
    EXPECT_EQ(posted.find(web.url("/")), std::string::npos) << "the web picture was copied in";
    EXPECT_NE(posted.find(sb.blogUrl(k) + "upload/"), std::string::npos) << posted;
    for (int other : {1, 2, 3, 4})
      if (other != k) EXPECT_EQ(posted.find(sb.blogUrl(other)), std::string::npos) << "blog " << k << ": " << posted;
  }
  // The failing blog says why, sent nothing and is the one to try again.
  const RowState failed = run.state(2);
  EXPECT_EQ(failed.step, RowStep::Failed);
  EXPECT_FALSE(failed.sent);
  EXPECT_TRUE(failed.retryable());
  EXPECT_NE(rowStepText(failed).find(g("失败：")), std::string::npos);
  EXPECT_EQ(sb.articleCount(3), 0);
  // Each picture was fetched once for the whole run.
  EXPECT_EQ(run.imageFetches(), 2);
  EXPECT_EQ(web.requests().size(), 1u);

  // The blog recovers: a retry sends to it and to nobody else.
  ASSERT_TRUE(sb.setFailure(3, "off"));
  run.publish({2}, article(body));
  run.wait();
  EXPECT_EQ(run.state(2).step, RowStep::Succeeded) << toUtf8(rowStepText(run.state(2)));
  for (int k : {1, 2, 3, 4}) EXPECT_EQ(sb.articleCount(k), 1) << "blog " << k;
}

// A picture address that gives a web page: every row fails saying what came
// instead, and no blog gets the page as a picture or a half-moved article.
TEST_F(ManyBlogs, APictureThatCannotBeHadSaysWhyAndNothingIsPosted) {
  Sandbox::Options o = test::sandboxOptions();
  o.sites = 2;
  Sandbox sb(o);
  const std::string page = "<!DOCTYPE html><html><body>not a picture</body></html>";
  test::CaptureServer web("HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: " +
                          std::to_string(page.size()) + "\r\nConnection: close\r\n\r\n" + page);
  MultiPublisher run(targets(sb, 2), 2, {}, dir_.file("temp/multipost"));
  run.publish(rows(2), article("<p>x</p><img src=\"" + web.url("/photo.jpg") + "\">"));
  run.wait();
  for (int k : {1, 2}) {
    const RowState s = run.state(static_cast<size_t>(k - 1));
    EXPECT_EQ(s.step, RowStep::Failed);
    EXPECT_TRUE(s.retryable());
    EXPECT_EQ(rowStepText(s), g("失败：图片无法取得（photo.jpg）：这个地址打开的是网页，不是图片"));
    EXPECT_EQ(sb.articleCount(k), 0);
    EXPECT_EQ(sb.requestLog().find("act=FileUpload"), std::string::npos);
  }
  EXPECT_EQ(web.requests().size(), 1u) << "fetched once for the run";
}

TEST_F(ManyBlogs, ACancelStartsNoNewBlogEndsTheRunningPostsAndSaysWhatWentOut) {
  Sandbox::Options o = test::sandboxOptions({"--delay", "act=ArticlePst:3000"});
  o.sites = 5;
  Sandbox sb(o);
  MultiPublisher run(targets(sb, 5), 2, {}, dir_.file("temp/multipost"));
  run.publish(rows(5), article("<p>slow</p>"));
  // Wait until two posts are out (the others wait their turn).
  const auto posting = [&] {
    int n = 0;
    for (size_t i = 0; i < 5; ++i) n += run.state(i).step == RowStep::Posting ? 1 : 0;
    return n;
  };
  for (int i = 0; i < 100 && posting() < 2; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  ASSERT_EQ(posting(), 2);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  const auto cancelled = Clock::now();
  run.cancel();
  run.wait();
  EXPECT_LT(Clock::now() - cancelled, std::chrono::milliseconds(1500));
  int sent = 0, notSent = 0;
  for (size_t i = 0; i < 5; ++i) {
    const RowState s = run.state(i);
    EXPECT_EQ(s.step, RowStep::Cancelled) << i;
    (s.sent ? sent : notSent) += 1;
    EXPECT_EQ(s.retryable(), !s.sent);
  }
  EXPECT_EQ(sent, 2);
  EXPECT_EQ(notSent, 3);
  // The two posts that went out may be stored (the slow blog stores them
  // after its delay); nothing is stored twice, and the others got nothing.
  std::this_thread::sleep_for(std::chrono::milliseconds(3200));
  int stored = 0;
  for (int k = 1; k <= 5; ++k) {
    EXPECT_LE(sb.articleCount(k), 1);
    stored += sb.articleCount(k);
  }
  EXPECT_LE(stored, 2);
}

TEST_F(ManyBlogs, AnUnreadableCaptchaIsAskedForWithItsRowAndAnUnansweredOneFailsOnlyItsBlog) {
  Sandbox::Options o = test::sandboxOptions();
  o.extraArgs = {"--captcha", "blank"};
  o.sites = 3;
  Sandbox sb(o);
  std::vector<size_t> asked;
  MultiHooks hooks;
  // A person reads blogs 1 and 3; the second dialog is cancelled.
  hooks.ask = [&](size_t row, const std::string& image, const std::function<std::string()>&) {
    EXPECT_FALSE(image.empty());
    asked.push_back(row);
    if (row == 1) return std::optional<std::string>();
    const std::string prefix = std::to_string(row + 1) + "/";
    return std::optional<std::string>(sb.get(prefix + "_sandbox/captcha", test::lastCaptchaCookie(sb)));
  };
  MultiPublisher run(targets(sb, 3), 1, hooks, dir_.file("temp/multipost"));
  run.prepare(rows(3));
  run.wait();
  EXPECT_EQ(asked, (std::vector<size_t>{0, 1, 2}));
  EXPECT_EQ(run.state(0).step, RowStep::Ready);
  EXPECT_EQ(run.state(1).step, RowStep::Failed);
  EXPECT_EQ(run.state(2).step, RowStep::Ready);
}

}  // namespace
}  // namespace inkpost
