// The article as the user wrote it in the main window's form: the plain
// value that publishing, drafts and recovery all work from. Texts are GBK;
// list choices are the chosen entry's item value in decimal.
#pragma once

#include <string>

namespace inkpost {

struct Article {
  std::string title;                   // 编辑框_标题
  std::string tags;                    // 编辑框_Tags
  std::string category;                // 组合框_分类 item value; empty when none is chosen
  std::string author;                  // 组合框_用户 item value; empty when none is chosen
  std::string type;                    // 组合框_类型 article level "1".."4"; empty when none
  bool sticky = false;                 // 选择框_置顶
  std::string year, month, day, time;  // 编辑框_日期年/月/日/时间, as typed
  std::string alias;                   // 编辑框_别名
  bool autoAlias = false;              // 选择框_自动别名
  std::string body;                    // the editor's body HTML
  // The article on the blog this one changes (编辑 mode): its edtID, and
  // the address of the blog it is on. 0 and empty for a new article.
  int id = 0;
  std::string site;
  // Its intro there when it is one of its own (not the one made from the
  // body): sent again as it is. Empty: the intro is made from the body.
  std::string intro;

  bool operator==(const Article&) const = default;
};

}  // namespace inkpost
