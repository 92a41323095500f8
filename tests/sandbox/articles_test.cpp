// The sandbox's article list, the filled edit page and updates in place,
// over real HTTP.
#include "support/sandboxlogin.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

namespace inkpost::test {
namespace {

const std::string kPost = "cmd.asp?act=ArticlePst&type=fckeditor";

// The article numbers of a list page, in order.
std::vector<int> idsOf(const std::string& page) {
  std::vector<int> ids;
  static const std::regex row("<tr><td>([0-9]+)</td>");
  for (std::sregex_iterator it(page.begin(), page.end(), row), end; it != end; ++it) ids.push_back(std::stoi((*it)[1]));
  return ids;
}

std::vector<int> range(int from, int downTo) {
  std::vector<int> out;
  for (int i = from; i >= downTo; --i) out.push_back(i);
  return out;
}

TEST(SandboxArticles, ListShowsTwentyNewestFirstAndRepeatsTheLastPagePastTheEnd) {
  Sandbox sb(sandboxOptions());
  const std::string cookie = sandboxLogin(sb);
  for (int i = 1; i <= 45; ++i)
    sb.post(kPost,
            "edtID=0&edtTitle=T" + std::to_string(i) + "&edtCateID=2&edtAuthorID=1&edtYear=2026&edtMonth=3&edtDay=" +
                std::to_string(i % 28 + 1) + "&edtTime=9%3A05%3A00",
            cookie);
  ASSERT_EQ(sb.articleCount(), 45);

  std::string h;
  sb.get("cmd.asp?act=ArticleMng&page=2", cookie, &h);
  EXPECT_NE(h.find("Location: admin/admin.asp?act=ArticleMng&page=2"), std::string::npos);
  const std::string first = sb.get("admin/admin.asp?act=ArticleMng", cookie);
  EXPECT_EQ(idsOf(first), range(45, 26));
  EXPECT_EQ(idsOf(sb.get("admin/admin.asp?act=ArticleMng&page=2", cookie)), range(25, 6));
  EXPECT_EQ(idsOf(sb.get("admin/admin.asp?act=ArticleMng&page=3", cookie)), range(5, 1));
  EXPECT_EQ(idsOf(sb.get("admin/admin.asp?act=ArticleMng&page=4", cookie)), range(5, 1)) << "past the end";
  EXPECT_EQ(idsOf(sb.get("admin/admin.asp?act=ArticleMng&page=x", cookie)), range(45, 26));

  // A row: number, category, author, the title linked to its edit page, date, actions.
  EXPECT_NE(first.find("<tr><td>44</td><td>技术</td><td>admin</td><td><a href=\"../admin/edit_fckeditor.asp?id=44\" "
                       "title=\"T44\">T44</a></td><td>2026-3-17 9:05:00</td>"),
            std::string::npos);
  EXPECT_NE(first.find("<a href=\"edit_fckeditor.asp?type=fckeditor&amp;id=45\""), std::string::npos);
  EXPECT_NE(first.find("<a href=\"../cmd.asp?act=ArticleDel&amp;id=45\""), std::string::npos);

  sb.get("admin/admin.asp?act=ArticleMng", {}, &h);
  EXPECT_NE(h.find("Location: ../login.asp"), std::string::npos) << "a session is needed";
}

TEST(SandboxArticles, EditPageIsTheFormFilledInAndAPostWithItsIdUpdatesInPlace) {
  Sandbox sb(sandboxOptions());
  const std::string cookie = sandboxLogin(sb);
  const std::string newPage = sb.get("admin/edit_fckeditor.asp", cookie);
  // Title 标题 "引" & 😀 and a body that starts with a line break.
  sb.post(kPost,
          "edtID=0&edtTitle=%E6%A0%87%E9%A2%98+%22%E5%BC%95%22+%26+%F0%9F%98%80&edtCateID=5&edtTag=a%2Cb"
          "&edtAuthorID=2&edtLevel=3&edtYear=2025&edtMonth=12&edtDay=31&edtTime=23%3A59%3A58&edtAlias=x-y"
          "&txaContent=%0D%0A%3Cp%3Ea%26amp%3Bb%3C%2Fp%3E&txaIntro=a%26b&edtIstop=true",
          cookie);
  const std::string page = sb.get("admin/edit_fckeditor.asp?id=1", cookie);
  for (const char* part : {
           "<input type=\"hidden\" name=\"edtID\" id=\"edtID\" value=\"1\">",
           "name=\"edtTitle\" id=\"edtTitle\" value=\"标题 &quot;引&quot; &amp; &#128512;\">",
           "<option value=\"5\" selected=\"selected\">生活 &amp; 随笔</option>",
           "<option value=\"2\" selected=\"selected\">编辑</option>",
           "<option value=\"1\">admin</option>",
           "name=\"edtTag\" id=\"edtTag\" value=\"a,b\">",
           "name=\"edtAlias\" id=\"edtAlias\" value=\"x-y\">",
           "value=\"2025\">",
           "value=\"23:59:58\">",
           "name=\"edtLevel\" id=\"edtLevel\" value=\"3\">",
           "name=\"edtIstop\" id=\"edtIstop\" value=\"True\" checked=\"checked\">",
           "<textarea name=\"txaContent\" id=\"txaContent\">\r\n\r\n&lt;p&gt;a&amp;amp;b&lt;/p&gt;</textarea>",
           "<textarea name=\"txaIntro\" id=\"txaIntro\">a&amp;b</textarea>",
       })
    EXPECT_NE(page.find(part), std::string::npos) << part;
  EXPECT_EQ(sb.get("admin/edit_fckeditor.asp", cookie), newPage) << "the new-article form stays as it was";
  EXPECT_EQ(newPage.find("edtID"), std::string::npos);
  for (const char* id : {"2", "abc", "-1"})
    EXPECT_NE(sb.get(std::string("admin/edit_fckeditor.asp?id=") + id, cookie).find("<p>错误原因:文章不存在</p>"),
              std::string::npos)
        << id;

  // edtID=1 replaces article 1 (same number, same file); an unknown id stores nothing.
  const std::string update = "edtID=1&edtTitle=new&edtCateID=2";
  EXPECT_NE(sb.post(kPost, update, cookie).find("操作成功"), std::string::npos);
  EXPECT_EQ(sb.articleCount(), 1);
  EXPECT_EQ(sb.articleField(1, "edtTitle"), "new");
  EXPECT_EQ(readFile(sb.dataDir() + "/articles/0001.form"), update);
  EXPECT_NE(sb.post(kPost, "edtID=7&edtTitle=x", cookie).find("<p>错误原因:文章不存在</p>"), std::string::npos);
  EXPECT_EQ(sb.articleCount(), 1);
  EXPECT_FALSE(fileExists(sb.dataDir() + "/articles/0002.form"));
}

}  // namespace
}  // namespace inkpost::test
