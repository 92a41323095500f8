// The whole road of one article on the wired window: pick the sandbox blog
// (real login, captcha read), type title and body, publish, and find the
// article on the blog's index page with every field as typed.
#include "blog/captcha.h"
#include "blog/publish.h"
#include "blog/ui/editorbody.h"
#include "blog/ui/login.h"
#include "common/ui/gbk.h"
#include "common/ui/toast.h"
#include "net/encoding.h"
#include "support/sandbox.h"
#include "support/wiredwindow.h"

#include <gtest/gtest.h>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QWebEngineView>

#include <string>

namespace inkpost {
namespace {

using test::Sandbox;
using test::waitUntil;

using PublishFlow = test::WiredWindow;

TEST_F(PublishFlow, ArticleTypedInTheWindowAppearsOnTheBlog) {
  ASSERT_GT(CaptchaDataHandle(), 0);
  Sandbox blog;
  // The site with automatic aliases on.
  SiteRecord rec;
  rec.webname = fromUtf8("沙盒博客");
  rec.weburl = blog.siteUrl();
  rec.admin = "admin";
  rec.pass = "secret";
  rec.ikname = true;
  pick(addSite(rec));
  test::MainUnits u = units();
  ASSERT_TRUE(w().blog().ready());
  ASSERT_TRUE(u.autoAliasCheck->isChecked());
  ASSERT_GT(u.categoryBox->count(), 1);
  u.categoryBox->setCurrentIndex(1);

  // Title (the alias follows it), tags, and a body typed into the editor.
  u.titleEdit->setText(QString::fromUtf8("我的第一篇文章 Hello 2"));
  EXPECT_EQ(u.aliasEdit->text(), "wodediyipianwenzhanghello2");
  u.tagsEdit->setText(QString::fromUtf8("日记"));
  ASSERT_TRUE(editorUp());
  w().activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&w()));
  u.editorView->setFocus();
  test::runScript(u.editorView, "tinymce.activeEditor.focus()");
  QTest::qWait(100);
  QTest::keyClicks(u.editorView->focusProxy(), "typed it's");
  ASSERT_TRUE(waitUntil([&] { return editorBody(u.editorView).find("typed it's") != std::string::npos; }, 10000))
      << editorBody(u.editorView);

  u.publishButton->click();
  // The untouched boxes took the time of the publish.
  const std::string time = fromQ(u.timeEdit->text());
  EXPECT_EQ(toastHistory().back(), publishedNotice());

  ASSERT_EQ(blog.articleCount(), 1);
  EXPECT_EQ(blog.articleField(1, "edtTitle"), "我的第一篇文章 Hello 2");
  EXPECT_EQ(blog.articleField(1, "edtAlias"), "wodediyipianwenzhanghello2");
  EXPECT_EQ(blog.articleField(1, "edtTag"), "日记");
  EXPECT_EQ(blog.articleField(1, "edtCateID"), u.categoryBox->currentData().toString().toStdString());
  // The type as the list shows it.
  EXPECT_EQ(blog.articleField(1, "edtLevel"), articleLevel(fromQ(u.typeBox->currentText())));
  EXPECT_EQ(blog.articleField(1, "edtTime"), time);
  EXPECT_NE(blog.articleField(1, "txaContent").find("typed it's"), std::string::npos);
  EXPECT_EQ(blog.articleField(1, "txaIntro"), "typed it's");
  const std::string index = blog.get("");
  EXPECT_NE(index.find("我的第一篇文章 Hello 2"), std::string::npos);
  EXPECT_NE(index.find("wodediyipianwenzhanghello2"), std::string::npos);
}

}  // namespace
}  // namespace inkpost
