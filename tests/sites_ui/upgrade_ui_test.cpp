#include "../sites/sitedb.h"
#include "support/modalanswers.h"

#include "sites/ui/sitemenu.h"

#include <gtest/gtest.h>

using namespace inkpost;
using namespace inkpost::test;

namespace {

class UpgradeCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(rawExec(dir.file("data.mdb"), kSiteStorePassword,
                        {"create table web(ID INTEGER PRIMARY KEY AUTOINCREMENT, webname text, weburl text, "
                         "admin text, pass text, ikname text, imgname text)"}));
    ASSERT_EQ(OpenSiteStore(dir.file("data.mdb")), SiteStoreOpen::Ok);
  }
  void TearDown() override { CloseSiteStore(); }
  TempDir dir;
};

}  // namespace

TEST_F(UpgradeCommand, CancelChangesNothing) {
  ModalAnswers answer(QMessageBox::Cancel);
  runDatabaseUpgrade(nullptr);
  ASSERT_EQ(answer.boxes.size(), 1);
  EXPECT_EQ(answer.boxes[0].title, QStringLiteral("data.mdb 升级"));
  EXPECT_EQ(answer.boxes[0].text, QStringLiteral("升级前请先备份原有数据库文件，是否立即升级？"));
  EXPECT_EQ(answer.boxes[0].buttons, QMessageBox::Ok | QMessageBox::Cancel);
  EXPECT_EQ(siteColumns().size(), 7u);
}

TEST_F(UpgradeCommand, UpgradesThenReportsTheTableCurrent) {
  {
    ModalAnswers answer(QMessageBox::Ok);
    runDatabaseUpgrade(nullptr);
    ASSERT_EQ(answer.boxes.size(), 2);
    EXPECT_EQ(answer.boxes[1].title, QStringLiteral("信息："));
    EXPECT_EQ(answer.boxes[1].text, QStringLiteral("升级成功！"));
  }
  EXPECT_EQ(siteColumns().size(), 9u);
  {
    ModalAnswers answer(QMessageBox::Ok);
    runDatabaseUpgrade(nullptr);
    ASSERT_EQ(answer.boxes.size(), 2);
    EXPECT_EQ(answer.boxes[1].text, QStringLiteral("数据库结构已为最新！"));
  }
  EXPECT_EQ(siteColumns().size(), 9u);
}

TEST_F(UpgradeCommand, AClosedStoreReportsFailure) {
  CloseSiteStore();
  ModalAnswers answer(QMessageBox::Ok);
  runDatabaseUpgrade(nullptr);
  ASSERT_EQ(answer.boxes.size(), 2);
  EXPECT_EQ(answer.boxes[1].text, QStringLiteral("升级失败！"));
}
