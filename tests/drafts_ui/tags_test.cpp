#include "guihelp.h"
#include "support/mainunits.h"
#include "support/session.h"

#include "common/session.h"
#include "common/ui/gbk.h"
#include "drafts/tags.h"
#include "drafts/ui/tagswindow.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QLineEdit>
#include <QTimer>
#include <QWebEngineView>
#include <QWindow>
#include <QtTest/QTest>

using namespace inkpost;
using inkpost::test::DraftsWindow;
using inkpost::test::runScript;

namespace {

QString entryClass(TagsWindow* window, const QString& tag) {
  return runScript(window->viewer(),
                   QStringLiteral("(function(){var e=document.getElementById(%1);return e?e.className:'none'})()")
                       .arg(toQ(tagScriptLiteral(fromQ(tag)))))
      .toString();
}

}  // namespace

class Tags : public inkpost::test::SessionTest {
 protected:
  void SetUp() override {
    SessionTest::SetUp();
    blogSession().tags = {"a", "b", "c", "Foo", "it's", "c#", fromQ(QStringLiteral("中文"))};
    // Bindings as the main window's binding table makes them.
    events = new TagsBoxEvents(inkpost::test::units(w).tagsEdit);
    connections = {
        QObject::connect(inkpost::test::units(w).tagsEdit, &QLineEdit::textChanged, &w, [this] { TagsBoxChanged(w); }),
        QObject::connect(events, &TagsBoxEvents::released, &w, [this] { TagsBoxReleased(w); }),
        QObject::connect(events, &TagsBoxEvents::keyDown, &w, [this](int key) { TagsBoxKeyDown(w, key); }),
        QObject::connect(inkpost::test::units(w).tagsTimer, &QTimer::timeout, &w, [this] { OpenTagsWindow(w); }),
    };
    inkpost::test::units(w).tagsEdit->clear();
    TagsBoxChanged(w);
  }
  void TearDown() override {
    SessionTest::TearDown();
    for (auto& c : connections) QObject::disconnect(c);
    delete events;
    if (TagsWindow* t = tagsWindow()) t->close();
    QTest::qWait(10);
  }

  // Clicks into the box and waits for the Tags window and its new page (the
  // window is kept between openings: the page from before is marked).
  TagsWindow* openByClick(bool expectTags = true) {
    if (auto* kept = w.findChild<TagsWindow*>()) runScript(kept->viewer(), "window.oldPage = true");
    QTest::mouseClick(inkpost::test::units(w).tagsEdit, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_TRUE(QTest::qWaitFor([] { return tagsWindow() != nullptr; }, 5000));
    TagsWindow* window = tagsWindow();
    const QString ready = expectTags ? QStringLiteral("document.getElementById('a') !== null")
                                     : QStringLiteral("document.querySelector('style') !== null");
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

  MainWindow& w = DraftsWindow::window();
  TagsBoxEvents* events = nullptr;
  std::vector<QMetaObject::Connection> connections;
};

TEST_F(Tags, ClickInTheBoxOpensAnOwnedWindowUnderIt) {
  inkpost::test::units(w).tagsEdit->setText("a,b");
  TagsWindow* window = openByClick();
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(window->windowTitle(), "Tags");
  EXPECT_EQ(window->parentWidget(), &w);
  EXPECT_FALSE(window->isModal());
  EXPECT_TRUE(window->isVisible());
  EXPECT_FALSE(inkpost::test::units(w).tagsTimer->isActive());
  EXPECT_EQ(window->pos(),
            inkpost::test::units(w).tagsEdit->mapToGlobal(QPoint(2, inkpost::test::units(w).tagsEdit->height())));
  EXPECT_EQ(window->findChild<QWebEngineView*>(QStringLiteral("超文本浏览框1")), window->viewer());
  // The keyboard stays with the box.
  EXPECT_TRUE(QTest::qWaitFor([&] { return QApplication::focusWidget() == inkpost::test::units(w).tagsEdit; }, 2000));
  // Chosen tags are highlighted, exact case only.
  EXPECT_EQ(entryClass(window, "a"), "yes");
  EXPECT_EQ(entryClass(window, "b"), "yes");
  EXPECT_EQ(entryClass(window, "c"), "no");
  EXPECT_EQ(entryClass(window, "Foo"), "no");
}

TEST_F(Tags, ClickingTagsAddsAndRemovesThem) {
  inkpost::test::units(w).tagsEdit->setText("a,b");
  TagsWindow* window = openByClick();
  ASSERT_NE(window, nullptr);
  clickTag(window, "c");
  EXPECT_TRUE(QTest::qWaitFor([&] { return inkpost::test::units(w).tagsEdit->text() == "a,b,c"; }, 5000))
      << inkpost::test::units(w).tagsEdit->text().toStdString();
  EXPECT_TRUE(QTest::qWaitFor([&] { return entryClass(window, "c") == "yes"; }, 5000));
  EXPECT_EQ(blogSession().chosenTags, ",a,b,c,");
  clickTag(window, "b");
  EXPECT_TRUE(QTest::qWaitFor([&] { return inkpost::test::units(w).tagsEdit->text() == "a,c"; }, 5000))
      << inkpost::test::units(w).tagsEdit->text().toStdString();
  EXPECT_TRUE(QTest::qWaitFor([&] { return entryClass(window, "b") == "no"; }, 5000));
  // The page stays and the window stays open.
  EXPECT_EQ(tagsWindow(), window);
  EXPECT_EQ(entryClass(window, "a"), "yes");
}

TEST_F(Tags, NamesWithQuotesHashesAndChineseAreChosenAndDropped) {
  inkpost::test::units(w).tagsEdit->setText(",a,");
  TagsWindow* window = openByClick();
  ASSERT_NE(window, nullptr);
  // ",a," as the user typed it: the first added tag tidies the commas.
  const std::pair<QString, QString> steps[] = {{QStringLiteral("c#"), QStringLiteral("a,c#")},
                                               {QStringLiteral("it's"), QStringLiteral("a,c#,it's")},
                                               {QStringLiteral("中文"), QStringLiteral("a,c#,it's,中文")}};
  for (const auto& [tag, after] : steps) {
    clickTag(window, tag);
    EXPECT_TRUE(QTest::qWaitFor([&] { return inkpost::test::units(w).tagsEdit->text() == after; }, 5000))
        << inkpost::test::units(w).tagsEdit->text().toStdString();
    EXPECT_TRUE(QTest::qWaitFor([&] { return entryClass(window, tag) == "yes"; }, 5000)) << tag.toStdString();
  }
  EXPECT_EQ(inkpost::test::units(w).tagsEdit->text(), QStringLiteral("a,c#,it's,中文"));
  clickTag(window, "c#");
  EXPECT_TRUE(
      QTest::qWaitFor([&] { return inkpost::test::units(w).tagsEdit->text() == QStringLiteral("a,it's,中文"); }, 5000));
  EXPECT_TRUE(QTest::qWaitFor([&] { return entryClass(window, "c#") == "no"; }, 5000));
  clickTag(window, "it's");
  EXPECT_TRUE(
      QTest::qWaitFor([&] { return inkpost::test::units(w).tagsEdit->text() == QStringLiteral("a,中文"); }, 5000));
  // The "c" entry is untouched by the "c#" clicks.
  EXPECT_EQ(entryClass(window, "c"), "no");
}

TEST_F(Tags, TypingACommaReopensTheWindowWithFreshHighlights) {
  inkpost::test::units(w).tagsEdit->setText("a,");
  TagsWindow* first = openByClick();
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(entryClass(first, "b"), "no");
  runScript(first->viewer(), "window.oldPage = true");
  inkpost::test::units(w).tagsEdit->setFocus();
  inkpost::test::units(w).tagsEdit->end(false);
  // Other keys leave the window as it is.
  QTest::keyClick(inkpost::test::units(w).tagsEdit, Qt::Key_B);
  QTest::qWait(30);
  EXPECT_EQ(inkpost::test::units(w).tagsEdit->text(), "a,b");
  EXPECT_EQ(tagsWindow(), first);
  EXPECT_EQ(entryClass(first, "b"), "no");
  // The comma closes it and brings it back with the page written anew.
  bool closed = false;
  auto watch = QObject::connect(events, &TagsBoxEvents::keyDown, &w, [&](int) { closed = tagsWindow() == nullptr; });
  QTest::keyClick(inkpost::test::units(w).tagsEdit, Qt::Key_Comma);
  EXPECT_TRUE(QTest::qWaitFor([&] { return closed && tagsWindow() != nullptr; }, 5000));
  QObject::disconnect(watch);
  TagsWindow* second = tagsWindow();
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(inkpost::test::units(w).tagsEdit->text(), "a,b,");
  EXPECT_TRUE(QTest::qWaitFor([&] { return entryClass(second, "b") == "yes"; }, 30000));
  EXPECT_FALSE(runScript(second->viewer(), "window.oldPage === true").toBool());
  EXPECT_EQ(entryClass(second, "a"), "yes");
  EXPECT_EQ(entryClass(second, "c"), "no");
  EXPECT_EQ(second->pos(),
            inkpost::test::units(w).tagsEdit->mapToGlobal(QPoint(2, inkpost::test::units(w).tagsEdit->height())));
}

TEST_F(Tags, ThePageNeverLeavesAndOtherNavigationsChangeNothing) {
  inkpost::test::units(w).tagsEdit->setText("a,,b");
  TagsWindow* window = openByClick();
  ASSERT_NE(window, nullptr);
  runScript(window->viewer(), "location.href='http://cmd.invalid/#'; 1");
  runScript(window->viewer(), "location.href='http://elsewhere.invalid/page'; 1");
  QTest::qWait(300);
  EXPECT_EQ(entryClass(window, "a"), "yes");
  EXPECT_EQ(inkpost::test::units(w).tagsEdit->text(), "a,,b");
  EXPECT_EQ(tagsWindow(), window);
}

TEST_F(Tags, NoKnownTagsGiveAnEmptyPage) {
  blogSession().tags.clear();
  TagsWindow* window = openByClick(/*expectTags=*/false);
  ASSERT_NE(window, nullptr);
  // The page written into the viewer: head and footer only.
  EXPECT_EQ(runScript(window->viewer(), "document.body.innerHTML").toString(), "");
}
