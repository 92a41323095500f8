// The check before sending, and characters GBK cannot hold in the alias and
// the intro.
#include "blog/articlecheck.h"
#include "blog/alias.h"
#include "blog/publish.h"
#include "net/encoding.h"

#include <gtest/gtest.h>

namespace inkpost {
namespace {

Article valid() {
  Article a;
  a.title = fromUtf8("标题");
  a.year = "2024";
  a.month = "2";
  a.day = "29";
  a.time = "9:5:3";
  a.alias = "biaoti";
  return a;
}

TEST(ArticleCheck, NamesTheFirstFieldThatCannotBeSent) {
  EXPECT_FALSE(checkArticle(valid()));
  struct Case {
    void (*change)(Article&);
    ArticleProblem::Field field;
    const char* text;
  } cases[] = {
      {[](Article& a) { a.title = "  "; }, ArticleProblem::Title, "请填写标题"},
      {[](Article& a) { a.title.clear(), a.year = "x"; }, ArticleProblem::Title, "请填写标题"},
      {[](Article& a) { a.year = "20x6"; }, ArticleProblem::Year, "日期格式不对：年（请填写四位数字，如 2024）"},
      {[](Article& a) { a.year = "202"; }, ArticleProblem::Year, "日期格式不对：年（请填写四位数字，如 2024）"},
      {[](Article& a) { a.year = ""; }, ArticleProblem::Year, "日期格式不对：年（请填写四位数字，如 2024）"},
      {[](Article& a) { a.month = "13"; }, ArticleProblem::Month, "日期格式不对：月（请填写 1 到 12 的数字）"},
      {[](Article& a) { a.month = "0"; }, ArticleProblem::Month, "日期格式不对：月（请填写 1 到 12 的数字）"},
      {[](Article& a) { a.day = "3a"; }, ArticleProblem::Day, "日期格式不对：日（请填写 1 到 31 的数字）"},
      {[](Article& a) { a.year = "2023"; }, ArticleProblem::Day, "日期不对：2023年2月只有28天"},
      {[](Article& a) { a.month = "4", a.day = "31"; }, ArticleProblem::Day, "日期不对：2024年4月只有30天"},
      {[](Article& a) { a.time = "zz:99"; }, ArticleProblem::Time,
       "时间格式不对（请填写 时:分:秒 或 时:分，如 14:05:00）"},
      {[](Article& a) { a.time = "24:00"; }, ArticleProblem::Time,
       "时间格式不对（请填写 时:分:秒 或 时:分，如 14:05:00）"},
      {[](Article& a) { a.time = "1:2:3:4"; }, ArticleProblem::Time,
       "时间格式不对（请填写 时:分:秒 或 时:分，如 14:05:00）"},
      {[](Article& a) { a.time = "12"; }, ArticleProblem::Time,
       "时间格式不对（请填写 时:分:秒 或 时:分，如 14:05:00）"},
      {[](Article& a) { a.alias = "a&#128512;b"; }, ArticleProblem::Alias,
       "别名中有博客无法保存的字符“&#128512;”，请删去它（别名是文章网址的一部分）"},
  };
  for (const Case& c : cases) {
    Article a = valid();
    c.change(a);
    const ArticleProblem p = checkArticle(a);
    EXPECT_EQ(p.field, c.field) << c.text;
    EXPECT_EQ(p.text, fromUtf8(c.text));
  }
  for (const char* time : {"23:59:59", "0:0", " 14:05 ", "14:05:00"}) {
    Article a = valid();
    a.time = time;
    EXPECT_FALSE(checkArticle(a)) << time;
  }
  Article spaced = valid();
  spaced.year = " 2024", spaced.alias = fromUtf8("中文-&#20013;");
  EXPECT_FALSE(checkArticle(spaced));
}

TEST(CharRefsInTheArticle, TheAliasSkipsThemAndTheIntroKeepsThemWhole) {
  EXPECT_EQ(makeAlias(fromUtf8("中文") + "&#128512;Hi"), "zhongwenhi");
  // At the 200-character cut a reference counts as one character and is
  // never cut in two.
  const std::string body = "<p>" + std::string(199, 'a') + "&#128512;&#128513;</p>";
  EXPECT_EQ(makeIntro(body), std::string(199, 'a') + "&#128512;");
  EXPECT_EQ(makeIntro("<p>" + std::string(198, 'a') + "&#128512;</p>"), std::string(198, 'a') + "&#128512;");
}

}  // namespace
}  // namespace inkpost
