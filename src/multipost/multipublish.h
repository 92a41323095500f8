// Publishing one article to many blogs at once: each blog through its own
// client, at most N at a time, each row of the run with its own step,
// outcome and reason. The images of the body go to every blog's own upload
// folder (each fetched once per run), so no blog links to another's. A run
// can be cancelled: no new blog starts, the running exchanges end within a
// second, and each row says whether its post went out. Nothing here shows
// anything; the hooks say what happens, on the workers' threads. Texts GBK.
#pragma once

#include "blog/article.h"
#include "blog/blogclient.h"
#include "blog/publishrecord.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace inkpost {

// Where a row stands.
enum class RowStep {
  Waiting,          // 等待
  LoggingIn,        // 登录中
  ReadingEditPage,  // 读取编辑页
  UploadingImages,  // 上传图片 k/n
  Posting,          // 发布中
  Ready,            // logged in, lists read (a preparing run ends here)
  Succeeded,        // 成功
  Failed,           // 失败：reason
  Unclear,          // the post went out and no clear answer came
  Cancelled,        // 已取消
};

struct RowState {
  RowStep step = RowStep::Waiting;
  int imagesDone = 0, imagesTotal = 0;
  std::string reason;  // GBK: why it failed, or what is unclear
  bool sent = false;   // the article's post went out: it may be on the blog
  // Run again by 重试失败的: it ended without its article going out.
  bool retryable() const { return (step == RowStep::Failed || step == RowStep::Cancelled) && !sent; }
  bool finished() const { return step >= RowStep::Ready; }
};

// The step as the window shows it: "等待", "登录中", "读取编辑页",
// "上传图片 2/5", "发布中", "成功", "失败：<reason>", "结果不明，请到博客后台确认",
// "已取消（未发出）" / "已取消（已发出，结果不明）".
std::string rowStepText(const RowState& state);

// "结果不明，请到博客后台确认"
const std::string& unclearRowText();

// The article as it goes to every blog: its fields (category and author
// are chosen per blog), the body as the editor holds it and the editor's
// root address (replaced by each blog's address, as a single publish does).
struct MultiArticle {
  Article fields;
  std::string body;
  std::string editorRoot;
};

// One blog of the run.
struct MultiTarget {
  std::shared_ptr<BlogClient> client;
  LoginAccount account;
  // Item values of the blog's lists; empty: the category named
  // `categoryName` (as a browser shows it), else the first one, and the
  // author the edit page selects.
  std::string category, author;
  std::string categoryName;
};

struct MultiHooks {
  // A row changed.
  std::function<void(size_t row, const RowState& state)> progress;
  // A person reads the captcha of row's blog (unset: nobody is asked).
  std::function<std::optional<std::string>(size_t row, const std::string& image,
                                           const std::function<std::string()>& another)>
      ask;
};

// The pictures of one run, each fetched once and kept as a file for the
// uploads. Safe from any thread.
class RunImages {
 public:
  explicit RunImages(std::string folder);
  ~RunImages();
  RunImages(const RunImages&) = delete;
  RunImages& operator=(const RunImages&) = delete;

  struct Fetched {
    std::string path;    // the staged file; empty when nothing came
    std::string reason;  // GBK, when nothing came
  };
  // The picture at `address`, fetched by the first caller; the others wait
  // for it.
  Fetched get(const std::string& address);
  // How many addresses were fetched (tests, the benchmark).
  int fetches() const;

 private:
  struct Entry;
  std::string folder_;
  mutable std::mutex mutex_;
  std::condition_variable ready_;
  std::map<std::string, std::shared_ptr<Entry>> entries_;
  int fetches_ = 0;
};

class MultiPublisher {
 public:
  // At most `parallel` blogs (1..16) at a time; pictures staged in
  // `stagingFolder` (made when missing, emptied at the end).
  MultiPublisher(std::vector<MultiTarget> targets, int parallel, MultiHooks hooks, std::string stagingFolder);
  // Cancels what runs and waits for it.
  ~MultiPublisher();
  MultiPublisher(const MultiPublisher&) = delete;
  MultiPublisher& operator=(const MultiPublisher&) = delete;

  // Logs in to the rows that are not logged in yet and reads their edit
  // pages (a row ends Ready, or Failed with the reason).
  void prepare(const std::vector<size_t>& rows);
  // Publishes the article to the rows. A row whose client is not ready logs
  // in first.
  void publish(const std::vector<size_t>& rows, const MultiArticle& article);
  // The category and author of a row (before publish); see MultiTarget.
  void choose(size_t row, const std::string& category, const std::string& author, const std::string& categoryName);

  // No new row starts; the running exchanges end within a second.
  void cancel();
  bool busy() const;
  // Waits until every queued row is done.
  void wait();

  RowState state(size_t row) const;
  const MultiTarget& target(size_t row) const { return targets_[row]; }
  size_t size() const { return targets_.size(); }
  // The run's pictures (fetched once per publish).
  int imageFetches() const;
  // Why the publish record could not be written (GBK), empty while it
  // could; told once.
  std::string takeRecordError();

 private:
  struct Job {
    size_t row;
    bool publish;
  };
  void work();
  void runJob(const Job& job);
  bool logIn(size_t row);
  void publishRow(size_t row);
  void set(size_t row, const RowState& state);
  void record(size_t row, PublishStep step, PublishOutcome outcome, const std::string& reason);

  std::vector<MultiTarget> targets_;
  MultiHooks hooks_;
  std::string staging_;
  std::atomic<bool> cancel_{false};
  mutable std::mutex mutex_;
  std::condition_variable wake_, idle_;
  std::deque<Job> queue_;
  std::vector<RowState> states_;
  int running_ = 0;
  bool stopping_ = false;
  std::shared_ptr<MultiArticle> article_;
  std::unique_ptr<RunImages> images_;
  std::string recordError_;
  std::vector<std::thread> workers_;
};

}  // namespace inkpost
