// The Tags picker through the program's window: the tags come from the
// picked blog's edit page; the box is clicked and typed into, the tags in
// the window clicked with the mouse.
#include "support/sandboxlogin.h"
#include "support/wiredwindow.h"

#include "blog/ui/login.h"
#include "common/ui/gbk.h"
#include "drafts/tags.h"
#include "drafts/ui/tagswindow.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QLineEdit>
#include <QScreen>
#include <QTimer>
#include <QWebEngineView>
#include <QWindow>

#include <QtTest/QTest>
#include <optional>

using namespace inkpost;
using inkpost::test::runScript;

namespace {

QRect globalRect(const QWidget* w) { return QRect(w->mapToGlobal(QPoint(0, 0)), w->size()); }

QString entryClass(TagsWindow* window, const QString& tag) {
  return runScript(window->viewer(),
                   QStringLiteral("(function(){var e=document.getElementById(%1);return e?e.className:'none'})()")
                       .arg(toQ(tagScriptLiteral(fromQ(tag)))))
      .toString();
}

}  // namespace

class Tags : public inkpost::test::WiredWindow {
 protected:
  void SetUp() override {
    WiredWindow::SetUp();
    blog_.emplace(inkpost::test::sandboxOptions({"--tags", tagList_}));
    site_ = addSite(blog_->siteUrl(), "admin", "secret");
    if (!logIn_) return;
    pick(site_);
    ASSERT_TRUE(w().blog().ready());
  }

  TagsWindow* tagsWindow() { return w().tags().shownWindow(); }

  // Clicks into the box and waits for the Tags window and its new page (the
  // window is kept between openings: the page from before is marked).
  TagsWindow* openByClick(const QString& ready = QStringLiteral("document.getElementById('a') !== null")) {
    if (auto* kept = w().findChild<TagsWindow*>()) runScript(kept->viewer(), "window.oldPage = true");
    QTest::mouseClick(units().tagsEdit, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_TRUE(QTest::qWaitFor([this] { return tagsWindow() != nullptr; }, 5000));
    TagsWindow* window = tagsWindow();
    // A fresh viewer first shows an empty page; slow under load.
    if (window)
      EXPECT_TRUE(QTest::qWaitFor(
          [&] { return runScript(window->viewer(), "window.oldPage !== true && " + ready).toBool(); }, 60000));
    return window;
  }

  // A real mouse click on the link of tag.
  void clickTag(TagsWindow* window, const QString& tag) {
    QVariantList rect =
        runScript(window->viewer(),
                  QStringLiteral("(function(){var r=document.getElementById(%1).querySelector('a')"
                                 ".getBoundingClientRect();return [r.left+r.width/2,r.top+r.height/2]})()")
                      .arg(toQ(tagScriptLiteral(fromQ(tag)))))
            .toList();
    ASSERT_EQ(rect.size(), 2) << tag.toStdString();
    QPoint p(rect[0].toInt(), rect[1].toInt());
    QWidget* top = window->viewer()->window();
    // Move there first, as a hand would, then click.
    QTest::mouseMove(top->windowHandle(), window->viewer()->mapTo(top, p));
    QTest::qWait(20);
    QTest::mouseClick(top->windowHandle(), Qt::LeftButton, {}, window->viewer()->mapTo(top, p));
  }

  // Where the window is: by the box, clear of the alias box and of the
  // box itself, on the screen.
  void expectBesideTheBox(TagsWindow* window) {
    const QRect frame = window->frameGeometry();
    EXPECT_FALSE(frame.intersects(globalRect(units().aliasEdit)));
    EXPECT_FALSE(frame.intersects(globalRect(units().tagsEdit)));
    EXPECT_TRUE(window->screen()->availableGeometry().contains(frame));
    const QRect box = globalRect(units().tagsEdit);
    EXPECT_TRUE(frame.left() == box.right() + 3 || frame.top() >= box.bottom()) << frame.left() << "," << frame.top();
  }

  std::string tagList_ = "a,b,c,Foo,it's,c#,中文";
  std::optional<inkpost::test::Sandbox> blog_;
  bool logIn_ = true;
  int site_ = -1;
};

// A blog whose edit page lists no tag.
class UntaggedBlog : public Tags {
 protected:
  UntaggedBlog() { tagList_.clear(); }
};

TEST_F(Tags, ClickInTheBoxOpensAnOwnedWindowByIt) {
  units().tagsEdit->setText("a,b");
  TagsWindow* window = openByClick();
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(window->windowTitle(), "Tags");
  EXPECT_EQ(window->parentWidget(), &w());
  EXPECT_FALSE(window->isModal());
  EXPECT_TRUE(window->isVisible());
  EXPECT_FALSE(units().tagsTimer->isActive());
  expectBesideTheBox(window);
  EXPECT_EQ(window->findChild<QWebEngineView*>(QStringLiteral("超文本浏览框1")), window->viewer());
  // The keyboard stays with the box.
  EXPECT_TRUE(QTest::qWaitFor([&] { return QApplication::focusWidget() == units().tagsEdit; }, 2000));
  // Chosen tags are highlighted, exact case only.
  EXPECT_EQ(entryClass(window, "a"), "yes");
  EXPECT_EQ(entryClass(window, "b"), "yes");
  EXPECT_EQ(entryClass(window, "c"), "no");
  EXPECT_EQ(entryClass(window, "Foo"), "no");
}

TEST_F(Tags, ClickingTagsAddsAndRemovesThem) {
  units().tagsEdit->setText("a,b");
  TagsWindow* window = openByClick();
  ASSERT_NE(window, nullptr);
  clickTag(window, "c");
  EXPECT_TRUE(QTest::qWaitFor([&] { return units().tagsEdit->text() == "a,b,c"; }, 5000))
      << units().tagsEdit->text().toStdString();
  EXPECT_TRUE(QTest::qWaitFor([&] { return entryClass(window, "c") == "yes"; }, 5000));
  EXPECT_EQ(w().tags().chosenTags(), ",a,b,c,");
  clickTag(window, "b");
  EXPECT_TRUE(QTest::qWaitFor([&] { return units().tagsEdit->text() == "a,c"; }, 5000))
      << units().tagsEdit->text().toStdString();
  EXPECT_TRUE(QTest::qWaitFor([&] { return entryClass(window, "b") == "no"; }, 5000));
  // The page stays and the window stays open.
  EXPECT_EQ(tagsWindow(), window);
  EXPECT_EQ(entryClass(window, "a"), "yes");
}

TEST_F(Tags, NamesWithQuotesHashesAndChineseAreChosenAndDropped) {
  units().tagsEdit->setText(",a,");
  TagsWindow* window = openByClick();
  ASSERT_NE(window, nullptr);
  // ",a," as the user typed it: the first added tag tidies the commas.
  const std::pair<QString, QString> steps[] = {{QStringLiteral("c#"), QStringLiteral("a,c#")},
                                               {QStringLiteral("it's"), QStringLiteral("a,c#,it's")},
                                               {QStringLiteral("中文"), QStringLiteral("a,c#,it's,中文")}};
  for (const auto& [tag, after] : steps) {
    clickTag(window, tag);
    EXPECT_TRUE(QTest::qWaitFor([&] { return units().tagsEdit->text() == after; }, 5000))
        << units().tagsEdit->text().toStdString();
    EXPECT_TRUE(QTest::qWaitFor([&] { return entryClass(window, tag) == "yes"; }, 5000)) << tag.toStdString();
  }
  EXPECT_EQ(units().tagsEdit->text(), QStringLiteral("a,c#,it's,中文"));
  clickTag(window, "c#");
  EXPECT_TRUE(QTest::qWaitFor([&] { return units().tagsEdit->text() == QStringLiteral("a,it's,中文"); }, 5000));
  EXPECT_TRUE(QTest::qWaitFor([&] { return entryClass(window, "c#") == "no"; }, 5000));
  clickTag(window, "it's");
  EXPECT_TRUE(QTest::qWaitFor([&] { return units().tagsEdit->text() == QStringLiteral("a,中文"); }, 5000));
  // The "c" entry is untouched by the "c#" clicks.
  EXPECT_EQ(entryClass(window, "c"), "no");
}

TEST_F(Tags, TypingACommaReopensTheWindowWithFreshHighlights) {
  units().tagsEdit->setText("a,");
  TagsWindow* first = openByClick();
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(entryClass(first, "b"), "no");
  runScript(first->viewer(), "window.oldPage = true");
  units().tagsEdit->setFocus();
  units().tagsEdit->end(false);
  // Other keys leave the window as it is.
  QTest::keyClick(units().tagsEdit, Qt::Key_B);
  QTest::qWait(30);
  EXPECT_EQ(units().tagsEdit->text(), "a,b");
  EXPECT_EQ(tagsWindow(), first);
  EXPECT_EQ(entryClass(first, "b"), "no");
  // The comma closes it and brings it back with the page written anew.
  bool closed = false;
  auto* events = units().tagsEdit->findChild<TagsBoxEvents*>();
  ASSERT_NE(events, nullptr);
  auto watch = QObject::connect(events, &TagsBoxEvents::keyDown, &w(), [&](int) { closed = tagsWindow() == nullptr; });
  QTest::keyClick(units().tagsEdit, Qt::Key_Comma);
  EXPECT_TRUE(QTest::qWaitFor([&] { return closed && tagsWindow() != nullptr; }, 5000));
  QObject::disconnect(watch);
  TagsWindow* second = tagsWindow();
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(units().tagsEdit->text(), "a,b,");
  EXPECT_TRUE(QTest::qWaitFor([&] { return entryClass(second, "b") == "yes"; }, 30000));
  EXPECT_FALSE(runScript(second->viewer(), "window.oldPage === true").toBool());
  EXPECT_EQ(entryClass(second, "a"), "yes");
  EXPECT_EQ(entryClass(second, "c"), "no");
  expectBesideTheBox(second);
}

TEST_F(Tags, ThePageNeverLeavesAndOtherNavigationsChangeNothing) {
  units().tagsEdit->setText("a,,b");
  TagsWindow* window = openByClick();
  ASSERT_NE(window, nullptr);
  runScript(window->viewer(), "location.href='http://cmd.invalid/#'; 1");
  runScript(window->viewer(), "location.href='http://elsewhere.invalid/page'; 1");
  QTest::qWait(300);
  EXPECT_EQ(entryClass(window, "a"), "yes");
  EXPECT_EQ(units().tagsEdit->text(), "a,,b");
  EXPECT_EQ(tagsWindow(), window);
}

TEST_F(UntaggedBlog, NoKnownTagsGiveAnEmptyPage) {
  TagsWindow* window = openByClick(QStringLiteral("document.querySelector('style') !== null"));
  ASSERT_NE(window, nullptr);
  // The page written into the viewer: head and footer only.
  EXPECT_EQ(runScript(window->viewer(), "document.body.innerHTML").toString(), "");
}

// The alias box stays free whatever the window's size: under the tags box
// where there is room, else beside it.
TEST_F(Tags, TheWindowNeverCoversTheAliasBox) {
  for (const QSize size : {w().size(), w().minimumSize(), QSize(1900, 1000)}) {
    if (TagsWindow* open = tagsWindow()) open->close();
    w().resize(size);
    QTest::qWait(50);
    TagsWindow* window = openByClick();
    ASSERT_NE(window, nullptr);
    SCOPED_TRACE(size.width());
    expectBesideTheBox(window);
    EXPECT_GE(window->width(), kTagsWindowMinWidth);
  }
}

// A click on a tag, where the window system hands the window the focus,
// keeps the keyboard with the box; keys typed into the window anyway reach
// the box; Escape closes it from either.
TEST_F(Tags, TypingAfterAClickOnATagGoesOnInTheBox) {
  units().tagsEdit->setText("a");
  TagsWindow* window = openByClick();
  ASSERT_NE(window, nullptr);
  window->activateWindow();  // what a click on a window that takes focus does
  QTest::qWait(100);
  clickTag(window, "c");
  ASSERT_TRUE(QTest::qWaitFor([&] { return units().tagsEdit->text() == "a,c"; }, 5000));
  EXPECT_TRUE(QTest::qWaitFor([&] { return QApplication::focusWidget() == units().tagsEdit; }, 2000));
  EXPECT_EQ(units().tagsEdit->cursorPosition(), 3);
  for (char c : {',', 'd'}) QTest::keyClick(QGuiApplication::focusWindow(), c);
  EXPECT_EQ(units().tagsEdit->text(), "a,c,d");

  window = openByClick();
  ASSERT_NE(window, nullptr);
  QWidget* inside = window->viewer()->focusProxy() ? window->viewer()->focusProxy() : window->viewer();
  QTest::keyClicks(inside, "ef");
  EXPECT_EQ(units().tagsEdit->text(), "a,c,def");
  QTest::keyClick(inside, Qt::Key_Escape);
  EXPECT_TRUE(QTest::qWaitFor([&] { return tagsWindow() == nullptr; }, 2000));

  ASSERT_NE(openByClick(), nullptr);
  QTest::keyClick(units().tagsEdit, Qt::Key_Escape);
  EXPECT_TRUE(QTest::qWaitFor([&] { return tagsWindow() == nullptr; }, 2000));
  EXPECT_EQ(units().tagsEdit->text(), "a,c,def");
}

// Before a login the window says where the tags come from; the login
// fills it while it is open.
class TagsBeforeLogin : public Tags {
 protected:
  TagsBeforeLogin() { logIn_ = false; }
};

TEST_F(TagsBeforeLogin, TheWindowSaysTheTagsComeWithTheLoginAndShowsThemAfter) {
  TagsWindow* window = openByClick(QStringLiteral("document.getElementById('note') !== null"));
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(runScript(window->viewer(), "document.getElementById('note').textContent").toString(),
            QStringLiteral("选择网站并登录后，这里会列出博客已有的标签。"));
  pick(site_);
  ASSERT_TRUE(w().blog().ready());
  EXPECT_TRUE(QTest::qWaitFor(
      [&] { return runScript(window->viewer(), "document.getElementById('a') !== null").toBool(); }, 30000));
  EXPECT_FALSE(runScript(window->viewer(), "document.getElementById('note') !== null").toBool());
  EXPECT_EQ(tagsWindow(), window);
}
