#include "drafts/draftslots.h"
#include "drafts/profile.h"
#include "net/encoding.h"
#include "net/formcode.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>

using namespace inkpost;
using inkpost::test::fileExists;
using inkpost::test::readFile;
using inkpost::test::TempDir;
using inkpost::test::writeFile;

namespace {

DraftFields sample(const std::string& tag) {
  DraftFields f;
  f.title = "title " + tag;
  f.category = 7;
  f.tags = "a,b";
  f.author = 2;
  f.alias = "alias-" + tag;
  f.type = 3;
  f.year = "2026";
  f.month = "12";
  f.day = "8";
  f.time = "9:05:03";
  f.sticky = true;
  f.autoName = false;
  f.autoAlias = true;
  f.gallery = {"http://b/upload/1.jpg[640|480", "http://b/upload/2.gif[20|10"};
  f.body = "<p>body " + tag + "</p>";
  return f;
}

// The save a slot holds, judged from its title and checked against its body.
std::string savedTag(DraftStore& store, const std::string& slot) {
  auto f = store.load(slot);
  if (!f) return "";
  std::string tag = f->title.substr(6);
  EXPECT_EQ(f->body, "<p>body " + tag + "</p>") << "slot " << slot << " mixes two saves";
  return tag;
}

}  // namespace

class Slots : public ::testing::Test {
 protected:
  TempDir dir;
  DraftStore store{dir.path()};
  std::string key(const char* utf8) { return fromUtf8(utf8); }
  std::string value(const std::string& slot, const char* keyUtf8) {
    return profile::readString(store.settingsPath(slot), key("临时保存"), key(keyUtf8));
  }
};

TEST_F(Slots, SettingsFileHoldsTheFourteenKeysInOrder) {
  DraftFields f = sample("x");
  f.title = "a b&c";
  f.tags = fromUtf8("中文,x y");
  ASSERT_TRUE(store.saveManual(f));
  std::string expected = "[" + key("临时保存") + "]\r\n";
  const std::pair<const char*, std::string> lines[] = {
      {"标题内容", "a+b%26c"},
      {"分类", "7"},
      {"tags变量", "%D6%D0%CE%C4%2Cx+y"},
      {"用户", "2"},
      {"别名", "alias-x"},
      {"类型", "3"},
      {"日期年", "2026"},
      {"日期月", "12"},
      {"日期日", "8"},
      {"日期时间", "9:05:03"},
      {"是否置顶", "1"},
      {"是否命名", "0"},
      {"是否别名", "1"},
      {"图片数据", "http://b/upload/1.jpg[640|480" + key("<分>") + "http://b/upload/2.gif[20|10" + key("<分>")},
  };
  for (const auto& [k, v] : lines) expected += key(k) + "=" + v + "\r\n";
  EXPECT_EQ(readFile(store.settingsPath("now")), expected);
  EXPECT_TRUE(fileExists(dir.file("now.ini")));
  EXPECT_TRUE(fileExists(dir.file("now正文.txt")));
}

TEST_F(Slots, BodyFileIsTheFormEncodedBodyByteForByte) {
  DraftFields f = sample("x");
  f.body = "<p>" + fromUtf8("中文") + " a&b</p>\r\n<p>'\"</p>";
  ASSERT_TRUE(store.saveManual(f));
  EXPECT_EQ(readFile(store.bodyPath("now")), "%3Cp%3E%D6%D0%CE%C4+a%26b%3C%2Fp%3E%0D%0A%3Cp%3E%27%22%3C%2Fp%3E");
  EXPECT_EQ(store.load("now")->body, f.body);
}

TEST_F(Slots, EveryFieldComesBack) {
  DraftFields f = sample("x");
  f.title = fromUtf8("标题 with\r\nbreak & 100%");
  f.alias = fromUtf8("别名");
  ASSERT_TRUE(store.saveManual(f));
  auto back = store.load("now");
  ASSERT_TRUE(back);
  EXPECT_EQ(*back, f);
}

// An article opened from a blog keeps its number there and the blog's
// address in every slot, the recovery slot too; a new article's slot stays
// as it was (an older file reads as a new article).
TEST_F(Slots, TheBlogArticleASlotBelongsToComesBack) {
  DraftFields opened = sample("x");
  opened.articleId = 44;
  opened.articleSite = "http://127.0.0.1:8080/blog/";
  opened.articleIntro = fromUtf8("摘要 & 说明\r\n");
  ASSERT_TRUE(store.saveManual(opened));
  EXPECT_EQ(value("now", "文章编号"), "44");
  EXPECT_EQ(value("now", "文章网站"), "http://127.0.0.1:8080/blog/");
  EXPECT_EQ(value("now", "文章摘要"), "%D5%AA%D2%AA+%26+%CB%B5%C3%F7%0D%0A");
  EXPECT_EQ(*store.load("now"), opened);
  ASSERT_TRUE(store.saveRecovery(opened, RecoveryState::Unsaved));
  EXPECT_EQ(store.loadRecovery()->fields, opened);
  EXPECT_EQ(store.loadRecovery()->state, RecoveryState::Unsaved);

  const DraftFields fresh = sample("y");
  ASSERT_TRUE(store.saveManual(fresh));
  const std::string text = readFile(store.settingsPath("now"));
  EXPECT_EQ(text, settingsText(fresh));
  EXPECT_EQ(text.find(key("文章编号")), std::string::npos) << "a new article writes the fourteen keys only";
  EXPECT_EQ(store.load("now")->articleId, 0);
  // A number that is no number, or none, is a new article.
  writeFile(store.settingsPath("1"), text + key("文章编号") + "=x\r\n" + key("文章网站") + "=http://a/\r\n");
  EXPECT_EQ(store.load("1")->articleId, 0);
  EXPECT_EQ(store.load("1")->articleSite, "");
}

TEST_F(Slots, GalleryValueSplitsAsWritten) {
  const std::string sep = key("<分>");
  EXPECT_EQ(joinGallery({}), "");
  EXPECT_TRUE(splitGallery("").empty());
  EXPECT_EQ(splitGallery("a" + sep + "b" + sep), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(splitGallery("a" + sep + sep + "b"), (std::vector<std::string>{"a", "", "b"}));
  EXPECT_EQ(splitGallery("a" + sep + "b"), (std::vector<std::string>{"a", "b"}));

  DraftFields f = sample("x");
  f.gallery.clear();
  ASSERT_TRUE(store.saveManual(f));
  EXPECT_EQ(value("now", "图片数据"), "");
  EXPECT_TRUE(store.load("now")->gallery.empty());
}

TEST_F(Slots, FiftyKilobytesOfGalleryComeBackWhole) {
  DraftFields f = sample("x");
  f.gallery.clear();
  for (int i = 0; f.gallery.size() * 60 < 50 * 1024; ++i)
    f.gallery.push_back("http://blog.example/upload/2026/12/image-" + std::to_string(i) + ".jpg[1024|768");
  ASSERT_GT(joinGallery(f.gallery).size(), 50u * 1024);
  ASSERT_TRUE(store.saveManual(f));
  EXPECT_EQ(store.load("now")->gallery, f.gallery);
}

TEST_F(Slots, StoredIntegersReadLikeTheClassicFunctions) {
  EXPECT_EQ(storedInteger(""), 0);
  EXPECT_EQ(storedInteger("abc"), 0);
  EXPECT_EQ(storedInteger("-1"), -1);
  EXPECT_EQ(storedInteger("42"), 42);
  EXPECT_EQ(slotNameFor(0), "now");
  EXPECT_EQ(slotNameFor(10), "10");
  EXPECT_EQ(slotNameFor(-1), "");
  EXPECT_EQ(slotNameFor(11), "before");  // 恢复前的内容
  EXPECT_EQ(slotNameFor(12), "");
}

TEST_F(Slots, RingKeepsTheTenNewestSavesNewestFirst) {
  for (int i = 1; i <= 11; ++i) ASSERT_TRUE(store.saveRing(sample(std::to_string(i))));
  for (int k = 1; k <= 10; ++k) EXPECT_EQ(savedTag(store, std::to_string(k)), std::to_string(12 - k));
  // After eleven saves slot 10 holds the second one; the first is gone.
  EXPECT_EQ(savedTag(store, "10"), "2");
  EXPECT_FALSE(fileExists(dir.file("11.ini")));
  EXPECT_FALSE(store.exists("now"));
}

TEST_F(Slots, ManualSlotLeavesTheRingAlone) {
  for (int i = 1; i <= 3; ++i) ASSERT_TRUE(store.saveRing(sample(std::to_string(i))));
  ASSERT_TRUE(store.saveManual(sample("manual")));
  EXPECT_EQ(savedTag(store, "now"), "manual");
  EXPECT_EQ(savedTag(store, "1"), "3");
  EXPECT_EQ(savedTag(store, "3"), "1");
  EXPECT_FALSE(store.exists("4"));
  ASSERT_TRUE(store.saveManual(sample("again")));
  EXPECT_EQ(savedTag(store, "now"), "again");
}

TEST_F(Slots, SlotsFromAnEarlierRunShiftLikeFreshOnes) {
  // A slot written by hand (CRLF, as another writer would leave it).
  writeFile(dir.file("1.ini"), "[" + key("临时保存") + "]\r\n" + key("标题内容") + "=title+old\r\n");
  writeFile(dir.file("1正文.txt"), "%3Cp%3Ebody+old%3C%2Fp%3E");
  ASSERT_TRUE(store.saveRing(sample("new")));
  EXPECT_EQ(savedTag(store, "2"), "old");
  EXPECT_EQ(savedTag(store, "1"), "new");
}

TEST_F(Slots, MissingSlotAndMissingBody) {
  EXPECT_FALSE(store.load("10"));
  EXPECT_FALSE(store.load(""));
  ASSERT_TRUE(store.saveManual(sample("x")));
  std::filesystem::remove(store.bodyPath("now"));
  auto f = store.load("now");
  ASSERT_TRUE(f);
  EXPECT_EQ(f->body, "");
  EXPECT_EQ(f->title, "title x");
}

TEST_F(Slots, NoFolderNoSlots) {
  DraftStore missing(dir.file("temp"));
  EXPECT_FALSE(missing.saveRing(sample("x")));
  EXPECT_FALSE(missing.saveManual(sample("x")));
  EXPECT_FALSE(fileExists(dir.file("temp")));
  EXPECT_FALSE(missing.load("1"));
}

namespace {

struct Crash : std::runtime_error {
  Crash() : std::runtime_error("crash") {}
};

// Runs save() with a crash at the n-th rename; false when save() got through.
template <typename Save>
bool crashAt(DraftStore& store, int n, Save save) {
  int count = 0;
  store.beforeRename = [&](const std::string&, const std::string&) {
    if (count++ == n) throw Crash();
  };
  bool crashed = false;
  try {
    save();
  } catch (const Crash&) {
    crashed = true;
  }
  store.beforeRename = nullptr;
  return crashed;
}

}  // namespace

TEST(SlotCrash, BetweenTheTwoRenamesOfASlotEachSlotStaysWhole) {
  // Crash right after slot 5's settings file moved to 6 and before its body
  // followed: the next reader still sees every slot whole.
  TempDir dir;
  DraftStore store(dir.path());
  for (int i = 1; i <= 10; ++i) ASSERT_TRUE(store.saveRing(sample(std::to_string(i))));
  store.beforeRename = [&](const std::string& from, const std::string&) {
    if (from == store.bodyPath("5")) throw Crash();
  };
  EXPECT_THROW(store.saveRing(sample("11")), Crash);
  store.beforeRename = nullptr;
  EXPECT_TRUE(fileExists(store.settingsPath("6")));
  EXPECT_FALSE(fileExists(store.bodyPath("6")));

  DraftStore reader(dir.path());
  for (int k = 1; k <= 10; ++k) {
    std::string tag = savedTag(reader, std::to_string(k));
    // Slots above the cut are shifted (new place), the rest not yet.
    EXPECT_EQ(tag, k >= 6 ? std::to_string(12 - k) : k == 5 ? "" : std::to_string(11 - k)) << k;
  }
}

TEST(SlotCrash, ACrashAtAnyRenameLeavesEverySlotWhole) {
  // A full ring (saves 1 to 10) and a manual slot, copied for every run.
  TempDir full;
  {
    DraftStore store(full.path());
    store.syncWrites = false;
    for (int i = 1; i <= 10; ++i) ASSERT_TRUE(store.saveRing(sample(std::to_string(i))));
    ASSERT_TRUE(store.saveManual(sample("m1")));
  }
  for (bool manual : {false, true}) {
    for (int n = 0;; ++n) {
      TempDir dir;
      std::filesystem::copy(
          full.path(), dir.path(),
          std::filesystem::copy_options::recursive | std::filesystem::copy_options::overwrite_existing);
      DraftStore store(dir.path());
      store.syncWrites = false;  // flushing proves nothing here
      bool crashed = crashAt(store, n, [&] { manual ? store.saveManual(sample("m2")) : store.saveRing(sample("11")); });
      SCOPED_TRACE((manual ? "manual save, crash at rename " : "ring save, crash at rename ") + std::to_string(n));

      DraftStore reader(dir.path());
      reader.syncWrites = false;
      std::string now = savedTag(reader, "now");
      EXPECT_TRUE(now == "m1" || now == "m2") << now;
      for (int k = 1; k <= 10; ++k) {
        std::string tag = savedTag(reader, std::to_string(k));
        if (tag.empty()) continue;  // a slot may be empty between moves, never mixed
        EXPECT_TRUE(tag == std::to_string(11 - k) || tag == std::to_string(12 - k)) << "slot " << k << ": " << tag;
      }
      // The next save goes through and leaves a whole ring behind.
      ASSERT_TRUE(reader.saveRing(sample("12")));
      for (int k = 1; k <= 10; ++k) savedTag(reader, std::to_string(k));
      for (const auto& e : std::filesystem::directory_iterator(dir.path())) {
        std::string name = e.path().filename().string();
        EXPECT_EQ(name.find(".part"), std::string::npos) << name;
        EXPECT_EQ(name.find(".new"), std::string::npos) << name;
      }
      if (!crashed) {
        // Every rename of the save was a crash point: 9 slots x 2 files of
        // the ring plus 3 to put the new slot in place; 3 for the manual one.
        EXPECT_EQ(n, manual ? 3 : 21);
        break;
      }
    }
  }
}
