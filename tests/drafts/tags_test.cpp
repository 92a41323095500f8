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
