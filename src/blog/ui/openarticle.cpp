#include "blog/ui/openarticle.h"

#include "blog/articlecheck.h"
#include "blog/ui/articleform.h"
#include "blog/ui/login.h"
#include "blog/ui/pageguard.h"
#include "blog/ui/publish.h"
#include "common/ui/gbk.h"
#include "common/ui/modal.h"
#include "common/ui/toast.h"
#include "common/ui/unitnames.h"
#include "common/ui/wait.h"
#include "net/encoding.h"

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <climits>

namespace inkpost {
namespace {

constexpr int kIdRole = Qt::UserRole;

// Rows this close to the list's end start the next page.
constexpr int kReadAheadRows = 10;

void named(QWidget* w, const char* unitName) { w->setObjectName(QString::fromUtf8(unitName)); }

// Keeps a shown row chosen: the first one when the chosen row is hidden or
// none is.
void keepAChoice(QTreeWidget* list) {
  const QList<QTreeWidgetItem*> chosen = list->selectedItems();
  if (!chosen.isEmpty() && !chosen.front()->isHidden()) return;
  list->clearSelection();
  for (int i = 0; i < list->topLevelItemCount(); ++i) {
    if (!list->topLevelItem(i)->isHidden()) {
      list->setCurrentItem(list->topLevelItem(i));
      return;
    }
  }
}

}  // namespace

const std::string& openBusyText() {
  static const std::string text = fromUtf8("正在打开文章…");
  return text;
}

std::string editingText(const std::string& gbkTitle) { return fromUtf8("修改：") + gbkTitle; }

ArticleListDialog::ArticleListDialog(QWidget* parent, std::shared_ptr<BlogClient> client, LoginHooks renewal,
                                     std::function<void()> renewed)
    : QDialog(parent), client_(std::move(client)), renewal_(std::move(renewal)), renewed_(std::move(renewed)) {
  named(this, unitname::kArticleListDialog);
  setWindowTitle(QStringLiteral("打开博客文章 - %1").arg(toQ(client_->site().webname)));
  setModal(true);
  resize(640, 460);

  search_ = new QLineEdit(this);
  named(search_, unitname::kArticleSearch);
  search_->setPlaceholderText(QStringLiteral("按标题查找"));
  search_->setClearButtonEnabled(true);
  auto* searchRow = new QHBoxLayout;
  searchRow->addWidget(new QLabel(QStringLiteral("标题："), this));
  searchRow->addWidget(search_, 1);

  list_ = new QTreeWidget(this);
  named(list_, unitname::kArticleList);
  list_->setColumnCount(3);
  list_->setHeaderLabels({QStringLiteral("标题"), QStringLiteral("分类"), QStringLiteral("日期")});
  list_->setRootIsDecorated(false);
  list_->setUniformRowHeights(true);
  list_->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);  // readMoreIfRoom counts pixels
  list_->setAllColumnsShowFocus(true);
  list_->setSelectionMode(QAbstractItemView::SingleSelection);
  list_->header()->setStretchLastSection(false);
  list_->header()->setSectionResizeMode(0, QHeaderView::Stretch);
  list_->header()->setSectionResizeMode(1, QHeaderView::Interactive);
  list_->header()->setSectionResizeMode(2, QHeaderView::Interactive);
  list_->setColumnWidth(1, 110);
  list_->setColumnWidth(2, 140);

  state_ = new QLabel(this);
  named(state_, unitname::kArticleListState);
  state_->setWordWrap(true);
  retry_ = new QPushButton(QStringLiteral("重试"), this);
  named(retry_, unitname::kRetryButton);
  retry_->setAutoDefault(false);
  retry_->hide();
  auto* stateRow = new QHBoxLayout;
  stateRow->addWidget(state_, 1);
  stateRow->addWidget(retry_);

  auto* buttons = new QDialogButtonBox(this);
  open_ = buttons->addButton(QStringLiteral("打开"), QDialogButtonBox::AcceptRole);
  named(open_, unitname::kOpenButton);
  open_->setEnabled(false);
  open_->setDefault(true);
  buttons->addButton(QStringLiteral("取消"), QDialogButtonBox::RejectRole);

  auto* rows = new QVBoxLayout(this);
  rows->addLayout(searchRow);
  rows->addWidget(list_, 1);
  rows->addLayout(stateRow);
  rows->addWidget(buttons);

  connect(buttons, &QDialogButtonBox::accepted, this, &ArticleListDialog::choose);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(list_, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem*, int) { choose(); });
  connect(list_, &QTreeWidget::itemSelectionChanged, this,
          [this] { open_->setEnabled(!list_->selectedItems().isEmpty()); });
  connect(list_->verticalScrollBar(), &QScrollBar::valueChanged, this, [this] { readMoreIfRoom(); });
  connect(list_->verticalScrollBar(), &QScrollBar::rangeChanged, this, [this] { readMoreIfRoom(); });
  connect(search_, &QLineEdit::textChanged, this, [this] { filter(); });
  connect(retry_, &QPushButton::clicked, this, [this] {
    failure_.clear();
    readMore();
  });

  readMore();
}

ArticleListDialog::~ArticleListDialog() {
  closing_ = true;
  endReading();
}

int ArticleListDialog::listed() const { return list_->topLevelItemCount(); }

// Sets the stop and lets the read end: its exchange gives up within a
// second. The window thread keeps serving meanwhile, since a renewal login
// may be waiting on it (a notice, the captcha dialog).
void ArticleListDialog::endReading() {
  stop_ = true;
  if (!worker_.joinable()) return;
  waitUntil([this] { return workerEnded_.load(); }, INT_MAX, 20);
  worker_.join();
  // Its answer, when still queued, is taken now (a renewal it reports must
  // reach the window).
  QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
}

void ArticleListDialog::done(int result) {
  closing_ = true;
  endReading();
  QDialog::done(result);
}

void ArticleListDialog::readMore() {
  if (reading_ || closing_ || walk_.done() || !failure_.empty()) return;
  reading_ = true;
  retry_->hide();
  if (worker_.joinable()) worker_.join();  // the last read has ended: its answer came
  const int page = walk_.nextPage();
  showState();
  workerEnded_ = false;
  worker_ = std::thread([this, client = client_, hooks = renewal_, page] {
    ListReport report = client->readArticleList(page, hooks, &stop_);
    // Queued to the dialog: dropped when the dialog is gone by then.
    QMetaObject::invokeMethod(
        this, [this, report = std::move(report)] { pageRead(report); }, Qt::QueuedConnection);
    workerEnded_ = true;
  });
}

void ArticleListDialog::pageRead(const ListReport& report) {
  reading_ = false;
  if (report.session.renewed && renewed_) renewed_();
  if (closing_) return;
  if (report.session.expiredAgain) {
    failure_ = sessionExpiredNotice();
  } else if (report.page.outcome != ListOutcome::Done) {
    failure_ = listFailureText(report.page.outcome, report.page.reason);
  } else {
    const QString wanted = search_->text().trimmed();
    for (const ArticleEntry& e : walk_.add(report.page.entries)) {
      auto* item = new QTreeWidgetItem({toQ(e.title), toQ(e.category), toQ(e.date)});
      item->setData(0, kIdRole, e.id);
      item->setToolTip(0, item->text(0));
      list_->addTopLevelItem(item);
      if (!wanted.isEmpty()) item->setHidden(!item->text(0).contains(wanted, Qt::CaseInsensitive));
    }
    keepAChoice(list_);
  }
  retry_->setVisible(!failure_.empty());
  showState();
  list_->doItemsLayout();  // the scroll range of the rows just added
  readMoreIfRoom();
}

// The next page when the list does not fill its view yet, or is scrolled
// near its end.
void ArticleListDialog::readMoreIfRoom() {
  if (!list_->isVisible()) return;  // see showEvent
  const QScrollBar* bar = list_->verticalScrollBar();
  const int rowHeight = std::max(1, list_->sizeHintForRow(0));
  if (bar->maximum() == 0 || bar->maximum() - bar->value() <= kReadAheadRows * rowHeight) readMore();
}

void ArticleListDialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  // Once the layout has given the list its size.
  QTimer::singleShot(0, this, [this] {
    list_->doItemsLayout();
    readMoreIfRoom();
  });
}

void ArticleListDialog::filter() {
  const QString wanted = search_->text().trimmed();
  for (int i = 0; i < list_->topLevelItemCount(); ++i) {
    QTreeWidgetItem* item = list_->topLevelItem(i);
    item->setHidden(!wanted.isEmpty() && !item->text(0).contains(wanted, Qt::CaseInsensitive));
  }
  keepAChoice(list_);
  showState();
  list_->doItemsLayout();
  readMoreIfRoom();
}

void ArticleListDialog::showState() {
  const int n = list_->topLevelItemCount();
  QString text;
  if (!failure_.empty())
    text = n > 0 ? QStringLiteral("已读取 %1 篇。%2").arg(n).arg(toQ(failure_)) : toQ(failure_);
  else if (reading_)
    text = n > 0 ? QStringLiteral("已读取 %1 篇，正在读取更多…").arg(n) : QStringLiteral("正在读取文章列表…");
  else if (walk_.done() && n == 0)
    text = QStringLiteral("博客上还没有文章");
  else if (walk_.capped())
    text = QStringLiteral("已读取最新的 %1 篇（列表太长，更早的没有读取）").arg(n);
  else if (walk_.done())
    text = QStringLiteral("共 %1 篇文章").arg(n);
  else
    text = QStringLiteral("已读取 %1 篇，向下滚动读取更多").arg(n);
  const QString wanted = search_->text().trimmed();
  if (!wanted.isEmpty()) {
    int shown = 0;
    for (int i = 0; i < n; ++i) shown += list_->topLevelItem(i)->isHidden() ? 0 : 1;
    text = QStringLiteral("标题含“%1”的：%2 篇。").arg(wanted).arg(shown) + text;
  }
  state_->setText(text);
}

void ArticleListDialog::choose() {
  const QList<QTreeWidgetItem*> chosen = list_->selectedItems();
  if (chosen.isEmpty() || chosen.front()->isHidden()) return;
  chosenId_ = chosen.front()->data(0, kIdRole).toInt();
  accept();
}

void OpenBlogArticle(CurrentBlog& blog, ArticleForm& form, const ReplaceArticle& replace) {
  static bool opening = false;
  ReentryGuard once(opening);
  if (!once.entered()) return;
  QWidget* window = &blog.window();
  const std::shared_ptr<BlogClient> client = blog.client();
  if (!client || !blog.ready()) {
    ShowToast(window, chooseSiteNotice(), kLoginProblemSeconds);
    return;
  }
  const LoginHooks renewal = blog.renewalHooks();
  QPointer<CurrentBlog> current(&blog);
  int id = 0;
  {
    ArticleListDialog dialog(window, client, renewal, [current] {
      if (current) current->sessionRenewed();
    });
    if (runModal(dialog) != QDialog::Accepted || dialog.chosenId() <= 0) return;
    id = dialog.chosenId();
  }

  OpenReport report;
  {
    BusyScope busy(blog.status(), openBusyText());
    runOffWindowThread([&] { report = client->openArticle(id, renewal); });
  }
  if (report.session.renewed) blog.sessionRenewed();
  if (report.session.expiredAgain) {
    ShowToast(window, sessionExpiredNotice(), kLoginProblemSeconds);
    return;
  }
  if (report.result.outcome != OpenOutcome::Opened) {
    // The form keeps what it holds.
    ShowToast(window, openFailureText(report.result), kOpenProblemSeconds);
    return;
  }
  Article article = report.result.opened.article;
  article.id = id;
  article.site = client->address();
  // An intro of its own stays; one made from the body follows the body.
  const std::string& intro = report.result.opened.intro;
  if (intro != makeIntro(article.body)) article.intro = intro;
  // The images of its body are the blog's: the editor page may show them.
  allowBlogAddress(client->address());
  if (!replace(article)) return;
  // A category or author the blog no longer has is not replaced silently.
  const ArticleProblem problem = checkArticle(form.fields());
  if (problem.field == ArticleProblem::Category || problem.field == ArticleProblem::Author) {
    ShowToast(window, problem.text, kOpenProblemSeconds);
    form.focusField(problem.field);
  }
}

void ShowEditingMode(QWidget& window, StatusLine status, const ArticleForm& form) {
  const QString program = QString::fromUtf8(unitname::kMainWindowTitle);
  if (form.editingId() <= 0) {
    window.setWindowTitle(program);
    status.setMode({});
    return;
  }
  const QString mode = toQ(editingText(form.title()));
  window.setWindowTitle(mode + QStringLiteral(" - ") + program);
  status.setMode(mode);
}

}  // namespace inkpost
