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

// 按钮_发布 clicked: reads the article, posts it, tells the outcome and hands
// over to the cross-post hook. One publish at a time: a second one started
// while the first waits (from a timer, say) does nothing.
void publishArticle(QWidget& window);

// The steps of publishArticle before the post, for tests and benchmarks.
// The site address of the chosen entry.
std::string selectedSiteAddress(QWidget& window);
// Every field of the article form except the body and the intro.
PostForm articleFields(QWidget& window);
// Root replacement and intro on a body read from the editor; fills form.body
// and form.intro.
void completeArticle(PostForm& form, const std::string& gbkBody, const std::string& root,
                     const std::string& site);

}  // namespace inkpost
