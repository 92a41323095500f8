// Opening an article already on the blog: its edit page
// "admin/edit_fckeditor.asp?id=N" is the new-article form filled in, with
// "edtID" carrying N. Posting the form again with that id (PostForm::
// articleId) updates the article in place. Texts are GBK.
#pragma once

#include "blog/article.h"
#include "blog/editpage.h"

#include <optional>
#include <string>
#include <string_view>

namespace inkpost {

struct OpenedArticle {
  int id = 0;       // edtID
  Article article;  // autoAlias false: the alias is the article's own
  std::string intro;
  bool operator==(const OpenedArticle&) const = default;
};

// Reads a filled edit page: the article id (edtID, above 0), the values
// of edtTitle, edtTag, edtAlias, edtYear, edtMonth, edtDay, edtTime and
// edtLevel (an input's value or a list's selected option), the options
// marked selected of edtCateID and edtAuthorID (their values in decimal;
// empty when none is marked), edtIstop ticked, and the contents of the
// textareas txaContent (the body) and txaIntro. Every value has its
// references decoded to GBK, and a character GBK cannot hold stays a
// reference "&#N;", so posting the values again changes nothing. Nothing
// when the page carries no edtID above 0 (a new-article form or another
// page).
std::optional<OpenedArticle> parseArticleEditPage(std::string_view gbkPage);

// site + "admin/edit_fckeditor.asp?id=" + id
std::string articleEditAddress(const std::string& site, int id);

enum class OpenOutcome {
  Opened,        // the filled form of that article came
  NotFound,      // the blog's error page (reason: the text after "错误原因:")
  NeedsLogin,    // the login page or the refusal for lack of rights
  NoAnswer,      // nothing came: unreachable, silent, cut off
  NotAnArticle,  // a page without that article's form (a new-article form, another id)
};

struct OpenResult {
  OpenOutcome outcome = OpenOutcome::NoAnswer;
  OpenedArticle opened;  // Opened
  EditPage lists;        // Opened: the page's categories, authors and tags (as parseEditPage)
  std::string reason;    // NotFound
};

// GETs the edit page of article `id` with HttpEngine (redirects followed,
// kEditPageBudgetSeconds, answers up to kPageAnswerCap), sending
// sessionCookie and merging the cookies the blog sets into it. The page is
// taken from UTF-8 with characters GBK cannot hold as references.
OpenResult fetchArticleForEdit(const std::string& site, int id, std::string& sessionCookie);

// What went wrong, for the person (GBK); empty for Opened.
// NotFound:     "博客上没有这篇文章（<reason>）。请刷新文章列表后再试。"
// NeedsLogin:   "登录已过期，请重新选择网站登录后再打开。"
// NoAnswer:     "博客没有回应，文章没有打开。请检查网络后再试一次。"
// NotAnArticle: "博客给出的不是这篇文章的编辑页，文章没有打开。"
std::string openFailureText(const OpenResult& result);

}  // namespace inkpost
