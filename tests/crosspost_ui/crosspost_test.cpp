// Cross-posting from the program's window with its real hidden browser: the
// passport sign-in over HttpEngine, the browser following the blog host's
// sign-on redirects, the capture of its cookies, the entry submission and
// the dummy sign-in after it, all against the sandbox's doubles under the
// service's own host names; and the hand-over from 发布 to the cross-post.
// Waits and notices are shortened.
#include "crosspost/ui/crosspost.h"
#include "blog/ui/login.h"
#include "common/ui/gbk.h"
#include "common/ui/toast.h"
#include "crosspost/hosts.h"
#include "crosspost/localdoubles.h"
#include "crosspost/passport.h"
#include "crosspost/space_log.h"
#include "crosspost/spacepost.h"
#include "crosspost/ui/spacesession.h"
#include "net/cookiestore.h"
#include "net/encoding.h"
#include "net/http.h"
#include "sites/ui/sitebar.h"
#include "support/capture_server.h"
#include "support/sandboxlogin.h"
#include "support/wiredwindow.h"

#include <gtest/gtest.h>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPointer>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QWebEngineCookieStore>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineView>

#include <cstdlib>
#include <memory>

namespace inkpost {
namespace {

using test::hexOf;
using test::SpaceRequest;

// One sandbox for the whole run: the browser's host mapping is fixed when
// its engine starts, so the port cannot change between tests.
class SandboxEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    sandbox = std::make_unique<test::Sandbox>(test::sandboxOptions());
    // Nothing but the doubles is reachable for the browser.
    std::string flags = spaceHostResolverSwitch(sandbox->port());
    flags.insert(flags.size() - 1, ",MAP * ~NOTFOUND,EXCLUDE 127.0.0.1");
    if (const char* old = std::getenv("QTWEBENGINE_CHROMIUM_FLAGS"); old && *old)
      flags = std::string(old) + " " + flags;
    setenv("QTWEBENGINE_CHROMIUM_FLAGS", flags.c_str(), 1);
  }
  void TearDown() override { sandbox.reset(); }

  static inline std::unique_ptr<test::Sandbox> sandbox;
};

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new SandboxEnvironment);

QStringList texts(std::initializer_list<const char*> utf8) {
  QStringList out;
  for (const char* t : utf8) out << QString::fromUtf8(t);
  return out;
}

// Watches the notices as they open: their nominal display time, and what
// had reached the doubles when each one closed.
class NoticeWatch {
 public:
  struct Seen {
    QString text;
    int intervalMs;
    std::vector<std::string> targetsAtClose;
  };

  NoticeWatch(std::string dataDir, size_t logStart) : dataDir_(std::move(dataDir)), logStart_(logStart) {
    poll_.setInterval(2);
    QObject::connect(&poll_, &QTimer::timeout, [this] {
      ToastWindow* t = currentToast();
      if (!t || t == last_) return;
      last_ = t;
      seen_.push_back({toQ(t->text()), t->timer()->interval(), {}});
      const size_t index = seen_.size() - 1;
      QObject::connect(t, &ToastWindow::finished, [this, index] {
        auto log = test::spaceRequests(dataDir_);
        for (size_t i = logStart_; i < log.size(); ++i) seen_[index].targetsAtClose.push_back(log[i].target);
      });
    });
    poll_.start();
  }

  const std::vector<Seen>& seen() const { return seen_; }

 private:
  std::string dataDir_;
  size_t logStart_;
  QTimer poll_;
  QPointer<ToastWindow> last_;
  std::vector<Seen> seen_;
};

class CrossPost : public test::WiredWindow {
 protected:
  void SetUp() override {
    WiredWindow::SetUp();
    test::Sandbox& sb = *SandboxEnvironment::sandbox;
    ASSERT_TRUE(sb.running());
    clearHostMappings();
    useLocalSpaceDoubles(sb.port());
    // Long enough for a slow machine to finish the sign-on; tests that wait
    // the whole loop out shorten it.
    spaceSettings().waitIntervalMs = 1000;
    setToastTimeScale(0.02);
    // The browser profile outlives the window: start each test with empty
    // stores, after the removals have reached the process-wide one.
    browser()->page()->profile()->cookieStore()->deleteAllCookies();
    QTest::qWait(200);
    clearCookieStore();
    logStart_ = test::spaceRequests(sb.dataDir()).size();
  }

  void TearDown() override {
    WiredWindow::TearDown();
    clearHostMappings();
  }

  // A site of the blog at `url` (the sandbox's own by default) with the
  // given second-service account, picked in the chooser (its login runs),
  // the sync box ticked; the notices so far are left out of toastTexts().
  void chooseSite(const std::string& bdname, const std::string& bdpass, const std::string& url = "",
                  const std::string& password = "secret") {
    SiteRecord site;
    site.weburl = url.empty() ? SandboxEnvironment::sandbox->siteUrl() : url;
    site.admin = "admin";
    site.pass = password;
    site.bdname = bdname;
    site.bdpass = bdpass;
    pick(addSite(site));
    if (!units().syncSpaceCheck->isChecked()) units().syncSpaceCheck->click();
    clearToastHistory();
  }

  // The cross-post step as a publish hands over to it.
  void crossPost(const std::string& title, const std::string& body) {
    crossPostArticle(w().crossPost(), w().sites().chosenSite(), title, body);
  }
  const std::string& spaceCookie() { return w().crossPost().session().cookie(); }
  QWebEngineView* browser() { return w().crossPost().browser(); }

  // The requests that reached either double during this test (the
  // browser's own favicon requests left out).
  std::vector<SpaceRequest> requests() const {
    auto all = test::spaceRequests(SandboxEnvironment::sandbox->dataDir());
    std::vector<SpaceRequest> out;
    for (size_t i = logStart_; i < all.size(); ++i)
      if (all[i].target != "/favicon.ico") out.push_back(all[i]);
    return out;
  }

  static bool isDummySignIn(const SpaceRequest& r) {
    return r.method == "POST" && r.target == "/?login" && r.host() == kPassportHost &&
           r.body == passportLoginBody(kPassportHost, "0", "0");
  }

  // The browser may still fetch pages after the attempt; the dummy sign-in
  // is the last request the client itself sends.
  static bool lastPostIsDummySignIn(const std::vector<SpaceRequest>& log) {
    for (auto it = log.rbegin(); it != log.rend(); ++it)
      if (it->method == "POST") return isDummySignIn(*it);
    return false;
  }

  // The browser's address once its pending events have run.
  std::string browserAddress() { return browser()->url().toEncoded().toStdString(); }

  size_t logStart_ = 0;
};

TEST_F(CrossPost, SignsInFollowsTheSignOnCapturesCookiesPostsAndResets) {
  const std::string user = "alice";
  const std::string password = "p&w=1+2%";  // the form characters reach the passport intact
  chooseSite(user, password);
  const std::string title = "Title & more = 100% \xB1\xEA\xCC\xE2";
  const std::string body = "<p>first</p>\r\n<P></P>\n<p>second&Hellip;</p><p> </p>";
  NoticeWatch watch(SandboxEnvironment::sandbox->dataDir(), logStart_);
  crossPost(title, body);

  // Display times as given; the entry goes out only after the waiting
  // notice has closed.
  ASSERT_EQ(watch.seen().size(), 3u);
  EXPECT_EQ(watch.seen()[0].intervalMs, 1000);
  EXPECT_EQ(watch.seen()[1].text, QStringLiteral("登录成功，正在获取相关参数，请稍等…"));
  EXPECT_EQ(watch.seen()[1].intervalMs, 30000);
  EXPECT_FALSE(watch.seen()[1].targetsAtClose.empty());
  for (const auto& target : watch.seen()[1].targetsAtClose) EXPECT_EQ(target.find("/pub/"), std::string::npos);
  EXPECT_EQ(watch.seen()[2].intervalMs, 1200);

  EXPECT_EQ(toastTexts(), texts({"开始同步到百度空间！", "登录成功，正在获取相关参数，请稍等…", "发布成功！"}));
  const std::string ticket = hexOf(user);
  EXPECT_NE(spaceCookie().find("PSPTOKEN=p" + ticket), std::string::npos) << spaceCookie();
  EXPECT_NE(spaceCookie().find("STOKEN=" + ticket), std::string::npos);
  // The notice ends as soon as the session is ready, so the browser may
  // still be on its way to the blank page.
  EXPECT_TRUE(test::waitUntil([&] { return browserAddress() == "about:blank"; }, 10000)) << browserAddress();

  auto log = requests();
  std::vector<std::string> seen;
  for (const auto& r : log) seen.push_back(r.method + " " + r.host() + r.target);
  const std::string p = kPassportHost, s = kSpaceHost;
  ASSERT_EQ(seen, (std::vector<std::string>{
                      "POST " + p + "/?login", "GET " + s + "/", "GET " + p + "/sso?next=http%3A%2F%2F" + s + "%2Fsso",
                      "GET " + s + "/sso?ticket=" + ticket, "GET " + s + "/home", "GET " + s + "/pub/show/createtext",
                      "POST " + s + "/pub/submit/createtext", "POST " + p + "/?login"}));
  EXPECT_EQ(log[0].body, passportLoginBody(kPassportHost, user, password));
  // The passport's cookie went into the browser before it set out.
  EXPECT_EQ(log[2].header("cookie"), "BDUSS=" + ticket);
  // What the browser collected is sent by the next request with an empty
  // cookie text.
  EXPECT_NE(log[5].header("cookie").find("PSPTOKEN=p" + ticket), std::string::npos);
  EXPECT_EQ(log[6].body, "title=" + percentEncode(toUtf8(title)) +
                             "&content=" + percentEncode(toUtf8("<p>first</p><p>second\xA1\xAD\xA1\xAD</p><p> </p>")) +
                             "&private=0&imgnum=0&bdstoken=bds" + ticket + "&qbid=&refer=http:%2F%2F" + s +
                             "%2Fhome&multimedia[]=&private1=0&qing_request_source=");
  EXPECT_NE(log[6].header("cookie").find("PSPTOKEN=p" + ticket), std::string::npos);
  EXPECT_TRUE(isDummySignIn(log[7]));
}

TEST_F(CrossPost, TokenSetByTheHomePageItselfIsCaptured) {
  chooseSite("homepsp-ivan", "pw");
  crossPost("t", "b");
  EXPECT_EQ(toastTexts().back(), QStringLiteral("发布成功！"));
  EXPECT_NE(spaceCookie().find("PSPTOKEN=p" + hexOf("homepsp-ivan")), std::string::npos);
}

TEST_F(CrossPost, WrongAccountStopsAfterTheSignIn) {
  chooseSite("wrong-user", "pw");
  crossPost("t", "b");
  EXPECT_EQ(toastTexts(), texts({"开始同步到百度空间！", "百度帐号登陆失败！"}));
  auto log = requests();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0].body, passportLoginBody(kPassportHost, "wrong-user", "pw"));
  EXPECT_TRUE(isDummySignIn(log[1]));
  EXPECT_NE(browserAddress().rfind("http://" + std::string(kSpaceHost), 0), 0u);
}

TEST_F(CrossPost, ASiteWithoutAnAccountSaysWhereToSetItAndSendsNothing) {
  chooseSite("", "");
  crossPost("t", "b");
  EXPECT_EQ(toastTexts(),
            texts({"没有填写百度帐号，未同步到百度空间。请在“网站管理 → 修改网站”中为这个网站填写百度帐号和"
                   "百度密码。"}));
  EXPECT_TRUE(requests().empty());
}

// Sign-ons that never give a capture: the wait runs out, nothing is posted,
// the dummy sign-in follows.
struct NoCapture {
  const char* user;
  const char* finalAddress;  // where the browser is left
  bool tokenInStore;         // the browser did get a PSPTOKEN cookie
  bool overBuffer;           // the host's cookie string exceeds the buffer
};

class CrossPostTimeout : public CrossPost, public ::testing::WithParamInterface<NoCapture> {};

TEST_P(CrossPostTimeout, WaitsOutAndReportsTheTimeout) {
  spaceSettings().waitIntervalMs = 400;
  chooseSite(GetParam().user, "pw");
  crossPost("t", "b");
  EXPECT_EQ(toastTexts(),
            texts({"开始同步到百度空间！", "登录成功，正在获取相关参数，请稍等…", "获取相关参数超时，发布失败！"}));
  EXPECT_EQ(spaceCookie(), "");
  // On a slow machine the browser may still be on its way: the sign-on
  // must end where expected, and still without a capture.
  const std::string final = "http://" + std::string(kSpaceHost) + GetParam().finalAddress;
  EXPECT_TRUE(QTest::qWaitFor([&] { return browserAddress() == final; }, 20000)) << browserAddress();
  EXPECT_EQ(spaceCookie(), "");
  // The browser's cookies did reach the process-wide store; they are just
  // not a session.
  const std::string stored = cookieHeaderFor("http://" + std::string(kSpaceHost) + "/");
  EXPECT_NE(stored.find("STOKEN="), std::string::npos);
  EXPECT_EQ(stored.find("PSPTOKEN=") != std::string::npos, GetParam().tokenInStore);
  EXPECT_EQ(stored.size() + 1 > kCookieBufferSize, GetParam().overBuffer);
  auto log = requests();
  ASSERT_FALSE(log.empty());
  for (const auto& r : log) EXPECT_EQ(r.target.find("/pub/"), std::string::npos) << r.target;
  EXPECT_TRUE(lastPostIsDummySignIn(log));
}

INSTANTIATE_TEST_SUITE_P(SignOns, CrossPostTimeout,
                         ::testing::Values(NoCapture{"nopsp-dave", "/home", false, false},
                                           NoCapture{"bigcookie-erin", "/home", true, true},
                                           NoCapture{"queryhome-frank", "/home?from=sso", true, false}),
                         [](const auto& info) {
                           const std::string user = info.param.user;
                           return user.substr(0, user.find('-'));
                         });

TEST_F(CrossPost, HomeUnderHttpsIsNoArrival) {
  spaceSettings().waitIntervalMs = 400;
  chooseSite("httpshome-gina", "pw");
  crossPost("t", "b");
  EXPECT_EQ(toastTexts().back(), QStringLiteral("获取相关参数超时，发布失败！"));
  const std::string https = "https://" + std::string(kSpaceHost) + "/home";
  EXPECT_TRUE(QTest::qWaitFor([&] { return browserAddress().rfind(https, 0) == 0; }, 20000)) << browserAddress();
  EXPECT_EQ(spaceCookie(), "");
  auto log = requests();
  for (const auto& r : log) EXPECT_EQ(r.target.find("/pub/"), std::string::npos) << r.target;
  EXPECT_TRUE(lastPostIsDummySignIn(log));
}

TEST_F(CrossPost, RefusedEntryIsReportedAsFailure) {
  chooseSite("badsubmit-hank", "pw");
  crossPost("t", "b");
  EXPECT_EQ(toastTexts(), texts({"开始同步到百度空间！", "登录成功，正在获取相关参数，请稍等…", "发布失败~"}));
  auto log = requests();
  ASSERT_GE(log.size(), 2u);
  EXPECT_EQ(log[log.size() - 2].target, "/pub/submit/createtext");
  EXPECT_TRUE(isDummySignIn(log.back()));
}

TEST_F(CrossPost, CookieBridgeCarriesCookiesBothWays) {
  const std::string space = kSpaceHost;
  storeCookie(space, "PUSHED", "1");
  storeCookie(".baidu.com", "DOMAIN", "2");
  attachCookieBridge(browser());
  attachCookieBridge(browser());  // once is enough; twice is harmless
  pushCookiesToBrowser(browser());
  QSignalSpy finished(browser(), &QWebEngineView::loadFinished);
  browser()->load(QUrl(QString::fromStdString("http://" + space + "/home")));
  ASSERT_TRUE(finished.wait(20000));
  auto log = requests();
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log.back().target, "/home");
  const std::string sent = log.back().header("cookie");
  EXPECT_NE(sent.find("PUSHED=1"), std::string::npos) << sent;
  EXPECT_NE(sent.find("DOMAIN=2"), std::string::npos) << sent;

  // What the browser drops leaves the process-wide store as well.
  browser()->page()->profile()->cookieStore()->deleteAllCookies();
  for (int i = 0; i < 100 && !cookieHeaderFor("http://" + space + "/").empty(); ++i) QTest::qWait(50);
  EXPECT_EQ(cookieHeaderFor("http://" + space + "/"), "");
}

TEST(PumpingWaitTest, BlocksForTheIntervalAndRunsPendingEventsAfter) {
  bool fired = false;
  QTimer::singleShot(0, [&fired] { fired = true; });
  QElapsedTimer clock;
  clock.start();
  PumpingWait(150);
  EXPECT_GE(clock.elapsed(), 150);
  EXPECT_TRUE(fired);
  // A timer that falls due while the thread sleeps runs at the end.
  fired = false;
  QTimer::singleShot(20, [&fired] { fired = true; });
  PumpingWait(100);
  EXPECT_TRUE(fired);
  clock.restart();
  PumpingWait(-5);
  EXPECT_LT(clock.elapsed(), 100);
}

TEST_F(CrossPost, PublishWithoutAnswerStillCrossPosts) {
  // The blog takes the login, then drops the post unanswered: it may have
  // gone through, so 发布 hands over to the cross-post.
  test::Sandbox blog(test::sandboxOptions());
  chooseSite("alice", "pw", blog.siteUrl());
  ASSERT_TRUE(w().blog().ready());
  ASSERT_TRUE(blog.setFailure(0, "drop"));
  units().titleEdit->setText(QStringLiteral("标题"));
  units().publishButton->click();
  EXPECT_EQ(toastTexts(), texts({"返回信息异常，可能已成功！请自行确认", "开始同步到百度空间！",
                                 "登录成功，正在获取相关参数，请稍等…", "发布成功！"}));
  auto log = requests();
  ASSERT_GE(log.size(), 3u);
  EXPECT_EQ(log[log.size() - 2].target, "/pub/submit/createtext");
  const std::string title = "title=" + percentEncode(toUtf8(fromQ(QStringLiteral("标题")))) + "&content=";
  EXPECT_EQ(log[log.size() - 2].body.rfind(title, 0), 0u);
  EXPECT_TRUE(isDummySignIn(log.back()));
}

TEST_F(CrossPost, UntickedBoxSendsNothing) {
  test::Sandbox blog(test::sandboxOptions());
  chooseSite("alice", "pw", blog.siteUrl());
  ASSERT_TRUE(blog.setFailure(0, "drop"));
  units().syncSpaceCheck->click();
  ASSERT_FALSE(units().syncSpaceCheck->isChecked());
  units().titleEdit->setText(QStringLiteral("标题"));
  units().publishButton->click();
  EXPECT_EQ(toastTexts(), texts({"返回信息异常，可能已成功！请自行确认"}));
  // Called directly, the step looks at the box itself.
  crossPost("t", "b");
  EXPECT_EQ(toastTexts().size(), 1);
  EXPECT_TRUE(requests().empty());
}

TEST_F(CrossPost, RefusedPublishSendsNothingToEitherHost) {
  // The blog's login failed: nothing goes out, to the blog or the second
  // service.
  test::Sandbox& sb = *SandboxEnvironment::sandbox;
  const int articles = sb.articleCount();
  chooseSite("alice", "pw", "", "wrong");
  ASSERT_FALSE(w().blog().ready());
  units().titleEdit->setText(QStringLiteral("title"));
  units().publishButton->click();
  EXPECT_EQ(toastTexts(), texts({"请先选择网站并登录"}));
  EXPECT_TRUE(requests().empty());
  EXPECT_EQ(sb.articleCount(), articles);
}

}  // namespace
}  // namespace inkpost

namespace inkpost {
namespace {

// The waiting notice runs for up to 30 s; it ends as soon as the session
// is ready, so a sign-on that takes a moment costs a moment.
TEST_F(CrossPost, TheWaitingNoticeEndsAsSoonAsTheSessionIsReady) {
  chooseSite("alice", "pw");
  setToastTimeScale(1.0);
  QElapsedTimer clock;
  clock.start();
  crossPost("t", "b");
  EXPECT_LT(clock.elapsed(), 15000);
  EXPECT_EQ(toastTexts(), texts({"开始同步到百度空间！", "登录成功，正在获取相关参数，请稍等…", "发布成功！"}));
  EXPECT_FALSE(spaceCookie().empty());
}

}  // namespace
}  // namespace inkpost
