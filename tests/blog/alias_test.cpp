// makeAlias and the pinyin table behind it.
#include "blog/alias.h"
#include "blog/pinyin_table.h"
#include "net/encoding.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <string>

namespace inkpost {
namespace {

std::string gbk(const char* utf8) { return fromUtf8(utf8); }

TEST(MakeAlias, ChineseAsciiAndCase) {
  // Two Chinese characters, a blank, an upper-case V and a digit.
  EXPECT_EQ(makeAlias(gbk("中文 V2")), "zhongwen2");
  EXPECT_EQ(makeAlias(gbk("hello-world_2024")), "hello-world2024");
  EXPECT_EQ(makeAlias(gbk("Qt 6 入门")), "t6rumen");
  EXPECT_EQ(makeAlias(""), "");
}

TEST(MakeAlias, FullWidthAndPunctuation) {
  // Full-width letters and digits come back as ASCII (upper case dropped),
  // Chinese and ASCII punctuation disappears, the hyphen stays.
  EXPECT_EQ(makeAlias(gbk("ａｂｃ１２３ＸＹＺ")), "abc123");
  EXPECT_EQ(makeAlias(gbk("你好，世界！a-b？&=%")), "nihaoshijiea-b");
  EXPECT_EQ(makeAlias(gbk("－")), "-");
  // Characters outside the GB2312 hanzi rows: symbols, GBK extension
  // characters (镕 is GBK only), Greek, an euro sign.
  EXPECT_EQ(makeAlias(gbk("★α镕€1")), "1");
  // GBK extension characters whose trail byte is a lower-case
  // letter add nothing (0x8161, 0x9A7A).
  EXPECT_EQ(makeAlias(gbk("中") + "\x81\x61\x9A\x7A" + gbk("文")), "zhongwen");
  // Control characters are dropped without upsetting the two-byte walk.
  EXPECT_EQ(makeAlias(gbk("中\t文\r\n")), "zhongwen");
}

TEST(MakeAlias, PolyphonicCharactersTakeTheFirstReading) {
  EXPECT_EQ(makeAlias(gbk("银行")), "yinxing");
  EXPECT_EQ(makeAlias(gbk("重要")), "zhongyao");
  EXPECT_EQ(makeAlias(gbk("音乐")), "yinle");
  EXPECT_EQ(makeAlias(gbk("绿女略")), "lvnvlve");
}

TEST(MakeAlias, TruncatedTitleDoesNotReadPastTheEnd) {
  std::string title = gbk("中");
  title += '\xD6';  // a lead byte without its trail byte
  EXPECT_EQ(makeAlias(title), "zhong");
}

TEST(PinyinTable, CoversExactlyTheGb2312Hanzi) {
  int count = 0;
  for (int lead = 0x00; lead <= 0xFF; ++lead)
    for (int trail = 0x00; trail <= 0xFF; ++trail)
      if (const char* r = pinyinOf(static_cast<unsigned char>(lead), static_cast<unsigned char>(trail))) {
        ++count;
        ASSERT_GE(lead, 0xB0);
        ASSERT_LE(lead, 0xF7);
        ASSERT_GE(trail, 0xA1);
        ASSERT_LE(trail, 0xFE);
        const std::string reading = r;
        ASSERT_FALSE(reading.empty());
        ASSERT_EQ(reading.find_first_not_of("abcdefghijklmnopqrstuvwxyz"), std::string::npos) << reading;
      }
  EXPECT_EQ(count, 6763);
  // The five unused cells at the end of row D7.
  for (int trail = 0xFA; trail <= 0xFE; ++trail) EXPECT_EQ(pinyinOf(0xD7, static_cast<unsigned char>(trail)), nullptr);
  EXPECT_STREQ(pinyinOf(0xB0, 0xA1), "a");    // 啊, the first
  EXPECT_STREQ(pinyinOf(0xF7, 0xFE), "zha");  // 齄, the last
}

TEST(PinyinTable, SampleMatchesTheUnihanReadings) {
  // kMandarin values of the Unihan database, first reading, tone dropped.
  const std::map<std::string, std::string> sample = {
      {"行", "xing"}, {"重", "zhong"}, {"长", "zhang"}, {"了", "le"},  {"和", "he"},
      {"得", "de"},   {"乐", "le"},    {"绿", "lv"},    {"女", "nv"},  {"中", "zhong"},
      {"文", "wen"},  {"啊", "a"},     {"座", "zuo"},   {"齄", "zha"}, {"嗯", "n"},
      {"朝", "chao"}, {"的", "de"},    {"还", "hai"},   {"都", "dou"}, {"传", "chuan"},
  };
  for (const auto& [ch, reading] : sample) {
    const std::string g = gbk(ch.c_str());
    ASSERT_EQ(g.size(), 2u) << ch;
    const char* r = pinyinOf(static_cast<unsigned char>(g[0]), static_cast<unsigned char>(g[1]));
    ASSERT_NE(r, nullptr) << ch;
    EXPECT_EQ(r, reading) << ch;
  }
}

// The reading without tone marks, u-umlaut as "v"; "?" for a letter the
// mapping does not know.
std::string plainReading(const std::string& utf8) {
  static const std::map<std::string, std::string> marks = {
      {"ā", "a"}, {"á", "a"}, {"ǎ", "a"}, {"à", "a"}, {"ē", "e"}, {"é", "e"}, {"ě", "e"}, {"è", "e"},
      {"ê", "e"}, {"ī", "i"}, {"í", "i"}, {"ǐ", "i"}, {"ì", "i"}, {"ō", "o"}, {"ó", "o"}, {"ǒ", "o"},
      {"ò", "o"}, {"ū", "u"}, {"ú", "u"}, {"ǔ", "u"}, {"ù", "u"}, {"ü", "v"}, {"ǖ", "v"}, {"ǘ", "v"},
      {"ǚ", "v"}, {"ǜ", "v"}, {"ḿ", "m"}, {"ń", "n"}, {"ň", "n"}, {"ǹ", "n"}};
  std::string out;
  for (size_t i = 0; i < utf8.size();) {
    const auto c = static_cast<unsigned char>(utf8[i]);
    if (c < 0x80) {
      out += static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
      ++i;
      continue;
    }
    const size_t len = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : 2;
    auto it = marks.find(utf8.substr(i, len));
    if (it == marks.end()) return "?";
    out += it->second;
    i += len;
  }
  return out;
}

TEST(PinyinTable, WholeTableMatchesItsSource) {
  FILE* in = popen("bzcat /usr/share/unicode/Unihan_Readings.txt.bz2 2>/dev/null", "r");
  if (!in) GTEST_SKIP() << "bzcat not available";
  std::map<unsigned, std::string> mandarin;
  char line[4096];
  while (fgets(line, sizeof line, in)) {
    unsigned cp = 0;
    char value[4000];
    if (sscanf(line, "U+%X\tkMandarin\t%3999s", &cp, value) == 2) mandarin[cp] = value;
  }
  pclose(in);
  if (mandarin.empty()) GTEST_SKIP() << "Unihan readings not installed (Debian package unicode-data)";

  int checked = 0;
  for (int lead = 0xB0; lead <= 0xF7; ++lead)
    for (int trail = 0xA1; trail <= 0xFE; ++trail) {
      const char* r = pinyinOf(static_cast<unsigned char>(lead), static_cast<unsigned char>(trail));
      if (!r) continue;
      const std::string utf8 = toUtf8(std::string{static_cast<char>(lead), static_cast<char>(trail)});
      ASSERT_EQ(utf8.size(), 3u);
      const unsigned cp = ((utf8[0] & 0x0F) << 12) | ((utf8[1] & 0x3F) << 6) | (utf8[2] & 0x3F);
      auto it = mandarin.find(cp);
      if (it == mandarin.end()) continue;  // filled from another Unihan field
      EXPECT_EQ(r, plainReading(it->second)) << std::hex << "U+" << cp;
      ++checked;
    }
  EXPECT_GT(checked, 6700);
}

}  // namespace
}  // namespace inkpost
