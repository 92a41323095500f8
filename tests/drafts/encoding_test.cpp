#include "net/encoding.h"
#include "drafts/profile.h"
#include "net/formcode.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

using namespace inkpost;
using inkpost::test::readFile;
using inkpost::test::TempDir;
using inkpost::test::writeFile;

TEST(FormEncoding, KeepsSafeBytesAndEscapesTheRest) {
  EXPECT_EQ(formEncode("a b&c"), "a+b%26c");
  EXPECT_EQ(formEncode("AZaz09-._"), "AZaz09-._");
  EXPECT_EQ(formEncode("\r\n"), "%0D%0A");
  EXPECT_EQ(formEncode("+%~"), "%2B%25%7E");
  // 中文 in GBK is D6 D0 CE C4: two "%XX" groups per character.
  EXPECT_EQ(formEncode(fromUtf8("中文")), "%D6%D0%CE%C4");
  EXPECT_EQ(formEncode(std::string("\0\xff", 2)), "%00%FF");
}

TEST(FormEncoding, DecodingReversesEveryByte) {
  std::string all;
  for (int c = 0; c < 256; ++c) all += static_cast<char>(c);
  EXPECT_EQ(formDecode(formEncode(all)), all);
  EXPECT_EQ(formDecode("a+b%26c"), "a b&c");
  EXPECT_EQ(formDecode("%d6%d0"), fromUtf8("中"));
  // A "%" without two hex digits stays as typed.
  EXPECT_EQ(formDecode("100%"), "100%");
  EXPECT_EQ(formDecode("%4"), "%4");
  EXPECT_EQ(formDecode("%zz%41"), "%zzA");
}

class ProfileFile : public ::testing::Test {
 protected:
  TempDir dir;
  std::string path = dir.file("p.ini");
};

TEST_F(ProfileFile, MissingFileSectionOrKeyReadsEmpty) {
  EXPECT_EQ(profile::readString(path, "s", "k"), "");
  writeFile(path, "[s]\r\nk=v\r\n");
  EXPECT_EQ(profile::readString(path, "other", "k"), "");
  EXPECT_EQ(profile::readString(path, "s", "missing"), "");
  EXPECT_EQ(profile::readString(path, "s", "k"), "v");
}

TEST_F(ProfileFile, WritesKeysInOrderIntoOneSection) {
  std::string section = fromUtf8("临时保存");
  ASSERT_TRUE(profile::writeString(path, section, fromUtf8("标题内容"), "a+b"));
  ASSERT_TRUE(profile::writeString(path, section, fromUtf8("分类"), "-1"));
  ASSERT_TRUE(profile::writeString(path, section, fromUtf8("别名"), ""));
  EXPECT_EQ(readFile(path), "[" + section + "]\r\n" + fromUtf8("标题内容") + "=a+b\r\n" + fromUtf8("分类") + "=-1\r\n" +
                                fromUtf8("别名") + "=\r\n");
  // Rewriting a key replaces its line in place.
  ASSERT_TRUE(profile::writeString(path, section, fromUtf8("标题内容"), "x"));
  EXPECT_EQ(profile::readString(path, section, fromUtf8("标题内容")), "x");
  EXPECT_EQ(readFile(path).find(fromUtf8("标题内容")), section.size() + 4);
}

TEST_F(ProfileFile, MatchesNamesLikeTheClassicFunctions) {
  writeFile(path, "; comment\n[Other]\nk=other\n[ Sec ]\n  Key = spaced value  \nkey=second\n\n[next]\nk=n\n");
  EXPECT_EQ(profile::readString(path, "sec", "KEY"), "spaced value");
  EXPECT_EQ(profile::readString(path, "OTHER", "k"), "other");
  // A key added to a section lands after its last key, other sections stay.
  ASSERT_TRUE(profile::writeString(path, "SEC", "new", "1"));
  EXPECT_EQ(readFile(path),
            "; comment\r\n[Other]\r\nk=other\r\n[ Sec ]\r\n  Key = spaced value  \r\nkey=second\r\nnew=1\r\n\r\n"
            "[next]\r\nk=n\r\n");
}

TEST_F(ProfileFile, GbkNamesAreNotCaseFoldedInsideCharacters) {
  // Two GBK characters whose trail bytes differ only in ASCII case
  // (0x41 'A' and 0x61 'a') must stay different keys.
  std::string upper = "\x81\x41", lower = "\x81\x61";
  ASSERT_TRUE(profile::writeString(path, "s", upper, "one"));
  ASSERT_TRUE(profile::writeString(path, "s", lower, "two"));
  EXPECT_EQ(profile::readString(path, "s", upper), "one");
  EXPECT_EQ(profile::readString(path, "s", lower), "two");
}

TEST_F(ProfileFile, LongValuesComeBackWholeAndLineBreaksCannotSplitALine) {
  std::string big(50 * 1024, 'x');
  ASSERT_TRUE(profile::writeString(path, "s", "big", big));
  ASSERT_TRUE(profile::writeString(path, "s", "multi", "a\r\nb=c"));
  ASSERT_TRUE(profile::writeString(path, "s", "after", "z"));
  EXPECT_EQ(profile::readString(path, "s", "big"), big);
  EXPECT_EQ(profile::readString(path, "s", "multi"), "a  b=c");
  EXPECT_EQ(profile::readString(path, "s", "after"), "z");
}

TEST_F(ProfileFile, AMissingFolderIsNotCreated) {
  EXPECT_FALSE(profile::writeString(dir.file("no/such/p.ini"), "s", "k", "v"));
  EXPECT_FALSE(inkpost::test::fileExists(dir.file("no")));
}
