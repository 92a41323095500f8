// The autosave policy, captions, the recovery slot, reversible restores and
// unexpected entries in the temp folder.
#include "drafts/draftslots.h"
#include "drafts/recoverywriter.h"
#include "net/encoding.h"
#include "net/formcode.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <ctime>
#include <filesystem>
#include <random>

using namespace inkpost;
using inkpost::test::fileExists;
using inkpost::test::readFile;
using inkpost::test::TempDir;
using inkpost::test::writeFile;

namespace {

DraftFields article(const std::string& tag) {
  DraftFields f;
  f.title = "title " + tag;
  f.category = 7;
  f.tags = "a,b";
  f.type = 4;
  f.year = "2026";
  f.body = "<p>body " + tag + "</p>";
  return f;
}

// A restarted window before anything is typed: the date boxes filled, the
// editor holding an empty paragraph.
DraftFields idleWindow() {
  DraftFields f;
  f.year = "2026";
  f.month = "12";
  f.day = "9";
  f.time = "10:00:00";
  f.type = 4;
  f.body = "<p>&nbsp;</p>\n<p><br data-mce-bogus=\"1\"></p>";
  return f;
}

std::string tagOf(DraftStore& store, const std::string& slot) {
  auto f = store.load(slot);
  if (!f) return "";
  std::string tag = f->title.substr(6);
  EXPECT_EQ(f->body, "<p>body " + tag + "</p>") << "slot " << slot << " mixes two saves";
  return tag;
}

}  // namespace

TEST(Autosave, IdleTicksAfterARestartLeaveThePreviousArticleInTheRing) {
  TempDir dir;
  {
    DraftStore before(dir.path());
    for (int i = 1; i <= 3; ++i)
      ASSERT_EQ(before.autosave(article(std::to_string(i))), DraftStore::AutosaveResult::Saved);
  }
  DraftStore store(dir.path());  // the next session
  for (int tick = 0; tick < 10; ++tick) EXPECT_EQ(store.autosave(idleWindow()), DraftStore::AutosaveResult::Empty);
  EXPECT_EQ(tagOf(store, "1"), "3");
  EXPECT_EQ(tagOf(store, "3"), "1");
  EXPECT_FALSE(store.exists("4"));
  // The same article ten times over is one slot.
  for (int tick = 0; tick < 10; ++tick) store.autosave(article("3"));
  EXPECT_EQ(tagOf(store, "2"), "2");
  EXPECT_FALSE(store.exists("4"));
}

TEST(Autosave, AnEmptyArticleNeverDisplacesAFilledOne) {
  TempDir dir;
  DraftStore store(dir.path());
  ASSERT_EQ(store.autosave(article("kept")), DraftStore::AutosaveResult::Saved);
  DraftFields cleared = article("x");
  cleared.title.clear();
  cleared.tags.clear();
  cleared.body = "<p></p><div><br /></div>";
  EXPECT_TRUE(articleEmpty(cleared));
  for (int i = 0; i < 12; ++i) EXPECT_EQ(store.autosave(cleared), DraftStore::AutosaveResult::Empty);
  EXPECT_EQ(tagOf(store, "1"), "kept");

  // What counts as content.
  DraftFields f = cleared;
  f.body = "<p><img src=\"a.jpg\"></p>";
  EXPECT_FALSE(articleEmpty(f));
  f = cleared;
  f.body = "x";
  EXPECT_FALSE(articleEmpty(f));
  f = cleared;
  f.gallery = {"http://b/1.jpg[1|1"};
  EXPECT_FALSE(articleEmpty(f));
  f = cleared;
  f.alias = "a";
  EXPECT_FALSE(articleEmpty(f));
}

TEST(Autosave, ABodyTheEditorLostNeverGoesOverASlotThatHoldsText) {
  // A body too long for the editor comes back empty: the title is there,
  // the body is not.
  TempDir dir;
  DraftStore store(dir.path());
  ASSERT_EQ(store.autosave(article("long")), DraftStore::AutosaveResult::Saved);
  ASSERT_TRUE(store.saveRecovery(article("long"), RecoveryState::Unsaved));
  DraftFields lost = article("long");
  lost.body.clear();
  ASSERT_FALSE(articleEmpty(lost));
  for (int i = 0; i < 12; ++i) EXPECT_EQ(store.autosave(lost), DraftStore::AutosaveResult::Empty);
  EXPECT_EQ(tagOf(store, "1"), "long");
  EXPECT_FALSE(store.exists("2"));
  EXPECT_TRUE(store.saveRecovery(lost, RecoveryState::Unsaved));
  EXPECT_EQ(store.loadRecovery()->fields.body, "<p>body long</p>");
  // Over a slot without text an empty body is saved as before.
  TempDir other;
  DraftStore fresh(other.path());
  EXPECT_EQ(fresh.autosave(lost), DraftStore::AutosaveResult::Saved);
}

TEST(Recovery, ASettingsFileSavedAsUtf8IsReadAndTheUserIsTold) {
  TempDir dir;
  DraftStore store(dir.path());
  DraftFields f = article("x");
  f.title = fromUtf8("标题：恢复");
  ASSERT_TRUE(store.saveRecovery(f, RecoveryState::Unsaved));
  takeDraftNotices();
  // Opened and saved again by an editor that wrote UTF-8 (with its mark).
  writeFile(dir.file("recovery.ini"), "\xEF\xBB\xBF" + toUtf8(readFile(dir.file("recovery.ini"))));
  auto back = store.loadRecovery();
  ASSERT_TRUE(back);
  EXPECT_EQ(back->fields.title, f.title);
  std::vector<std::string> notices = takeDraftNotices();
  ASSERT_EQ(notices.size(), 1u);
  EXPECT_NE(notices[0].find(fromUtf8("是UTF-8编码")), std::string::npos) << toUtf8(notices[0]);
  // Neither GBK nor UTF-8: the title is lost, and that is said too.
  writeFile(dir.file("recovery.ini"), "garbage\r\n");
  ASSERT_TRUE(store.loadRecovery());
  notices = takeDraftNotices();
  ASSERT_EQ(notices.size(), 1u);
  EXPECT_NE(notices[0].find(fromUtf8("标题等内容没有恢复")), std::string::npos) << toUtf8(notices[0]);
  EXPECT_FALSE(bodyTooLongNotice(100u << 20).empty());
  EXPECT_NE(bodyTooLongNotice(100u << 20).find("100 MB"), std::string::npos);
}

TEST(Autosave, RealChangesRotateAsBefore) {
  TempDir dir;
  DraftStore store(dir.path());
  store.syncWrites = false;
  for (int i = 1; i <= 11; ++i)
    ASSERT_EQ(store.autosave(article(std::to_string(i))), DraftStore::AutosaveResult::Saved);
  for (int k = 1; k <= 10; ++k) EXPECT_EQ(tagOf(store, std::to_string(k)), std::to_string(12 - k));
  // A change in one list or box is a change.
  DraftFields f = article("11");
  f.sticky = true;
  EXPECT_EQ(store.autosave(f), DraftStore::AutosaveResult::Saved);
  EXPECT_EQ(tagOf(store, "2"), "11");
}

TEST(Autosave, TheSettingsFileIsWrittenInOnePieceAsBefore) {
  TempDir dir;
  DraftStore store(dir.path());
  DraftFields f = article("x");
  f.alias = "line\r\nbreak";
  ASSERT_TRUE(store.saveManual(f));
  EXPECT_EQ(readFile(store.settingsPath("now")), settingsText(f));
  EXPECT_NE(settingsText(f).find(fromUtf8("别名=line  break\r\n")), std::string::npos);
  EXPECT_TRUE(store.holds("now", f));
  f.alias = "other";
  EXPECT_FALSE(store.holds("now", f));
}

TEST(Captions, ShowTheSaveTimeAndTheStartOfTheTitle) {
  std::tm t{};
  t.tm_year = 126;
  t.tm_mon = 11;
  t.tm_mday = 9;
  t.tm_hour = 14;
  t.tm_min = 3;
  t.tm_isdst = -1;
  const long long saved = std::mktime(&t);
  SlotInfo info{saved, fromUtf8("第二版标题")};
  EXPECT_EQ(slotCaption(fromUtf8("1分钟前"), info, saved + 60), fromUtf8("1分钟前 (14:03 第二版标题)"));
  // Another day shows the date; a long title is cut by characters.
  info.title = fromUtf8("一二三四五六七八九十一二三四五");
  EXPECT_EQ(slotCaption(fromUtf8("手动保存"), info, saved + 2 * 86400),
            fromUtf8("手动保存 (12-09 14:03 一二三四五六七八九十一二…)"));
  info.title.clear();
  EXPECT_EQ(slotCaption("x", info, saved), "x (14:03)");

  TempDir dir;
  DraftStore store(dir.path());
  ASSERT_TRUE(store.saveRing(article(fromUtf8("标题"))));
  auto got = store.info("1");
  ASSERT_TRUE(got);
  EXPECT_EQ(got->title, "title " + fromUtf8("标题"));
  EXPECT_LE(std::llabs(got->savedAt - static_cast<long long>(std::time(nullptr))), 5);
  EXPECT_FALSE(store.info("2"));
}

TEST(Ring, FreshDatesAloneMakeNoNewSlotAndCaptionsSayTheRealAge) {
  TempDir dir;
  DraftStore store(dir.path());
  DraftFields a = article("dated");
  ASSERT_EQ(store.autosave(a), DraftStore::AutosaveResult::Saved);
  a.time = "23:59:59";  // the boxes filled afresh at a login or a publish
  a.day = "31";
  EXPECT_EQ(store.autosave(a), DraftStore::AutosaveResult::Unchanged);
  EXPECT_FALSE(store.exists("2"));
  a.title = "title changed";
  EXPECT_EQ(store.autosave(a), DraftStore::AutosaveResult::Saved);
  EXPECT_EQ(ageCaption(1000, 1000), fromUtf8("1分钟前"));
  EXPECT_EQ(ageCaption(1000, 1000 + 7 * 60 + 30), fromUtf8("7分钟前"));
  EXPECT_EQ(ageCaption(1000, 1000 + 3 * 3600), fromUtf8("3小时前"));
  EXPECT_EQ(ageCaption(1000, 1000 + 2 * 86400), fromUtf8("2天前"));
}

TEST(Recovery, OfferedOnceWhenUnsavedAndDifferentFromTheNewestSlot) {
  TempDir dir;
  DraftStore store(dir.path());
  EXPECT_FALSE(store.recoveryOffer());
  ASSERT_TRUE(store.saveRing(article("ring")));
  ASSERT_TRUE(store.saveRecovery(article("typed"), RecoveryState::Unsaved));
  auto offer = store.recoveryOffer();
  ASSERT_TRUE(offer);
  EXPECT_EQ(offer->title, "title typed");
  // Answered: the article becomes the newest ring slot and is not offered again.
  ASSERT_TRUE(store.keepRecovery());
  EXPECT_EQ(tagOf(store, "1"), "typed");
  EXPECT_EQ(tagOf(store, "2"), "ring");
  EXPECT_FALSE(store.recoveryOffer());
  ASSERT_TRUE(store.saveRing(article("later")));
  EXPECT_FALSE(store.recoveryOffer());
}

TEST(Recovery, NoOfferForAPublishedOrEmptyArticleButOneTheRingAlsoHoldsIsOffered) {
  TempDir dir;
  DraftStore store(dir.path());
  ASSERT_TRUE(store.saveRecovery(article("p"), RecoveryState::Published));
  EXPECT_FALSE(store.recoveryOffer());
  EXPECT_EQ(store.loadRecovery()->state, RecoveryState::Published);
  ASSERT_TRUE(store.saveRecovery(idleWindow(), RecoveryState::Unsaved));
  EXPECT_FALSE(store.recoveryOffer());
  // After a kill the window opens empty: an article the ring holds too is
  // still brought back (it is not in the window), and kept only once.
  ASSERT_TRUE(store.saveRing(article("same")));
  ASSERT_TRUE(store.saveRecovery(article("same"), RecoveryState::Unsaved));
  ASSERT_TRUE(store.recoveryOffer());
  ASSERT_TRUE(store.keepRecovery());
  EXPECT_EQ(tagOf(store, "1"), "same");
  EXPECT_NE(tagOf(store, "2"), "same");
  EXPECT_FALSE(store.recoveryOffer());
  // The ring's files are not touched by the recovery slot's name.
  EXPECT_TRUE(fileExists(dir.file("recovery.ini")));
  EXPECT_TRUE(fileExists(dir.file("recovery正文.txt")));
  EXPECT_EQ(store.load(kRecoverySlot)->title, "title same");
}

TEST(Recovery, TheWriterWritesTheLatestSubmissionOffTheCallersThread) {
  TempDir dir;
  {
    RecoveryWriter writer(dir.path());
    writer.setSyncWrites(false);
    for (int i = 0; i < 50; ++i) writer.submit(article(std::to_string(i)), RecoveryState::Unsaved);
    writer.submit(DraftFields{}, RecoveryState::Unsaved, [](DraftFields& f) { f = article("prepared"); });
    writer.flush();
    EXPECT_TRUE(writer.lastOk());
    EXPECT_LE(writer.written(), 51);
    DraftStore store(dir.path());
    EXPECT_EQ(store.loadRecovery()->fields.title, "title prepared");
    writer.submit(article("at the end"), RecoveryState::Unsaved);
  }  // the destructor finishes the queued write
  DraftStore store(dir.path());
  EXPECT_EQ(store.loadRecovery()->fields.title, "title at the end");
}

TEST(Recovery, KilledAtRandomMomentsWhileWritingTheSlotStaysWhole) {
  TempDir dir;
  DraftStore first(dir.path());
  // Bodies of different sizes, so that a torn write would show.
  auto big = [](int n) {
    DraftFields f = article(std::to_string(n));
    f.body = "<p>body " + std::to_string(n) + "</p>" + std::string(static_cast<size_t>(n % 7) * 20000, 'x');
    return f;
  };
  ASSERT_TRUE(first.saveRecovery(big(0), RecoveryState::Unsaved));
  std::mt19937 random(20261209);
  int kills = 0, lastSeen = 0;
  while (kills < 220) {
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      DraftStore store(dir.path());
      store.syncWrites = false;
      for (int n = lastSeen + 1;; ++n) store.saveRecovery(big(n), RecoveryState::Unsaved);
    }
    usleep(std::uniform_int_distribution<int>(200, 6000)(random));
    kill(pid, SIGKILL);
    int status = 0;
    waitpid(pid, &status, 0);
    ++kills;
    DraftStore reader(dir.path());
    auto r = reader.loadRecovery();
    ASSERT_TRUE(r) << "kill " << kills;
    const int n = std::stoi(r->fields.title.substr(6));
    ASSERT_EQ(r->fields, big(n)) << "kill " << kills << ": the slot is torn";
    ASSERT_GE(n, lastSeen) << "kill " << kills << ": an older article came back";
    lastSeen = n;
    for (const auto& e : std::filesystem::directory_iterator(dir.path())) {
      const std::string name = e.path().filename().string();
      ASSERT_EQ(name.find(".part"), std::string::npos) << name;
      ASSERT_EQ(name.find(".new"), std::string::npos) << name;
    }
  }
  EXPECT_GE(kills, 200);
  EXPECT_GT(lastSeen, 10) << "the child hardly wrote anything";
}

TEST(Restore, TheArticleBeforeARestoreIsKeptWithItsBody) {
  TempDir dir;
  DraftStore store(dir.path());
  ASSERT_TRUE(store.saveRing(article("old")));
  DraftFields current = article("current");
  current.body = "<p>" + std::string(300000, 'c') + "</p>";
  ASSERT_TRUE(store.keepBeforeRestore(current));
  EXPECT_EQ(*store.load(kBeforeRestoreSlot), current);
  EXPECT_EQ(tagOf(store, "1"), "old");  // the ring is not touched
  EXPECT_FALSE(store.exists("2"));

  // Restoring "old" and then "恢复前的内容" again: the restored article is
  // held by slot 1, so the kept one stays.
  ASSERT_TRUE(store.keepBeforeRestore(article("old")));
  EXPECT_EQ(*store.load(kBeforeRestoreSlot), current);

  // An edited article replaces it; the one kept earlier goes into the ring.
  ASSERT_TRUE(store.keepBeforeRestore(article("edited")));
  EXPECT_EQ(tagOf(store, kBeforeRestoreSlot), "edited");
  EXPECT_EQ(*store.load("1"), current);
  EXPECT_EQ(tagOf(store, "2"), "old");
  // Nothing to keep of an empty article.
  ASSERT_TRUE(store.keepBeforeRestore(idleWindow()));
  EXPECT_EQ(tagOf(store, kBeforeRestoreSlot), "edited");
  EXPECT_EQ(slotNameFor(kBeforeRestoreData), "before");
}

class TempEntries : public ::testing::TestWithParam<std::string> {};

// Directories named like a slot file or like a slot's unfinished file: the
// ring, the manual slot, restores and the recovery slot keep working, and
// each entry is moved aside with a notice.
TEST_P(TempEntries, AStrayDirectoryIsMovedAsideAndNothingStops) {
  TempDir dir;
  DraftStore store(dir.path());
  store.syncWrites = false;
  for (int i = 1; i <= 3; ++i) ASSERT_TRUE(store.saveRing(article(std::to_string(i))));
  takeDraftNotices();
  const std::string name = GetParam();
  std::filesystem::remove(dir.file(name));
  std::filesystem::create_directories(dir.file(name) + "/inside");
  writeFile(dir.file(name) + "/inside/x", "x");

  EXPECT_NO_THROW({
    auto f = store.load("2");
    if (name.rfind("2", 0) != 0) EXPECT_TRUE(f);
    store.saveRing(article("4"));
    store.saveManual(article("m"));
    store.saveRecovery(article("r"), RecoveryState::Unsaved);
    store.loadRecovery();
    store.keepBeforeRestore(article("b"));
    store.info("1");
    store.autosave(article("5"));
  });
  EXPECT_EQ(tagOf(store, "1"), "5");
  EXPECT_EQ(tagOf(store, "now"), "m");
  EXPECT_EQ(store.loadRecovery()->fields.title, "title r");
  EXPECT_TRUE(std::filesystem::is_regular_file(dir.file(name)) || !fileExists(dir.file(name)));
  EXPECT_TRUE(std::filesystem::is_directory(dir.file(name) + ".aside"));
  EXPECT_EQ(readFile(dir.file(name) + ".aside/inside/x"), "x");
  const auto notices = takeDraftNotices();
  ASSERT_EQ(notices.size(), 1u);
  EXPECT_NE(notices[0].find(name + ".aside"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Names, TempEntries,
                         ::testing::Values("1.ini", "2正文.txt", "now.ini", "1.ini.part", "1正文.txt.part",
                                           "recovery.ini", "recovery.ini.part", "recovery正文.txt.part",
                                           "before.ini.new", "10.ini"));

TEST(TempEntriesOther, OversizedAndSpecialFilesAreMovedAside) {
  TempDir dir;
  DraftStore store(dir.path());
  ASSERT_TRUE(store.saveRing(article("1")));
  takeDraftNotices();
  // A settings file far larger than any slot: sparse, so it costs no disk.
  {
    FILE* f = std::fopen(dir.file("2.ini").c_str(), "w");
    ASSERT_TRUE(f);
    ASSERT_EQ(ftruncate(fileno(f), 64LL << 20), 0);
    std::fclose(f);
  }
  ASSERT_EQ(mkfifo(dir.file("now.ini").c_str(), 0600), 0);
  EXPECT_EQ(tagOf(store, "1"), "1");
  EXPECT_FALSE(store.load("2"));
  EXPECT_FALSE(store.load("now"));
  EXPECT_TRUE(fileExists(dir.file("2.ini.aside")));
  EXPECT_TRUE(fileExists(dir.file("now.ini.aside")));
  EXPECT_EQ(takeDraftNotices().size(), 2u);
  if (geteuid() != 0) {
    ASSERT_TRUE(store.saveManual(article("m")));
    chmod(store.settingsPath("now").c_str(), 0);
    EXPECT_FALSE(store.load("now"));
    EXPECT_TRUE(fileExists(dir.file("now.ini.aside2")));
  }
}

TEST(WindowsSlots, BodyFilesNamedInGbkAreFound) {
  TempDir dir;
  const std::string gbkBody = fromUtf8("正文") + ".txt";  // bytes D5 FD CE C4
  ASSERT_EQ(gbkBody.substr(0, 4), "\xD5\xFD\xCE\xC4");
  for (int k : {1, 2}) {
    const std::string tag = "win" + std::to_string(k);
    writeFile(dir.file(std::to_string(k) + ".ini"), settingsText(article(tag)));
    writeFile(dir.path() + "/" + std::to_string(k) + gbkBody, formEncode(article(tag).body));
  }
  writeFile(dir.file("now.ini"), settingsText(article("winnow")));
  writeFile(dir.path() + "/now" + gbkBody, formEncode(article("winnow").body));
  DraftStore store(dir.path());
  EXPECT_EQ(tagOf(store, "1"), "win1");
  EXPECT_EQ(tagOf(store, "now"), "winnow");
  // They shift with the ring like our own.
  ASSERT_TRUE(store.saveRing(article("new")));
  EXPECT_EQ(tagOf(store, "1"), "new");
  EXPECT_EQ(tagOf(store, "2"), "win1");
  EXPECT_EQ(tagOf(store, "3"), "win2");
}
