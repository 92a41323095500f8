// The check of an article before it is sent: what the blog would refuse or
// store wrongly, named for the user while the form stays as it is. Texts are
// GBK.
#pragma once

#include "blog/article.h"

#include <string>

namespace inkpost {

struct ArticleProblem {
  enum Field { None, Category, Author, Title, Year, Month, Day, Time, Alias };
  Field field = None;
  std::string text;  // the notice, naming the field (and the character)
  explicit operator bool() const { return field != None; }
};

// The first problem, fields in the form's order; none for an article the
// blog can take:
//   Category, Author  none chosen for an article already on the blog (its
//          own was deleted there):
//          "这篇文章原来的分类已不在博客上，请选择一个分类",
//          "这篇文章原来的用户已不在博客上，请选择一个用户"
//   Title  empty or blanks only: "请填写标题"
//   Year   not 4 digits: "日期格式不对：年（请填写四位数字，如 2024）"
//   Month  not 1..12: "日期格式不对：月（请填写 1 到 12 的数字）"
//   Day    not 1..31: "日期格式不对：日（请填写 1 到 31 的数字）";
//          past the month's end: "日期不对：2023年2月只有28天"
//   Time   not H:M:S or H:M (0..23, 0..59, 0..59):
//          "时间格式不对（请填写 时:分:秒 或 时:分，如 14:05:00）"
//   Alias  holds a character GBK cannot hold (the alias is part of the
//          article's address, so the blog cannot keep it):
//          "别名中有博客无法保存的字符“😀”，请删去它（别名是文章网址的一部分）"
// Blanks around a date or time are allowed. A character the user typed is
// named as itself (its reference, which toQ shows as the character).
ArticleProblem checkArticle(const Article& article);

}  // namespace inkpost
