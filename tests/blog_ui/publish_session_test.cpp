// Publishing against the session it needs: nothing is sent without a site
// whose login read its edit page; an expired session is renewed quietly and
// the same article sent once more; an answer that may have stored the
// article is never followed by a second post; a slow blog keeps the window
// alive until it answers.
#include "blog/ui/login.h"
#include "blog/ui/publish.h"

#include "blog/captcha.h"
#include "blog/ui/editorbody.h"
#include "common/programdir.h"
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

#include <gtest/gtest.h>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QStatusBar>
#include <QTimer>
#include <QWebEngineView>

namespace inkpost {
namespace {

using test::countOf;
using test::Sandbox;

QString q(const char* utf8) { return QString::fromUtf8(utf8); }

class PublishSession : public test::SessionTest {
 protected:
  static void SetUpTestSuite() { setProgramDir(INKPOST_PROGRAM_DIR); }
  void SetUp() override {
    SessionTest::SetUp();
    test::ensureCaptchaData();
    ASSERT_GT(CaptchaDataHandle(), 0);
    setToastTimeScale(0);
    clearToastHistory();
    blogSession().ready = false;
    w_ = std::make_unique<MainWindow>();
    w_->show();
    loadEditorPage(test::units(*w_).editorView);
    ASSERT_TRUE(test::waitUntil([&] { return editorReady(test::units(*w_).editorView); }, 30000));
  }
  void TearDown() override {
    SessionTest::TearDown();
    setToastTimeScale(1.0);
  }

  // Chooses the blog in the chooser (which logs in) and types an article.
  void chooseAndWrite(const Sandbox& sb, const std::string& password = "secret") {
    SiteRecord rec;
    rec.id = 1;
    rec.webname = fromUtf8("沙盒博客");
    rec.weburl = sb.siteUrl();
    rec.admin = "admin";
    rec.pass = password;
    {
      QSignalBlocker block(test::units(*w_).siteChooser);
      test::units(*w_).siteChooser->addItem(toQ(SiteChooserEntry(rec)));
      test::units(*w_).siteChooser->setItemData(0, rec.id, kSiteIdRole);
      test::units(*w_).siteChooser->setItemData(0, QVariant::fromValue(rec), kSiteRecordRole);
      test::units(*w_).siteChooser->setCurrentIndex(0);
    }
    onSiteSelected(*w_);
    test::units(*w_).titleEdit->setText(q("会话测试"));
    setEditorBody(test::units(*w_).editorView, fromUtf8("<p>正文</p>"));
    test::spin(200);
  }

  std::unique_ptr<MainWindow> w_;
};

TEST_F(PublishSession, NothingIsSentWithoutASiteOrBeforeALogin) {
  publishArticle(*w_);
  EXPECT_EQ(toastHistory(), std::vector<std::string>{chooseSiteNotice()});
  EXPECT_EQ(chooseSiteNotice(), fromUtf8("请先选择网站并登录"));

  Sandbox sb;
  chooseAndWrite(sb, "wrong");
  clearToastHistory();
  publishArticle(*w_);
  EXPECT_EQ(toastHistory(), std::vector<std::string>{chooseSiteNotice()});
  EXPECT_EQ(countOf(sb.requestLog(), "ArticlePst"), 0u);
}

TEST_F(PublishSession, AnExpiredSessionIsRenewedAndTheArticleSentOnceMore) {
  Sandbox sb({.extraArgs = {"--session-minutes", "0.02"}});  // 1.2 s idle
  chooseAndWrite(sb);
  ASSERT_TRUE(blogSession().ready);
  test::units(*w_).categoryBox->setCurrentIndex(test::units(*w_).categoryBox->count() - 1);
  const QString category = test::units(*w_).categoryBox->currentText();
  const std::string year = fromQ(test::units(*w_).yearEdit->text());
  test::spin(1800);
  clearToastHistory();
  publishArticle(*w_);
  EXPECT_EQ(toastHistory(), std::vector<std::string>{publishedNotice()}) << "the renewal is quiet";
  EXPECT_EQ(countOf(sb.requestLog(), "ArticlePst"), 2u) << sb.requestLog();
  EXPECT_EQ(countOf(sb.requestLog(), "GET /login.asp"), 2u);
  ASSERT_EQ(sb.articleCount(), 1);
  EXPECT_EQ(sb.articleField(1, "edtTitle"), "会话测试");
  EXPECT_EQ(test::units(*w_).categoryBox->currentText(), category) << "the chosen category stays";
}

TEST_F(PublishSession, AnAnswerThatMayHaveStoredTheArticleIsNeverFollowedByASecondPost) {
  Sandbox sb({.extraArgs = {"--empty-post-answer"}});
  chooseAndWrite(sb);
  clearToastHistory();
  publishArticle(*w_);
  EXPECT_EQ(toastHistory(), std::vector<std::string>{unclearNotice()});
  EXPECT_EQ(countOf(sb.requestLog(), "ArticlePst"), 1u);
  EXPECT_EQ(sb.articleCount(), 1);
}

TEST_F(PublishSession, ASlowPostEndsInSuccessWhileTheWindowStaysAlive) {
  Sandbox sb({.extraArgs = {"--delay", "act=ArticlePst:6000"}});
  chooseAndWrite(sb);
  clearToastHistory();
  int ticks = 0;
  QStringList texts;
  bool waitCursor = false;
  QTimer sample;
  QObject::connect(&sample, &QTimer::timeout, [&] {
    ++ticks;
    const QString t = test::units(*w_).statusLine->currentMessage();
    if (!t.isEmpty() && !texts.contains(t)) texts << t;
    if (QApplication::overrideCursor() && QApplication::overrideCursor()->shape() == Qt::WaitCursor) waitCursor = true;
  });
  sample.start(100);
  publishArticle(*w_);
  sample.stop();
  EXPECT_EQ(toastHistory(), std::vector<std::string>{publishedNotice()});
  EXPECT_EQ(sb.articleCount(), 1);
  EXPECT_EQ(countOf(sb.requestLog(), "ArticlePst"), 1u);
  EXPECT_TRUE(texts.contains(q("正在发布…"))) << texts.join('|').toStdString();
  EXPECT_TRUE(waitCursor);
  EXPECT_GT(ticks, 40) << "the window thread kept running its event loop";
}

TEST_F(PublishSession, AWaitForThePostKeepsTheWindowAliveWithItsStep) {
  Sandbox sb({.extraArgs = {"--delay", "act=ArticlePst:3000"}});
  chooseAndWrite(sb);
  clearToastHistory();
  int ticks = 0;
  bool stepShown = false, waitCursor = false;
  QTimer sample;
  QObject::connect(&sample, &QTimer::timeout, [&] {
    ++ticks;
    if (test::units(*w_).statusLine->currentMessage() == q("正在发布…")) stepShown = true;
    if (QApplication::overrideCursor() && QApplication::overrideCursor()->shape() == Qt::WaitCursor) waitCursor = true;
  });
  sample.start(100);
  publishArticle(*w_);
  sample.stop();
  EXPECT_EQ(toastHistory(), std::vector<std::string>{publishedNotice()});
  EXPECT_EQ(sb.articleCount(), 1);
  EXPECT_TRUE(stepShown);
  EXPECT_TRUE(waitCursor);
  EXPECT_GT(ticks, 20) << "the window thread kept running its event loop";
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

}  // namespace
}  // namespace inkpost
