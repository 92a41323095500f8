// Characters GBK cannot hold, kept in GBK text as numeric references.
#include <gtest/gtest.h>

#include "net/encoding.h"

using namespace inkpost;

TEST(CharRefs, WrittenForWhatGbkCannotHoldAndReadBack) {
  const std::string gbk = gbkWithCharRefs("中😀한&#20013;&#128512;");
  EXPECT_EQ(gbk, fromUtf8("中") + "&#128512;&#54620;&#20013;&#128512;");
  // Back: the references of characters GBK cannot hold are the characters,
  // whether written by the crossing or typed; that of 中 stays text.
  EXPECT_EQ(toUtf8WithCharRefs(gbk), "中😀한&#20013;😀");
  EXPECT_EQ(toUtf8WithCharRefs(fromUtf8("纯文本 & #1;")), "纯文本 & #1;");
  EXPECT_EQ(toUtf8WithCharRefs("\x81"), "") << "not GBK, as toUtf8";

  uint32_t cp = 0;
  EXPECT_EQ(charRefAt("x&#128512;", 1, &cp), 9u);
  EXPECT_EQ(cp, 0x1F600u);
  for (const char* text : {"&#20013;", "&#65;", "&#0128512;", "&#x1F600;", "&#128512", "&#;", "&#55296;", "&#1114112;",
                           "&#99999999;", "&128512;"})
    EXPECT_EQ(charRefAt(text, 0), 0u) << text;
  EXPECT_EQ(charRefAt("&#65533;", 0), 8u);  // what a malformed byte became
  EXPECT_EQ(gbkWithCharRefs("a\xFF"), "a&#65533;");
}

TEST(CharRefs, RoundTripOfEveryPlaneSample) {
  for (const char* utf8 : {"€", "·", "\xF0\x9F\x87\xA8\xF0\x9F\x87\xB3", "𠀀", "\xF3\xA0\x80\x81", "é"}) {
    EXPECT_EQ(toUtf8WithCharRefs(gbkWithCharRefs(utf8)), utf8) << utf8;
  }
}
