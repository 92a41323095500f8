// The whole road of one article on a real main window: pick the sandbox blog
// (real login, captcha read), type title and body, publish, and find the
// article on the blog's index page with every field as typed.
#include "app/programdir.h"
#include "app/ui/gbk.h"
#include "app/ui/mainwindow.h"
#include "app/ui/toast.h"
#include "blog/captcha.h"
#include "blog/session.h"
#include "blog/ui/editorbody.h"
#include "blog/ui/login.h"
#include "blog/ui/publish.h"
#include "net/encoding.h"
#include "sites/chooserentry.h"
#include "sites/ui/sitechooser.h"
#include "support/captchadata.h"
#include "support/guiwait.h"
#include "support/sandbox.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEventLoop>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QTest>
#include <QTimer>
#include <QWebEngineView>
#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace inkpost {
namespace {

using test::Sandbox;
using test::waitUntil;

std::string gbk(const char* utf8) { return fromUtf8(utf8); }

TEST(PublishFlow, ArticleTypedInTheWindowAppearsOnTheBlog) {
  setProgramDir(INKPOST_PROGRAM_DIR);
  test::ensureCaptchaData();
  ASSERT_GT(CaptchaDataHandle(), 0);
  setToastTimeScale(0);
  clearToastHistory();

  Sandbox blog;
  MainWindow w;
  w.show();
  loadEditorPage(w.editorView);

  // The site as the chooser lists it, automatic aliases on.
  SiteRecord rec;
  rec.id = 1;
  rec.webname = gbk("沙盒博客");
  rec.weburl = blog.siteUrl();
  rec.admin = "admin";
  rec.pass = "secret";
  rec.ikname = true;
  {
    QSignalBlocker block(w.siteChooser);
    w.siteChooser->addItem(toQ(SiteChooserEntry(rec)));
    w.siteChooser->setItemData(0, rec.id, kSiteIdRole);
    w.siteChooser->setItemData(0, QVariant::fromValue(rec), kSiteRecordRole);
    w.siteChooser->setCurrentIndex(0);
  }
  onSiteSelected(w);
  ASSERT_FALSE(sessionCookie().empty());
  ASSERT_TRUE(w.autoAliasCheck->isChecked());
  ASSERT_GT(w.categoryBox->count(), 1);
  w.categoryBox->setCurrentIndex(1);

  // Title (the alias follows it), tags, and a body typed into the editor.
  w.titleEdit->setText(QString::fromUtf8("我的第一篇文章 Hello 2"));
  onTitleChanged(w);
  EXPECT_EQ(w.aliasEdit->text(), "wodediyipianwenzhanghello2");
  w.tagsEdit->setText(QString::fromUtf8("日记"));
  ASSERT_TRUE(waitUntil([&] { return editorReady(w.editorView); }, 30000));
  w.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
  w.editorView->setFocus();
  {
    QEventLoop loop;
    w.editorView->page()->runJavaScript("tinymce.activeEditor.focus()", [&](const QVariant&) { loop.quit(); });
    loop.exec();
  }
  QTest::qWait(100);
  QTest::keyClicks(w.editorView->focusProxy(), "typed it's");
  ASSERT_TRUE(waitUntil([&] { return editorBody(w.editorView).find("typed it's") != std::string::npos; }, 10000))
      << editorBody(w.editorView);

  const std::string time = fromQ(w.timeEdit->text());
  publishArticle(w);
  EXPECT_EQ(toastHistory().back(), publishedNotice());

  ASSERT_EQ(blog.articleCount(), 1);
  EXPECT_EQ(blog.articleField(1, "edtTitle"), "我的第一篇文章 Hello 2");
  EXPECT_EQ(blog.articleField(1, "edtAlias"), "wodediyipianwenzhanghello2");
  EXPECT_EQ(blog.articleField(1, "edtTag"), "日记");
  EXPECT_EQ(blog.articleField(1, "edtCateID"), w.categoryBox->currentData().toString().toStdString());
  // The type as the list shows it.
  EXPECT_EQ(blog.articleField(1, "edtLevel"), articleLevel(fromQ(w.typeBox->currentText())));
  EXPECT_EQ(blog.articleField(1, "edtTime"), time);
  EXPECT_NE(blog.articleField(1, "txaContent").find("typed it's"), std::string::npos);
  EXPECT_EQ(blog.articleField(1, "txaIntro"), "typed it's");
  const std::string index = blog.get("");
  EXPECT_NE(index.find("我的第一篇文章 Hello 2"), std::string::npos);
  EXPECT_NE(index.find("wodediyipianwenzhanghello2"), std::string::npos);
  setToastTimeScale(1.0);
}

}  // namespace
}  // namespace inkpost
