// The publish button and the alias on the wired window, posting to the
// sandbox blog with the body typed in the real editor page.
#include "blog/ui/publish.h"
#include "blog/articlecheck.h"

#include "blog/ui/editorbody.h"
#include "blog/ui/login.h"
#include "common/ui/gbk.h"
#include "common/ui/toast.h"
#include "crosspost/spacepost.h"
#include "net/encoding.h"
#include "net/http.h"
#include "support/gbktext.h"
#include "support/sandboxlogin.h"
#include "support/wiredwindow.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <QWebEngineView>

#include <string>

namespace inkpost {
namespace {

using test::Sandbox;
using test::sandboxOptions;

using test::gbk;
QString q(const char* utf8) { return QString::fromUtf8(utf8); }

// The lists the blog's edit page offers in these tests.
std::vector<std::string> blogLists(std::vector<std::string> extra = {}) {
  std::vector<std::string> args = {"--categories", "1:未分类,2:随笔", "--authors", "1:admin*"};
  args.insert(args.end(), extra.begin(), extra.end());
  return args;
}

class Publishing : public test::WiredWindow {
 protected:
  // Picks the blog in the chooser (a real login) and fills every field.
  void prepare(const Sandbox& blog) {
    pick(addSite(blog.siteUrl(), "admin", "secret", /*autoAlias=*/true));
    ASSERT_TRUE(w().blog().ready());
    ASSERT_TRUE(editorUp());
    test::MainUnits u = units();
    ASSERT_EQ(u.categoryBox->count(), 2);
    u.categoryBox->setCurrentIndex(1);
    u.authorBox->setCurrentIndex(0);
    u.typeBox->setCurrentIndex(2);  // 锁定文章
    u.stickyCheck->setChecked(true);
    ASSERT_TRUE(u.autoAliasCheck->isChecked());
    u.titleEdit->setText(q("中文 V2 标题"));
    u.tagsEdit->setText(q("随笔,Qt"));
    u.yearEdit->clear();
    QTest::keyClicks(u.yearEdit, "2026");  // typed: sent as is
    u.monthEdit->clear();
    QTest::keyClicks(u.monthEdit, "12");  // typed: sent as is
    u.dayEdit->clear();
    QTest::keyClicks(u.dayEdit, "8");  // typed: sent as is
    u.timeEdit->clear();
    QTest::keyClicks(u.timeEdit, "9:5:3");  // typed: sent as is
    setEditorBody(u.editorView, gbk("<p>正文 it's \"quoted\" \\ </p>\r\n<p>&#128512;</p>"));
    clearToastHistory();
  }
  void publish() { w().publishButton()->click(); }
};

TEST_F(Publishing, PostsEveryFieldAndTellsSuccess) {
  Sandbox blog(sandboxOptions(blogLists()));
  prepare(blog);
  publish();

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

// Characters GBK cannot hold, typed into every text field: the blog
// stores each as the reference a browser shows as that character.
TEST_F(Publishing, EmojiInEveryFieldReachesTheBlog) {
  Sandbox blog(sandboxOptions(blogLists()));
  prepare(blog);
  test::MainUnits u = units();
  u.autoAliasCheck->setChecked(false);
  u.titleEdit->setText(q("表情😀标题"));
  u.tagsEdit->setText(q("随笔,😀"));
  u.aliasEdit->setText(q("smile-😀"));
  test::runScript(u.editorView, QString::fromUtf8("tinymce.activeEditor.setContent('<p>开始😀한</p>')"));
  // The alias is part of the article's address: the check names the
  // character, and nothing is sent.
  const QString aliasProblem = q("别名中有博客无法保存的字符“😀”，请删去它（别名是文章网址的一部分）");
  EXPECT_EQ(toQ(checkArticle(w().form().article()).text), aliasProblem);
  publish();
  EXPECT_EQ(toastTexts(), QStringList{aliasProblem});
  EXPECT_EQ(blog.articleCount(), 0);

  u.aliasEdit->setText(q("smile-"));
  publish();
  ASSERT_EQ(blog.articleCount(), 1);
  EXPECT_EQ(blog.articleField(1, "edtTitle"), "表情&#128512;标题");
  EXPECT_EQ(blog.articleField(1, "edtTag"), "随笔,&#128512;");
  EXPECT_EQ(blog.articleField(1, "edtAlias"), "smile-");
  EXPECT_EQ(blog.articleField(1, "txaContent"), "<p>开始&#128512;&#54620;</p>");
  EXPECT_EQ(blog.articleField(1, "txaIntro"), "开始&#128512;&#54620;");
}

TEST_F(Publishing, RefusalAndEmptyAnswerNotices) {
  {
    Sandbox blog(sandboxOptions(blogLists({"--refuse-posts"})));
    prepare(blog);
    publish();
    EXPECT_EQ(toastHistory(), std::vector<std::string>{refusedNotice()});
  }
  {
    Sandbox blog(sandboxOptions(blogLists({"--empty-post-answer"})));
    prepare(blog);
    publish();
    EXPECT_EQ(toastHistory(), std::vector<std::string>{unclearNotice()});
    EXPECT_EQ(blog.articleCount(), 1);
  }
}

TEST_F(Publishing, RootAddressInTheBodyBecomesTheSite) {
  Sandbox blog(sandboxOptions(blogLists()));
  prepare(blog);
  // An image typed with a relative address in the editor.
  test::runScript(units().editorView, "tinymce.activeEditor.setContent('<p><img src=\"upload/a.jpg\"></p>')");
  publish();
  ASSERT_EQ(blog.articleCount(), 1);
  const std::string body = blog.articleField(1, "txaContent");
  EXPECT_NE(body.find("src=\"" + blog.siteUrl() + "upload/a.jpg\""), std::string::npos) << body;
  EXPECT_EQ(body.find("file:"), std::string::npos) << body;
}

// The cross-post step follows every post that went out and may have been
// stored (the article as posted), and starts only with 选择框_同步_百度空间
// ticked. The site has no account of the second service, so the step ends
// saying so before anything is sent.
TEST_F(Publishing, CrossPostHookRunsAfterPostsThatMayHaveWorked) {
  int calls = 0;
  std::string title, body;
  QObject::connect(&w().publisher(), &Publisher::posted, [&](const std::string& t, const std::string& b) {
    ++calls;
    title = t;
    body = b;
  });
  {
    Sandbox blog(sandboxOptions(blogLists()));
    prepare(blog);
    units().syncSpaceCheck->setChecked(false);
    publish();
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(toastHistory(), std::vector<std::string>{publishedNotice()}) << "no cross-post claimed";
    clearToastHistory();
    units().syncSpaceCheck->setChecked(true);
    publish();
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(title, gbk("中文 V2 标题"));
    EXPECT_EQ(body, gbk("<p>正文 it's \"quoted\" \\ </p>\r\n<p>&#128512;</p>"));
    EXPECT_EQ(toastHistory(), (std::vector<std::string>{publishedNotice(), missingSpaceAccountNotice()}));
  }
  {
    Sandbox blog(sandboxOptions(blogLists({"--refuse-posts"})));
    prepare(blog);
    units().syncSpaceCheck->setChecked(true);
    publish();
    EXPECT_EQ(calls, 2);  // a refusal does not cross-post
    EXPECT_EQ(toastHistory(), std::vector<std::string>{refusedNotice()});
  }
  {
    Sandbox blog(sandboxOptions(blogLists({"--empty-post-answer"})));
    prepare(blog);
    units().syncSpaceCheck->setChecked(true);
    publish();
    EXPECT_EQ(calls, 3) << "an unclear answer may have stored the article";
    EXPECT_EQ(toastHistory(), (std::vector<std::string>{unclearNotice(), missingSpaceAccountNotice()}));
  }
}

TEST_F(Publishing, AliasFollowsTheTitleOnlyWhenAutomatic) {
  test::MainUnits u = units();
  if (u.autoAliasCheck->isChecked()) u.autoAliasCheck->click();
  u.aliasEdit->setText("mine");
  u.titleEdit->setText(q("新标题"));
  EXPECT_EQ(u.aliasEdit->text(), "mine");
  u.autoAliasCheck->click();  // ticked
  EXPECT_EQ(u.aliasEdit->text(), "xinbiaoti");
  u.titleEdit->setText(q("Ｈｅｌｌｏ 世界！"));
  EXPECT_EQ(u.aliasEdit->text(), "helloshijie");
  // Unticking leaves the alias alone.
  u.autoAliasCheck->click();
  EXPECT_FALSE(u.autoAliasCheck->isChecked());
  EXPECT_EQ(u.aliasEdit->text(), "helloshijie");
}

// A timer that falls due while the publish handler waits for the editor
// page starts a second publish: it is refused, and one article arrives. The
// status line tells what goes on and the cursor comes back afterwards.
TEST_F(Publishing, ASecondPublishFromATimerDuringTheWaitIsRefused) {
  Sandbox blog(sandboxOptions(blogLists()));
  prepare(blog);
  int fired = 0;
  QString statusDuring;
  QTimer::singleShot(0, &w(), [&] {
    ++fired;
    statusDuring = units().statusLine->currentMessage();
    publish();
  });
  publish();
  EXPECT_EQ(fired, 1);
  EXPECT_EQ(blog.articleCount(), 1);
  EXPECT_EQ(statusDuring, q("正在发布…"));
  EXPECT_TRUE(units().statusLine->currentMessage().isEmpty());
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);

  // Once the first is over, the next publish goes out.
  publish();
  EXPECT_EQ(blog.articleCount(), 2);
}

}  // namespace
}  // namespace inkpost
