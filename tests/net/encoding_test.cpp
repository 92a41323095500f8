#include "net/encoding.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <random>

#include "net/gbktext.h"

using namespace inkpost;

namespace {

const std::string kZhong = "\xD6\xD0";  // 中
const std::string kWen = "\xCE\xC4";    // 文
// Two-byte characters whose trail byte is an ASCII character.
const std::string kTrailBackslash = "\x95\x5C";
const std::string kTrailAt = "\x81\x40";
const std::string kTrailA = "\x81\x41";       // trail byte 'A'
const std::string kTrailLowerA = "\x81\x61";  // trail byte 'a', another character

std::string iconvStrict(const char* to, const char* from, const std::string& in, bool* ok) {
  iconv_t cd = iconv_open(to, from);
  std::string out(in.size() * 4 + 4, '\0');
  char* src = const_cast<char*>(in.data());
  size_t srcLeft = in.size();
  char* dst = out.data();
  size_t dstLeft = out.size();
  *ok = iconv(cd, &src, &srcLeft, &dst, &dstLeft) != static_cast<size_t>(-1) && srcLeft == 0;
  iconv_close(cd);
  out.resize(out.size() - dstLeft);
  return *ok ? out : std::string();
}

}  // namespace

TEST(Utf8, ChineseBecomesThreePercentGroupsPerCharacter) {
  EXPECT_EQ(toUtf8(kZhong + kWen), "\xE4\xB8\xAD\xE6\x96\x87");
  EXPECT_EQ(percentEncode(toUtf8("a" + kZhong)), "%61%E4%B8%AD");
  EXPECT_EQ(toUtf8("\x80"), "\xE2\x82\xAC");  // the euro sign of code page 936
}

TEST(Utf8, StrictGbkRejectsBadBytes) {
  EXPECT_EQ(toUtf8("ok\x81\x20"), "");
  EXPECT_EQ(toUtf8("\xFF"), "");
  EXPECT_EQ(toUtf8("abc\xD6"), "");  // truncated character
  EXPECT_EQ(toUtf8(""), "");
}

TEST(Utf8, FromUtf8RoundTripsAndMatchesIconvOnRandomText) {
  std::mt19937 rng(7);
  for (int round = 0; round < 300; ++round) {
    std::string gbk;
    int n = rng() % 40;
    for (int i = 0; i < n; ++i) {
      if (rng() % 3 == 0) {
        gbk += static_cast<char>(0x20 + rng() % 0x5F);
      } else {
        gbk += static_cast<char>(0x81 + rng() % 0x7E);
        gbk += static_cast<char>(0x40 + rng() % 0xBF);
      }
    }
    bool ok = false;
    std::string ref = iconvStrict("UTF-8", "GBK", gbk, &ok);
    ASSERT_EQ(toUtf8(gbk), ref) << round;
    if (!ok || ref.empty()) continue;
    EXPECT_EQ(fromUtf8(ref), gbk);
  }
}

TEST(Utf8, FromUtf8ReplacesMalformedInput) {
  EXPECT_EQ(fromUtf8("a\xFF"
                     "b"),
            "a?b");
  EXPECT_EQ(fromUtf8("\xE4\xB8"), "?");  // truncated: one replacement
  EXPECT_EQ(fromUtf8("\xE4\xB8"
                     "x"),
            "?x");
  EXPECT_EQ(fromUtf8("\xC0\xAF"), "??");                              // overlong
  EXPECT_EQ(fromUtf8("\xED\xA0\x80"), "???");                         // surrogate
  EXPECT_EQ(fromUtf8("\xF4\x90\x80\x80"), "????");                    // beyond U+10FFFF
  EXPECT_EQ(fromUtf8("\xE4\xB8\xAD\xF0\x9F\x98\x80"), kZhong + "?");  // emoji has no GBK form
  EXPECT_EQ(fromUtf8("\xEF\xBB\xBF\xE4\xB8\xAD"), kZhong);            // byte-order mark dropped
  EXPECT_EQ(fromUtf8(std::string("a\0b", 3)), std::string("a\0b", 3));
  EXPECT_EQ(fromUtf8(""), "");
}

TEST(Percent, EveryByteEncoded) {
  EXPECT_EQ(percentEncode("abc"), "%61%62%63");
  EXPECT_EQ(percentEncode("\r\n"), "%0D%0A");
  EXPECT_EQ(percentEncode("\xFF\x00"), "%FF");
  EXPECT_EQ(percentEncode(std::string("\xFF\x00", 2)), "%FF%00");
  EXPECT_EQ(percentEncode(""), "");
}

TEST(TextBetween, MarkerForms) {
  EXPECT_EQ(textBetween("<p>hi</p>", "<p>", "</p>"), "hi");
  EXPECT_EQ(textBetween("no paragraph", "<p>", "</p>"), "");
  EXPECT_EQ(textBetween("<p>open", "<p>", "</p>"), "");
  EXPECT_EQ(textBetween("<P>Hi</P>", "<p>", "</p>"), "Hi");
  EXPECT_EQ(textBetween("<P>Hi</P>", "<p>", "</p>", false, true), "");
  EXPECT_EQ(textBetween("a=1;b=2", "b=", ""), "2");
  EXPECT_EQ(textBetween("a=1;b=2", "", ";"), "a=1");
  EXPECT_EQ(textBetween("a=1;b=2", "", ""), "");
  EXPECT_EQ(textBetween("x<p></p>", "<p>", "</p>", true), "<p></p>");
  EXPECT_EQ(textBetween("x<p>1</p><p>2</p>", "<p>", "</p>", true), "<p>1</p>");
  EXPECT_EQ(textBetween("k=v", "k=", "", true), "k=v");
  EXPECT_EQ(textBetween("missing", "k=", "", true), "");
  // The right marker is searched after the left one, not inside it.
  EXPECT_EQ(textBetween("aXa", "a", "a"), "X");
}

TEST(TextBetween, TrailBytesNeverMatchAsciiMarkers) {
  // 0x5C and 0x40 trail bytes look like "\" and "@" to a byte search.
  std::string src = kTrailBackslash + "a\\b\\c";
  EXPECT_EQ(textBetween(src, "\\", "\\"), "b");
  std::string mail = kTrailAt + "x@host@";
  EXPECT_EQ(textBetween(mail, "@", "@"), "host");
  EXPECT_EQ(textBetween(mail, "", "@"), kTrailAt + "x");
  EXPECT_EQ(findText(kTrailBackslash + "\\", "\\"), 3);
  EXPECT_EQ(findText(kTrailAt, "@"), -1);
  // Case folding touches ASCII letters only, never a trail byte.
  EXPECT_EQ(findText(kTrailA + "a", "a"), 3);
  EXPECT_EQ(findText(kTrailA, kTrailLowerA), -1);
  EXPECT_EQ(findText("x" + kTrailA, kTrailA), 2);
  EXPECT_EQ(textBetween(kZhong + "<B>" + kWen + "</b>", "<b>", "</B>"), kWen);
}

TEST(TextBetween, FindTextPositions) {
  EXPECT_EQ(findText("abcabc", "c"), 3);
  EXPECT_EQ(findText("abcabc", "c", 4), 6);
  EXPECT_EQ(findText("abcabc", "C", 1, true), -1);
  EXPECT_EQ(findText("abcabc", "C"), 3);
  EXPECT_EQ(findText("abc", ""), -1);
  EXPECT_EQ(findText("abc", "c", 9), -1);
  // A start inside a two-byte character does not split it.
  EXPECT_EQ(findText(kTrailAt + "@", "@", 2), 3);
}

TEST(RemovePatterns, Basics) {
  EXPECT_EQ(removePatterns("a<b>c</b>d", "<*>"), "acd");
  EXPECT_EQ(removePatterns("x < y", "<*>"), "x < y");
  EXPECT_EQ(removePatterns("  <p>hi</p>  ", "<*>"), "hi");
  EXPECT_EQ(removePatterns("a&nbsp;b<br/>", "&nbsp;,<*>"), "ab");
  EXPECT_EQ(removePatterns("<a><b>", "<*>"), "");
  EXPECT_EQ(removePatterns("keep", "*"), "keep");
  EXPECT_EQ(removePatterns("a,b", ",,"), "a,b");
  EXPECT_EQ(removePatterns(kZhong + "<i>" + kTrailBackslash + "</i>", "<*>"), kZhong + kTrailBackslash);
  // A tag whose text repeats later is removed everywhere at once.
  EXPECT_EQ(removePatterns("<x>1<y>2<x>3", "<*>"), "123");
}

TEST(RemovePatterns, FastFormMatchesStepByStepOnRandomInput) {
  std::mt19937 rng(11);
  const std::vector<std::string> atoms = {
      "<",        ">",        "a",   "b",   " ", "[", "]", "\\", "/", "[\\]", "[/]", kZhong, kTrailBackslash,
      "\x95\x5B", "\x95\x5D", "<a>", "</a>"};
  const std::vector<std::string> patterns = {"<*>", "<*>,a",    "a*b",   "[*]",  "*>",      "<*",
                                             "a",   "<a>*</a>", "b,<*>", "\\*/", "<*>,<*>", "/*\\"};
  for (int round = 0; round < 4000; ++round) {
    std::string text;
    int n = rng() % 14;
    for (int i = 0; i < n; ++i) text += atoms[rng() % atoms.size()];
    if (rng() % 8 == 0) text += "\xB0";  // a lone lead byte at the end
    const std::string& pat = patterns[rng() % patterns.size()];
    ASSERT_EQ(removePatterns(text, pat), removePatternsLiteral(text, pat)) << "text=" << text << " pattern=" << pat;
  }
}

TEST(RemovePatterns, FastFormMatchesOnLargeHtml) {
  std::string html;
  for (int i = 0; i < 2000; ++i)
    html += "<p><img src=\"/u/" + std::to_string(i) + ".jpg\"> " + kZhong + " <a href=\"/x" + std::to_string(i % 50) +
            "\">l</a></p>\n";
  EXPECT_EQ(removePatterns(html, "<*>"), removePatternsLiteral(html, "<*>"));
}

TEST(Width, FullAndHalf) {
  EXPECT_EQ(toFullWidth("A"), "\xA3\xC1");
  EXPECT_EQ(toFullWidth(" "), "\xA1\xA1");
  EXPECT_EQ(toFullWidth("~"), "\xA1\xAB");
  EXPECT_EQ(toFullWidth("!}"), "\xA3\xA1\xA3\xFD");
  EXPECT_EQ(toFullWidth("\t" + kZhong), "\t" + kZhong);
  EXPECT_EQ(toHalfWidth(toFullWidth("Ab 1")), "Ab 1");
  std::string printable;
  for (int c = 0x20; c < 0x7F; ++c) printable += static_cast<char>(c);
  std::string full = toFullWidth(printable);
  EXPECT_EQ(full.size(), printable.size() * 2);
  EXPECT_EQ(toHalfWidth(full), printable);
  EXPECT_EQ(toHalfWidth(kZhong + kTrailA), kZhong + kTrailA);
  // Trail bytes that look like "\\", "@" or "A" are never taken for ASCII.
  EXPECT_EQ(toFullWidth(kTrailBackslash + kTrailAt + kTrailA), kTrailBackslash + kTrailAt + kTrailA);
  EXPECT_EQ(toHalfWidth("\xA3" + kTrailAt), "\xA3" + kTrailAt);
}

// "€" is the one-byte character 0x80 and 0xFF stands alone as well: in every
// search, cut and width conversion the byte after either is a character of
// its own.
TEST(SingleHighBytes, NeverTakeTheNextByteAlong) {
  for (const std::string b : {std::string("\x80"), std::string("\xFF")}) {
    SCOPED_TRACE(static_cast<int>(static_cast<unsigned char>(b[0])));
    EXPECT_EQ(findText(b + "<b>", "<b>"), 2);
    EXPECT_EQ(findText("x" + b + "A", b + "a"), 2) << "letters after it still fold";
    EXPECT_EQ(gbkFind(b + "a", "a", 0, true), 1u);
    EXPECT_EQ(gbkFindFrom(b + "a" + kZhong + "a", "a", 2, true), 4u);
    EXPECT_EQ(textBetween("<p>5" + b + "</p><p>6</p>", "<p>", "</p>"), "5" + b);
    EXPECT_EQ(textBetween(b + "k=v", "k=", ""), "v");
    EXPECT_EQ(textBetween(b + "k=v", "", "="), b + "k");
    EXPECT_EQ(removePatterns(b + "<b>x</b>", "<*>"), b + "x");
    EXPECT_EQ(removePatternsLiteral(b + "<b>x</b>", "<*>"), b + "x");
    EXPECT_EQ(removePatterns("<i>" + b + "</i>y" + b, "<*>"), b + "y" + b);
    EXPECT_EQ(gbkReplaceAll(b + "ab" + b + "a", "a", "-"), b + "-b" + b + "-");
    EXPECT_EQ(toFullWidth(b + "A"), b + "\xA3\xC1");
    EXPECT_EQ(toHalfWidth(b + "\xA3\xC1"), b + "A");
    EXPECT_EQ(toHalfWidth(toFullWidth(b + "Ab 1" + b)), b + "Ab 1" + b);
  }
  EXPECT_EQ(toUtf8("\x80"), "\xE2\x82\xAC");
  EXPECT_EQ(fromUtf8("5\xE2\x82\xAC<"), "5\x80<");
}

TEST(SingleHighBytes, ResumedSearchesAgreeWithSearchesFromTheTop) {
  std::mt19937 rng(17);
  const std::vector<std::string> atoms = {"a", "A", "<", ">", "\x80", "\xFF", kZhong, kTrailA, kTrailAt, "\x81"};
  const std::vector<std::string> needles = {"a",
                                            "<",
                                            "A>",
                                            "\x80"
                                            "a",
                                            kTrailA,
                                            "\x81"};
  for (int round = 0; round < 3000; ++round) {
    std::string text;
    for (int i = rng() % 12; i > 0; --i) text += atoms[rng() % atoms.size()];
    const std::string& needle = needles[rng() % needles.size()];
    // Resuming at each character boundary finds what a search from the top does.
    for (size_t at = 0; at <= text.size(); at = at < text.size() ? at + gbkCharLength(text, at) : at + 1)
      ASSERT_EQ(gbkFindFrom(text, needle, at, false), gbkFind(text, needle, at, false)) << text << " at " << at;
  }
}

TEST(C99AndMd5, Forms) {
  EXPECT_EQ(c99Escape("ab" + kZhong), "ab\\u4e2d");
  EXPECT_EQ(c99Escape("\x80"), "\\u20ac");
  EXPECT_EQ(c99Escape("bad\xFF"), "");
  EXPECT_EQ(c99Escape(""), "");
  EXPECT_EQ(md5Hex(""), "d41d8cd98f00b204e9800998ecf8427e");
  EXPECT_EQ(md5Hex("abc"), "900150983cd24fb0d6963f7d28e17f72");
  EXPECT_EQ(md5Hex(std::string("\0\xFF", 2)).size(), 32u);
}

TEST(HtmlEscape, MarkupCharactersBecomeReferencesAndGbkPairsStayWhole) {
  EXPECT_EQ(htmlEscape("plain"), "plain");
  EXPECT_EQ(htmlEscape("a&b<i>\"q\" 'x'"), "a&amp;b&lt;i&gt;&quot;q&quot; &#39;x&#39;");
  const std::string life = fromUtf8("生活 & 随笔");
  EXPECT_EQ(htmlEscape(life), fromUtf8("生活 &amp; 随笔"));
  // A lead byte at the end has no partner: the bytes go on as they are.
  EXPECT_EQ(htmlEscape(std::string("<\xB0")), std::string("&lt;\xB0"));
  EXPECT_EQ(htmlEscape(std::string("\x80&")), std::string("\x80&amp;"));  // the euro byte stands alone
  // A lead byte before markup is no pair: a browser reads the quote as a
  // quote, so it is escaped all the same.
  EXPECT_EQ(htmlEscape(std::string("\xC9'")), std::string("\xC9&#39;"));
  EXPECT_EQ(htmlEscape(std::string("x=\"\xC9\" onmouseover=\"")), std::string("x=&quot;\xC9&quot; onmouseover=&quot;"));
  EXPECT_EQ(htmlEscape(std::string("\xB0<\xB0&")), std::string("\xB0&lt;\xB0&amp;"));
}
