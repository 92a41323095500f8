// makeIntro: the first 200 characters of the tag-free body.
#include "blog/publish.h"
#include "net/encoding.h"
#include "net/gbktext.h"
#include "support/gbktext.h"

#include <gtest/gtest.h>

#include <string>

namespace inkpost {
namespace {

using test::gbk;

std::string repeat(const std::string& s, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += s;
  return out;
}

// The intro computed the long way, over the whole body.
std::string referenceIntro(const std::string& body) {
  const std::string wide = toFullWidth(removePatterns(body, "<*>"));
  size_t cut = 0;
  while (cut < wide.size()) {
    const size_t step = gbkCharLength(wide, cut);
    if (cut + step > 400) break;
    cut += step;
  }
  return toHalfWidth(wide.substr(0, cut));
}

TEST(MakeIntro, RemovesTagsAndTrims) {
  EXPECT_EQ(makeIntro("<p>  Hello <b>world</b> </p>"), "Hello world");
  EXPECT_EQ(makeIntro(gbk("<div class=\"a\"><img src=\"x.jpg\" />中文<br/>正文</div>")), gbk("中文正文"));
  EXPECT_EQ(makeIntro(""), "");
  EXPECT_EQ(makeIntro("<p></p><br>"), "");
  // A "<" without a closing ">" stays, with what follows it.
  EXPECT_EQ(makeIntro("<b>x</b> < y"), "x < y");
}

TEST(MakeIntro, EuroSignBeforeATag) {
  // "€" is one byte (0x80): the "<" after it still opens a tag.
  EXPECT_EQ(makeIntro("\x80<b>x</b>"), "\x80x");
  EXPECT_EQ(makeIntro(gbk("<p>价格：100€</p><p>含税</p>")), gbk("价格:100€含税"));
  EXPECT_EQ(makeIntro("\xFF<i>y</i>"), "\xFFy");
  // It counts as one byte of the 400, like a control character.
  const std::string body = "\x80" + repeat(gbk("字"), 250);
  EXPECT_EQ(makeIntro(body), "\x80" + repeat(gbk("字"), 199));
}

TEST(MakeIntro, KeepsTwoHundredCharacters) {
  EXPECT_EQ(makeIntro(repeat("a", 300)), repeat("a", 200));
  EXPECT_EQ(makeIntro(gbk(repeat("汉", 300).c_str())), gbk(repeat("汉", 200).c_str()));
  EXPECT_EQ(makeIntro(repeat("ab ", 100)), repeat("ab ", 66) + "ab");
  // A short body comes back whole.
  EXPECT_EQ(makeIntro(gbk("<p>短文</p>")), gbk("短文"));
  // A two-byte character that would end past the limit is left out whole.
  const std::string body = repeat("a", 199) + gbk("汉字");
  EXPECT_EQ(makeIntro(body), repeat("a", 199) + gbk("汉"));
}

TEST(MakeIntro, FullWidthLettersComeBackAsAscii) {
  EXPECT_EQ(makeIntro(gbk("<p>ＡＢＣ　１２３ａｂｃ</p>")), "ABC 123abc");
  EXPECT_EQ(makeIntro(gbk("Ｑｔ６，你好！")), gbk("Qt6,你好!"));
}

TEST(MakeIntro, LineBreaksCountHalf) {
  // "x\n" is three bytes in the full-width form: 133 of them fill 399 bytes.
  EXPECT_EQ(makeIntro(repeat("x\n", 300)), repeat("x\n", 133));
  // 2 + 1 + 396 + 1 = 400 bytes: the two breaks make room for one more letter.
  const std::string body = "a\r" + repeat("b", 198) + "\nccc";
  EXPECT_EQ(makeIntro(body), "a\r" + repeat("b", 198) + "\n");
}

TEST(MakeIntro, LongBodyGivesTheSameIntroAsTheWholeText) {
  std::string body;
  for (int i = 0; i < 3000; ++i)
    body += "<p class=\"c" + std::to_string(i) + "\"><img src=\"upload/" + std::to_string(i) + ".jpg\">" + gbk("段落") +
            std::to_string(i) + " </p>\r\n";
  EXPECT_EQ(makeIntro(body), referenceIntro(body));
  // Leading blanks and empty markup before the text.
  const std::string padded = repeat("   <br/>\r\n", 500) + body;
  EXPECT_EQ(makeIntro(padded), referenceIntro(padded));
  // Text that only starts late.
  const std::string late = repeat("<span></span>", 4000) + repeat(gbk("文"), 500);
  EXPECT_EQ(makeIntro(late), referenceIntro(late));
}

}  // namespace
}  // namespace inkpost
