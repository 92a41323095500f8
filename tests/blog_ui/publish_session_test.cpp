// Publishing against the session it needs: nothing is sent without a site
// whose login read its edit page; an expired session is renewed quietly and
// the same article sent once more; an answer that may have stored the
// article is never followed by a second post; a slow blog keeps the window
// alive until it answers. Through the wired window.
#include "blog/ui/login.h"
#include "blog/ui/publish.h"

#include "blog/captcha.h"
#include "blog/ui/editorbody.h"
#include "common/ui/gbk.h"
#include "common/ui/toast.h"
#include "net/encoding.h"
#include "support/captchacode.h"
#include "support/sandbox.h"
#include "support/wiredwindow.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
#include <QWebEngineView>

namespace inkpost {
namespace {

using test::countOf;
using test::Sandbox;

QString q(const char* utf8) { return QString::fromUtf8(utf8); }

class PublishSession : public test::WiredWindow {
 protected:
  void SetUp() override {
    WiredWindow::SetUp();
    ASSERT_GT(CaptchaDataHandle(), 0);
    ASSERT_TRUE(editorUp());
  }

  // Picks the blog in the chooser (which logs in) and types an article.
  void chooseAndWrite(const Sandbox& sb, const std::string& password = "secret") {
    SiteRecord rec;
    rec.webname = fromUtf8("沙盒博客");
    rec.weburl = sb.siteUrl();
    rec.admin = "admin";
    rec.pass = password;
    pick(addSite(rec));
    units().titleEdit->setText(q("会话测试"));
    setEditorBody(units().editorView, fromUtf8("<p>正文</p>"));
    test::spin(200);
  }
  void publish() { w().publishButton()->click(); }

  // Samples the window while the publish waits: the status line's texts,
  // the wait cursor, and how often the event loop ran the sampling timer.
  struct Watch {
    int ticks = 0;
    QStringList texts;
    bool waitCursor = false;
  };
  Watch publishWatched() {
    Watch seen;
    QTimer sample;
    QObject::connect(&sample, &QTimer::timeout, [&] {
      ++seen.ticks;
      const QString t = units().statusLine->currentMessage();
      if (!t.isEmpty() && !seen.texts.contains(t)) seen.texts << t;
      if (QApplication::overrideCursor() && QApplication::overrideCursor()->shape() == Qt::WaitCursor)
        seen.waitCursor = true;
    });
    sample.start(100);
    publish();
    return seen;
  }
};

TEST_F(PublishSession, NothingIsSentWithoutASiteOrBeforeALogin) {
  publish();
  EXPECT_EQ(toastHistory(), std::vector<std::string>{chooseSiteNotice()});
  EXPECT_EQ(chooseSiteNotice(), fromUtf8("请先选择网站并登录"));

  Sandbox sb;
  chooseAndWrite(sb, "wrong");
  clearToastHistory();
  publish();
  EXPECT_EQ(toastHistory(), std::vector<std::string>{chooseSiteNotice()});
  EXPECT_EQ(countOf(sb.requestLog(), "ArticlePst"), 0u);
}

TEST_F(PublishSession, AnExpiredSessionIsRenewedAndTheArticleSentOnceMore) {
  Sandbox sb({.extraArgs = {"--session-minutes", "0.02"}});  // 1.2 s idle
  chooseAndWrite(sb);
  ASSERT_TRUE(w().blog().ready());
  units().categoryBox->setCurrentIndex(units().categoryBox->count() - 1);
  const QString category = units().categoryBox->currentText();
  test::spin(1800);
  clearToastHistory();
  publish();
  EXPECT_EQ(toastHistory(), std::vector<std::string>{publishedNotice()}) << "the renewal is quiet";
  EXPECT_TRUE(sb.waitForLog("ArticlePst", 2)) << sb.requestLog();
  EXPECT_EQ(countOf(sb.requestLog(), "ArticlePst"), 2u) << sb.requestLog();
  EXPECT_EQ(countOf(sb.requestLog(), "GET /login.asp"), 2u);
  ASSERT_EQ(sb.articleCount(), 1);
  EXPECT_EQ(sb.articleField(1, "edtTitle"), "会话测试");
  EXPECT_EQ(units().categoryBox->currentText(), category) << "the chosen category stays";
}

TEST_F(PublishSession, AnAnswerThatMayHaveStoredTheArticleIsNeverFollowedByASecondPost) {
  Sandbox sb({.extraArgs = {"--empty-post-answer"}});
  chooseAndWrite(sb);
  clearToastHistory();
  publish();
  EXPECT_EQ(toastHistory(), std::vector<std::string>{unclearNotice()});
  EXPECT_TRUE(sb.waitForLog("ArticlePst", 1));
  EXPECT_EQ(countOf(sb.requestLog(), "ArticlePst"), 1u);
  EXPECT_EQ(sb.articleCount(), 1);
}

TEST_F(PublishSession, ASlowPostEndsInSuccessWhileTheWindowStaysAlive) {
  Sandbox sb({.extraArgs = {"--delay", "act=ArticlePst:6000"}});
  chooseAndWrite(sb);
  clearToastHistory();
  const Watch seen = publishWatched();
  EXPECT_EQ(toastHistory(), std::vector<std::string>{publishedNotice()});
  EXPECT_EQ(sb.articleCount(), 1);
  EXPECT_TRUE(sb.waitForLog("ArticlePst", 1));
  EXPECT_EQ(countOf(sb.requestLog(), "ArticlePst"), 1u);
  EXPECT_TRUE(seen.texts.contains(q("正在发布…"))) << seen.texts.join('|').toStdString();
  EXPECT_TRUE(seen.waitCursor);
  EXPECT_GT(seen.ticks, 40) << "the window thread kept running its event loop";
}

TEST_F(PublishSession, AWaitForThePostKeepsTheWindowAliveWithItsStep) {
  Sandbox sb({.extraArgs = {"--delay", "act=ArticlePst:3000"}});
  chooseAndWrite(sb);
  clearToastHistory();
  const Watch seen = publishWatched();
  EXPECT_EQ(toastHistory(), std::vector<std::string>{publishedNotice()});
  EXPECT_EQ(sb.articleCount(), 1);
  EXPECT_TRUE(seen.texts.contains(q("正在发布…")));
  EXPECT_TRUE(seen.waitCursor);
  EXPECT_GT(seen.ticks, 20) << "the window thread kept running its event loop";
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

}  // namespace
}  // namespace inkpost
