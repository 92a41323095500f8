// The main window's publishing handlers: the alias that follows the title,
// and the publish button.
#pragma once

#include "blog/publish.h"

#include <string>

class QWidget;

namespace inkpost {

// After a post that went through (or may have) with 选择框_同步_百度空间
// ticked, publishArticle hands over to blogSession().crossPost; a confirmed
// post first calls blogSession().published.

// 编辑框_标题 content changed: with 选择框_自动别名 ticked the alias follows.
void onTitleChanged(QWidget& window);

// 选择框_自动别名 clicked: when now ticked, the alias is made from the title.
// (Storing the flag for the site is bound separately.)
void onAutoAliasClicked(QWidget& window);

// 按钮_发布 clicked: reads the article, posts it (off the window thread, the
// step in the status line), tells the outcome and hands over to the
// cross-post hook. One publish at a time: a second one started while the
// first waits (from a timer, say) does nothing. Without a site whose login
// read its edit page it says "请先选择网站并登录" and sends nothing. A post
// the blog answers with its login page or a refusal for lack of rights is
// sent once more after a quiet login; a second such answer gives
// "登录已过期，请重新登录". An unclear answer (it may have stored the
// article) is never followed by a resend.
void publishArticle(QWidget& window);

// The status line's text while posting, and the notice of a session that
// could not be renewed (GBK).
const std::string& publishBusyText();       // "正在发布…"
const std::string& sessionExpiredNotice();  // "登录已过期，请重新登录"

// The steps of publishArticle before the post, for tests and benchmarks.
// The site address of the chosen entry.
std::string selectedSiteAddress(QWidget& window);
// Every field of the article form except the body and the intro.
PostForm articleFields(QWidget& window);
// Root replacement and intro on a body read from the editor; fills form.body
// and form.intro.
void completeArticle(PostForm& form, const std::string& gbkBody, const std::string& root, const std::string& site);

}  // namespace inkpost
