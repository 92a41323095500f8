// The main window's publishing handlers: the alias that follows the title,
// and the publish button.
#pragma once

#include "blog/publish.h"

#include <functional>
#include <string>

namespace inkpost {

class MainWindow;

// Called after a post that went through (or may have) when 选择框_同步_百度空间
// is ticked, with the title as typed and the body as posted (GBK). Set by the
// cross-posting code; while unset the sync box has no effect.
using CrossPostHook = std::function<void(MainWindow&, const std::string& gbkTitle, const std::string& gbkBody)>;
CrossPostHook& crossPostHook();

// Called after a post the blog confirmed, before the cross-post hook. Set by
// the drafts code, which marks the article as published.
using PublishedHook = std::function<void(MainWindow&)>;
PublishedHook& publishedHook();

// 编辑框_标题 content changed: with 选择框_自动别名 ticked the alias follows.
void onTitleChanged(MainWindow& w);

// 选择框_自动别名 clicked: when now ticked, the alias is made from the title.
// (Storing the flag for the site is bound separately.)
void onAutoAliasClicked(MainWindow& w);

// 按钮_发布 clicked: reads the article, posts it, tells the outcome and hands
// over to the cross-post hook.
void publishArticle(MainWindow& w);

// The steps of publishArticle before the post, for tests and benchmarks.
// The site address of the chosen entry.
std::string selectedSiteAddress(const MainWindow& w);
// Every field of the window except the body and the intro.
ArticleForm articleFields(const MainWindow& w);
// Root replacement and intro on a body read from the editor; fills form.body
// and form.intro.
void completeArticle(ArticleForm& form, const std::string& gbkBody, const std::string& root,
                     const std::string& site);

}  // namespace inkpost
