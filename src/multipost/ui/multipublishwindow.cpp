#include "multipost/ui/multipublishwindow.h"

#include "blog/articlecheck.h"
#include "blog/articlelist.h"
#include "blog/publishrecord.h"
#include "blog/ui/articleform.h"
#include "blog/ui/captchadialog.h"
#include "blog/ui/publish.h"
#include "common/programdir.h"
#include "common/ui/gbk.h"
#include "common/ui/modal.h"
#include "common/ui/toast.h"
#include "common/ui/unitnames.h"
#include "common/ui/wait.h"
#include "net/cancel.h"
#include "net/encoding.h"
#include "sites/sitestore.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <map>

namespace inkpost {
namespace {

constexpr int kDefaultParallel = 4;
constexpr int kClockMs = 250;
const char* const kSettingsFile = "multipost.ini";

QPointer<MultiPublishWindow>& openWindow() {
  static QPointer<MultiPublishWindow> window;  // window thread only
  return window;
}

QString q(const char* utf8) { return QString::fromUtf8(utf8); }

QPushButton* button(const char* name, const char* text) {
  auto* b = new QPushButton(q(text));
  b->setObjectName(q(name));
  b->setAutoDefault(false);
  return b;
}

}  // namespace

// What the window keeps of a row.
struct MultiPublishWindow::Row {
  SiteRecord site;
  std::shared_ptr<BlogClient> client;
  RowState state;
  bool active = false;  // a job of this run is working on it
  QElapsedTimer clock;
  qint64 elapsedMs = -1;
  bool listsShown = false;
  std::string sentTitle;  // the title of its last run, what 检查 looks for
};

// A captcha a worker waits for: asked on the window thread, one at a time.
struct MultiPublishWindow::CaptchaRequest {
  size_t row = 0;
  std::string image;
  std::function<std::string()> another;  // runs on the asking worker's session: only while it waits
  std::promise<std::optional<std::string>> answer;
  // Queued, shown, answered; or given up by a worker whose run was
  // cancelled before the request was shown (its picture fetch is then gone).
  enum State { Queued, Shown, Answered, Abandoned };
  std::mutex mutex;
  State state = Queued;
  // Sets the answer unless somebody did; false when the request was given up.
  void settle(std::optional<std::string> code) {
    std::lock_guard<std::mutex> lock(mutex);
    if (state == Answered || state == Abandoned) return;
    state = Answered;
    answer.set_value(std::move(code));
  }
  // The window takes it for showing; false when it was given up.
  bool take() {
    std::lock_guard<std::mutex> lock(mutex);
    if (state != Queued) return false;
    state = Shown;
    return true;
  }
};

int MultiPublishWindow::savedParallel() {
  QSettings settings(QString::fromStdString(programPath(kSettingsFile)), QSettings::IniFormat);
  const int n = settings.value(QStringLiteral("parallel"), kDefaultParallel).toInt();
  return n >= 1 && n <= 16 ? n : kDefaultParallel;
}

MultiPublishWindow::MultiPublishWindow(BlogClients& clients, ArticleForm& form, QWidget* parent)
    : QDialog(parent), clients_(clients), form_(&form) {
  setObjectName(q(unitname::kMultiPublishWindow));
  setWindowTitle(q("多站发布"));
  setAttribute(Qt::WA_DeleteOnClose);
  setModal(false);
  auto* layout = new QVBoxLayout(this);

  auto* top = new QHBoxLayout;
  top->addWidget(new QLabel(q("筛选：")));
  filter_ = new QLineEdit;
  filter_->setObjectName(q("编辑框_筛选"));
  filter_->setPlaceholderText(q("按名称或地址筛选"));
  filter_->setClearButtonEnabled(true);
  top->addWidget(filter_, 1);
  QPushButton* all = button("按钮_全选", "全选");
  QPushButton* none = button("按钮_全不选", "全不选");
  QPushButton* invert = button("按钮_反选", "反选");
  for (QPushButton* b : {all, none, invert}) top->addWidget(b);
  count_ = new QLabel;
  count_->setObjectName(q("标签_已选"));
  top->addWidget(count_);
  layout->addLayout(top);

  table_ = new QTableWidget(0, kColumns);
  table_->setObjectName(q("表格_网站"));
  table_->setHorizontalHeaderLabels(
      {q("网站"), q("地址"), q("分类"), q("用户"), q("状态"), q("用时"), q("上次发布"), q("操作")});
  table_->verticalHeader()->setVisible(false);
  table_->setSelectionMode(QAbstractItemView::NoSelection);
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->horizontalHeader()->setSectionResizeMode(kStep, QHeaderView::Stretch);
  table_->setColumnWidth(kSite, 120);
  table_->setColumnWidth(kAddress, 180);
  table_->setColumnWidth(kCategory, 120);
  table_->setColumnWidth(kAuthor, 90);
  table_->setColumnWidth(kTime, 60);
  table_->setColumnWidth(kLast, 80);
  table_->setColumnWidth(kAction, 100);
  layout->addWidget(table_, 1);

  progress_ = new QProgressBar;
  progress_->setObjectName(q("进度条"));
  progress_->setFormat(QString());  // a run names its count
  progress_->setRange(0, 1);
  progress_->setValue(0);
  layout->addWidget(progress_);

  auto* bottom = new QHBoxLayout;
  bottom->addWidget(new QLabel(q("同时发布：")));
  parallel_ = new QSpinBox;
  parallel_->setObjectName(q("数字框_同时发布"));
  parallel_->setRange(1, 16);
  parallel_->setValue(savedParallel());
  parallel_->setSuffix(q(" 个"));
  bottom->addWidget(parallel_);
  bottom->addStretch(1);
  start_ = button("按钮_开始发布", "开始发布");
  cancel_ = button("按钮_取消", "取消");
  retry_ = button("按钮_重试失败的", "重试失败的");
  QPushButton* close = button("按钮_关闭", "关闭");
  start_->setDefault(true);
  cancel_->setEnabled(false);
  for (QPushButton* b : {start_, cancel_, retry_, close}) bottom->addWidget(b);
  layout->addLayout(bottom);

  clock_ = new QTimer(this);
  clock_->setInterval(kClockMs);
  connect(clock_, &QTimer::timeout, this, [this] { tick(); });
  connect(filter_, &QLineEdit::textChanged, this, [this] { applyFilter(); });
  connect(all, &QPushButton::clicked, this, [this] { tickAll(true); });
  connect(none, &QPushButton::clicked, this, [this] { tickAll(false); });
  connect(invert, &QPushButton::clicked, this, [this] { invertTicks(); });
  connect(start_, &QPushButton::clicked, this, [this] { start(); });
  connect(cancel_, &QPushButton::clicked, this, [this] { cancelRun(); });
  connect(retry_, &QPushButton::clicked, this, [this] { retryFailed(); });
  connect(close, &QPushButton::clicked, this, &QWidget::close);
  connect(parallel_, &QSpinBox::valueChanged, this, [](int n) {
    QSettings settings(QString::fromStdString(programPath(kSettingsFile)), QSettings::IniFormat);
    settings.setValue(QStringLiteral("parallel"), n);
  });
  connect(table_, &QTableWidget::itemChanged, this, [this](QTableWidgetItem* item) {
    if (item->column() == kSite) ticksChanged(item->row());
  });

  fillRows();
  resize(1060, 560);
}

MultiPublishWindow::~MultiPublishWindow() {
  if (publisher_) publisher_->cancel();
  answerAllCaptchas();
  publisher_.reset();  // joins the workers before the rows go
}

void MultiPublishWindow::fillRows() {
  const std::vector<SiteRecord> sites = listSites();
  rows_.clear();
  rows_.resize(sites.size());
  QSignalBlocker block(table_);
  table_->setRowCount(static_cast<int>(sites.size()));
  for (size_t i = 0; i < sites.size(); ++i) {
    Row& r = rows_[i];
    r.site = sites[i];
    r.client = clients_.clientFor(sites[i]);
    const int row = static_cast<int>(i);
    auto* name = new QTableWidgetItem(toQ(r.site.webname));
    name->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
    name->setCheckState(Qt::Unchecked);
    table_->setItem(row, kSite, name);
    table_->setItem(row, kAddress, new QTableWidgetItem(toQ(r.site.weburl)));
    table_->setCellWidget(row, kCategory, new QComboBox);
    table_->setCellWidget(row, kAuthor, new QComboBox);
    table_->setItem(row, kStep, new QTableWidgetItem);
    table_->setItem(row, kTime, new QTableWidgetItem);
    table_->setItem(row, kLast, new QTableWidgetItem);
    auto* actions = new QWidget;
    auto* box = new QHBoxLayout(actions);
    box->setContentsMargins(2, 0, 2, 0);
    QPushButton* checkButton = button("按钮_检查", "检查");
    QPushButton* resendButton = button("按钮_重发", "重发");
    checkButton->setVisible(false);
    resendButton->setVisible(false);
    box->addWidget(checkButton);
    box->addWidget(resendButton);
    table_->setCellWidget(row, kAction, actions);
    connect(checkButton, &QPushButton::clicked, this, [this, row] { check(row); });
    connect(resendButton, &QPushButton::clicked, this, [this, row] { resend(row); });
    if (r.client->ready()) {
      // Logged in already (the main window's blog): said as for a row
      // logged in here.
      fillLists(row);
      RowState ready;
      ready.step = RowStep::Ready;
      table_->item(row, kStep)->setText(toQ(rowStepText(ready)));
    }
  }
  showLastOutcomes();
  updateCount();
}

void MultiPublishWindow::showLastOutcomes() {
  const PublishRecordRead record = PublishRecord().read();
  std::map<int, const PublishAttempt*> last;
  for (const PublishAttempt& a : record.attempts) last.emplace(a.siteId, &a);  // newest first: the first one stays
  for (size_t i = 0; i < rows_.size(); ++i) {
    const auto it = last.find(rows_[i].site.id);
    QString text;
    if (it != last.end()) {
      text = toQ(publishOutcomeText(it->second->outcome));
      if (!it->second->reason.empty()) table_->item(static_cast<int>(i), kLast)->setToolTip(toQ(it->second->reason));
    }
    table_->item(static_cast<int>(i), kLast)->setText(text);
  }
}

int MultiPublishWindow::rowOf(int siteId) const {
  for (size_t i = 0; i < rows_.size(); ++i)
    if (rows_[i].site.id == siteId) return static_cast<int>(i);
  return -1;
}

RowState MultiPublishWindow::rowState(int row) const { return rows_.at(static_cast<size_t>(row)).state; }
bool MultiPublishWindow::ticked(int row) const { return table_->item(row, kSite)->checkState() == Qt::Checked; }
void MultiPublishWindow::setTicked(int row, bool on) {
  table_->item(row, kSite)->setCheckState(on ? Qt::Checked : Qt::Unchecked);
}

int MultiPublishWindow::tickedCount() const {
  int n = 0;
  for (int row = 0; row < table_->rowCount(); ++row) n += ticked(row) ? 1 : 0;
  return n;
}

bool MultiPublishWindow::running() const {
  for (const Row& r : rows_)
    if (r.active) return true;
  return false;
}

void MultiPublishWindow::applyFilter() {
  const QString f = filter_->text().trimmed();
  for (int row = 0; row < table_->rowCount(); ++row) {
    const bool shown = f.isEmpty() || table_->item(row, kSite)->text().contains(f, Qt::CaseInsensitive) ||
                       table_->item(row, kAddress)->text().contains(f, Qt::CaseInsensitive);
    table_->setRowHidden(row, !shown);
  }
}

void MultiPublishWindow::updateCount() {
  count_->setText(q("已选 %1 个网站").arg(tickedCount()));
  start_->setEnabled(tickedCount() > 0 && !running());
  bool retryable = false;
  for (const Row& r : rows_) retryable |= r.state.retryable();
  retry_->setEnabled(retryable && !running());
  cancel_->setEnabled(running());
}

void MultiPublishWindow::tickAll(bool on) {
  for (int row = 0; row < table_->rowCount(); ++row)
    if (!table_->isRowHidden(row)) setTicked(row, on);
}

void MultiPublishWindow::invertTicks() {
  for (int row = 0; row < table_->rowCount(); ++row)
    if (!table_->isRowHidden(row)) setTicked(row, !ticked(row));
}

MultiPublisher& MultiPublishWindow::publisher() {
  if (!publisher_ || (publisherParallel_ != parallel_->value() && !publisher_->busy())) {
    publisher_.reset();
    std::vector<MultiTarget> targets;
    for (const Row& r : rows_) {
      MultiTarget t;
      t.client = r.client;
      t.account = {r.site.admin, r.site.pass};
      targets.push_back(std::move(t));
    }
    MultiHooks hooks;
    QPointer<MultiPublishWindow> self(this);
    hooks.progress = [self](size_t row, const RowState& state) {
      QMetaObject::invokeMethod(
          qApp,
          [self, row, state] {
            if (self) self->rowChanged(row, state);
          },
          Qt::QueuedConnection);
    };
    hooks.ask = [this](size_t row, const std::string& image, const std::function<std::string()>& another) {
      return askFromWorker(row, image, another);
    };
    publisherParallel_ = parallel_->value();
    publisher_ = std::make_unique<MultiPublisher>(std::move(targets), publisherParallel_, std::move(hooks),
                                                  programPath("temp/multipost"));
  }
  return *publisher_;
}

void MultiPublishWindow::ticksChanged(int row) {
  updateCount();
  Row& r = rows_[static_cast<size_t>(row)];
  // A ticked blog is logged in to at once, for its own categories and
  // authors (several at a time).
  if (!ticked(row) || r.client->ready() || r.active) return;
  r.active = true;
  r.clock.start();
  r.elapsedMs = -1;
  publisher().prepare({static_cast<size_t>(row)});
  clock_->start();
}

void MultiPublishWindow::fillLists(int row) {
  Row& r = rows_[static_cast<size_t>(row)];
  if (r.listsShown || !r.client->ready()) return;
  const EditPage lists = r.client->lists();
  auto* category = qobject_cast<QComboBox*>(table_->cellWidget(row, kCategory));
  auto* author = qobject_cast<QComboBox*>(table_->cellWidget(row, kAuthor));
  category->clear();
  author->clear();
  // The category of the same name as the article's, else the blog's first.
  const QString wanted = form_ ? toQ(form_->categoryName()) : QString();
  for (const PageOption& o : lists.categories) {
    category->addItem(shownOptionName(o.name), o.value);
    if (!wanted.isEmpty() && category->itemText(category->count() - 1) == wanted)
      category->setCurrentIndex(category->count() - 1);
  }
  for (const PageOption& o : lists.authors) {
    author->addItem(shownOptionName(o.name), o.value);
    if (o.selected) author->setCurrentIndex(author->count() - 1);
  }
  r.listsShown = true;
}

void MultiPublishWindow::rowChanged(size_t index, const RowState& state) {
  if (index >= rows_.size()) return;
  Row& r = rows_[index];
  const int row = static_cast<int>(index);
  r.state = state;
  table_->item(row, kStep)->setText(toQ(rowStepText(state)));
  table_->item(row, kStep)->setToolTip(toQ(rowStepText(state)));
  if (state.step != RowStep::Waiting && !r.clock.isValid()) r.clock.start();
  if (state.finished()) {
    r.active = false;
    if (r.clock.isValid()) r.elapsedMs = r.clock.elapsed();
  }
  if (state.step == RowStep::Ready || state.step == RowStep::Posting) fillLists(row);
  // A blog that cannot be logged in to stays unticked until the user ticks
  // it again.
  if ((state.step == RowStep::Failed || state.step == RowStep::Cancelled) && !state.sent && !r.client->ready()) {
    QSignalBlocker block(table_);
    setTicked(row, false);
  }
  auto* actions = table_->cellWidget(row, kAction);
  const bool unclear = state.step == RowStep::Unclear || (state.step == RowStep::Cancelled && state.sent);
  actions->findChild<QPushButton*>(q("按钮_检查"))->setVisible(unclear);
  actions->findChild<QPushButton*>(q("按钮_重发"))->setVisible(unclear);
  // The bar counts the rows of this run that are done.
  int done = 0;
  for (size_t i : runRows_) done += rows_[i].state.finished() && rows_[i].state.step != RowStep::Ready ? 1 : 0;
  progress_->setValue(done);
  tick();
  if (!running()) {
    clock_->stop();
    showLastOutcomes();
    const std::string recordError = publisher_ ? publisher_->takeRecordError() : std::string();
    if (!recordError.empty()) {
      // After this change is handled: the notice waits for its own close.
      QTimer::singleShot(0, this,
                         [this, recordError] { ShowToast(this, fromUtf8("发布记录无法写入：") + recordError, 2.6); });
    }
  }
  updateCount();
}

void MultiPublishWindow::tick() {
  for (size_t i = 0; i < rows_.size(); ++i) {
    const Row& r = rows_[i];
    qint64 ms = r.elapsedMs;
    if (r.active && r.clock.isValid()) ms = r.clock.elapsed();
    table_->item(static_cast<int>(i), kTime)
        ->setText(ms < 0 ? QString() : q("%1 秒").arg(ms / 1000.0, 0, 'f', ms < 10000 ? 2 : 1));
  }
}

void MultiPublishWindow::publishRows(const std::vector<size_t>& rows) {
  if (rows.empty() || !form_) return;
  // The article as it is at the click; typing on in the main window changes
  // nothing of this run.
  const Article fields = form_->fields();
  if (const ArticleProblem problem = checkArticle(fields)) {
    ShowToast(this, problem.text, 2.0);
    return;
  }
  MultiArticle article;
  article.fields = fields;
  const std::optional<std::string> body = form_->bodyWithin(kEditorAnswerMs);
  if (!body) {  // never an empty body the user did not write
    ShowToast(this, editorSilentNotice(), 2.0);
    return;
  }
  article.body = *body;
  article.editorRoot = form_->editorRoot();
  MultiPublisher& p = publisher();
  const std::string categoryName = form_->categoryName();
  for (size_t index : rows) {
    Row& r = rows_[index];
    const int row = static_cast<int>(index);
    auto* category = qobject_cast<QComboBox*>(table_->cellWidget(row, kCategory));
    auto* author = qobject_cast<QComboBox*>(table_->cellWidget(row, kAuthor));
    p.choose(index, category->currentIndex() < 0 ? std::string() : fromQ(category->currentData().toString()),
             author->currentIndex() < 0 ? std::string() : fromQ(author->currentData().toString()), categoryName);
    r.active = true;
    r.sentTitle = fields.title;
    r.clock.invalidate();
    r.elapsedMs = -1;
    r.state = {};
  }
  runRows_ = rows;
  progress_->setFormat(q("%v / %m 个网站"));
  progress_->setRange(0, static_cast<int>(rows.size()));
  progress_->setValue(0);
  p.publish(rows, article);
  clock_->start();
  updateCount();
}

void MultiPublishWindow::start() {
  if (running()) return;
  std::vector<size_t> rows;
  for (int row = 0; row < table_->rowCount(); ++row)
    if (ticked(row)) rows.push_back(static_cast<size_t>(row));
  publishRows(rows);
}

void MultiPublishWindow::retryFailed() {
  if (running()) return;
  std::vector<size_t> rows;
  for (size_t i = 0; i < rows_.size(); ++i)
    if (rows_[i].state.retryable()) rows.push_back(i);
  publishRows(rows);
}

void MultiPublishWindow::resend(int row) {
  if (running()) return;
  publishRows({static_cast<size_t>(row)});
}

void MultiPublishWindow::cancelRun() {
  if (!publisher_) return;
  publisher_->cancel();
  answerAllCaptchas();
  updateCount();
}

void MultiPublishWindow::check(int row) {
  Row& r = rows_[static_cast<size_t>(row)];
  if (!form_) return;
  const std::string title = r.sentTitle.empty() ? form_->title() : r.sentTitle;
  std::shared_ptr<BlogClient> client = r.client;
  ArrivalCheck found;
  table_->item(row, kStep)->setText(q("正在检查…"));
  QApplication::setOverrideCursor(Qt::WaitCursor);
  runOffWindowThread([&] {
    (void)client->withSession([&](std::string& cookie) {
      found = checkArrival(client->address(), cookie, title);
      return found.outcome == ListOutcome::NeedsLogin;
    });
  });
  QApplication::restoreOverrideCursor();
  switch (found.arrival) {
    case Arrival::Arrived:
      r.state.step = RowStep::Succeeded;
      r.state.sent = true;
      table_->item(row, kStep)->setText(q("成功（已在博客上找到这篇文章）"));
      table_->cellWidget(row, kAction)->findChild<QPushButton*>(q("按钮_检查"))->setVisible(false);
      updateCount();
      break;
    case Arrival::NotThere:
      table_->item(row, kStep)->setText(q("博客上没有找到这篇文章，可以重发"));
      break;
    case Arrival::Unknown:
      table_->item(row, kStep)->setText(q("检查失败：") + toQ(listFailureText(found.outcome, found.reason)));
      break;
  }
  // A resend only where the article is not on the blog.
  table_->cellWidget(row, kAction)
      ->findChild<QPushButton*>(q("按钮_重发"))
      ->setVisible(found.arrival != Arrival::Arrived);
}

std::optional<std::string> MultiPublishWindow::askFromWorker(size_t row, const std::string& image,
                                                             const std::function<std::string()>& another) {
  auto request = std::make_shared<CaptchaRequest>();
  request->row = row;
  request->image = image;
  request->another = another;
  std::future<std::optional<std::string>> answer = request->answer.get_future();
  QPointer<MultiPublishWindow> self(this);
  QMetaObject::invokeMethod(
      qApp,
      [self, request] {
        if (!self) return request->settle(std::nullopt);
        self->captchas_.push_back(request);
        self->askNextCaptcha();
      },
      Qt::QueuedConnection);
  // The other blogs go on meanwhile. A cancelled run gives up a request
  // that is not on screen yet; one on screen is ended by the window.
  while (answer.wait_for(std::chrono::milliseconds(50)) != std::future_status::ready) {
    if (!exchangeCancelled()) continue;
    std::lock_guard<std::mutex> lock(request->mutex);
    if (request->state == CaptchaRequest::Queued) {
      request->state = CaptchaRequest::Abandoned;
      return std::nullopt;
    }
  }
  return answer.get();
}

void MultiPublishWindow::askNextCaptcha() {
  if (askingCaptcha_) return;  // one dialog at a time; the others wait their turn
  askingCaptcha_ = true;
  while (!captchas_.empty()) {
    std::shared_ptr<CaptchaRequest> request = captchas_.front();
    captchas_.pop_front();
    if (!request->take()) continue;
    const std::string name = rows_[request->row].site.webname;
    request->settle(askCaptchaCode(this, request->image, request->another, name));
  }
  askingCaptcha_ = false;
}

void MultiPublishWindow::answerAllCaptchas() {
  for (const std::shared_ptr<CaptchaRequest>& request : captchas_) request->settle(std::nullopt);
  captchas_.clear();
  // The dialog on screen ends as 取消.
  if (auto* dialog = findChild<QDialog*>(q(unitname::kCaptchaDialog))) dialog->reject();
}

void MultiPublishWindow::closeEvent(QCloseEvent* event) {
  if (running()) {
    QMessageBox ask(QMessageBox::Question, q("多站发布"), q("还有网站正在发布，关闭窗口会取消发布。确定关闭？"),
                    QMessageBox::Ok | QMessageBox::Cancel, this);
    ask.setDefaultButton(QMessageBox::Cancel);
    if (runModal(ask) != QMessageBox::Ok) {
      event->ignore();
      return;
    }
    cancelRun();
  }
  QDialog::closeEvent(event);
}

MultiPublishWindow* showMultiPublish(BlogClients& clients, ArticleForm& form, QWidget* parent) {
  QPointer<MultiPublishWindow>& window = openWindow();
  if (!window) window = new MultiPublishWindow(clients, form, parent);
  window->show();
  window->raise();
  window->activateWindow();
  return window;
}

}  // namespace inkpost
