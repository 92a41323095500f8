// Cutting categories, authors and tags out of the edit page.
#include "blog/editpage.h"

#include "net/encoding.h"

#include <gtest/gtest.h>

namespace inkpost {
namespace {

// Test texts are written in UTF-8 and handed over as GBK, like the page after fromUtf8.
std::string g(const char* utf8) { return fromUtf8(utf8); }

std::vector<std::string> gbkList(std::initializer_list<const char*> items) {
  std::vector<std::string> out;
  for (const char* i : items) out.push_back(g(i));
  return out;
}

TEST(CollectAll, ListsEveryPieceOnceInOrder) {
  EXPECT_EQ(collectAll("<b>1</b><b>2</b><b>1</b><b>3</b>", "<b>", "</b>", false, false, false),
            (std::vector<std::string>{"1", "2", "3"}));
  EXPECT_EQ(collectAll("<b>1</b><b>2</b>", "<b>", "</b>", true, false, false),
            (std::vector<std::string>{"<b>1</b>", "<b>2</b>"}));
  EXPECT_TRUE(collectAll("no markers", "<b>", "</b>", false, false, false).empty());
  EXPECT_TRUE(collectAll("<b>open only", "<b>", "</b>", false, false, false).empty());
  EXPECT_TRUE(collectAll("abc", "", "c", false, false, false).empty());
}

TEST(CollectAll, FirstOnlyRemovesOneOccurrenceAtATime) {
  EXPECT_EQ(collectAll("<b>1</b><b>1</b>", "<b>", "</b>", false, false, true),
            (std::vector<std::string>{"1", "1"}));
}

TEST(CollectAll, MarkersInAnotherCaseEndTheLoop) {
  // Found ignoring case, but the exact removal would not find "<b>x</b>".
  EXPECT_EQ(collectAll("<B>x</B><b>y</b><B>x</B>", "<b>", "</b>", false, false, false),
            (std::vector<std::string>{"x", "y", "x"}));
  EXPECT_TRUE(collectAll("<B>x</B>", "<b>", "</b>", false, true, false).empty());
}

TEST(CollectAll, TwoByteCharactersAreSteppedOverAsUnits) {
  // The second byte of 中 (D6 D0) followed by "<b>" must not make a false start.
  std::string text = g("中<b>文</b>");
  EXPECT_EQ(collectAll(text, "<b>", "</b>", false, false, false), gbkList({"文"}));
}

const char* kPage =
    "<p>标题:<input name=\"edtTitle\"></p>\r\n"
    "<p>分类:<select name=\"edtCateID\">\r\n"
    "<option value=\"1\">未分类</option>\r\n"
    "<option value=\"12\">A &amp; B</option>\r\n"
    "<option value=\"1\">未分类</option>\r\n"
    "<option value=\"7\"></option>\r\n"
    "<OPTION VALUE=\"9\">大写</OPTION>\r\n"
    "<option class=\"x\">无值</option>\r\n"
    "</select></p>\r\n"
    "<p>用户:<select name=\"edtAuthorID\">\r\n"
    "<option value=\"1\">admin</option>\r\n"
    "<option value=\"3\" selected=\"selected\">小王</option>\r\n"
    "<option value=\"4x\">x</option>\r\n"
    "</select></p>\r\n"
    "<ul id=\"ulTag\" style=\"display:none;\"><li><a href='#'>C++</a></li><li><a href='#'>&lt;b&gt;</a></li>"
    "<li><a href='#'>博客</a></li><li><a href='#'>C++</a></li></ul></p>";

TEST(EditPage, CategoriesKeepPageTextAndNumericValues) {
  EditPage p = parseEditPage(g(kPage));
  std::vector<PageOption> expected = {{g("未分类"), 1, false}, {"A &amp; B", 12, false}, {g("大写"), 9, false},
                                      {g("无值"), 0, false}};
  EXPECT_EQ(p.categories, expected) << "identical options once, empty names skipped, entities as they are";
}

TEST(EditPage, AuthorsCarryTheSelectedMark) {
  EditPage p = parseEditPage(g(kPage));
  ASSERT_EQ(p.authors.size(), 3u);
  EXPECT_FALSE(p.authors[0].selected);
  EXPECT_TRUE(p.authors[1].selected);
  EXPECT_EQ(p.authors[1].name, g("小王"));
  EXPECT_EQ(p.authors[2].value, 4) << "digits up to the first non-digit";
}

TEST(EditPage, TagsOnceEachWithEntitiesLeftAlone) {
  EXPECT_EQ(parseEditPage(g(kPage)).tags, gbkList({"C++", "&lt;b&gt;", "博客"}));
}

TEST(EditPage, EmptyTagBlockAndMissingMarkersGiveEmptyLists) {
  EditPage p = parseEditPage(g("<p>分类:<select></select></p><ul id=\"ulTag\" style=\"display:none;\"></ul></p>"));
  EXPECT_TRUE(p.categories.empty());
  EXPECT_TRUE(p.tags.empty());
  p = parseEditPage(g("<html><body>登录超时</body></html>"));
  EXPECT_TRUE(p.categories.empty());
  EXPECT_TRUE(p.authors.empty());
  EXPECT_TRUE(p.tags.empty());
  p = parseEditPage("");
  EXPECT_TRUE(p.authors.empty());
}

TEST(EditPage, HostileValuesDoNotOverflow) {
  EditPage p = parseEditPage(g("<p>分类:<option value=\"99999999999999999999\">big</option></select>"));
  ASSERT_EQ(p.categories.size(), 1u);
  EXPECT_EQ(p.categories[0].value, 0);
}

}  // namespace
}  // namespace inkpost
