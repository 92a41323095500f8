// The 多站发布 window: every site of the store with a tick box, its name and
// address, its category and author boxes (filled once a tick has logged in
// to the blog), the step and time of this run and the outcome of its last
// attempt. 开始发布 publishes the main window's article to the ticked blogs,
// at most N at a time, while both windows keep answering; 取消 stops the run;
// 重试失败的 sends again to the rows whose article did not go out; a row whose
// post went out without a clear answer is only sent again by its own 重发,
// after 检查 has looked for it on the blog.
#pragma once

#include "blog/blogclient.h"
#include "multipost/multipublish.h"

#include <QDialog>
#include <QElapsedTimer>
#include <QPointer>

#include <deque>
#include <future>
#include <memory>
#include <vector>

class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QTableWidget;
class QTimer;

namespace inkpost {

class ArticleForm;

class MultiPublishWindow : public QDialog {
  Q_OBJECT
 public:
  // Table columns.
  enum Column { kSite, kAddress, kCategory, kAuthor, kStep, kTime, kLast, kAction, kColumns };

  MultiPublishWindow(BlogClients& clients, ArticleForm& form, QWidget* parent);
  ~MultiPublishWindow() override;

  // The row of a site ID; -1 when it is not listed.
  int rowOf(int siteId) const;
  RowState rowState(int row) const;
  bool ticked(int row) const;
  void setTicked(int row, bool on);
  int tickedCount() const;
  bool running() const;

  // The buttons' actions.
  void tickAll(bool on);  // 全选 / 全不选 (the rows the filter shows)
  void invertTicks();     // 反选
  void start();           // 开始发布
  void cancelRun();       // 取消
  void retryFailed();     // 重试失败的
  void resend(int row);   // 重发 (a row whose outcome is unclear)
  void check(int row);    // 检查: did the article arrive?

  QLineEdit* filterBox() const { return filter_; }
  QTableWidget* table() const { return table_; }
  QSpinBox* parallelBox() const { return parallel_; }
  QProgressBar* progressBar() const { return progress_; }
  QLabel* countLabel() const { return count_; }
  QPushButton* startButton() const { return start_; }
  QPushButton* cancelButton() const { return cancel_; }
  QPushButton* retryButton() const { return retry_; }

  // How many blogs at a time, 1..16, kept between starts of the program.
  static int savedParallel();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  struct Row;
  struct CaptchaRequest;
  void fillRows();
  void applyFilter();
  void updateCount();
  void rowChanged(size_t row, const RowState& state);
  void fillLists(int row);
  void ticksChanged(int row);
  MultiPublisher& publisher();
  void publishRows(const std::vector<size_t>& rows);
  void tick();
  void showLastOutcomes();
  void askNextCaptcha();
  std::optional<std::string> askFromWorker(size_t row, const std::string& image,
                                           const std::function<std::string()>& another);
  void answerAllCaptchas();

  BlogClients& clients_;
  QPointer<ArticleForm> form_;
  std::vector<Row> rows_;
  std::unique_ptr<MultiPublisher> publisher_;
  int publisherParallel_ = 0;
  std::vector<size_t> runRows_;  // the rows of the present run, for the progress bar
  std::deque<std::shared_ptr<CaptchaRequest>> captchas_;
  bool askingCaptcha_ = false;
  QTimer* clock_;
  QLineEdit* filter_;
  QTableWidget* table_;
  QSpinBox* parallel_;
  QProgressBar* progress_;
  QLabel* count_;
  QPushButton* start_;
  QPushButton* cancel_;
  QPushButton* retry_;
};

// Opens the window over `parent` (one at a time: an open one comes to the
// front) and returns it.
MultiPublishWindow* showMultiPublish(BlogClients& clients, ArticleForm& form, QWidget* parent);

}  // namespace inkpost
