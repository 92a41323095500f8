// The whole road of one article on a real main window: pick the sandbox blog
// (real login, captcha read), type title and body, publish, and find the
// article on the blog's index page with every field as typed.
#include "blog/captcha.h"
#include "blog/ui/editorbody.h"
#include "blog/ui/login.h"
#include "blog/ui/publish.h"
#include "common/programdir.h"
#include "common/session.h"
#include "common/ui/gbk.h"
#include "common/ui/toast.h"
#include "net/encoding.h"
#include "shell/mainwindow.h"
#include "sites/chooserentry.h"
#include "sites/ui/sitechooser.h"
#include "support/captchadata.h"
#include "support/guiwait.h"
#include "support/mainunits.h"
#include "support/sandbox.h"

#include <gtest/gtest.h>
#include <QCheckBox>
#include <QComboBox>
#include <QEventLoop>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QTest>
#include <QTimer>
#include <QWebEngineView>

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
  loadEditorPage(inkpost::test::units(w).editorView);

  // The site as the chooser lists it, automatic aliases on.
  SiteRecord rec;
  rec.id = 1;
  rec.webname = gbk("沙盒博客");
  rec.weburl = blog.siteUrl();
  rec.admin = "admin";
  rec.pass = "secret";
  rec.ikname = true;
  {
    QSignalBlocker block(inkpost::test::units(w).siteChooser);
    inkpost::test::units(w).siteChooser->addItem(toQ(SiteChooserEntry(rec)));
    inkpost::test::units(w).siteChooser->setItemData(0, rec.id, kSiteIdRole);
    inkpost::test::units(w).siteChooser->setItemData(0, QVariant::fromValue(rec), kSiteRecordRole);
    inkpost::test::units(w).siteChooser->setCurrentIndex(0);
  }
  onSiteSelected(w);
  ASSERT_FALSE(blogSession().cookie.empty());
  ASSERT_TRUE(inkpost::test::units(w).autoAliasCheck->isChecked());
  ASSERT_GT(inkpost::test::units(w).categoryBox->count(), 1);
  inkpost::test::units(w).categoryBox->setCurrentIndex(1);

  // Title (the alias follows it), tags, and a body typed into the editor.
  inkpost::test::units(w).titleEdit->setText(QString::fromUtf8("我的第一篇文章 Hello 2"));
  onTitleChanged(w);
  EXPECT_EQ(inkpost::test::units(w).aliasEdit->text(), "wodediyipianwenzhanghello2");
  inkpost::test::units(w).tagsEdit->setText(QString::fromUtf8("日记"));
  ASSERT_TRUE(waitUntil([&] { return editorReady(inkpost::test::units(w).editorView); }, 30000));
  w.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
  inkpost::test::units(w).editorView->setFocus();
  {
    QEventLoop loop;
    inkpost::test::units(w).editorView->page()->runJavaScript("tinymce.activeEditor.focus()",
                                                              [&](const QVariant&) { loop.quit(); });
    loop.exec();
  }
  QTest::qWait(100);
  QTest::keyClicks(inkpost::test::units(w).editorView->focusProxy(), "typed it's");
  ASSERT_TRUE(waitUntil(
      [&] { return editorBody(inkpost::test::units(w).editorView).find("typed it's") != std::string::npos; }, 10000))
      << editorBody(inkpost::test::units(w).editorView);

  publishArticle(w);
  // The untouched boxes took the time of the publish.
  const std::string time = fromQ(inkpost::test::units(w).timeEdit->text());
  EXPECT_EQ(toastHistory().back(), publishedNotice());

  ASSERT_EQ(blog.articleCount(), 1);
  EXPECT_EQ(blog.articleField(1, "edtTitle"), "我的第一篇文章 Hello 2");
  EXPECT_EQ(blog.articleField(1, "edtAlias"), "wodediyipianwenzhanghello2");
  EXPECT_EQ(blog.articleField(1, "edtTag"), "日记");
  EXPECT_EQ(blog.articleField(1, "edtCateID"),
            inkpost::test::units(w).categoryBox->currentData().toString().toStdString());
  // The type as the list shows it.
  EXPECT_EQ(blog.articleField(1, "edtLevel"), articleLevel(fromQ(inkpost::test::units(w).typeBox->currentText())));
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
