// The draft slots through the program's window: 手动保存 clicked, the
// ring's timer ticking, entries of 组合框_恢复数据 chosen after the list
// opened; and the recovery slot with the window's own timer.
#include "support/sandboxlogin.h"
#include "support/wiredwindow.h"

#include "blog/editortext.h"
#include "blog/ui/editorbody.h"
#include "blog/ui/login.h"
#include "common/programdir.h"
#include "common/ui/gbk.h"
#include "common/ui/toast.h"
#include "drafts/draftslots.h"
#include "drafts/ui/drafts.h"
#include "images/gallery.h"
#include "images/ui/imagepanel.h"
#include "net/encoding.h"

#include <gtest/gtest.h>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QTime>
#include <QTimer>
#include <QtTest/QTest>

#include <filesystem>

using namespace inkpost;
using inkpost::test::fileExists;
using inkpost::test::readFile;
using inkpost::test::TempDir;

namespace {

struct Form {
  QString title, tags, alias, year, month, day, time;
  int category, author, type;  // item data
  bool sticky, autoName, autoAlias;
  std::vector<std::string> gallery;
  std::string body;
};

// Gallery addresses point at a closed local port: the gallery page may try
// to show them, and a made-up host name would keep the browser's resolver
// busy for seconds.
Form formA() {
  return {QStringLiteral("标题 a b&c"),
          QStringLiteral("中文,tag"),
          QStringLiteral("alias-a"),
          QStringLiteral("2026"),
          QStringLiteral("12"),
          QStringLiteral("8"),
          QStringLiteral("9:05:03"),
          12,
          2,
          3,
          true,
          false,
          true,
          {"http://127.0.0.1:9/upload/a.jpg[640|480", "http://127.0.0.1:9/upload/b.gif[20|10"},
          fromUtf8("<p>正文 A &amp; 'quote'</p>")};
}

Form formB() {
  return {QStringLiteral("B"),
          QStringLiteral("x"),
          QStringLiteral("alias-b"),
          QStringLiteral("2025"),
          QStringLiteral("1"),
          QStringLiteral("2"),
          QStringLiteral("3:04:05"),
          11,
          1,
          4,
          false,
          true,
          false,
          {},
          "<p>body B</p>"};
}

}  // namespace

class Drafts : public inkpost::test::WiredWindow {
 protected:
  void SetUp() override {
    WiredWindow::SetUp();
    ASSERT_TRUE(editorUp());
    // Lists as a logged-in blog fills them: item data are the blog's ids.
    w().form().setCategories({{"c10", 10}, {"c11", 11}, {"c12", 12}});
    w().form().setAuthors({{"u1", 1}, {"u2", 2}});
    // The ring saves when a test says so.
    saveTimer()->stop();
  }

  QComboBox* restoreBox() { return units().restoreBox; }
  QTimer* saveTimer() { return units().saveTimer; }
  // 手动保存, and a tick of the ring's timer.
  void saveManually() { units().manualSaveButton->click(); }
  void saveRing() { tick(saveTimer()); }
  // 文章 → 恢复 opens the list with its captions; the entry of slotData is
  // chosen.
  void restore(int slotData) {
    w().restoreAction()->trigger();
    const int index = restoreBox()->findData(slotData);
    ASSERT_GE(index, 0) << "no entry " << slotData;
    restoreBox()->hidePopup();
    restoreBox()->setCurrentIndex(index);
    emit restoreBox()->activated(index);
  }

  void fill(const Form& f) {
    units().titleEdit->setText(f.title);
    units().categoryBox->setCurrentIndex(units().categoryBox->findData(f.category));
    units().tagsEdit->setText(f.tags);
    units().authorBox->setCurrentIndex(units().authorBox->findData(f.author));
    units().aliasEdit->setText(f.alias);
    units().typeBox->setCurrentIndex(f.type - 1);  // 草稿文章 1 ... 普通文章 4
    units().yearEdit->setText(f.year);
    units().monthEdit->setText(f.month);
    units().dayEdit->setText(f.day);
    units().timeEdit->setText(f.time);
    units().stickyCheck->setChecked(f.sticky);
    units().autoNameCheck->setChecked(f.autoName);
    units().autoAliasCheck->setChecked(f.autoAlias);
    w().images().setGallery(f.gallery);
    setEditorBody(units().editorView, f.body);
  }

  void expectShows(const Form& f) {
    EXPECT_EQ(units().titleEdit->text(), f.title);
    EXPECT_EQ(units().categoryBox->currentData().toInt(), f.category);
    EXPECT_EQ(units().tagsEdit->text(), f.tags);
    EXPECT_EQ(units().authorBox->currentData().toInt(), f.author);
    EXPECT_EQ(units().aliasEdit->text(), f.alias);
    EXPECT_EQ(units().typeBox->currentIndex(), f.type - 1);
    EXPECT_EQ(units().yearEdit->text(), f.year);
    EXPECT_EQ(units().monthEdit->text(), f.month);
    EXPECT_EQ(units().dayEdit->text(), f.day);
    EXPECT_EQ(units().timeEdit->text(), f.time);
    EXPECT_EQ(units().stickyCheck->isChecked(), f.sticky);
    EXPECT_EQ(units().autoNameCheck->isChecked(), f.autoName);
    EXPECT_EQ(units().autoAliasCheck->isChecked(), f.autoAlias);
    EXPECT_EQ(w().images().gallery(), f.gallery);
    EXPECT_EQ(editorBody(units().editorView), f.body);
  }
};

TEST_F(Drafts, ManualSaveWritesBothFilesAndRestoresEveryField) {
  fill(formA());
  saveManually();
  DraftStore store(dir_.file("temp"));
  std::string ini = readFile(store.settingsPath("now"));
  // 标题 a b&c, form-encoded, as the first key.
  EXPECT_NE(ini.find(fromUtf8("标题内容") + "=%B1%EA%CC%E2+a+b%26c\r\n"), std::string::npos) << ini;
  EXPECT_EQ(readFile(store.bodyPath("now")), "%3Cp%3E%D5%FD%CE%C4+A+%26amp%3B+%27quote%27%3C%2Fp%3E");
  EXPECT_FALSE(store.exists("1"));

  fill(formB());
  restore(0);
  expectShows(formA());
  // The gallery page was rebuilt from the restored list.
  std::string page = readFile(dir_.file("temp/index.html"));
  EXPECT_NE(page.find("http://127.0.0.1:9/upload/b.gif"), std::string::npos);
}

// An emoji typed in the text fields comes back from every kind of slot.
TEST_F(Drafts, CharactersGbkCannotHoldSurviveTheSlots) {
  Form emoji = formA();
  emoji.title = QStringLiteral("标题😀");
  emoji.tags = QStringLiteral("中文,😀,&#20013;");  // a typed reference of a GBK character stays text
  emoji.alias = QStringLiteral("a😀");
  emoji.body = "<p>&#128512;</p>";
  fill(emoji);
  saveManually();
  saveRing();
  DraftStore store(dir_.file("temp"));
  EXPECT_NE(readFile(store.settingsPath("now")).find("%B1%EA%CC%E2%26%23128512%3B"), std::string::npos);
  for (int slot : {0, 1}) {
    fill(formB());
    restore(slot);
    expectShows(emoji);
  }
  w().restoreAction()->trigger();  // the captions again
  restoreBox()->hidePopup();
  const QString caption = restoreBox()->itemText(restoreBox()->findData(1));
  EXPECT_TRUE(caption.endsWith(QStringLiteral(" 标题😀)"))) << caption.toStdString();
}

TEST_F(Drafts, RingRestoresTheStateOfThatMinute) {
  fill(formA());
  saveRing();
  fill(formB());
  saveRing();
  Form changed = formB();
  changed.title = QStringLiteral("typed since");
  fill(changed);
  restore(2);
  expectShows(formA());
  restore(1);
  expectShows(formB());
}

TEST_F(Drafts, EverySaveAndRestoreRearmsTheTimer) {
  saveTimer()->start(5);
  saveRing();
  EXPECT_TRUE(saveTimer()->isActive());
  EXPECT_EQ(saveTimer()->interval(), 60000);
  EXPECT_GT(saveTimer()->remainingTime(), 59000);
  saveTimer()->start(5);
  saveManually();
  EXPECT_EQ(saveTimer()->interval(), 60000);
  EXPECT_GT(saveTimer()->remainingTime(), 59000);

  // 不恢复 only re-arms the timer.
  fill(formB());
  saveTimer()->start(5);
  restore(-1);
  EXPECT_TRUE(saveTimer()->isActive());
  EXPECT_GT(saveTimer()->remainingTime(), 59000);
  expectShows(formB());
  EXPECT_TRUE(toastTexts().isEmpty());
}

TEST_F(Drafts, AMissingSlotChangesNothingAndSaysSo) {
  fill(formA());
  saveRing();
  fill(formB());
  restore(10);
  expectShows(formB());
  EXPECT_EQ(toastTexts(), QStringList{QStringLiteral("这个时间点没有保存的数据！")});
  EXPECT_EQ(saveTimer()->interval(), 60000);
  EXPECT_TRUE(saveTimer()->isActive());
}

TEST_F(Drafts, ABodyTooLongForTheEditorIsNotRestoredAndThatIsSaid) {
  // A slot whose body the editor could not take (it would come back empty,
  // and the next autosave would push the empty body into the ring).
  DraftFields huge = draftOf(Article{}, false, {});
  huge.title = "huge";
  huge.body = "<p>" + std::string(kEditorBodyMax, 'x') + "</p>";
  DraftStore store(dir_.file("temp"));
  store.syncWrites = false;
  ASSERT_TRUE(store.saveManual(huge));
  fill(formB());
  clearToastHistory();
  restore(0);
  expectShows(formB());
  EXPECT_EQ(toastHistory(), std::vector<std::string>{bodyTooLongNotice(huge.body.size())});
  EXPECT_TRUE(store.exists("now")) << "the slot stays for another tool";
}

TEST_F(Drafts, ListValuesMissingFromTheListsLeaveThemAlone) {
  fill(formA());
  saveManually();
  // Another blog: other categories and authors.
  units().categoryBox->clear();
  for (int id : {20, 21}) units().categoryBox->addItem(QStringLiteral("c%1").arg(id), id);
  units().categoryBox->setCurrentIndex(1);
  units().authorBox->setCurrentIndex(0);
  restore(0);
  EXPECT_EQ(units().categoryBox->currentData().toInt(), 21);
  EXPECT_EQ(units().authorBox->currentData().toInt(), 2);  // matched
  EXPECT_EQ(units().titleEdit->text(), formA().title);
}

TEST_F(Drafts, TheArticleTypeIsStoredAsItsLevel) {
  fill(formA());  // 锁定文章
  saveManually();
  EXPECT_NE(readFile(DraftStore(dir_.file("temp")).settingsPath("now")).find(fromUtf8("类型") + "=3\r\n"),
            std::string::npos);
  units().typeBox->setCurrentIndex(0);
  restore(0);
  EXPECT_EQ(units().typeBox->currentText(), QStringLiteral("锁定文章"));
}

TEST_F(Drafts, NothingSelectedIsStoredAsMinusOne) {
  fill(formA());
  units().categoryBox->clear();
  saveManually();
  EXPECT_NE(readFile(DraftStore(dir_.file("temp")).settingsPath("now")).find(fromUtf8("分类") + "=-1\r\n"),
            std::string::npos);
}

TEST_F(Drafts, ALargeGalleryComesBackWhole) {
  Form f = formA();
  f.gallery.clear();
  // Local addresses that fail at once: the gallery page shows them all.
  for (int i = 0; i < 900; ++i)
    f.gallery.push_back("file:///nonexistent/upload/2026/12/photo-" + std::to_string(i) + ".jpg[1024|768");
  ASSERT_GT(joinGallery(f.gallery).size(), 50u * 1024);
  fill(f);
  saveRing();
  w().images().setGallery({});
  restore(1);
  EXPECT_EQ(w().images().gallery(), f.gallery);
}

TEST_F(Drafts, TheRestoreListSelectsTheSlotByItsData) {
  w().restoreAction()->trigger();  // no "恢复前的内容" in a fresh folder
  ASSERT_EQ(restoreBox()->count(), 12);
  EXPECT_EQ(restoreBox()->itemData(0).toInt(), -1);
  EXPECT_EQ(restoreBox()->itemData(1).toInt(), 0);
  for (int i = 2; i < 12; ++i) EXPECT_EQ(restoreBox()->itemData(i).toInt(), i - 1);
  EXPECT_EQ(restoreBox()->itemText(2), QStringLiteral("1分钟前"));
}

TEST_F(Drafts, IdleTicksKeepTheRingAndRealChangesRotate) {
  fill(formA());
  saveRing();
  // A fresh start: nothing typed yet.
  Form idle = formB();
  idle.title.clear();
  idle.tags.clear();
  idle.alias.clear();
  idle.body.clear();
  fill(idle);
  for (int tick = 0; tick < 10; ++tick) saveRing();
  DraftStore store(dir_.file("temp"));
  EXPECT_FALSE(store.exists("2"));
  fill(formB());
  for (int tick = 0; tick < 3; ++tick) saveRing();  // one change, one slot
  EXPECT_TRUE(store.exists("2"));
  EXPECT_FALSE(store.exists("3"));
  restore(2);
  expectShows(formA());
}

TEST_F(Drafts, TheRestoreListShowsSaveTimesAndTitles) {
  fill(formA());
  saveRing();
  saveManually();
  w().restoreAction()->trigger();
  const QString hhmm = QTime::currentTime().toString(QStringLiteral("HH:mm"));
  const int one = restoreBox()->findData(1), manual = restoreBox()->findData(0);
  // Within a minute boundary the time may have moved on by one.
  EXPECT_TRUE(restoreBox()->itemText(one).startsWith(QStringLiteral("1分钟前 (")));
  EXPECT_TRUE(restoreBox()->itemText(one).endsWith(QStringLiteral(" 标题 a b&c)")))
      << restoreBox()->itemText(one).toStdString();
  EXPECT_TRUE(
      restoreBox()->itemText(one).contains(hhmm) ||
      restoreBox()->itemText(one).contains(QTime::currentTime().addSecs(-60).toString(QStringLiteral("HH:mm"))));
  EXPECT_TRUE(restoreBox()->itemText(manual).startsWith(QStringLiteral("手动保存 (")));
  EXPECT_EQ(restoreBox()->itemText(restoreBox()->findData(2)),
            QStringLiteral("2分钟前"));  // empty slot
  EXPECT_EQ(restoreBox()->itemText(restoreBox()->findData(-1)), QStringLiteral("不恢复"));
}

TEST_F(Drafts, ARestoreCanBeTakenBackBodyIncluded) {
  fill(formA());
  saveManually();
  Form typed = formB();
  typed.body = "<p>" + std::string(200000, 'b') + "</p>";
  fill(typed);
  restore(0);
  ASSERT_TRUE(toastTexts().isEmpty()) << toastTexts().join('|').toStdString();
  expectShows(formA());
  w().restoreAction()->trigger();
  const int before = restoreBox()->findData(kBeforeRestoreData);
  ASSERT_EQ(before, 0) << "恢复前的内容 heads the list";
  EXPECT_TRUE(restoreBox()->itemText(before).startsWith(QStringLiteral("恢复前的内容 (")));
  restore(kBeforeRestoreData);
  expectShows(typed);
  // The article restored first is still in its slot; the typed one stays
  // kept while a slot holds what replaces it.
  restore(0);
  expectShows(formA());
  restore(kBeforeRestoreData);
  expectShows(typed);
  EXPECT_TRUE(toastTexts().isEmpty()) << "restores ask and tell nothing";
}

TEST_F(Drafts, AStrayDirectoryInTempIsMovedAsideWithANotice) {
  std::filesystem::create_directories(dir_.file("temp/1.ini.part/x"));
  std::filesystem::create_directories(dir_.file("temp/now.ini/y"));
  fill(formA());
  saveRing();
  saveManually();
  fill(formB());
  restore(1);
  expectShows(formA());
  EXPECT_TRUE(std::filesystem::is_directory(dir_.file("temp/1.ini.part.aside/x")));
  EXPECT_TRUE(std::filesystem::is_directory(dir_.file("temp/now.ini.aside/y")));
  const QStringList notices = toastTexts();
  ASSERT_EQ(notices.size(), 2) << notices.join('|').toStdString();
  EXPECT_TRUE(notices.join('|').contains(QStringLiteral("“1.ini.part”是一个文件夹，已改名为“1.ini.part.aside”")))
      << notices.join('|').toStdString();
  EXPECT_TRUE(notices.join('|').contains(QStringLiteral("now.ini.aside")));
}

// The window's own 时钟_恢复保存, with a shorter pause.
class RecoveryWindow : public Drafts {
 protected:
  void SetUp() override {
    Drafts::SetUp();
    setRecoveryPauseForTests(w().drafts(), 400);
  }
  void TearDown() override {
    flushRecovery(w().drafts());
    Drafts::TearDown();
  }
  std::optional<DraftFields> slot() { return DraftStore(dir_.file("temp")).load(kRecoverySlot); }
  RecoveryState state() { return DraftStore(dir_.file("temp")).loadRecovery()->state; }
};

TEST_F(RecoveryWindow, WrittenAfterATypingPauseAndOnClose) {
  fill(formA());
  QTest::qWait(200);
  EXPECT_FALSE(slot()) << "written before the pause";
  ASSERT_TRUE(QTest::qWaitFor([&] { return slot().has_value(); }, 8000));
  flushRecovery(w().drafts());
  EXPECT_EQ(slot()->title, fromQ(formA().title));
  EXPECT_EQ(slot()->body, formA().body);
  EXPECT_EQ(state(), RecoveryState::Unsaved);

  // Typing in the editor alone is noticed too.
  setEditorBody(units().editorView, "<p>typed in the editor</p>");
  ASSERT_TRUE(QTest::qWaitFor([&] { return slot() && slot()->body == "<p>typed in the editor</p>"; }, 8000));

  // The close writes at once, without the pause.
  units().titleEdit->setText(QStringLiteral("typed just before closing"));
  setEditorBody(units().editorView, "<p>last words</p>");
  w().close();
  EXPECT_EQ(slot()->title, "typed just before closing");
  EXPECT_EQ(slot()->body, "<p>last words</p>");
}

TEST_F(RecoveryWindow, APublishMarksTheArticle) {
  test::Sandbox sb(test::sandboxOptions({"--categories", "10:c10,11:c11,12:c12", "--authors", "1:u1,2:u2"}));
  pick(addSite(sb.siteUrl(), "admin", "secret"));
  ASSERT_TRUE(w().blog().ready());
  fill(formA());
  units().publishButton->click();
  ASSERT_EQ(sb.articleCount(), 1);
  flushRecovery(w().drafts());
  EXPECT_EQ(state(), RecoveryState::Published);
  // The same article at close stays published; a changed one does not.
  w().close();
  EXPECT_EQ(state(), RecoveryState::Published);
  w().show();  // only a shown window is closed
  units().titleEdit->setText(QStringLiteral("edited after publishing"));
  w().close();
  EXPECT_EQ(state(), RecoveryState::Unsaved);
}
