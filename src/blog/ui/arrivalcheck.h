// After a post that ended without a clear answer: the offer to 检查 whether
// it reached the blog (BlogClient::checkArrival), and to send it again only
// when it did not. For the main window's publish and for any other window
// that posts (one offer per blog).
#pragma once

#include "blog/blogclient.h"
#include "common/ui/busy.h"

#include <QDialog>

#include <functional>
#include <memory>
#include <string>

class QLabel;
class QPushButton;

namespace inkpost {

// What the offer hands back to the window that posted.
struct ArrivalHooks {
  LoginHooks renewal;             // a quiet login when the session has expired
  std::function<void()> renewed;  // after one (the window's lists again)
  std::function<void()> arrived;  // the check found the post on the blog
  std::function<void()> resend;   // 重新发布: send the same post again (the offer has closed)
};

// objectName "窗口_发布结果不明", window-modal, opened without blocking. It
// says that the blog gave no clear answer for the title; 检查 (按钮_检查)
// runs the check off the window thread (the step in `status`) and shows
// what it found (arrivalText); 重新发布 (按钮_重新发布) shows only once the
// check found the post missing; 关闭 closes it. It deletes itself when closed.
class ArrivalCheckDialog : public QDialog {
  Q_OBJECT
 public:
  ArrivalCheckDialog(QWidget* parent, StatusLine status, std::shared_ptr<BlogClient> client, PostForm sent,
                     ArrivalHooks hooks);

  // 检查.
  void check();

  QLabel* message() const { return message_; }
  QPushButton* checkButton() const { return check_; }
  QPushButton* resendButton() const { return resend_; }
  QPushButton* closeButton() const { return close_; }

 private:
  StatusLine status_;
  std::shared_ptr<BlogClient> client_;
  PostForm sent_;
  ArrivalHooks hooks_;
  QLabel* message_;
  QPushButton* check_;
  QPushButton* resend_;
  QPushButton* close_;
  bool checking_ = false;
};

// Opens the offer over `window` and returns it.
ArrivalCheckDialog* offerArrivalCheck(QWidget* window, StatusLine status, std::shared_ptr<BlogClient> client,
                                      const PostForm& sent, ArrivalHooks hooks);

// Texts (GBK).
std::string unclearOfferText(const std::string& gbkTitle, const std::string& siteName);
// "「<title>」发送到“<site>”后，博客没有给出明确的回答，文章可能已经发布。
//  按“检查”看它是否已在博客上，再决定是否重新发布。"
const std::string& arrivalBusyText();  // "正在检查文章是否已发布…"

}  // namespace inkpost
