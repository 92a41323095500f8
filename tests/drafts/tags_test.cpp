#include "drafts/tags.h"
#include "net/encoding.h"

#include <gtest/gtest.h>

using namespace inkpost;

TEST(ChosenTags, MirrorTheBoxWithCommasAtBothEnds) {
  EXPECT_EQ(chosenTagsOf(""), ",");
  EXPECT_EQ(chosenTagsOf("a,b"), ",a,b,");
  EXPECT_EQ(chosenTagsOf(",a,"), ",a,");
  EXPECT_EQ(chosenTagsOf(","), ",");
  EXPECT_TRUE(tagChosen(",a,b,", "b"));
  EXPECT_FALSE(tagChosen(",ab,", "b"));
  // Exact case: Foo in the box does not choose foo.
  EXPECT_FALSE(tagChosen(chosenTagsOf("Foo"), "foo"));
}

TEST(ChosenTags, AddAndRemoveFollowTheBoxText) {
  EXPECT_EQ(addTag("a,b", "c"), "a,b,c");
  EXPECT_EQ(addTag("", "a"), "a");
  EXPECT_EQ(addTag(",a,", "b"), "a,b");
  EXPECT_EQ(addTag("a,", "b"), "a,b");
  EXPECT_EQ(removeTag("a,b,c", "b"), "a,c");
  EXPECT_EQ(removeTag("a", "a"), "");
  EXPECT_EQ(removeTag("Foo,foo", "foo"), "Foo");
  // Every separate occurrence goes; adjacent duplicates lose every second
  // one in the single pass.
  EXPECT_EQ(removeTag("a,b,a,c,a", "a"), "b,c");
  EXPECT_EQ(removeTag(",a,a,", "a"), "a");
  EXPECT_EQ(removeTag("a,b", "x"), "a,b");
}

TEST(TagsPage, HighlightsChosenTagsInBlogOrder) {
  const std::string head =
      "<html><head><style>body,td,th { font-size: 14px;}a:link { color: #000000; text-decoration: none;}"
      "a:visited { text-decoration: none; color: #000000;}a:hover { text-decoration: none; color: #FF0000;}"
      "a:active { text-decoration: none; color: #000000;} .yes {background-color:#A6A6D2}"
      ".no {background-color:#FFFFFF}</style></head><body bgcolor='#ffffff' leftmargin=0 topmargin=0>";
  EXPECT_EQ(tagsPage({}, ","), head + "</body></html>");
  EXPECT_EQ(tagsPage({"a", "b"}, ",b,"), head +
                                             "<span class='no' id='a'>&nbsp;<a href='#a'>a</a>&nbsp;</span>"
                                             "<span class='yes' id='b'>&nbsp;<a href='#b'>b</a>&nbsp;</span>" +
                                             "</body></html>");
  EXPECT_NE(tagsPage({"foo"}, ",Foo,").find("class='no' id='foo'"), std::string::npos);
  // A note stands above the tags, escaped.
  EXPECT_EQ(tagsPage({}, ",", "a<b"), head + "<p id='note' style='color:#808080;margin:6px'>a&lt;b</p></body></html>");
}

// The picker by a 200 x 20 tags box at (500, 100) in a 1000 x 800 window
// on a screen of that size.
TEST(TagsWindowPlace, UnderTheBoxUnlessThatCoversTheAliasBoxThenBesideThenBelowOrAbove) {
  const ScreenRect box{500, 100, 200, 20}, screen{0, 0, 1000, 800};
  const auto place = [&](const ScreenRect& alias, const ScreenRect& window, const ScreenRect& on) {
    return tagsWindowPlace(box, alias, window, on, 320, 150);
  };
  // Nothing under the box: right under it, 2 in, moved back onto the screen.
  EXPECT_EQ(place({0, 300, 100, 20}, screen, screen), (ScreenRect{502, 120, 320, 150}));
  EXPECT_EQ(place({}, screen, {0, 0, 800, 800}), (ScreenRect{480, 120, 320, 150}));
  // The alias box in the next row: beside the box, narrowed to the window,
  // or to the screen where the window leaves too little.
  const ScreenRect alias{300, 128, 300, 20};
  EXPECT_EQ(place(alias, screen, screen), (ScreenRect{702, 100, 298, 150}));
  EXPECT_EQ(place(alias, {0, 0, 900, 800}, {0, 0, 2000, 200}), (ScreenRect{702, 50, 198, 150}));
  EXPECT_EQ(place(alias, {0, 0, 800, 800}, screen), (ScreenRect{702, 100, 298, 150}));
  // No room beside: under the alias box, or above the tags box.
  const ScreenRect narrow{0, 0, 702 + kTagsWindowMinWidth - 1, 800};
  EXPECT_EQ(place(alias, narrow, narrow), (ScreenRect{502, 148, 320, 150}));
  const ScreenRect lowBox{500, 200, 200, 20}, lowAlias{300, 228, 300, 20}, low{0, 0, 800, 390};
  EXPECT_EQ(tagsWindowPlace(lowBox, lowAlias, low, low, 320, 150), (ScreenRect{480, 50, 320, 150}));
}

TEST(TagsPage, AwkwardNamesAreEscapedAndComeBackFromTheirLinks) {
  const std::string zh = fromUtf8("中文");
  std::string page = tagsPage({"it's", "c#", "a\"b<i>", "50%+x y", zh}, ",c#,");
  EXPECT_NE(page.find("<span class='no' id='it&#39;s'>&nbsp;<a href='#it%27s'>it&#39;s</a>"), std::string::npos);
  EXPECT_NE(page.find("<span class='yes' id='c#'>&nbsp;<a href='#c%23'>c#</a>"), std::string::npos);
  EXPECT_NE(page.find("id='a&quot;b&lt;i&gt;'"), std::string::npos);
  EXPECT_NE(page.find("href='#50%25%2Bx+y'"), std::string::npos);
  EXPECT_NE(page.find("href='#%D6%D0%CE%C4'>" + zh + "</a>"), std::string::npos);

  // The href of each entry, as the viewer reports the click, names the tag.
  auto hrefOf = [&](const std::string& t) {
    size_t entry = page.find("id='" + tagHtmlText(t) + "'");
    size_t from = page.find("href='", entry) + 6;
    return page.substr(from, page.find('\'', from) - from);
  };
  for (const std::string& t : {std::string("it's"), std::string("c#"), std::string("50%+x y"), zh})
    EXPECT_EQ(tagFromAddress("http://cmd.invalid/" + hrefOf(t)), t);
  EXPECT_EQ(tagFromAddress("no fragment"), "");
  EXPECT_EQ(tagFromAddress("x#a#b"), "a#b");
}

TEST(TagsPage, ClassScriptsQuoteTheName) {
  EXPECT_EQ(tagClassScript("b", true), "document.getElementById('b').className='yes'");
  EXPECT_EQ(tagClassScript("b", false), "document.getElementById('b').className='no'");
  EXPECT_EQ(tagClassScript("it's\\", true), "document.getElementById('it\\'s\\\\').className='yes'");
  EXPECT_EQ(tagScriptLiteral("a\"\n</"), "'a\\\"\\x0A\\x3C/'");
  // 0x5C as the second byte of a GBK character is not a backslash.
  const std::string gbkWithBackslashTrail = "\x81\x5C";
  EXPECT_EQ(tagScriptLiteral(gbkWithBackslashTrail), "'" + gbkWithBackslashTrail + "'");
}
