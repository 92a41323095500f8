// While the window waits for a slow blog (a login, a post), the article form
// takes typing and keeps it; the rest of the window holds its input back and
// says so. Dates typed before a login are not overwritten by it.
#include "blog/ui/login.h"
#include "blog/ui/publish.h"
#include "common/ui/toast.h"

#include "net/encoding.h"
#include "support/sandbox.h"
#include "support/sandboxlogin.h"
#include "support/wiredwindow.h"

#include <gtest/gtest.h>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <algorithm>

namespace inkpost {
namespace {

using test::Sandbox;

class TypingWhileWaiting : public test::WiredWindow {};

TEST_F(TypingWhileWaiting, ALoginKeepsWhatIsTypedMeanwhileAndTheDatesTypedBefore) {
  Sandbox sb(test::sandboxOptions({"--delay", "edit_fckeditor:1500"}));
  const int id = addSite(sb.siteUrl(), "admin", "secret");
  w();
  // A date typed before the site is chosen.
  QTest::keyClicks(units().yearEdit, "2020");
  QString blockedText;
  QTimer::singleShot(500, [&] {
    QTest::keyClicks(units().titleEdit, "typed while logging in");
    // A click outside the form is held back, with a word in the status line.
    QTest::mouseClick(units().manualSaveButton, Qt::LeftButton);
    blockedText = units().statusLine->currentMessage();
  });
  pick(id);
  ASSERT_TRUE(w().blog().ready());
  EXPECT_EQ(units().titleEdit->text(), QStringLiteral("typed while logging in"));
  EXPECT_EQ(units().yearEdit->text(), QStringLiteral("2020")) << "a typed date is never overwritten by a login";
  EXPECT_TRUE(blockedText.contains(QStringLiteral("完成前只能继续编辑文章"))) << blockedText.toStdString();
}

TEST_F(TypingWhileWaiting, APostSendsTheArticleOfTheClickAndKeepsTheTypingAfterIt) {
  Sandbox sb(test::sandboxOptions({"--delay", "act=ArticlePst:1500"}));
  pick(addSite(sb.siteUrl(), "admin", "secret"));
  ASSERT_TRUE(w().blog().ready());
  ASSERT_TRUE(editorUp());
  units().titleEdit->setText(QStringLiteral("first title"));
  QTimer::singleShot(500, [&] {
    units().titleEdit->setFocus();
    QTest::keyClicks(units().titleEdit, " and more");
  });
  units().publishButton->click();
  ASSERT_EQ(sb.articleCount(), 1);
  EXPECT_EQ(sb.articleField(1, "edtTitle"), "first title") << "the post carries the article as it was at the click";
  EXPECT_EQ(units().titleEdit->text(), QStringLiteral("first title and more")) << "nothing typed is lost";
}

// An editor that does not give its body in time: nothing is posted (never an
// empty body the user did not write), and the notice says why.
TEST_F(TypingWhileWaiting, AnEditorThatDoesNotAnswerSendsNothing) {
  Sandbox sb(test::sandboxOptions());
  pick(addSite(sb.siteUrl(), "admin", "secret"));
  ASSERT_TRUE(w().blog().ready());
  ASSERT_TRUE(editorUp());
  units().titleEdit->setText(QStringLiteral("busy editor"));
  w().form().setBody("<p>written</p>");
  w().publisher().setEditorWaitForTests(400);
  // The page is busy for two seconds.
  units().editorView->page()->runJavaScript(
      QStringLiteral("setTimeout(function(){var t=Date.now();while(Date.now()-t<2000){}},0);"));
  test::spin(100);
  units().publishButton->click();
  EXPECT_EQ(sb.articleCount(), 0);
  const std::vector<std::string> notices = toastHistory();
  EXPECT_NE(std::find(notices.begin(), notices.end(), editorSilentNotice()), notices.end());
  test::spin(2200);
  w().publisher().setEditorWaitForTests(kEditorAnswerMs);
  units().publishButton->click();
  ASSERT_EQ(sb.articleCount(), 1);
  EXPECT_EQ(sb.articleField(1, "txaContent"), "<p>written</p>");
}

}  // namespace
}  // namespace inkpost
