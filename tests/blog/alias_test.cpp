// makeAlias and the pinyin table behind it.
#include "blog/alias.h"
#include "blog/pinyin_table.h"
#include "net/encoding.h"
#include "support/gbktext.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace inkpost {
namespace {

using test::gbk;

TEST(MakeAlias, ChineseAsciiAndCase) {
  // Two Chinese characters, a blank, an upper-case V and a digit.
  EXPECT_EQ(makeAlias(gbk("中文 V2")), "zhongwenv2");
  EXPECT_EQ(makeAlias(gbk("hello-world_2024")), "hello-world2024");
  EXPECT_EQ(makeAlias(gbk("Qt 6 入门")), "qt6rumen");
  EXPECT_EQ(makeAlias(""), "");
}

TEST(MakeAlias, CapitalsAreLowered) {
  EXPECT_EQ(makeAlias("Hello Inkpost"), "helloinkpost");
  EXPECT_EQ(makeAlias(gbk("ＡＢＣ")), "abc");
  EXPECT_EQ(makeAlias(gbk("Hello 世界")), "helloshijie");
  EXPECT_EQ(makeAlias("ABCDEFGHIJKLMNOPQRSTUVWXYZ"), "abcdefghijklmnopqrstuvwxyz");
}

TEST(MakeAlias, FullWidthAndPunctuation) {
  // Full-width letters and digits come back as ASCII, Chinese and ASCII
  // punctuation disappears, the hyphen stays.
  EXPECT_EQ(makeAlias(gbk("ａｂｃ１２３ＸＹＺ")), "abc123xyz");
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

TEST(MakeAlias, EuroSignAndFfStandAlone) {
  // "€" is the single byte 0x80, and 0xFF is no lead byte either: neither
  // takes the letter after it along.
  EXPECT_EQ(makeAlias("\x80"
                      "abc"),
            "abc");
  EXPECT_EQ(makeAlias("\xFF"
                      "abc"),
            "abc");
  EXPECT_EQ(makeAlias("5\x80"
                      "A"),
            "5a");
  EXPECT_EQ(makeAlias(gbk("价格€100元")), "jiage100yuan");
  // Nor does either join the characters around it into a phrase.
  EXPECT_EQ(makeAlias(gbk("银€行")), "yinxing");
  EXPECT_EQ(makeAlias(gbk("重庆") + "\xFF" + gbk("银行")), "chongqingyinhang");
}

TEST(MakeAlias, WordsWithASecondReading) {
  EXPECT_EQ(makeAlias(gbk("重庆银行长城")), "chongqingyinhangchangcheng");
  EXPECT_EQ(makeAlias(gbk("银行")), "yinhang");
  EXPECT_EQ(makeAlias(gbk("音乐")), "yinyue");
  EXPECT_EQ(makeAlias(gbk("会计")), "kuaiji");
  EXPECT_EQ(makeAlias(gbk("重要")), "zhongyao");
  EXPECT_EQ(makeAlias(gbk("绿女略")), "lvnvlve");
  // Characters on their own take their most common reading.
  EXPECT_EQ(makeAlias(gbk("地")), "di");
  EXPECT_EQ(makeAlias(gbk("佛")), "fo");
  EXPECT_EQ(makeAlias(gbk("长")), "chang");
  EXPECT_EQ(makeAlias(gbk("行")), "xing");
}

// "word reading" lines; "#" starts a comment.
std::vector<std::pair<std::string, std::string>> wordList() {
  std::vector<std::pair<std::string, std::string>> out;
  std::ifstream in(INKPOST_ALIAS_WORDS);
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    std::string word, reading;
    fields >> word >> reading;
    out.emplace_back(word, reading);
  }
  return out;
}

TEST(MakeAlias, CommonWordsReadAsTheirSourceReadsThem) {
  // Places, banks, music, accounting, months and weeks, everyday words; the
  // list is checked against the phrase source by scripts/gen-pinyin.mjs.
  const auto words = wordList();
  ASSERT_GE(words.size(), 300u);
  int wrong = 0;
  for (const auto& [word, reading] : words) {
    const std::string alias = makeAlias(gbk(word.c_str()));
    if (alias != reading && ++wrong <= 20) ADD_FAILURE() << word << ": " << alias << ", expected " << reading;
  }
  EXPECT_EQ(wrong, 0);
}

TEST(MakeAlias, MixedTitles) {
  const std::pair<const char*, const char*> titles[] = {
      {"Hello 世界", "helloshijie"},
      {"重庆银行长城", "chongqingyinhangchangcheng"},
      {"C++ 音乐播放器：第2版", "cyinyuebofangqidi2ban"},
      {"2024年会计报表（上）", "2024niankuaijibaobiaoshang"},
      {"iPhone 15 评测：重量与续航", "iphone15pingcezhongliangyuxuhang"},
      {"Ｗｉｎｄｏｗｓ １１ 安装教程", "windows11anzhuangjiaocheng"},
      {"银行行长谈长期投资", "yinhanghangzhangtanchangqitouzi"},
      {"音乐会 & 交响乐 — 2025", "yinyuehuijiaoxiangyue2025"},
      {"朝阳区的长安街", "chaoyangqudechanganjie"},
      {"星期一 9:00 开会", "xingqiyi900kaihui"},
      {"我的Blog-日记（一月）", "wodeblog-rijiyiyue"},
      {"《长江之歌》乐谱下载", "changjiangzhigeyuepuxiazai"},
      {"【重要】数据库重新安装", "zhongyaoshujukuchongxinanzhuang"},
      {"Ｈｅｌｌｏ，世界！", "helloshijie"},
      {"人民币€汇率", "renminbihuilv"},
      {"行业报告：银行业2024", "hangyebaogaoyinhangye2024"},
      {"地球上的佛教", "diqiushangdefojiao"},
      {"长大后我就成了你", "zhangdahouwojiuchengleni"},
      {"Linux 下的 GCC 编译器", "linuxxiadegccbianyiqi"},
      {"十二月 · 会计师考试", "shieryuekuaijishikaoshi"},
      {"ＩＴ行业的ＡＩ应用", "ithangyedeaiyingyong"},
  };
  for (const auto& [title, alias] : titles) EXPECT_EQ(makeAlias(gbk(title)), alias) << title;
}

TEST(MakeAlias, TruncatedTitleDoesNotReadPastTheEnd) {
  std::string title = gbk("中");
  title += '\xD6';  // a lead byte without its trail byte
  EXPECT_EQ(makeAlias(title), "zhong");
  // A phrase cut short at the end is read character by character.
  EXPECT_EQ(makeAlias(gbk("重庆").substr(0, 3)), "zhong");
}

TEST(PhraseTable, HoldsOnlyPhrasesThatReadOtherwise) {
  EXPECT_GT(phraseCount(), 1000u);
  EXPECT_LT(phraseCount(), 5000u);
  const PhraseMatch bank = longestPhrase(gbk("银行卡"));
  EXPECT_EQ(bank.length, 4u);
  EXPECT_EQ(bank.reading, "yinhang");
  EXPECT_EQ(longestPhrase(gbk("中文")).length, 0u) << "read as its characters are";
  EXPECT_EQ(longestPhrase(gbk("银")).length, 0u);
  EXPECT_EQ(longestPhrase("").length, 0u);
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

TEST(PinyinTable, SampleOfCommonReadings) {
  // Each character's most common reading as a word of its own.
  const std::map<std::string, std::string> sample = {
      {"行", "xing"}, {"重", "zhong"}, {"长", "chang"}, {"了", "le"},  {"和", "he"},  {"得", "de"},    {"乐", "le"},
      {"绿", "lv"},   {"女", "nv"},    {"中", "zhong"}, {"文", "wen"}, {"啊", "a"},   {"座", "zuo"},   {"齄", "zha"},
      {"嗯", "ng"},   {"朝", "chao"},  {"的", "de"},    {"还", "hai"}, {"都", "dou"}, {"传", "chuan"},
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

// Every reading of each character that the Unihan database lists.
std::map<unsigned, std::set<std::string>> unihanReadings(std::map<unsigned, std::string>& customary) {
  std::map<unsigned, std::set<std::string>> all;
  FILE* in = popen("bzcat /usr/share/unicode/Unihan_Readings.txt.bz2 2>/dev/null", "r");
  if (!in) return all;
  char line[8192];
  while (fgets(line, sizeof line, in)) {
    unsigned cp = 0;
    char field[64];
    int used = 0;
    if (sscanf(line, "U+%X\t%63[^\t]\t%n", &cp, field, &used) != 2 || used == 0) continue;
    const std::string name = field;
    if (name != "kMandarin" && name != "kHanyuPinyin" && name != "kXHC1983" && name != "kTGHZ2013") continue;
    std::string value = line + used;
    while (!value.empty() && (value.back() == '\n' || value.back() == '\r')) value.pop_back();
    // kMandarin: "reading reading"; the others: "place:reading,reading place:...".
    std::istringstream words(value);
    std::string word;
    bool first = true;
    while (words >> word) {
      if (name != "kMandarin") word = word.substr(word.find(':') + 1);
      std::istringstream parts(word);
      std::string reading;
      while (std::getline(parts, reading, ',')) {
        const std::string plain = plainReading(reading);
        all[cp].insert(plain);
        if (name == "kMandarin" && first) customary[cp] = plain;
        first = false;
      }
    }
  }
  pclose(in);
  return all;
}

TEST(PinyinTable, EveryReadingIsOneUnihanKnows) {
  std::map<unsigned, std::string> customary;
  const auto readings = unihanReadings(customary);
  if (readings.empty()) GTEST_SKIP() << "Unihan readings not installed (Debian package unicode-data)";
  int checked = 0;
  std::set<std::string> otherThanCustomary;
  for (int lead = 0xB0; lead <= 0xF7; ++lead)
    for (int trail = 0xA1; trail <= 0xFE; ++trail) {
      const char* r = pinyinOf(static_cast<unsigned char>(lead), static_cast<unsigned char>(trail));
      if (!r) continue;
      const std::string utf8 = toUtf8(std::string{static_cast<char>(lead), static_cast<char>(trail)});
      ASSERT_EQ(utf8.size(), 3u);
      const unsigned cp = ((utf8[0] & 0x0F) << 12) | ((utf8[1] & 0x3F) << 6) | (utf8[2] & 0x3F);
      auto it = readings.find(cp);
      if (it == readings.end()) continue;
      EXPECT_TRUE(it->second.count(r)) << utf8 << " read " << r;
      auto c = customary.find(cp);
      if (c != customary.end() && c->second != r) otherThanCustomary.insert(utf8);
      ++checked;
    }
  EXPECT_EQ(checked, 6763);
  // Unihan's customary reading stands, but for about 150 characters whose
  // first listed reading is the rarer one as a word on its own.
  EXPECT_LT(otherThanCustomary.size(), 200u);
  for (const char* ch : {"地", "佛", "长"}) EXPECT_TRUE(otherThanCustomary.count(ch)) << ch;
}

}  // namespace
}  // namespace inkpost
