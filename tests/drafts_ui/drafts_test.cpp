#include "guihelp.h"
#include "support/mainunits.h"
#include "support/session.h"

#include "blog/ui/editorbody.h"
#include "common/programdir.h"
#include "common/ui/gbk.h"
#include "common/ui/toast.h"
#include "drafts/draftslots.h"
#include "drafts/ui/drafts.h"
#include "images/gallery.h"
#include "images/ui/gallery.h"
#include "net/encoding.h"

#include <gtest/gtest.h>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QTime>
#include <QTimer>
#include <QtTest/QTest>

#include <filesystem>

using namespace inkpost;
using inkpost::test::DraftsWindow;
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

class Drafts : public inkpost::test::SessionTest {
 protected:
  void SetUp() override {
    SessionTest::SetUp();
    setToastTimeScale(0);
    clearToastHistory();
    std::filesystem::create_directory(dir.file("temp"));
    setProgramDir(dir.path());
    // Lists as a logged-in blog fills them: item data are the blog's ids.
    inkpost::test::units(w).categoryBox->clear();
    for (int id : {10, 11, 12}) inkpost::test::units(w).categoryBox->addItem(QStringLiteral("分类%1").arg(id), id);
    inkpost::test::units(w).authorBox->clear();
    for (int id : {1, 2}) inkpost::test::units(w).authorBox->addItem(QStringLiteral("用户%1").arg(id), id);
    inkpost::test::units(w).saveTimer->stop();
  }
  void TearDown() override {
    SessionTest::TearDown();
    inkpost::test::units(w).saveTimer->stop();
    blogSession().gallery.clear();
    RebuildGallery(w);
  }

  void fill(const Form& f) {
    inkpost::test::units(w).titleEdit->setText(f.title);
    inkpost::test::units(w).categoryBox->setCurrentIndex(inkpost::test::units(w).categoryBox->findData(f.category));
    inkpost::test::units(w).tagsEdit->setText(f.tags);
    inkpost::test::units(w).authorBox->setCurrentIndex(inkpost::test::units(w).authorBox->findData(f.author));
    inkpost::test::units(w).aliasEdit->setText(f.alias);
    inkpost::test::units(w).typeBox->setCurrentIndex(f.type - 1);  // 草稿文章 1 ... 普通文章 4
    inkpost::test::units(w).yearEdit->setText(f.year);
    inkpost::test::units(w).monthEdit->setText(f.month);
    inkpost::test::units(w).dayEdit->setText(f.day);
    inkpost::test::units(w).timeEdit->setText(f.time);
    inkpost::test::units(w).stickyCheck->setChecked(f.sticky);
    inkpost::test::units(w).autoNameCheck->setChecked(f.autoName);
    inkpost::test::units(w).autoAliasCheck->setChecked(f.autoAlias);
    blogSession().gallery = f.gallery;
    setEditorBody(inkpost::test::units(w).editorView, f.body);
  }

  void expectShows(const Form& f) {
    EXPECT_EQ(inkpost::test::units(w).titleEdit->text(), f.title);
    EXPECT_EQ(inkpost::test::units(w).categoryBox->currentData().toInt(), f.category);
    EXPECT_EQ(inkpost::test::units(w).tagsEdit->text(), f.tags);
    EXPECT_EQ(inkpost::test::units(w).authorBox->currentData().toInt(), f.author);
    EXPECT_EQ(inkpost::test::units(w).aliasEdit->text(), f.alias);
    EXPECT_EQ(inkpost::test::units(w).typeBox->currentIndex(), f.type - 1);
    EXPECT_EQ(inkpost::test::units(w).yearEdit->text(), f.year);
    EXPECT_EQ(inkpost::test::units(w).monthEdit->text(), f.month);
    EXPECT_EQ(inkpost::test::units(w).dayEdit->text(), f.day);
    EXPECT_EQ(inkpost::test::units(w).timeEdit->text(), f.time);
    EXPECT_EQ(inkpost::test::units(w).stickyCheck->isChecked(), f.sticky);
    EXPECT_EQ(inkpost::test::units(w).autoNameCheck->isChecked(), f.autoName);
    EXPECT_EQ(inkpost::test::units(w).autoAliasCheck->isChecked(), f.autoAlias);
    EXPECT_EQ(blogSession().gallery, f.gallery);
    EXPECT_EQ(editorBody(inkpost::test::units(w).editorView), f.body);
  }

  TempDir dir;
  MainWindow& w = DraftsWindow::window();
};

TEST_F(Drafts, ManualSaveWritesBothFilesAndRestoresEveryField) {
  fill(formA());
  SaveDraft(w, false);
  DraftStore store(dir.file("temp"));
  std::string ini = readFile(store.settingsPath("now"));
  // 标题 a b&c, form-encoded, as the first key.
  EXPECT_NE(ini.find(fromUtf8("标题内容") + "=%B1%EA%CC%E2+a+b%26c\r\n"), std::string::npos) << ini;
  EXPECT_EQ(readFile(store.bodyPath("now")), "%3Cp%3E%D5%FD%CE%C4+A+%26amp%3B+%27quote%27%3C%2Fp%3E");
  EXPECT_FALSE(store.exists("1"));

  fill(formB());
  RestoreDraft(w, 0);
  expectShows(formA());
  // The gallery page was rebuilt from the restored list.
  std::string page = readFile(dir.file("temp/index.html"));
  EXPECT_NE(page.find("http://127.0.0.1:9/upload/b.gif"), std::string::npos);
}

TEST_F(Drafts, RingRestoresTheStateOfThatMinute) {
  fill(formA());
  SaveDraft(w, true);
  fill(formB());
  SaveDraft(w, true);
  Form changed = formB();
  changed.title = QStringLiteral("typed since");
  fill(changed);
  RestoreDraft(w, 2);
  expectShows(formA());
  RestoreDraft(w, 1);
  expectShows(formB());
}

TEST_F(Drafts, EverySaveAndRestoreRearmsTheTimer) {
  inkpost::test::units(w).saveTimer->start(5);
  SaveDraft(w, true);
  EXPECT_TRUE(inkpost::test::units(w).saveTimer->isActive());
  EXPECT_EQ(inkpost::test::units(w).saveTimer->interval(), 60000);
  EXPECT_GT(inkpost::test::units(w).saveTimer->remainingTime(), 59000);
  inkpost::test::units(w).saveTimer->start(5);
  SaveDraft(w, false);
  EXPECT_EQ(inkpost::test::units(w).saveTimer->interval(), 60000);
  EXPECT_GT(inkpost::test::units(w).saveTimer->remainingTime(), 59000);

  // 不恢复 only re-arms the timer.
  fill(formB());
  inkpost::test::units(w).saveTimer->start(5);
  RestoreDraft(w, -1);
  EXPECT_TRUE(inkpost::test::units(w).saveTimer->isActive());
  EXPECT_GT(inkpost::test::units(w).saveTimer->remainingTime(), 59000);
  expectShows(formB());
  EXPECT_TRUE(toastTexts().isEmpty());
}

TEST_F(Drafts, AMissingSlotChangesNothingAndSaysSo) {
  fill(formA());
  SaveDraft(w, true);
  fill(formB());
  RestoreDraft(w, 10);
  expectShows(formB());
  EXPECT_EQ(toastTexts(), QStringList{QStringLiteral("这个时间点没有保存的数据！")});
  EXPECT_EQ(inkpost::test::units(w).saveTimer->interval(), 60000);
  EXPECT_TRUE(inkpost::test::units(w).saveTimer->isActive());
}

TEST_F(Drafts, ListValuesMissingFromTheListsLeaveThemAlone) {
  fill(formA());
  SaveDraft(w, false);
  // Another blog: other categories and authors.
  inkpost::test::units(w).categoryBox->clear();
  for (int id : {20, 21}) inkpost::test::units(w).categoryBox->addItem(QStringLiteral("c%1").arg(id), id);
  inkpost::test::units(w).categoryBox->setCurrentIndex(1);
  inkpost::test::units(w).authorBox->setCurrentIndex(0);
  RestoreDraft(w, 0);
  EXPECT_EQ(inkpost::test::units(w).categoryBox->currentData().toInt(), 21);
  EXPECT_EQ(inkpost::test::units(w).authorBox->currentData().toInt(), 2);  // matched
  EXPECT_EQ(inkpost::test::units(w).titleEdit->text(), formA().title);
}

TEST_F(Drafts, TheArticleTypeIsStoredAsItsLevel) {
  fill(formA());  // 锁定文章
  SaveDraft(w, false);
  EXPECT_NE(readFile(DraftStore(dir.file("temp")).settingsPath("now")).find(fromUtf8("类型") + "=3\r\n"),
            std::string::npos);
  inkpost::test::units(w).typeBox->setCurrentIndex(0);
  RestoreDraft(w, 0);
  EXPECT_EQ(inkpost::test::units(w).typeBox->currentText(), QStringLiteral("锁定文章"));
}

TEST_F(Drafts, NothingSelectedIsStoredAsMinusOne) {
  fill(formA());
  inkpost::test::units(w).categoryBox->clear();
  SaveDraft(w, false);
  EXPECT_NE(readFile(DraftStore(dir.file("temp")).settingsPath("now")).find(fromUtf8("分类") + "=-1\r\n"),
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
  SaveDraft(w, true);
  blogSession().gallery.clear();
  RestoreDraft(w, 1);
  EXPECT_EQ(blogSession().gallery, f.gallery);
}

TEST_F(Drafts, TheRestoreListSelectsTheSlotByItsData) {
  RefreshRestoreList(w);  // no "恢复前的内容" in a fresh folder
  ASSERT_EQ(inkpost::test::units(w).restoreBox->count(), 12);
  EXPECT_EQ(inkpost::test::units(w).restoreBox->itemData(0).toInt(), -1);
  EXPECT_EQ(inkpost::test::units(w).restoreBox->itemData(1).toInt(), 0);
  for (int i = 2; i < 12; ++i) EXPECT_EQ(inkpost::test::units(w).restoreBox->itemData(i).toInt(), i - 1);
  EXPECT_EQ(inkpost::test::units(w).restoreBox->itemText(2), QStringLiteral("1分钟前"));
}

TEST_F(Drafts, IdleTicksKeepTheRingAndRealChangesRotate) {
  fill(formA());
  SaveDraft(w, true);
  // A fresh start: nothing typed yet.
  Form idle = formB();
  idle.title.clear();
  idle.tags.clear();
  idle.alias.clear();
  idle.body.clear();
  fill(idle);
  for (int tick = 0; tick < 10; ++tick) SaveDraft(w, true);
  DraftStore store(dir.file("temp"));
  EXPECT_FALSE(store.exists("2"));
  fill(formB());
  for (int tick = 0; tick < 3; ++tick) SaveDraft(w, true);  // one change, one slot
  EXPECT_TRUE(store.exists("2"));
  EXPECT_FALSE(store.exists("3"));
  RestoreDraft(w, 2);
  expectShows(formA());
}

TEST_F(Drafts, TheRestoreListShowsSaveTimesAndTitles) {
  fill(formA());
  SaveDraft(w, true);
  SaveDraft(w, false);
  RefreshRestoreList(w);
  const QString hhmm = QTime::currentTime().toString(QStringLiteral("HH:mm"));
  const int one = inkpost::test::units(w).restoreBox->findData(1),
            manual = inkpost::test::units(w).restoreBox->findData(0);
  // Within a minute boundary the time may have moved on by one.
  EXPECT_TRUE(inkpost::test::units(w).restoreBox->itemText(one).startsWith(QStringLiteral("1分钟前 (")));
  EXPECT_TRUE(inkpost::test::units(w).restoreBox->itemText(one).endsWith(QStringLiteral(" 标题 a b&c)")))
      << inkpost::test::units(w).restoreBox->itemText(one).toStdString();
  EXPECT_TRUE(inkpost::test::units(w).restoreBox->itemText(one).contains(hhmm) ||
              inkpost::test::units(w).restoreBox->itemText(one).contains(
                  QTime::currentTime().addSecs(-60).toString(QStringLiteral("HH:mm"))));
  EXPECT_TRUE(inkpost::test::units(w).restoreBox->itemText(manual).startsWith(QStringLiteral("手动保存 (")));
  EXPECT_EQ(inkpost::test::units(w).restoreBox->itemText(inkpost::test::units(w).restoreBox->findData(2)),
            QStringLiteral("2分钟前"));  // empty slot
  EXPECT_EQ(inkpost::test::units(w).restoreBox->itemText(inkpost::test::units(w).restoreBox->findData(-1)),
            QStringLiteral("不恢复"));
}

TEST_F(Drafts, ARestoreCanBeTakenBackBodyIncluded) {
  fill(formA());
  SaveDraft(w, false);
  Form typed = formB();
  typed.body = "<p>" + std::string(200000, 'b') + "</p>";
  fill(typed);
  RestoreDraft(w, 0);
  ASSERT_TRUE(toastTexts().isEmpty()) << toastTexts().join('|').toStdString();
  expectShows(formA());
  RefreshRestoreList(w);
  const int before = inkpost::test::units(w).restoreBox->findData(kBeforeRestoreData);
  ASSERT_EQ(before, 0) << "恢复前的内容 heads the list";
  EXPECT_TRUE(inkpost::test::units(w).restoreBox->itemText(before).startsWith(QStringLiteral("恢复前的内容 (")));
  RestoreDraft(w, kBeforeRestoreData);
  expectShows(typed);
  // The article restored first is still in its slot; the typed one stays
  // kept while a slot holds what replaces it.
  RestoreDraft(w, 0);
  expectShows(formA());
  RestoreDraft(w, kBeforeRestoreData);
  expectShows(typed);
  EXPECT_TRUE(toastTexts().isEmpty()) << "restores ask and tell nothing";
}

TEST_F(Drafts, AStrayDirectoryInTempIsMovedAsideWithANotice) {
  std::filesystem::create_directories(dir.file("temp/1.ini.part/x"));
  std::filesystem::create_directories(dir.file("temp/now.ini/y"));
  fill(formA());
  SaveDraft(w, true);
  SaveDraft(w, false);
  fill(formB());
  RestoreDraft(w, 1);
  expectShows(formA());
  EXPECT_TRUE(std::filesystem::is_directory(dir.file("temp/1.ini.part.aside/x")));
  EXPECT_TRUE(std::filesystem::is_directory(dir.file("temp/now.ini.aside/y")));
  const QStringList notices = toastTexts();
  ASSERT_EQ(notices.size(), 2) << notices.join('|').toStdString();
  EXPECT_TRUE(notices.join('|').contains(QStringLiteral("“1.ini.part”是一个文件夹，已改名为“1.ini.part.aside”")))
      << notices.join('|').toStdString();
  EXPECT_TRUE(notices.join('|').contains(QStringLiteral("now.ini.aside")));
}

class RecoveryWindow : public Drafts {
 protected:
  void SetUp() override {
    Drafts::SetUp();
    setRecoveryPauseForTests(w, 400);
    tick = QObject::connect(recoveryTimer(w), &QTimer::timeout, &w, [this] { RecoveryTick(w); });
  }
  void TearDown() override {
    QObject::disconnect(tick);
    flushRecovery(w);
    setRecoveryPauseForTests(w, kRecoveryPauseMs);
    Drafts::TearDown();
  }
  std::optional<DraftFields> slot() { return DraftStore(dir.file("temp")).load(kRecoverySlot); }
  QMetaObject::Connection tick;
};

TEST_F(RecoveryWindow, WrittenAfterATypingPauseAndOnClose) {
  fill(formA());
  ArticleEdited(w);
  QTest::qWait(200);
  EXPECT_FALSE(slot()) << "written before the pause";
  ASSERT_TRUE(QTest::qWaitFor([&] { return slot().has_value(); }, 8000));
  flushRecovery(w);
  EXPECT_EQ(slot()->title, fromQ(formA().title));
  EXPECT_EQ(slot()->body, formA().body);
  EXPECT_EQ(DraftStore(dir.file("temp")).loadRecovery()->state, RecoveryState::Unsaved);

  // Typing in the editor alone is noticed too.
  setEditorBody(inkpost::test::units(w).editorView, "<p>typed in the editor</p>");
  ASSERT_TRUE(QTest::qWaitFor([&] { return slot() && slot()->body == "<p>typed in the editor</p>"; }, 8000));

  // The close writes at once, without the pause.
  inkpost::test::units(w).titleEdit->setText(QStringLiteral("typed just before closing"));
  setEditorBody(inkpost::test::units(w).editorView, "<p>last words</p>");
  SaveRecoveryOnClose(w);
  EXPECT_EQ(slot()->title, "typed just before closing");
  EXPECT_EQ(slot()->body, "<p>last words</p>");
}

TEST_F(RecoveryWindow, APublishMarksTheArticle) {
  fill(formA());
  ArticlePublished(w);
  flushRecovery(w);
  EXPECT_EQ(DraftStore(dir.file("temp")).loadRecovery()->state, RecoveryState::Published);
  // The same article at close stays published; a changed one does not.
  SaveRecoveryOnClose(w);
  EXPECT_EQ(DraftStore(dir.file("temp")).loadRecovery()->state, RecoveryState::Published);
  inkpost::test::units(w).titleEdit->setText(QStringLiteral("edited after publishing"));
  SaveRecoveryOnClose(w);
  EXPECT_EQ(DraftStore(dir.file("temp")).loadRecovery()->state, RecoveryState::Unsaved);
}
