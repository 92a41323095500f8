#include "blog/articlecheck.h"

#include "net/asciitext.h"
#include "net/encoding.h"

#include <optional>

namespace inkpost {
namespace {

ArticleProblem problem(ArticleProblem::Field field, const std::string& utf8) { return {field, fromUtf8(utf8)}; }

// A number of 1 to maxDigits digits, nothing else.
std::optional<int> number(const std::string& text, size_t maxDigits) {
  if (text.empty() || text.size() > maxDigits) return std::nullopt;
  int n = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    n = n * 10 + (c - '0');
  }
  return n;
}

int daysIn(int year, int month) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[month - 1];
}

bool validTime(const std::string& text) {
  std::string parts[3];
  size_t count = 0;
  for (char c : text) {
    if (c == ':') {
      if (++count > 2) return false;
    } else {
      parts[count] += c;
    }
  }
  if (count == 0) return false;
  const int limits[] = {23, 59, 59};
  for (size_t k = 0; k <= count; ++k) {
    const std::optional<int> v = number(parts[k], 2);
    if (!v || *v > limits[k]) return false;
  }
  return true;
}

}  // namespace

ArticleProblem checkArticle(const Article& a) {
  // An article already on the blog whose category or author is gone: the
  // form chose none, and the blog must not get an empty one.
  if (a.id > 0 && a.category.empty())
    return problem(ArticleProblem::Category, "这篇文章原来的分类已不在博客上，请选择一个分类");
  if (a.id > 0 && a.author.empty())
    return problem(ArticleProblem::Author, "这篇文章原来的用户已不在博客上，请选择一个用户");
  if (trimBlanks(a.title).empty()) return problem(ArticleProblem::Title, "请填写标题");
  const std::string yearText = trimBlanks(a.year);
  const std::optional<int> year = yearText.size() == 4 ? number(yearText, 4) : std::nullopt;
  if (!year || *year < 1000) return problem(ArticleProblem::Year, "日期格式不对：年（请填写四位数字，如 2024）");
  const std::optional<int> month = number(trimBlanks(a.month), 2);
  if (!month || *month < 1 || *month > 12)
    return problem(ArticleProblem::Month, "日期格式不对：月（请填写 1 到 12 的数字）");
  const std::optional<int> day = number(trimBlanks(a.day), 2);
  if (!day || *day < 1 || *day > 31) return problem(ArticleProblem::Day, "日期格式不对：日（请填写 1 到 31 的数字）");
  if (*day > daysIn(*year, *month))
    return problem(ArticleProblem::Day, "日期不对：" + std::to_string(*year) + "年" + std::to_string(*month) +
                                            "月只有" + std::to_string(daysIn(*year, *month)) + "天");
  if (!validTime(trimBlanks(a.time)))
    return problem(ArticleProblem::Time, "时间格式不对（请填写 时:分:秒 或 时:分，如 14:05:00）");
  for (size_t i = 0; i < a.alias.size(); ++i) {
    if (const size_t ref = charRefAt(a.alias, i))
      return {ArticleProblem::Alias, fromUtf8("别名中有博客无法保存的字符“") + a.alias.substr(i, ref) +
                                         fromUtf8("”，请删去它（别名是文章网址的一部分）")};
  }
  return {};
}

}  // namespace inkpost
