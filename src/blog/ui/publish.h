// Publishing from the main window: the alias that follows the title, and
// the publish button.
#pragma once

#include "blog/publish.h"
#include "common/ui/busy.h"

#include <QObject>
#include <QPointer>

#include <memory>
#include <string>

class QWidget;

namespace inkpost {

class ArticleForm;
class BlogClient;
class CurrentBlog;

// 编辑框_标题 content changed, and 选择框_自动别名 clicked: with 自动 ticked
// the alias is made from the title.
void onTitleChanged(ArticleForm& form);
void onAutoAliasClicked(ArticleForm& form);

// How long a publish waits for the editor to give the body.
inline constexpr int kEditorAnswerMs = 30000;

class Publisher : public QObject {
  Q_OBJECT
 public:
  Publisher(CurrentBlog& blog, ArticleForm& form);

  // 按钮_发布 and 文章 → 发布: reads the article, posts it to the chosen
  // site (off the window thread, the step in the status line) and tells the
  // outcome. One publish at a time: a second one started while the first
  // waits (from a timer, say) does nothing. Without a site whose login read
  // its edit page it says "请先选择网站并登录" and sends nothing. A post the
  // blog answers with its login page or a refusal for lack of rights is sent
  // once more after a quiet login; a second such answer gives
  // "登录已过期，请重新登录". An unclear answer (it may have stored the
  // article) is never followed by a resend.
  //
  // An article opened from the blog (the form's editing mode) updates that
  // article (edtID) and says "修改成功" or "修改失败：<the blog's reason>";
  // it goes only to the blog it came from: with another site chosen it
  // says so and sends nothing.
  //
  // A post without a clear answer says so and offers 检查
  // (offerArrivalCheck), and 重新发布 only when the check found it missing.
  void publish();
  // Tests: how long a publish waits for the editor's body.
  void setEditorWaitForTests(int ms) { editorWaitMs_ = ms; }

  // 重新发布 of that offer: the same post once more to the same blog (not
  // cross-posted again).
  void resend(const std::shared_ptr<BlogClient>& client, const PostForm& post);

 signals:
  // The blog confirmed the post (or 检查 found it there).
  void published();
  // A new article went out and was confirmed or may have been stored: the
  // article as posted (GBK title as typed, body as sent), for cross-posting.
  void posted(const std::string& gbkTitle, const std::string& gbkBody);
  // An update of an article already on the blog went through (it is not
  // cross-posted: the second service would get a second copy).
  void updated();

 private:
  // Posts and tells the outcome; `firstSend`: a new article is cross-posted
  // (a resend is not: the first send was already).
  void deliver(const std::shared_ptr<BlogClient>& client, const PostForm& post, bool firstSend);

  CurrentBlog& blog_;
  ArticleForm& form_;
  bool publishing_ = false;
  int editorWaitMs_ = kEditorAnswerMs;
};

// The status line's text while posting, and the notice of a session that
// could not be renewed (GBK).
const std::string& publishBusyText();       // "正在发布…"
const std::string& sessionExpiredNotice();  // "登录已过期，请重新登录"
// The editor did not give the body in time: nothing is sent.
const std::string& editorSilentNotice();

// The notices of an update (GBK).
const std::string& updatedNotice();  // "修改成功"
// "修改失败：<reason>" with the blog's reason ("文章不存在"), "修改失败！" without one.
std::string updateRefusedNotice(const std::string& gbkReason);
// An article of another blog than the chosen one:
// "这篇文章是博客 <address> 上的文章，请先在网站名称中选择这个博客，再发布修改"
std::string otherBlogNotice(const std::string& address);
// How long the notice of an article the blog cannot take stays up.
inline constexpr double kArticleProblemSeconds = 2.0;

// Root replacement and intro on a body read from the editor; fills form.body
// and form.intro.
void completeArticle(PostForm& form, const std::string& gbkBody, const std::string& root, const std::string& site);

}  // namespace inkpost
