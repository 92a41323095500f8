#include "blog/ui/publishrecordwindow.h"

#include "common/ui/gbk.h"
#include "common/ui/unit.h"
#include "sites/siteaddress.h"

#include <QAbstractTableModel>
#include <QBrush>
#include <QComboBox>
#include <QDateTime>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

#include <set>

namespace inkpost {

class PublishRecordModel : public QAbstractTableModel {
 public:
  using QAbstractTableModel::QAbstractTableModel;

  void setAttempts(std::vector<PublishAttempt> attempts) {
    beginResetModel();
    rows_ = std::move(attempts);
    endResetModel();
  }

  int rowCount(const QModelIndex& parent = {}) const override {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
  }
  int columnCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : 6; }

  QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
    static const char* names[] = {"时间", "网站", "标题", "步骤", "结果", "原因"};
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= 6) return {};
    return QString::fromUtf8(names[section]);
  }

  QVariant data(const QModelIndex& index, int role) const override {
    if (!index.isValid() || index.row() >= static_cast<int>(rows_.size())) return {};
    const PublishAttempt& a = rows_[static_cast<size_t>(index.row())];
    if (role == Qt::DisplayRole) return text(a, index.column());
    if (role == Qt::ToolTipRole) {
      if (index.column() == 1) return toQ(a.siteAddress);
      if (index.column() == 2 || index.column() == 5) return text(a, index.column());
    }
    if (role == Qt::ForegroundRole && index.column() == 4) {
      if (a.outcome == PublishOutcome::Failed) return QBrush(QColor(0xc0, 0x20, 0x20));
      if (a.outcome == PublishOutcome::Unclear) return QBrush(QColor(0xb0, 0x60, 0x00));
    }
    return {};
  }

 private:
  static QString text(const PublishAttempt& a, int column) {
    switch (column) {
      case 0:
        return QDateTime::fromMSecsSinceEpoch(a.timeMs).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
      case 1:
        return toQ(a.siteName);
      case 2:
        // One line in the table; the whole title in the tip.
        return toQ(a.title).replace(QLatin1Char('\n'), QLatin1Char(' ')).remove(QLatin1Char('\r'));
      case 3:
        return toQ(publishStepText(a.step));
      case 4:
        return toQ(publishOutcomeText(a.outcome));
      case 5:
        return toQ(a.reason);
    }
    return {};
  }

  std::vector<PublishAttempt> rows_;
};

PublishRecordWindow::PublishRecordWindow(QWidget* parent, const std::string& path)
    : QDialog(parent), record_(path), model_(new PublishRecordModel(this)) {
  setObjectName(QStringLiteral("发布记录"));
  setWindowTitle(QStringLiteral("发布记录"));
  setWindowFlag(Qt::WindowMaximizeButtonHint);

  siteFilter = unit<QComboBox>("组合框_网站筛选");
  siteFilter->setSizeAdjustPolicy(QComboBox::AdjustToContents);
  siteFilter->setMinimumContentsLength(16);
  outcomeFilter = unit<QComboBox>("组合框_结果筛选");
  outcomeFilter->addItem(QStringLiteral("全部结果"), -1);
  for (PublishOutcome o :
       {PublishOutcome::Succeeded, PublishOutcome::Failed, PublishOutcome::Unclear, PublishOutcome::Cancelled})
    outcomeFilter->addItem(toQ(publishOutcomeText(o)), static_cast<int>(o));
  reloadButton = unit<QPushButton>("按钮_刷新");
  reloadButton->setText(QStringLiteral("刷新"));
  reloadButton->setAutoDefault(false);

  table = unit<QTableView>("表格_发布记录");
  table->setModel(model_);
  table->setSelectionBehavior(QAbstractItemView::SelectRows);
  table->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table->setWordWrap(false);
  table->verticalHeader()->hide();
  table->verticalHeader()->setDefaultSectionSize(table->fontMetrics().height() + 8);
  table->horizontalHeader()->setStretchLastSection(true);
  table->horizontalHeader()->setHighlightSections(false);
  const int widths[] = {150, 120, 260, 80, 70};
  for (int c = 0; c < 5; ++c) table->setColumnWidth(c, widths[c]);
  countLabel = unit<QLabel>("标签_记录数");
  countLabel->setWordWrap(true);

  auto* filters = new QHBoxLayout;
  auto* siteLabel = new QLabel(QStringLiteral("网站："));
  auto* outcomeLabel = new QLabel(QStringLiteral("结果："));
  siteLabel->setBuddy(siteFilter);
  outcomeLabel->setBuddy(outcomeFilter);
  filters->addWidget(siteLabel);
  filters->addWidget(siteFilter);
  filters->addSpacing(12);
  filters->addWidget(outcomeLabel);
  filters->addWidget(outcomeFilter);
  filters->addStretch(1);
  filters->addWidget(reloadButton);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(filters);
  layout->addWidget(table, 1);
  layout->addWidget(countLabel);
  resize(960, 520);

  connect(siteFilter, &QComboBox::currentIndexChanged, this, [this] { applyFilters(); });
  connect(outcomeFilter, &QComboBox::currentIndexChanged, this, [this] { applyFilters(); });
  connect(reloadButton, &QPushButton::clicked, this, [this] { reload(); });
  reload();
}

void PublishRecordWindow::reload() {
  all_ = record_.read();
  fillSiteFilter();
  applyFilters();
}

// "全部网站", then each site of the record once (hosts without case), by
// its newest name, most recently used first; the chosen one stays chosen.
void PublishRecordWindow::fillSiteFilter() {
  const QString chosen = siteFilter->currentData().toString();
  QSignalBlocker block(siteFilter);
  siteFilter->clear();
  siteFilter->addItem(QStringLiteral("全部网站"), QString());
  std::set<std::string> seen;
  for (const PublishAttempt& a : all_.attempts) {
    if (!seen.insert(siteAddressKey(a.siteAddress)).second) continue;
    const QString address = toQ(a.siteAddress);
    siteFilter->addItem(QStringLiteral("%1（%2）").arg(toQ(a.siteName), address), address);
  }
  int keep = 0;
  if (!chosen.isEmpty()) {
    for (int i = 1; i < siteFilter->count(); ++i)
      if (sameSiteAddress(fromQ(siteFilter->itemData(i).toString()), fromQ(chosen))) keep = i;
  }
  siteFilter->setCurrentIndex(keep);
}

void PublishRecordWindow::applyFilters() {
  PublishRecordFilter filter;
  if (siteFilter->currentIndex() > 0) filter.siteAddress = fromQ(siteFilter->currentData().toString());
  if (const int o = outcomeFilter->currentData().toInt(); o >= 0) filter.outcome = static_cast<PublishOutcome>(o);
  std::vector<PublishAttempt> shown;
  for (const PublishAttempt& a : all_.attempts)
    if (passesFilter(filter, a)) shown.push_back(a);
  const size_t count = shown.size();
  model_->setAttempts(std::move(shown));

  QString text;
  if (!all_.error.empty())
    text = QStringLiteral("无法读取发布记录（%1）：%2").arg(toQ(all_.error), QString::fromStdString(record_.path()));
  else if (all_.attempts.empty() && all_.damaged == 0)
    text = QStringLiteral("还没有发布记录。每次发布，无论发到一个网站还是多个网站，都会记在这里。");
  else if (count == all_.attempts.size())
    text = QStringLiteral("共 %1 条记录").arg(count);
  else
    text = QStringLiteral("显示 %1 条，共 %2 条记录").arg(count).arg(all_.attempts.size());
  if (all_.damaged > 0) text += QStringLiteral("；%1 行记录已损坏，没有显示").arg(all_.damaged);
  countLabel->setText(text);
}

PublishRecordWindow* showPublishRecord(QWidget* parent, const std::string& path) {
  static QPointer<PublishRecordWindow> open;
  if (open && open->parentWidget() == parent && open->path() == path) {
    open->reload();
  } else {
    if (open) open->close();
    open = new PublishRecordWindow(parent, path);
    open->setAttribute(Qt::WA_DeleteOnClose);
  }
  open->show();
  open->raise();
  open->activateWindow();
  return open;
}

}  // namespace inkpost
