#include "sitedb.h"

#include "sites/statements.h"

#include <gtest/gtest.h>

using namespace inkpost;
using namespace inkpost::test;

namespace {

const char* kSevenColumns =
    "create table web(ID INTEGER PRIMARY KEY AUTOINCREMENT, webname text, weburl text, admin text, pass text, "
    "ikname text, imgname text)";

class UpgradeTest : public ::testing::Test {
 protected:
  void TearDown() override { CloseSiteStore(); }
  bool open(const std::vector<std::string>& statements) {
    return rawExec(dir.file("data.mdb"), kSiteStorePassword, statements) &&
           OpenSiteStore(dir.file("data.mdb")) == SiteStoreOpen::Ok;
  }
  TempDir dir;
};

const std::vector<std::string> kAll = {"ID",     "webname", "weburl", "admin", "pass",
                                       "ikname", "imgname", "bdname", "bdpass"};

}  // namespace

TEST_F(UpgradeTest, SevenColumnTableGainsBothColumnsAndKeepsItsRows) {
  ASSERT_TRUE(
      open({kSevenColumns,
            "insert into web(webname,weburl,admin,pass,ikname,imgname) values('a','http://a/','u','p','1','0')"}));
  // The old table serves the chooser before the upgrade.
  ASSERT_EQ(listSites().size(), 1u);
  EXPECT_TRUE(listSites()[0].ikname);
  EXPECT_EQ(upgradeSiteStore(), SiteUpgrade::Upgraded);
  EXPECT_EQ(siteColumns(), kAll);
  auto rows = listSites();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].webname, "a");
  EXPECT_EQ(rows[0].bdname, "");  // existing rows get no value
  // The insert of the dialogs works on the upgraded table.
  EXPECT_TRUE(ExecuteSiteStatement(sql::insertSite(site("b", "http://b/"))));
}

TEST_F(UpgradeTest, TableWithBdnameOnlyGainsBdpass) {
  ASSERT_TRUE(open({kSevenColumns, "alter table web add bdname varchar(50)"}));
  EXPECT_EQ(upgradeSiteStore(), SiteUpgrade::Upgraded);
  EXPECT_EQ(siteColumns(), kAll);
}

TEST_F(UpgradeTest, CurrentTableIsReportedAndUnchanged) {
  ASSERT_TRUE(createSiteDatabase(dir.file("data.mdb")));
  ASSERT_EQ(OpenSiteStore(dir.file("data.mdb")), SiteStoreOpen::Ok);
  ASSERT_TRUE(ExecuteSiteStatement(sql::insertSite(site("a", "http://a/"))));
  auto before = listSites();
  EXPECT_EQ(upgradeSiteStore(), SiteUpgrade::Current);
  EXPECT_EQ(siteColumns(), kAll);
  EXPECT_EQ(listSites(), before);
}

TEST_F(UpgradeTest, ColumnNamesCompareCaseSensitively) {
  // "BDNAME" is not "bdname"; the add then fails (the database's names are
  // case-blind), which is reported, and bdpass is still added.
  ASSERT_TRUE(open({kSevenColumns, "alter table web add BDNAME varchar(50)"}));
  EXPECT_EQ(upgradeSiteStore(), SiteUpgrade::Failed);
  auto cols = siteColumns();
  EXPECT_EQ(cols.back(), "bdpass");
}
