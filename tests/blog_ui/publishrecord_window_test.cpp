// The 发布记录 window on a record in a temporary folder: rows newest first,
// the two filters, a reread, and damaged lines named.
#include "blog/ui/publishrecordwindow.h"
#include "net/encoding.h"
#include "support/guiwait.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>
#include <QComboBox>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTableView>

namespace inkpost {
namespace {

PublishAttempt attempt(const char* title, const char* name, const char* address, PublishOutcome outcome,
                       const char* reason = "") {
  PublishAttempt a;
  a.siteName = fromUtf8(name);
  a.siteAddress = address;
  a.title = fromUtf8(title);
  a.step = outcome == PublishOutcome::Succeeded ? PublishStep::Done : PublishStep::Login;
  a.outcome = outcome;
  a.reason = fromUtf8(reason);
  return a;
}

QStringList row(const QTableView* table, int r) {
  QStringList out;
  for (int c = 0; c < table->model()->columnCount(); ++c) out << table->model()->index(r, c).data().toString();
  return out;
}

QStringList column(const QTableView* table, int c) {
  QStringList out;
  for (int r = 0; r < table->model()->rowCount(); ++r) out << table->model()->index(r, c).data().toString();
  return out;
}

TEST(PublishRecordWindow, ListsTheRecordNewestFirstAndFiltersBySiteAndOutcome) {
  test::TempDir dir;
  const std::string path = dir.file("publish-record.txt");
  PublishRecord record(path);
  PublishAttempt first = attempt("第一篇", "甲博客", "http://a.test/", PublishOutcome::Succeeded);
  first.timeMs = QDateTime(QDate(2024, 5, 1), QTime(14, 3, 22)).toMSecsSinceEpoch();
  ASSERT_TRUE(record.append(first));
  ASSERT_TRUE(record.append(attempt("第二篇", "乙博客", "http://b.test/", PublishOutcome::Failed, "无法连接到博客")));
  ASSERT_TRUE(record.append(attempt("第三篇", "甲博客", "http://A.test/", PublishOutcome::Unclear, "没有回答")));

  PublishRecordWindow* w = showPublishRecord(nullptr, path);
  ASSERT_NE(w, nullptr);
  ASSERT_TRUE(test::waitUntil([&] { return w->isVisible(); }));
  EXPECT_EQ(w->windowTitle(), QStringLiteral("发布记录"));
  auto* table = w->findChild<QTableView*>(QStringLiteral("表格_发布记录"));
  auto* sites = w->findChild<QComboBox*>(QStringLiteral("组合框_网站筛选"));
  auto* outcomes = w->findChild<QComboBox*>(QStringLiteral("组合框_结果筛选"));
  auto* count = w->findChild<QLabel*>(QStringLiteral("标签_记录数"));
  ASSERT_TRUE(table && sites && outcomes && count);

  QStringList headers;
  for (int c = 0; c < 6; ++c) headers << table->model()->headerData(c, Qt::Horizontal).toString();
  EXPECT_EQ(headers, QStringList({"时间", "网站", "标题", "步骤", "结果", "原因"}));
  ASSERT_EQ(table->model()->rowCount(), 3);
  EXPECT_EQ(row(table, 0).mid(1), QStringList({"甲博客", "第三篇", "登录", "结果不明", "没有回答"}));
  EXPECT_EQ(row(table, 1).mid(1), QStringList({"乙博客", "第二篇", "登录", "失败", "无法连接到博客"}));
  EXPECT_EQ(row(table, 2), QStringList({"2024-05-01 14:03:22", "甲博客", "第一篇", "完成", "成功", ""}));
  EXPECT_EQ(count->text(), QStringLiteral("共 3 条记录"));

  // One entry a site (hosts without case), the most recent first.
  ASSERT_EQ(sites->count(), 3);
  EXPECT_EQ(sites->itemText(0), QStringLiteral("全部网站"));
  EXPECT_EQ(sites->itemText(1), QStringLiteral("甲博客（http://A.test/）"));
  EXPECT_EQ(sites->itemText(2), QStringLiteral("乙博客（http://b.test/）"));
  sites->setCurrentIndex(1);
  EXPECT_EQ(column(table, 2), QStringList({"第三篇", "第一篇"}));
  EXPECT_EQ(count->text(), QStringLiteral("显示 2 条，共 3 条记录"));
  outcomes->setCurrentIndex(outcomes->findText(QStringLiteral("成功")));
  EXPECT_EQ(column(table, 2), QStringList({"第一篇"}));
  sites->setCurrentIndex(0);
  outcomes->setCurrentIndex(outcomes->findText(QStringLiteral("已取消")));
  EXPECT_EQ(table->model()->rowCount(), 0);
  outcomes->setCurrentIndex(0);

  // A new attempt and a damaged line show after 刷新; the site filter stays.
  sites->setCurrentIndex(2);
  ASSERT_TRUE(record.append(attempt("第四篇", "乙博客", "http://b.test/", PublishOutcome::Cancelled)));
  test::writeFile(path, test::readFile(path) + "damaged line\n");
  w->findChild<QPushButton*>(QStringLiteral("按钮_刷新"))->click();
  EXPECT_EQ(sites->currentText(), QStringLiteral("乙博客（http://b.test/）"));
  EXPECT_EQ(column(table, 2), QStringList({"第四篇", "第二篇"}));
  EXPECT_EQ(count->text(), QStringLiteral("显示 2 条，共 4 条记录；1 行记录已损坏，没有显示"));

  // Opened again from the menu: the same window, read again.
  EXPECT_EQ(showPublishRecord(nullptr, path), w);
  QPointer<PublishRecordWindow> guard(w);
  w->close();
  EXPECT_TRUE(test::waitUntil([&] { return guard.isNull(); }));  // it deletes itself
}

TEST(PublishRecordWindow, AnEmptyRecordSaysWhatWillBeThere) {
  test::TempDir dir;
  PublishRecordWindow w(nullptr, dir.file("publish-record.txt"));
  EXPECT_EQ(w.table->model()->rowCount(), 0);
  EXPECT_EQ(w.countLabel->text(),
            QStringLiteral("还没有发布记录。每次发布，无论发到一个网站还是多个网站，都会记在这里。"));
  EXPECT_EQ(w.siteFilter->count(), 1);
}

}  // namespace
}  // namespace inkpost
