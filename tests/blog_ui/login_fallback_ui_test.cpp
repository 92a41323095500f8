// The login as a person meets it: the captcha dialog when the reads fail
// (and never otherwise), 换一张 and 取消, honest notices for a blog that is
// gone or lists no category, the status line and wait cursor while a slow
// blog answers. Through the wired window, as a person picks a site.
#include "blog/ui/captchadialog.h"
#include "blog/ui/login.h"

#include "blog/captcha.h"
#include "common/ui/modal.h"
#include "common/ui/toast.h"
#include "net/encoding.h"
#include "support/captchacode.h"
#include "support/capture_server.h"
#include "support/sandbox.h"
#include "support/wiredwindow.h"

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

// Acts on every captcha dialog that opens, from the dialog's own loop.
class DialogHand {
 public:
  explicit DialogHand(std::function<void(CaptchaDialog&)> act)
      : seam_([this, act = std::move(act)](QDialog& d) {
          auto* captcha = qobject_cast<CaptchaDialog*>(&d);
          ASSERT_TRUE(captcha) << "unexpected dialog " << d.windowTitle().toStdString();
          ++shown;
          act(*captcha);
        }) {}
  int shown = 0;

 private:
  ModalSeam seam_;
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

class LoginFallback : public test::WiredWindow {
 protected:
  void SetUp() override {
    WiredWindow::SetUp();
    ASSERT_GT(CaptchaDataHandle(), 0);
  }

  // The blog as the chooser lists it.
  int site(const std::string& url) {
    SiteRecord rec;
    rec.webname = fromUtf8("沙盒博客");
    rec.weburl = url;
    rec.admin = "admin";
    rec.pass = "secret";
    return addSite(rec);
  }
  // An entry in 组合框_分类 as an earlier site would have left it.
  void oldCategory() {
    QSignalBlocker block(units().categoryBox);
    units().categoryBox->addItem("old site", 9);
  }
};

TEST_F(LoginFallback, ATypedCodeLogsInWhenTheReadsFail) {
  Sandbox sb({.extraArgs = {"--captcha", "blank"}});
  const int id = site(sb.siteUrl());
  QSize picture;
  DialogHand hand([&](CaptchaDialog& d) {
    picture = d.picture()->pixmap().size();
    EXPECT_EQ(d.objectName(), q("验证码窗口"));
    EXPECT_EQ(d.anotherButton()->text(), q("换一张"));
    QTest::keyClicks(d.codeEdit(), QString::fromStdString(test::expectedCaptchaCode(sb)));
    d.okButton()->click();
  });
  pick(id);
  EXPECT_EQ(hand.shown, 1);
  // 60 x 20 enlarged four times, pixel for pixel.
  EXPECT_EQ(picture, QSize(60 * kCaptchaZoom, 20 * kCaptchaZoom));
  EXPECT_EQ(toastHistory(), std::vector<std::string>{loginDoneNotice()});
  EXPECT_GT(units().categoryBox->count(), 0);
  EXPECT_TRUE(w().blog().ready());
  EXPECT_TRUE(sb.waitForLog("act=verify", 1));
  EXPECT_EQ(countOf(sb.requestLog(), "act=verify"), 1u);
}

TEST_F(LoginFallback, AnotherPictureComesFromTheSameSessionAndCancelEndsTheLogin) {
  Sandbox sb({.extraArgs = {"--captcha", "blank"}});
  const int id = site(sb.siteUrl());
  oldCategory();
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
  pick(id);
  EXPECT_EQ(hand.shown, 1) << "取消 ends the whole login";
  EXPECT_EQ(fetchesAfter, fetchesBefore + 1);
  EXPECT_EQ(cookieAfter, cookieBefore);
  EXPECT_TRUE(pictureShown);
  EXPECT_EQ(toastHistory(), std::vector<std::string>{cancelledLoginNotice()}) << "not a word about the password";
  EXPECT_EQ(countOf(sb.requestLog(), "act=verify"), 0u);
  EXPECT_EQ(units().categoryBox->count(), 0) << "a failed login leaves no list of an earlier site";
  EXPECT_FALSE(w().blog().ready());
}

TEST(CaptchaPicture, APictureLargerThanTheDialogShowsIsRefusedFromItsHeader) {
  // A few kilobytes that decode to 5790 x 5790 pixels (and 4x that shown):
  // refused before decoding, with the line that says no picture came.
  CaptchaDialog huge(nullptr, test::squarePng(5790), {});
  EXPECT_TRUE(huge.picture()->pixmap().isNull());
  EXPECT_TRUE(huge.picture()->text().startsWith(q("没有取到验证码图片"))) << huge.picture()->text().toStdString();
  CaptchaDialog over(nullptr, test::squarePng(kCaptchaShownMaxSide + 1), {});
  EXPECT_TRUE(over.picture()->pixmap().isNull());
  // The largest picture is shown as it is, a smaller one enlarged up to 4x.
  CaptchaDialog edge(nullptr, test::squarePng(kCaptchaShownMaxSide), {});
  EXPECT_EQ(edge.picture()->pixmap().size(), QSize(kCaptchaShownMaxSide, kCaptchaShownMaxSide));
  EXPECT_TRUE(edge.picture()->text().isEmpty());
  CaptchaDialog mid(nullptr, test::squarePng(300), {});
  EXPECT_EQ(mid.picture()->pixmap().size(), QSize(900, 900));
}

TEST_F(LoginFallback, NeverShownWhenTheReadsSucceed) {
  Sandbox sb;
  const int id = site(sb.siteUrl());
  DialogHand hand([](CaptchaDialog& d) { d.cancelButton()->click(); });
  pick(id);
  EXPECT_EQ(hand.shown, 0);
  ASSERT_FALSE(toastHistory().empty());
  EXPECT_EQ(toastHistory().back(), loginDoneNotice());
}

TEST_F(LoginFallback, ARefusedCodeOnTheLastAttemptAsksThePerson) {
  // Four pictures show wrong digits: four refused codes, then the dialog
  // with a fresh picture of the fourth session.
  Sandbox sb({.extraArgs = {"--captcha-misread", "4"}});
  const int id = site(sb.siteUrl());
  DialogHand hand([&](CaptchaDialog& d) {
    QTest::keyClicks(d.codeEdit(), QString::fromStdString(test::expectedCaptchaCode(sb)));
    d.okButton()->click();
  });
  pick(id);
  EXPECT_EQ(hand.shown, 1);
  EXPECT_EQ(toastHistory(), (std::vector<std::string>{loginRetryNotice(1), loginRetryNotice(2), loginRetryNotice(3),
                                                      loginDoneNotice()}));
}

TEST_F(LoginFallback, AnUnreachableBlogIsSaidToBeUnreachable) {
  // Logged in to a blog with tags first: the gone blog shows none of them.
  Sandbox earlier({.extraArgs = {"--tags", "old"}});
  pick(site(earlier.siteUrl()));
  ASSERT_EQ(w().blog().tags(), std::vector<std::string>{"old"});
  ASSERT_GT(units().categoryBox->count(), 0);
  clearToastHistory();
  DialogHand hand([](CaptchaDialog& d) { d.cancelButton()->click(); });
  pick(site("http://127.0.0.1:1/"));
  ASSERT_EQ(toastHistory().size(), 1u);
  EXPECT_EQ(toastHistory()[0], unreachableNotice() + "\n" + fromUtf8("连接被拒绝，或网络不通")) << "with the cause";
  EXPECT_NE(unreachableNotice(), loginFailedNotice());
  EXPECT_EQ(hand.shown, 0);
  EXPECT_EQ(units().categoryBox->count(), 0);
  EXPECT_TRUE(w().blog().tags().empty());
}

TEST_F(LoginFallback, AnOversizeAnswerIsNamedAsSuchNotAsUnreachable) {
  // Something answers at the address, but with more than any page can be.
  test::CaptureServer huge(
      "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: 40000000\r\n"
      "Connection: close\r\n\r\n" +
      std::string(4096, 'x'));
  const int id = site(huge.url("/"));
  DialogHand hand([](CaptchaDialog& d) { d.cancelButton()->click(); });
  pick(id);
  EXPECT_EQ(toastHistory(), std::vector<std::string>{tooLargeNotice()});
  EXPECT_NE(tooLargeNotice(), unreachableNotice());
  EXPECT_EQ(hand.shown, 0);
  EXPECT_EQ(huge.requests().size(), 1u) << "no second attempt";
}

TEST_F(LoginFallback, ASlowEditPageKeepsTheWindowAliveAndNeverSucceedsEmpty) {
  Sandbox sb({.extraArgs = {"--delay", "edit_fckeditor:2500", "--delay", "act=verify:1000"}});
  const int id = site(sb.siteUrl());
  WaitWatcher watch(w());
  pick(id);
  EXPECT_TRUE(watch.texts.contains(q("正在登录 沙盒博客（第1次）…"))) << watch.texts.join('|').toStdString();
  EXPECT_TRUE(watch.texts.contains(q("正在读取编辑页…"))) << watch.texts.join('|').toStdString();
  EXPECT_TRUE(watch.waitCursor);
  EXPECT_GT(watch.ticks, 40) << "the event loop ran all along";
  EXPECT_EQ(QApplication::overrideCursor(), nullptr) << "the cursor is back";
  EXPECT_EQ(toastHistory(), std::vector<std::string>{loginDoneNotice()});
  EXPECT_GT(units().categoryBox->count(), 0);
}

}  // namespace
}  // namespace inkpost
