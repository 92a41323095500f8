// The publish button and the alias handlers on a real main window, posting
// to the sandbox blog with the body typed in the real editor page.
#include "blog/ui/publish.h"
#include "blog/ui/editorbody.h"
#include "common/programdir.h"
#include "common/session.h"
#include "common/ui/gbk.h"
#include "common/ui/toast.h"
#include "net/encoding.h"
#include "shell/mainwindow.h"
#include "sites/chooserentry.h"
#include "sites/ui/sitechooser.h"
#include "support/guiwait.h"
#include "support/mainunits.h"
#include "support/sandboxlogin.h"
#include "support/session.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLineEdit>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <QWebEngineView>

#include <memory>
#include <string>

namespace inkpost {
namespace {

using test::Sandbox;
using test::sandboxLogin;
using test::sandboxOptions;
using test::spin;

std::string gbk(const char* utf8) { return fromUtf8(utf8); }
QString q(const char* utf8) { return QString::fromUtf8(utf8); }

class Publishing : public inkpost::test::SessionTest {
 protected:
  static void SetUpTestSuite() {
    setProgramDir(INKPOST_PROGRAM_DIR);
    setToastTimeScale(0);
  }

  void SetUp() override {
    SessionTest::SetUp();
    setToastTimeScale(0);
    blogSession().crossPost = nullptr;
    w_ = std::make_unique<MainWindow>();
    w_->show();
    loadEditorPage(inkpost::test::units(*w_).editorView);
  }

  void TearDown() override {
    SessionTest::TearDown();
    blogSession().crossPost = nullptr;
    w_.reset();
  }

  // Points the chooser at the blog, logs in and fills every field.
  void prepare(const Sandbox& blog) {
    SiteRecord site;
    site.id = 7;
    site.webname = gbk("沙盒");
    site.weburl = blog.siteUrl();
    site.admin = "admin";
    site.pass = "secret";
    inkpost::test::units(*w_).siteChooser->addItem(toQ(SiteChooserEntry(site)), 7);
    inkpost::test::units(*w_).siteChooser->setItemData(0, QVariant::fromValue(site), kSiteRecordRole);
    inkpost::test::units(*w_).siteChooser->setCurrentIndex(0);
    blogSession().cookie = sandboxLogin(blog);
    blogSession().site = blog.siteUrl();
    blogSession().ready = true;  // as after a login that read the edit page

    inkpost::test::units(*w_).categoryBox->addItem(q("未分类"), 1);
    inkpost::test::units(*w_).categoryBox->addItem(q("随笔"), 2);
    inkpost::test::units(*w_).categoryBox->setCurrentIndex(1);
    inkpost::test::units(*w_).authorBox->addItem(q("admin"), 1);
    inkpost::test::units(*w_).authorBox->setCurrentIndex(0);
    inkpost::test::units(*w_).typeBox->setCurrentIndex(2);  // 锁定文章
    inkpost::test::units(*w_).stickyCheck->setChecked(true);
    inkpost::test::units(*w_).autoAliasCheck->setChecked(true);
    inkpost::test::units(*w_).titleEdit->setText(q("中文 V2 标题"));
    onTitleChanged(*w_);
    inkpost::test::units(*w_).tagsEdit->setText(q("随笔,Qt"));
    inkpost::test::units(*w_).yearEdit->clear();
    QTest::keyClicks(inkpost::test::units(*w_).yearEdit, "2026");  // typed: sent as is
    inkpost::test::units(*w_).monthEdit->clear();
    QTest::keyClicks(inkpost::test::units(*w_).monthEdit, "12");  // typed: sent as is
    inkpost::test::units(*w_).dayEdit->clear();
    QTest::keyClicks(inkpost::test::units(*w_).dayEdit, "8");  // typed: sent as is
    inkpost::test::units(*w_).timeEdit->clear();
    QTest::keyClicks(inkpost::test::units(*w_).timeEdit, "9:5:3");  // typed: sent as is
    setEditorBody(inkpost::test::units(*w_).editorView, gbk("<p>正文 it's \"quoted\" \\ </p>\r\n<p>&#128512;</p>"));
    QElapsedTimer t;
    t.start();
    while (!editorReady(inkpost::test::units(*w_).editorView) && t.elapsed() < 30000) spin(20);
    ASSERT_TRUE(editorReady(inkpost::test::units(*w_).editorView));
  }

  std::unique_ptr<MainWindow> w_;
};

TEST_F(Publishing, PostsEveryFieldAndTellsSuccess) {
  Sandbox blog(sandboxOptions());
  prepare(blog);
  publishArticle(*w_);

  ASSERT_EQ(blog.articleCount(), 1);
  EXPECT_EQ(blog.articleField(1, "edtTitle"), "中文 V2 标题");
  EXPECT_EQ(blog.articleField(1, "edtCateID"), "2");
  EXPECT_EQ(blog.articleField(1, "edtTag"), "随笔,Qt");
  EXPECT_EQ(blog.articleField(1, "edtAuthorID"), "1");
  EXPECT_EQ(blog.articleField(1, "edtLevel"), "3");
  EXPECT_EQ(blog.articleField(1, "edtTime"), "9:5:3");
  EXPECT_EQ(blog.articleField(1, "edtAlias"), "zhongwenv2biaoti");
  EXPECT_EQ(blog.articleField(1, "txaContent"), "<p>正文 it's \"quoted\" \\ </p>\r\n<p>&#128512;</p>");
  EXPECT_EQ(blog.articleField(1, "txaIntro"), "正文 it's \"quoted\" \\ \r\n&#128512;");
  EXPECT_EQ(blog.articleField(1, "edtIstop"), "true");
  const std::string raw = blog.get("_sandbox/articles/1");
  EXPECT_EQ(raw.substr(raw.size() - 14), "&edtIstop=true");
  EXPECT_EQ(toastHistory(), std::vector<std::string>{publishedNotice()});
}

TEST_F(Publishing, RefusalAndEmptyAnswerNotices) {
  {
    Sandbox blog(sandboxOptions({"--refuse-posts"}));
    prepare(blog);
    publishArticle(*w_);
    EXPECT_EQ(toastHistory(), std::vector<std::string>{refusedNotice()});
  }
  clearToastHistory();
  {
    Sandbox blog(sandboxOptions({"--empty-post-answer"}));
    inkpost::test::units(*w_).siteChooser->clear();
    inkpost::test::units(*w_).categoryBox->clear();
    inkpost::test::units(*w_).authorBox->clear();
    prepare(blog);
    publishArticle(*w_);
    EXPECT_EQ(toastHistory(), std::vector<std::string>{unclearNotice()});
    EXPECT_EQ(blog.articleCount(), 1);
  }
}

TEST_F(Publishing, RootAddressInTheBodyBecomesTheSite) {
  Sandbox blog(sandboxOptions());
  prepare(blog);
  // An image typed with a relative address in the editor.
  QEventLoop loop;
  inkpost::test::units(*w_).editorView->page()->runJavaScript(
      "tinymce.activeEditor.setContent('<p><img src=\"upload/a.jpg\"></p>')", [&](const QVariant&) { loop.quit(); });
  loop.exec();
  publishArticle(*w_);
  ASSERT_EQ(blog.articleCount(), 1);
  const std::string body = blog.articleField(1, "txaContent");
  EXPECT_NE(body.find("src=\"" + blog.siteUrl() + "upload/a.jpg\""), std::string::npos) << body;
  EXPECT_EQ(body.find("file:"), std::string::npos) << body;
}

TEST_F(Publishing, CrossPostHookRunsAfterPostsThatMayHaveWorked) {
  int calls = 0;
  std::string title, body;
  blogSession().crossPost = [&](QWidget&, const std::string& t, const std::string& b) {
    ++calls;
    title = t;
    body = b;
  };
  {
    Sandbox blog(sandboxOptions());
    prepare(blog);
    inkpost::test::units(*w_).syncSpaceCheck->setChecked(false);
    publishArticle(*w_);
    EXPECT_EQ(calls, 0);
    inkpost::test::units(*w_).syncSpaceCheck->setChecked(true);
    publishArticle(*w_);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(title, gbk("中文 V2 标题"));
    EXPECT_EQ(body, gbk("<p>正文 it's \"quoted\" \\ </p>\r\n<p>&#128512;</p>"));
  }
  inkpost::test::units(*w_).siteChooser->clear();
  inkpost::test::units(*w_).categoryBox->clear();
  inkpost::test::units(*w_).authorBox->clear();
  {
    Sandbox blog(sandboxOptions({"--refuse-posts"}));
    prepare(blog);
    inkpost::test::units(*w_).syncSpaceCheck->setChecked(true);
    publishArticle(*w_);
    EXPECT_EQ(calls, 1);  // a refusal does not cross-post
  }
  // Without a hook the sync box does nothing and claims nothing.
  blogSession().crossPost = nullptr;
  clearToastHistory();
  inkpost::test::units(*w_).siteChooser->clear();
  inkpost::test::units(*w_).categoryBox->clear();
  inkpost::test::units(*w_).authorBox->clear();
  {
    Sandbox blog(sandboxOptions());
    prepare(blog);
    inkpost::test::units(*w_).syncSpaceCheck->setChecked(true);
    publishArticle(*w_);
    EXPECT_EQ(toastHistory(), std::vector<std::string>{publishedNotice()});
  }
}

TEST_F(Publishing, AliasFollowsTheTitleOnlyWhenAutomatic) {
  inkpost::test::units(*w_).autoAliasCheck->setChecked(false);
  inkpost::test::units(*w_).aliasEdit->setText("mine");
  inkpost::test::units(*w_).titleEdit->setText(q("新标题"));
  onTitleChanged(*w_);
  EXPECT_EQ(inkpost::test::units(*w_).aliasEdit->text(), "mine");
  inkpost::test::units(*w_).autoAliasCheck->setChecked(true);
  onAutoAliasClicked(*w_);
  EXPECT_EQ(inkpost::test::units(*w_).aliasEdit->text(), "xinbiaoti");
  inkpost::test::units(*w_).titleEdit->setText(q("Ｈｅｌｌｏ 世界！"));
  onTitleChanged(*w_);
  EXPECT_EQ(inkpost::test::units(*w_).aliasEdit->text(), "helloshijie");
  // Unticking leaves the alias alone.
  inkpost::test::units(*w_).autoAliasCheck->setChecked(false);
  onAutoAliasClicked(*w_);
  EXPECT_EQ(inkpost::test::units(*w_).aliasEdit->text(), "helloshijie");
}

}  // namespace
}  // namespace inkpost

namespace inkpost {
namespace {

// A timer that falls due while the publish handler waits for the editor
// page starts a second publish: it is refused, and one article arrives. The
// status line tells what goes on and the cursor comes back afterwards.
TEST_F(Publishing, ASecondPublishFromATimerDuringTheWaitIsRefused) {
  Sandbox blog(sandboxOptions());
  prepare(blog);
  int fired = 0;
  QString statusDuring;
  QTimer::singleShot(0, w_.get(), [&] {
    ++fired;
    statusDuring = inkpost::test::units(*w_).statusLine->currentMessage();
    publishArticle(*w_);
  });
  publishArticle(*w_);
  EXPECT_EQ(fired, 1);
  EXPECT_EQ(blog.articleCount(), 1);
  EXPECT_EQ(statusDuring, q("正在发布…"));
  EXPECT_TRUE(inkpost::test::units(*w_).statusLine->currentMessage().isEmpty());
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);

  // Once the first is over, the next publish goes out.
  publishArticle(*w_);
  EXPECT_EQ(blog.articleCount(), 2);
}

}  // namespace
}  // namespace inkpost
