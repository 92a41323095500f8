// 文章 → 打开博客文章… (Ctrl+O): the chosen blog's articles in a list that
// loads page by page as it scrolls, and the article chosen there opened
// into the form for changing (编辑 mode: the window says "修改：<title>" and
// 发布 updates that article on the blog).
#pragma once

#include "blog/blogclient.h"
#include "common/ui/busy.h"

#include <QDialog>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>

class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;

namespace inkpost {

class ArticleForm;
class CurrentBlog;

// The list of one blog's articles: 标题, 分类, 日期, newest first. It opens
// at once and reads the first page off the window thread, the next page
// whenever the list is scrolled near its end (or does not fill the view),
// one page at a time, until a page adds no new article. The search box
// shows only the titles that hold its text (case ignored), reading on while
// the matches do not fill the view. A page that cannot be read is named in
// the state line, with 重试. Closing ends the read in progress within a
// second. objectName "窗口_打开文章".
class ArticleListDialog : public QDialog {
  Q_OBJECT
 public:
  // `renewal`: the hooks of a quiet login when the session has expired;
  // `renewed` runs on the window thread after one.
  ArticleListDialog(QWidget* parent, std::shared_ptr<BlogClient> client, LoginHooks renewal,
                    std::function<void()> renewed);
  ~ArticleListDialog() override;

  // The article chosen with 打开 (or a double click, or Enter); 0 before.
  int chosenId() const { return chosenId_; }
  // Articles listed so far, and whether the list has ended.
  int listed() const;
  bool complete() const { return walk_.done(); }
  bool reading() const { return reading_; }

  QLineEdit* searchBox() const { return search_; }     // 编辑框_搜索标题
  QTreeWidget* list() const { return list_; }          // 列表框_博客文章
  QLabel* stateLine() const { return state_; }         // 标签_列表状态
  QPushButton* openButton() const { return open_; }    // 按钮_打开
  QPushButton* retryButton() const { return retry_; }  // 按钮_重试

  void done(int result) override;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void readMore();
  void pageRead(const ListReport& report);
  void readMoreIfRoom();
  void filter();
  void showState();
  void choose();
  void endReading();

  std::shared_ptr<BlogClient> client_;
  LoginHooks renewal_;
  std::function<void()> renewed_;
  ArticleListWalk walk_;
  QLineEdit* search_;
  QTreeWidget* list_;
  QLabel* state_;
  QPushButton* open_;
  QPushButton* retry_;
  std::thread worker_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> workerEnded_{true};
  bool reading_ = false;
  bool closing_ = false;
  std::string failure_;  // GBK: why the last page could not be read
  int chosenId_ = 0;
};

// Puts an opened article into the form after keeping what the form holds
// (the drafts' part, see replaceArticle in drafts/ui/drafts.h); false when
// it could not be kept, and the form is left as it is.
using ReplaceArticle = std::function<bool(const Article&)>;

// 文章 → 打开博客文章… (Ctrl+O): for the chosen, logged-in site ("请先选择网站并
// 登录" otherwise) shows the list; the article chosen there is read from its
// edit page (off the window thread, "正在打开文章…" in the status line),
// then handed to `replace` with its id and the blog's address. Nothing in
// the form changes when it cannot be read (the reason in a notice:
// openFailureText). Its category or author, when the blog no longer has
// it, is left unchosen and named in a notice. One opening at a time.
void OpenBlogArticle(CurrentBlog& blog, ArticleForm& form, const ReplaceArticle& replace);

// The window's title and the status line's mode after the form's editing
// mode or title changed: "修改：<title> - Inkpost客户端 v12.9.5" and
// "修改：<title>" while an article of the blog is being changed, the
// program's title and no mode for a new article.
void ShowEditingMode(QWidget& window, StatusLine status, const ArticleForm& form);

// Texts (GBK).
const std::string& openBusyText();                     // "正在打开文章…"
std::string editingText(const std::string& gbkTitle);  // "修改：<title>"
inline constexpr double kOpenProblemSeconds = 2.6;

}  // namespace inkpost
