// Cutting categories, authors and tags out of the edit page.
#include "blog/editpage.h"

#include "net/encoding.h"
#include "net/gbktext.h"

#include <gtest/gtest.h>

#include <random>

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
  EXPECT_EQ(collectAll("<b>1</b><b>1</b>", "<b>", "</b>", false, false, true), (std::vector<std::string>{"1", "1"}));
}

TEST(CollectAll, PiecesThatDifferOnlyInCaseAreListedOnceWhenCaseIsIgnored) {
  EXPECT_EQ(collectAll("<B>x</B><b>y</b><B>x</B><b>X</b>", "<b>", "</b>", false, false, false),
            (std::vector<std::string>{"x", "y"}));
  EXPECT_TRUE(collectAll("<B>x</B>", "<b>", "</b>", false, true, false).empty());
  EXPECT_EQ(collectAll("<b>x</b><b>X</b>", "<b>", "</b>", false, true, false), (std::vector<std::string>{"x", "X"}));
  // Two-byte characters are never folded: D6 C1 and D6 E1 stay apart.
  EXPECT_EQ(collectAll("<b>\xD6\xC1</b><b>\xD6\xE1</b>", "<b>", "</b>", false, false, false).size(), 2u);
  EXPECT_EQ(collectAll("<b>\x81\x41</b><b>\x81\x61</b>", "<b>", "</b>", false, false, false).size(), 2u);
  // The edit page: the same option written in capitals, and a tag in
  // another case, come once.
  const EditPage p = parseEditPage(
      g("<p>分类:<select><option value=\"3\">Qt</option><OPTION value=\"3\">Qt</OPTION><option value=\"4\">qt</option>"
        "</select><ul id=\"ulTag\" style=\"display:none;\"><a href='#'>Qt</a><A HREF='#'>qt</A></ul></p>"));
  ASSERT_EQ(p.categories.size(), 2u);
  EXPECT_EQ(p.categories[1].value, 4);
  EXPECT_EQ(p.tags, (std::vector<std::string>{"Qt"}));
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
  std::vector<PageOption> expected = {
      {g("未分类"), 1, false}, {"A &amp; B", 12, false}, {g("大写"), 9, false}, {g("无值"), 0, false}};
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

TEST(EditPage, EuroSignInsideAnOption) {
  // "€" is the one byte 0x80: the "<" after it still closes the option.
  const std::string page =
      g("<p>分类:<select><option value=\"3\">5€</option><option value=\"4\">六</option>"
        "</select></p><ul id=\"ulTag\" style=\"display:none;\"><a href='#'>€</a>"
        "<a href='#'>税</a></ul></p>");
  EditPage p = parseEditPage(page);
  std::vector<PageOption> expected = {{g("5€"), 3, false}, {g("六"), 4, false}};
  EXPECT_EQ(p.categories, expected);
  EXPECT_EQ(p.tags, gbkList({"€", "税"}));
  EXPECT_EQ(collectAll("<b>\xFF</b><b>x</b>", "<b>", "</b>", false, false, false),
            (std::vector<std::string>{"\xFF", "x"}));
}

// A page the size a hostile or very large blog sends: 100,000 categories and
// 40,000 tags (every tenth repeated).
std::string largePage(int options, int tags) {
  std::string page = g("<p>分类:<select name=\"edtCateID\">\r\n");
  for (int i = 0; i < options; ++i)
    page += "<option value=\"" + std::to_string(i) + "\">" + g("分类") + std::to_string(i) + "</option>\r\n";
  page += g("</select></p>\r\n<p>用户:<select><option value=\"1\" selected=\"selected\">admin</option></select>");
  page += "<ul id=\"ulTag\" style=\"display:none;\">";
  for (int i = 0; i < tags; ++i)
    page += "<li><a href='#'>" + g("标签") + std::to_string(i % 10 == 9 ? 0 : i) + "</a></li>";
  page += "</ul></p>";
  return page;
}

TEST(EditPage, HundredThousandOptionsAndFortyThousandTags) {
  EditPage p = parseEditPage(largePage(100000, 40000));
  ASSERT_EQ(p.categories.size(), 100000u);
  EXPECT_EQ(p.categories.back().name, g("分类") + "99999");
  EXPECT_EQ(p.categories.back().value, 99999);
  ASSERT_EQ(p.authors.size(), 1u);
  EXPECT_TRUE(p.authors[0].selected);
  EXPECT_EQ(p.tags.size(), 36000u) << "repeated tags listed once";
  EXPECT_EQ(p.tags[1], g("标签") + "1");
}

// collectAll done step by step: cut the first piece, remove every copy of it
// from the working text, repeat. The one-pass form must list the same pieces
// on pages made of whole pieces.
std::vector<std::string> collectStepByStep(std::string work, const std::string& left, const std::string& right,
                                           bool includeMarkers, bool caseSensitive, bool firstOnly) {
  std::vector<std::string> out;
  for (;;) {
    const int from = findText(work, left, 1, caseSensitive);
    if (from < 0) break;
    const int to = findText(work, right, from + static_cast<int>(left.size()), caseSensitive);
    if (to < 0) break;
    out.push_back(textBetween(work, left, right, includeMarkers, caseSensitive));
    const std::string piece = left + work.substr(from - 1 + left.size(), to - from - left.size()) + right;
    std::string rest;
    if (firstOnly) {
      const int at = findText(work, piece, 1, true);
      rest = at < 0 ? work : work.substr(0, at - 1) + work.substr(at - 1 + piece.size());
    } else {
      rest = gbkReplaceAll(work, piece, "");  // every copy, exact case
    }
    if (rest.size() == work.size()) rest = work.substr(0, from - 1) + work.substr(to - 1 + right.size());
    work = rest;
  }
  return out;
}

TEST(CollectAll, OnePassListsWhatTheStepByStepCutDoes) {
  std::mt19937 rng(5);
  const std::vector<std::string> pieces = {"<b>1</b>",    "<b>2</b>", "<B>1</B>", "<b>" + g("中") + "</b>",
                                           "<b>\x80</b>", "<b></b>"};
  const std::vector<std::string> noise = {"", " ", "x", g("文"), "\x80", "\xFF", "\r\n"};
  for (int round = 0; round < 3000; ++round) {
    const bool include = rng() % 2, exact = rng() % 2, firstOnly = rng() % 4 == 0;
    std::string text;
    for (int i = rng() % 10; i > 0; --i) {
      const std::string& piece = pieces[rng() % pieces.size()];
      // Markers in another case are compared separately below. (Under exact
      // case they are plain text.)
      if (!exact && piece.find_first_of("B") != std::string::npos) continue;
      text += noise[rng() % noise.size()] + piece;
    }
    if (rng() % 4 == 0) text += "<b>open";
    ASSERT_EQ(collectAll(text, "<b>", "</b>", include, exact, firstOnly),
              collectStepByStep(text, "<b>", "</b>", include, exact, firstOnly))
        << text << " include=" << include << " exact=" << exact << " firstOnly=" << firstOnly;
  }
}

TEST(CollectAll, PieceInAnotherCaseAndItsExactCopyAreListedOnce) {
  // The step-by-step cut removes the exact copy but not the piece itself,
  // finds that piece again and lists it twice; the one pass lists it once.
  EXPECT_EQ(collectAll("<B>1</B><b>1</b><b>2</b>", "<b>", "</b>", false, false, false),
            (std::vector<std::string>{"1", "2"}));
}

}  // namespace
}  // namespace inkpost
