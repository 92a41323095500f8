#include "multipost/multipublish.h"

#include "blog/htmlscan.h"
#include "blog/login.h"
#include "common/privatefile.h"
#include "images/fetch.h"
#include "images/upload.h"
#include "multipost/bodyimages.h"
#include "net/cancel.h"
#include "net/encoding.h"
#include "net/http.h"

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <utility>

namespace inkpost {
namespace {

std::string g(const char* utf8) { return fromUtf8(utf8); }

std::string loginFailureText(const LoginReport& report) {
  switch (report.result) {
    case LoginResult::Ready:
      return {};
    case LoginResult::Refused:
      // The blog's own words where it gave some ("站点维护中"), else the usual.
      return report.refusal.empty() ? g("登录失败，请检查帐号密码") : g("博客拒绝登录：") + report.refusal;
    case LoginResult::Cancelled:
      return g("没有输入验证码");
    case LoginResult::Unreachable: {
      const std::string why = notSentReason(report.reached);
      return g("无法连接到博客") + (why.empty() ? std::string() : g("（") + why + g("）"));
    }
    case LoginResult::NoCaptcha:
      return g("博客没有给出验证码图片，网址可能不对");
    case LoginResult::TooLarge:
      return g("博客的回答太大，不像博客的页面");
    case LoginResult::NoEditPage:
      return g("登录后读取编辑页失败");
    case LoginResult::NoCategories:
      return g("编辑页中没有分类");
    case LoginResult::Interrupted:
      return g("已取消");
  }
  return {};
}

// The value of `wanted` when the list has it; else the one shown as `name`;
// else the selected option's (`selectedFirst`), else the first one's; empty
// for an empty list.
std::string pick(const std::vector<PageOption>& options, const std::string& wanted, const std::string& name,
                 bool selectedFirst) {
  for (const PageOption& o : options)
    if (!wanted.empty() && std::to_string(o.value) == wanted) return wanted;
  if (!name.empty())
    for (const PageOption& o : options)
      if (html::collapseBlanks(html::decodeReferences(o.name)) == name) return std::to_string(o.value);
  if (selectedFirst)
    for (const PageOption& o : options)
      if (o.selected) return std::to_string(o.value);
  return options.empty() ? std::string() : std::to_string(options.front().value);
}

std::string shortAddress(const std::string& address) {
  const size_t slash = address.rfind('/');
  return slash == std::string::npos ? address : address.substr(slash + 1);
}

}  // namespace

const std::string& unclearRowText() {
  static const std::string text = g("结果不明，请到博客后台确认");
  return text;
}

std::string rowStepText(const RowState& s) {
  switch (s.step) {
    case RowStep::Waiting:
      return g("等待");
    case RowStep::LoggingIn:
      return g("登录中");
    case RowStep::ReadingEditPage:
      return g("读取编辑页");
    case RowStep::UploadingImages:
      return g("上传图片 ") + std::to_string(s.imagesDone + 1 > s.imagesTotal ? s.imagesTotal : s.imagesDone + 1) +
             "/" + std::to_string(s.imagesTotal);
    case RowStep::Posting:
      return g("发布中");
    case RowStep::Ready:
      return g("已登录");
    case RowStep::Succeeded:
      return g("成功");
    case RowStep::Failed:
      return g("失败：") + s.reason;
    case RowStep::Unclear:
      return s.reason.empty() ? unclearRowText() : s.reason;
    case RowStep::Cancelled:
      return s.sent ? g("已取消（已发出，") + unclearRowText() + g("）") : g("已取消（未发出）");
  }
  return {};
}

// ---- The run's pictures -----------------------------------------------------

struct RunImages::Entry {
  bool done = false;
  Fetched fetched;
};

RunImages::RunImages(std::string folder) : folder_(std::move(folder)) {
  std::error_code ec;
  std::filesystem::create_directories(folder_, ec);
  ::chmod(folder_.c_str(), 0700);
}

RunImages::~RunImages() {
  std::error_code ec;
  std::filesystem::remove_all(folder_, ec);
}

RunImages::Fetched RunImages::get(const std::string& address) {
  std::shared_ptr<Entry> entry;
  bool mine = false;
  {
    std::unique_lock<std::mutex> lock(mutex_);
    std::shared_ptr<Entry>& slot = entries_[address];
    if (!slot) {
      slot = std::make_shared<Entry>();
      mine = true;
      ++fetches_;
    }
    entry = slot;
    if (!mine) {
      // A cancel sets no signal here: look again every 50 ms.
      while (!entry->done && !exchangeCancelled()) ready_.wait_for(lock, std::chrono::milliseconds(50));
      if (entry->done) return entry->fetched;
      return {{}, g("已取消")};
    }
  }
  Fetched fetched;
  const FetchedImage image = fetchImageFrom(address);
  const bool cancelled = exchangeCancelled();
  if (cancelled) {
    fetched.reason = g("已取消");
  } else if (!image.ok()) {
    fetched.reason = g("图片无法取得（") + shortAddress(address) + g("）：") + fetchFailureReason(image);
  } else {
    const std::string path = folder_ + "/" + std::to_string(std::hash<std::string>{}(address)) + ".img";
    std::string error;
    if (writePrivateFile(path, image.bytes, &error))
      fetched.path = path;
    else
      fetched.reason = g("图片无法暂存：") + error;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  // A cancel is not the picture's fault: a later run fetches it again.
  if (cancelled) entries_.erase(address);
  entry->fetched = fetched;
  entry->done = true;
  ready_.notify_all();
  return fetched;
}

int RunImages::fetches() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return fetches_;
}

// ---- The run ------------------------------------------------------------------

MultiPublisher::MultiPublisher(std::vector<MultiTarget> targets, int parallel, MultiHooks hooks,
                               std::string stagingFolder)
    : targets_(std::move(targets)),
      hooks_(std::move(hooks)),
      staging_(std::move(stagingFolder)),
      states_(targets_.size()) {
  const int n = std::clamp(parallel, 1, 16);
  for (int i = 0; i < n; ++i) workers_.emplace_back([this] { work(); });
}

MultiPublisher::~MultiPublisher() {
  cancel();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  for (std::thread& t : workers_) t.join();
}

void MultiPublisher::choose(size_t row, const std::string& category, const std::string& author,
                            const std::string& categoryName) {
  std::lock_guard<std::mutex> lock(mutex_);
  targets_[row].category = category;
  targets_[row].author = author;
  targets_[row].categoryName = categoryName;
}

void MultiPublisher::prepare(const std::vector<size_t>& rows) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    cancel_ = false;
    for (size_t row : rows) {
      queue_.push_back({row, false});
      states_[row] = {};
    }
  }
  for (size_t row : rows)
    if (hooks_.progress) hooks_.progress(row, RowState{});
  wake_.notify_all();
}

void MultiPublisher::publish(const std::vector<size_t>& rows, const MultiArticle& article) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    cancel_ = false;
    article_ = std::make_shared<MultiArticle>(article);
    // Each run fetches its pictures afresh (they may have changed); the
    // pictures of the last run go first (they share the folder).
    if (running_ == 0 || !images_) {
      images_.reset();
      images_ = std::make_unique<RunImages>(staging_);
    }
    for (size_t row : rows) {
      queue_.push_back({row, true});
      states_[row] = {};
    }
  }
  for (size_t row : rows)
    if (hooks_.progress) hooks_.progress(row, RowState{});
  wake_.notify_all();
}

void MultiPublisher::cancel() {
  std::vector<size_t> dropped;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    cancel_ = true;
    for (const Job& job : queue_) dropped.push_back(job.row);
    queue_.clear();
  }
  for (size_t row : dropped) {
    RowState s;
    s.step = RowStep::Cancelled;
    set(row, s);
  }
  idle_.notify_all();
}

bool MultiPublisher::busy() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return running_ > 0 || !queue_.empty();
}

void MultiPublisher::wait() {
  std::unique_lock<std::mutex> lock(mutex_);
  idle_.wait(lock, [&] { return running_ == 0 && queue_.empty(); });
}

RowState MultiPublisher::state(size_t row) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return states_[row];
}

int MultiPublisher::imageFetches() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return images_ ? images_->fetches() : 0;
}

void MultiPublisher::set(size_t row, const RowState& state) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    states_[row] = state;
  }
  if (hooks_.progress) hooks_.progress(row, state);
}

void MultiPublisher::work() {
  for (;;) {
    Job job;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      wake_.wait(lock, [&] { return stopping_ || !queue_.empty(); });
      if (stopping_) return;
      job = queue_.front();
      queue_.pop_front();
      ++running_;
    }
    {
      // The run's cancel reaches every exchange of the row, the client's own
      // cancel stays the client's.
      CancelScope scope(&cancel_);
      runJob(job);
    }
    {
      std::lock_guard<std::mutex> lock(mutex_);
      --running_;
    }
    idle_.notify_all();
  }
}

void MultiPublisher::runJob(const Job& job) {
  if (!job.publish) {
    if (targets_[job.row].client->ready()) {
      RowState s;
      s.step = RowStep::Ready;
      set(job.row, s);
      return;
    }
    if (logIn(job.row)) {
      RowState s;
      s.step = RowStep::Ready;
      set(job.row, s);
    }
    return;
  }
  publishRow(job.row);
}

bool MultiPublisher::logIn(size_t row) {
  MultiTarget& t = targets_[row];
  RowState s;
  s.step = RowStep::LoggingIn;
  set(row, s);
  LoginHooks hooks;
  hooks.readingEditPage = [&] {
    RowState r;
    r.step = RowStep::ReadingEditPage;
    set(row, r);
  };
  if (hooks_.ask)
    hooks.ask = [&, row](const std::string& image, const std::function<std::string()>& another) {
      return hooks_.ask(row, image, another);
    };
  const LoginReport report = t.client->logIn(t.account.name, t.account.password, hooks);
  if (report.result == LoginResult::Ready) return true;
  RowState failed;
  failed.step = report.result == LoginResult::Interrupted ? RowStep::Cancelled : RowStep::Failed;
  failed.reason = loginFailureText(report);
  set(row, failed);
  record(row,
         report.result == LoginResult::NoEditPage || report.result == LoginResult::NoCategories ? PublishStep::EditPage
                                                                                                : PublishStep::Login,
         failed.step == RowStep::Cancelled ? PublishOutcome::Cancelled : PublishOutcome::Failed, failed.reason);
  return false;
}

void MultiPublisher::publishRow(size_t row) {
  std::shared_ptr<MultiArticle> article;
  RunImages* images = nullptr;
  MultiTarget t;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    article = article_;
    images = images_.get();
    t = targets_[row];
  }
  if (!t.client->ready() && !logIn(row)) return;
  const std::string site = t.client->address();

  // The body as this blog gets it: the editor's root is the blog's address,
  // and every picture not in the blog's own upload folder goes there first.
  std::string body = replaceRootAddress(article->body, article->editorRoot, site);
  std::vector<std::string> moving;
  for (const std::string& address : bodyImageAddresses(body))
    if (!inUploadFolderOf(address, site)) moving.push_back(address);
  RowState s;
  s.step = RowStep::UploadingImages;
  s.imagesTotal = static_cast<int>(moving.size());
  std::map<std::string, std::string> moved;
  for (const std::string& address : moving) {
    set(row, s);
    const RunImages::Fetched picture = images->get(address);
    std::string reason = picture.reason;
    if (reason.empty()) {
      UploadResult uploaded;
      const SessionRun run = t.client->withSession([&](std::string& cookie) {
        uploaded = uploadImage(site, cookie, picture.path, StoreAs::ContentName);
        return uploaded.outcome == UploadOutcome::Refused && answerWantsLogin(uploaded.page);
      });
      if (uploaded.ok())
        moved[address] = uploaded.address;
      else
        reason = g("图片上传失败（") + shortAddress(address) + g("）：") + uploadFailureText(uploaded);
      (void)run;
    }
    if (!reason.empty()) {
      // Nothing half-finished is posted.
      RowState failed;
      failed.step = exchangeCancelled() ? RowStep::Cancelled : RowStep::Failed;
      failed.reason = reason;
      set(row, failed);
      record(row, PublishStep::Images, exchangeCancelled() ? PublishOutcome::Cancelled : PublishOutcome::Failed,
             reason);
      return;
    }
    ++s.imagesDone;
  }

  RowState posting;
  posting.step = RowStep::Posting;
  set(row, posting);
  Article fields = article->fields;
  const EditPage lists = t.client->lists();
  fields.category = pick(lists.categories, t.category, t.categoryName, false);
  fields.author = pick(lists.authors, t.author, {}, true);
  PostForm form = postFields(fields);
  form.body = replaceAddresses(body, moved);
  form.intro = makeIntro(form.body);
  LoginHooks renewal;
  if (hooks_.ask)
    renewal.ask = [&, row](const std::string& image, const std::function<std::string()>& another) {
      return hooks_.ask(row, image, another);
    };
  const PublishReport report = t.client->publish(form, renewal);

  RowState done;
  const bool cancelled = exchangeCancelled();
  switch (report.outcome) {
    case kPostDone:
      done.step = RowStep::Succeeded;
      done.sent = true;
      set(row, done);
      record(row, PublishStep::Done, PublishOutcome::Succeeded, {});
      return;
    case kPostNotSent:
      done.step = cancelled ? RowStep::Cancelled : RowStep::Failed;
      done.reason =
          cancelled ? g("已取消") : g("无法连接到博客") + g("（") + notSentReason(report.answer.fate) + g("）");
      break;
    case kPostRefused:
      done.step = RowStep::Failed;
      done.reason = g("博客拒绝了这篇文章");
      {
        const std::string why = refusalReason(report.answer.answer);
        if (!why.empty()) done.reason += g("：") + why;
      }
      break;
    case kPostNeedsLogin:
      done.step = RowStep::Failed;
      done.reason = report.answer.noRights ? g("没有权限：这个帐号不能发布文章") : g("登录已过期");
      break;
    case kPostNoAnswer:
      // The post went out and may be stored: never sent again on its own.
      done.step = cancelled ? RowStep::Cancelled : RowStep::Unclear;
      done.sent = true;
      done.reason = cancelled ? std::string() : unclearRowText();
      set(row, done);
      record(row, PublishStep::Post, cancelled ? PublishOutcome::Cancelled : PublishOutcome::Unclear, unclearRowText());
      return;
  }
  set(row, done);
  record(row, PublishStep::Post, done.step == RowStep::Cancelled ? PublishOutcome::Cancelled : PublishOutcome::Failed,
         done.reason);
}

void MultiPublisher::record(size_t row, PublishStep step, PublishOutcome outcome, const std::string& reason) {
  std::string title;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (article_) title = article_->fields.title;
  }
  std::string error;
  if (!recordPublishAttempt(attemptOf(*targets_[row].client, title, step, outcome, reason), &error)) {
    std::lock_guard<std::mutex> lock(mutex_);
    recordError_ = error;
  }
}

std::string MultiPublisher::takeRecordError() {
  std::lock_guard<std::mutex> lock(mutex_);
  return std::exchange(recordError_, {});
}

}  // namespace inkpost
