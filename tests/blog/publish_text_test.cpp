// The text crossings to and from the editor page's script.
#include "blog/editortext.h"
#include "net/encoding.h"

#include <gtest/gtest.h>

namespace inkpost {
namespace {

TEST(JsStringLiteral, EscapesEverythingThatCouldEndOrBreakTheString) {
  EXPECT_EQ(jsStringLiteral(""), "''");
  EXPECT_EQ(jsStringLiteral("it's \"q\" \\"), "'it\\'s \\\"q\\\" \\\\'");
  EXPECT_EQ(jsStringLiteral("a\r\nb\tc"), "'a\\r\\nb\\tc'");
  EXPECT_EQ(jsStringLiteral("</script><!--"), "'\\x3C/script\\x3E\\x3C!--'");
  EXPECT_EQ(jsStringLiteral(std::string("\x01\x7f\0z", 4)), "'\\u0001\\u007f\\u0000z'");
  // U+2028 and U+2029 end a line in older script engines.
  EXPECT_EQ(jsStringLiteral("a\u2028b\u2029c"), "'a\\u2028b\\u2029c'");
  // Other characters pass as they are.
  EXPECT_EQ(jsStringLiteral("中文😀"), "'中文😀'");
  // Malformed UTF-8 cannot smuggle a quote.
  EXPECT_EQ(jsStringLiteral("\xE4\xB8'"), "'\\ufffd\\ufffd\\''");
}

TEST(GbkWithCharRefs, KeepsWhatGbkCannotHold) {
  EXPECT_EQ(gbkWithCharRefs(""), "");
  EXPECT_EQ(gbkWithCharRefs("plain <b>text</b>"), "plain <b>text</b>");
  EXPECT_EQ(gbkWithCharRefs("中文"), fromUtf8("中文"));
  EXPECT_EQ(gbkWithCharRefs("a😀b"), "a&#128512;b");
  EXPECT_EQ(gbkWithCharRefs("😀😀"), "&#128512;&#128512;");
  // A character outside GBK between Chinese ones (Hangul).
  EXPECT_EQ(gbkWithCharRefs("中한文"), fromUtf8("中") + "&#54620;" + fromUtf8("文"));
  // Malformed and truncated input.
  EXPECT_EQ(gbkWithCharRefs("a\xFF"
                            "b"),
            "a&#65533;b");
  EXPECT_EQ(gbkWithCharRefs("a\xE4\xB8"), "a&#65533;&#65533;");
}

TEST(GbkWithCharRefs, LargeInputGrowsItsBuffer) {
  std::string in;
  for (int i = 0; i < 20000; ++i) in += "😀中";
  const std::string out = gbkWithCharRefs(in);
  std::string expected;
  const std::string zhong = fromUtf8("中");
  for (int i = 0; i < 20000; ++i) expected += "&#128512;" + zhong;
  EXPECT_EQ(out, expected);
}

}  // namespace
}  // namespace inkpost
