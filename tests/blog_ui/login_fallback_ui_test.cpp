// The login as a person meets it: the captcha dialog when the reads fail
// (and never otherwise), 换一张 and 取消, honest notices for a blog that is
// gone or lists no category, the status line and wait cursor while a slow
// blog answers.
#include "blog/ui/captchadialog.h"
#include "blog/ui/login.h"

#include "blog/captcha.h"
#include "common/session.h"
#include "common/ui/gbk.h"
#include "common/ui/toast.h"
#include "net/encoding.h"
#include "shell/mainwindow.h"
#include "sites/chooserentry.h"
#include "sites/ui/sitechooser.h"
#include "support/captchacode.h"
#include "support/captchadata.h"
#include "support/guiwait.h"
#include "support/mainunits.h"
#include "support/sandbox.h"
#include "support/session.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStatusBar>
#include <QTest>
#include <QTimer>

#include <functional>

namespace inkpost {
namespace {

using test::countOf;
using test::Sandbox;

// Acts on every captcha dialog that opens, once each, from the event loop
// the dialog runs.
class DialogHand {
 public:
  explicit DialogHand(std::function<void(CaptchaDialog&)> act) : act_(std::move(act)) {
    QObject::connect(&timer_, &QTimer::timeout, [this] { poll(); });
    timer_.start(10);
  }
  int shown = 0;

 private:
  void poll() {
    for (QWidget* top : QApplication::topLevelWidgets()) {
      auto* d = qobject_cast<CaptchaDialog*>(top);
      if (!d || !d->isVisible() || d->property("handled").toBool()) continue;
      d->setProperty("handled", true);
      ++shown;
      act_(*d);
    }
  }
  std::function<void(CaptchaDialog&)> act_;
  QTimer timer_;
};

// Samples the window while a handler waits: the status line's texts and
// whether the wait cursor was up, each time the event loop ran a timer.
class WaitWatcher {
 public:
  explicit WaitWatcher(MainWindow& w) {
    QObject::connect(&timer_, &QTimer::timeout, [this, &w] {
      ++ticks;
      const QString text = test::units(w).statusLine->currentMessage();
      if (!text.isEmpty() && (texts.isEmpty() || texts.back() != text)) texts << text;
      if (QApplication::overrideCursor() && QApplication::overrideCursor()->shape() == Qt::WaitCursor)
        waitCursor = true;
    });
    timer_.start(50);
  }
  int ticks = 0;
  QStringList texts;
  bool waitCursor = false;

 private:
  QTimer timer_;
};

QString q(const char* utf8) { return QString::fromUtf8(utf8); }

class LoginFallback : public test::SessionTest {
 protected:
  void SetUp() override {
    SessionTest::SetUp();
    test::ensureCaptchaData();
    ASSERT_GT(CaptchaDataHandle(), 0);
    setToastTimeScale(0);
    clearToastHistory();
    blogSession().tags.clear();
    blogSession().ready = false;
    w_ = std::make_unique<MainWindow>();
    w_->show();
  }
  void TearDown() override {
    SessionTest::TearDown();
    setToastTimeScale(1.0);
  }

  void choose(const std::string& url) {
    SiteRecord rec;
    rec.id = 1;
    rec.webname = fromUtf8("沙盒博客");
    rec.weburl = url;
    rec.admin = "admin";
    rec.pass = "secret";
    QSignalBlocker block(test::units(*w_).siteChooser);
    test::units(*w_).siteChooser->clear();
    test::units(*w_).siteChooser->addItem(toQ(SiteChooserEntry(rec)));
    test::units(*w_).siteChooser->setItemData(0, rec.id, kSiteIdRole);
    test::units(*w_).siteChooser->setItemData(0, QVariant::fromValue(rec), kSiteRecordRole);
    test::units(*w_).siteChooser->setCurrentIndex(0);
  }

  std::unique_ptr<MainWindow> w_;
};

TEST_F(LoginFallback, ATypedCodeLogsInWhenTheReadsFail) {
  Sandbox sb({.extraArgs = {"--captcha", "blank"}});
  choose(sb.siteUrl());
  QSize picture;
  DialogHand hand([&](CaptchaDialog& d) {
    picture = d.picture()->pixmap().size();
    EXPECT_EQ(d.objectName(), q("验证码窗口"));
    EXPECT_EQ(d.anotherButton()->text(), q("换一张"));
    QTest::keyClicks(d.codeEdit(), QString::fromStdString(test::expectedCaptchaCode(sb)));
    d.okButton()->click();
  });
  onSiteSelected(*w_);
  EXPECT_EQ(hand.shown, 1);
  // 60 x 20 enlarged four times, pixel for pixel.
  EXPECT_EQ(picture, QSize(60 * kCaptchaZoom, 20 * kCaptchaZoom));
  EXPECT_EQ(toastHistory(), std::vector<std::string>{loginDoneNotice()});
  EXPECT_GT(test::units(*w_).categoryBox->count(), 0);
  EXPECT_TRUE(blogSession().ready);
  EXPECT_EQ(countOf(sb.requestLog(), "act=verify"), 1u);
}

TEST_F(LoginFallback, AnotherPictureComesFromTheSameSessionAndCancelEndsTheLogin) {
  Sandbox sb({.extraArgs = {"--captcha", "blank"}});
  choose(sb.siteUrl());
  {
    QSignalBlocker block(test::units(*w_).categoryBox);
    test::units(*w_).categoryBox->addItem("old site", 9);
  }
  size_t fetchesBefore = 0, fetchesAfter = 0;
  std::string cookieBefore, cookieAfter;
  bool pictureShown = false;
  DialogHand hand([&](CaptchaDialog& d) {
    // Every automatic read is in the log before the dialog's own fetch.
    sb.waitForLog("c_validcode.asp", static_cast<size_t>(captchaSettings(CaptchaDataHandle()).reads));
    cookieBefore = test::lastCaptchaCookie(sb);
    fetchesBefore = countOf(sb.requestLog(), "c_validcode.asp");
    QTest::keyClicks(d.codeEdit(), "99");
    d.anotherButton()->click();
    sb.waitForLog("c_validcode.asp", fetchesBefore + 1);
    fetchesAfter = countOf(sb.requestLog(), "c_validcode.asp");
    cookieAfter = test::lastCaptchaCookie(sb);
    pictureShown = !d.picture()->pixmap().isNull();
    EXPECT_TRUE(d.codeEdit()->text().isEmpty()) << "a new picture wants a new code";
    d.cancelButton()->click();
  });
  onSiteSelected(*w_);
  EXPECT_EQ(hand.shown, 1) << "取消 ends the whole login";
  EXPECT_EQ(fetchesAfter, fetchesBefore + 1);
  EXPECT_EQ(cookieAfter, cookieBefore);
  EXPECT_TRUE(pictureShown);
  EXPECT_EQ(toastHistory(), std::vector<std::string>{loginFailedNotice()});
  EXPECT_EQ(countOf(sb.requestLog(), "act=verify"), 0u);
  EXPECT_EQ(test::units(*w_).categoryBox->count(), 0) << "a failed login leaves no list of an earlier site";
  EXPECT_FALSE(blogSession().ready);
}

TEST_F(LoginFallback, NeverShownWhenTheReadsSucceed) {
  Sandbox sb;
  choose(sb.siteUrl());
  DialogHand hand([](CaptchaDialog& d) { d.cancelButton()->click(); });
  onSiteSelected(*w_);
  EXPECT_EQ(hand.shown, 0);
  EXPECT_EQ(toastHistory().back(), loginDoneNotice());
}

TEST_F(LoginFallback, ARefusedCodeOnTheLastAttemptAsksThePerson) {
  // Four pictures show wrong digits: four refused codes, then the dialog
  // with a fresh picture of the fourth session.
  Sandbox sb({.extraArgs = {"--captcha-misread", "4"}});
  choose(sb.siteUrl());
  DialogHand hand([&](CaptchaDialog& d) {
    QTest::keyClicks(d.codeEdit(), QString::fromStdString(test::expectedCaptchaCode(sb)));
    d.okButton()->click();
  });
  onSiteSelected(*w_);
  EXPECT_EQ(hand.shown, 1);
  EXPECT_EQ(toastHistory(), (std::vector<std::string>{loginRetryNotice(1), loginRetryNotice(2), loginRetryNotice(3),
                                                      loginDoneNotice()}));
}

TEST_F(LoginFallback, AnUnreachableBlogIsSaidToBeUnreachable) {
  choose("http://127.0.0.1:1/");
  {
    QSignalBlocker block(test::units(*w_).categoryBox);
    test::units(*w_).categoryBox->addItem("old site", 9);
  }
  blogSession().tags = {"old"};
  DialogHand hand([](CaptchaDialog& d) { d.cancelButton()->click(); });
  onSiteSelected(*w_);
  EXPECT_EQ(toastHistory(), std::vector<std::string>{unreachableNotice()});
  EXPECT_NE(unreachableNotice(), loginFailedNotice());
  EXPECT_EQ(hand.shown, 0);
  EXPECT_EQ(test::units(*w_).categoryBox->count(), 0);
  EXPECT_TRUE(blogSession().tags.empty());
}

TEST_F(LoginFallback, ASlowEditPageKeepsTheWindowAliveAndNeverSucceedsEmpty) {
  Sandbox sb({.extraArgs = {"--delay", "edit_fckeditor:2500", "--delay", "act=verify:1000"}});
  choose(sb.siteUrl());
  WaitWatcher watch(*w_);
  onSiteSelected(*w_);
  EXPECT_TRUE(watch.texts.contains(q("正在登录 沙盒博客（第1次）…"))) << watch.texts.join('|').toStdString();
  EXPECT_TRUE(watch.texts.contains(q("正在读取编辑页…"))) << watch.texts.join('|').toStdString();
  EXPECT_TRUE(watch.waitCursor);
  EXPECT_GT(watch.ticks, 40) << "the event loop ran all along";
  EXPECT_EQ(QApplication::overrideCursor(), nullptr) << "the cursor is back";
  EXPECT_EQ(toastHistory(), std::vector<std::string>{loginDoneNotice()});
  EXPECT_GT(test::units(*w_).categoryBox->count(), 0);
}

}  // namespace
}  // namespace inkpost
