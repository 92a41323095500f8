#include "../sites/sitedb.h"
#include "support/modalanswers.h"

#include "common/programdir.h"
#include "common/ui/gbk.h"
#include "sites/sitestore.h"
#include "sites/statements.h"
#include "sites/ui/sitechooser.h"
#include "sites/ui/sitemenu.h"

#include <gtest/gtest.h>
#include <QComboBox>
#include <QSignalSpy>

using namespace inkpost;
using namespace inkpost::test;

TEST(SiteChooser, FillsInTableOrderShowingNamesAndKeepsTheChoiceWithoutASignal) {
  OpenStore store;
  ASSERT_TRUE(store.ok());
  QComboBox chooser;
  QSignalSpy changed(&chooser, &QComboBox::currentIndexChanged);
  FillSiteChooser(&chooser);
  EXPECT_EQ(chooser.count(), 0);

  for (const char* n : {"b", "a", "c"})
    ASSERT_TRUE(ExecuteSiteStatement(sql::insertSite(site(n, std::string("http://") + n + "/"))));
  FillSiteChooser(&chooser);
  ASSERT_EQ(chooser.count(), 3);
  EXPECT_EQ(chooser.currentIndex(), -1);
  // The name shows; the entry text with address and password stays inside.
  EXPECT_EQ(chooser.itemText(0), QString("b"));
  EXPECT_EQ(chooser.itemData(0, kSiteEntryRole).toString(),
            QString("b") + QString(50, ' ') + "\thttp://b/[admin|secret]0*0");
  EXPECT_EQ(chooser.itemData(0).toInt(), listSites()[0].id);  // item value: ID
  EXPECT_EQ(chooserSiteId(&chooser), -1);

  chooser.setCurrentIndex(2);
  changed.clear();
  FillSiteChooser(&chooser);
  EXPECT_EQ(chooser.currentIndex(), 2);  // the chosen site stays chosen, quietly
  EXPECT_EQ(changed.count(), 0);

  // The chosen site deleted: nothing chosen, and the change is told.
  ASSERT_TRUE(removeSites({listSites()[2].id}));
  FillSiteChooser(&chooser);
  EXPECT_EQ(chooser.currentIndex(), -1);
  ASSERT_EQ(changed.count(), 1);
  EXPECT_EQ(changed[0][0].toInt(), -1);
}

TEST(SiteChooser, ValuesLeaveExactlyAsStoredWhateverTheyHold) {
  OpenStore store;
  ASSERT_TRUE(store.ok());
  const std::string m = "[|]*\t'";
  SiteRecord r = site("n" + m, "http://x" + m + "/", "a" + m, "p" + m);
  ASSERT_TRUE(ExecuteSiteStatement(sql::insertSite(r)));
  ASSERT_TRUE(StoreSiteFlag(SiteFlag::AutoName, true, listSites()[0].id));
  QComboBox chooser;
  FillSiteChooser(&chooser);
  chooser.setCurrentIndex(0);
  ChooserValues v = chooserEntryValues(&chooser);
  EXPECT_EQ(v.weburl, r.weburl);
  EXPECT_EQ(v.admin, r.admin);
  EXPECT_EQ(v.pass, r.pass);
  EXPECT_EQ(v.ikname, "0");
  EXPECT_EQ(v.imgname, "1");
  auto kept = chooserSite(&chooser);
  ASSERT_TRUE(kept);
  EXPECT_EQ(kept->webname, r.webname);
  EXPECT_EQ(chooserEntryValues(&chooser, 5), ChooserValues{});
}

TEST(SiteChooser, EntriesWithoutARecordAreReadFromTheirText) {
  QComboBox chooser;
  chooser.addItem(QString("x") + QString(50, ' ') + "\thttp://t/[u|p]1*0", 9);
  EXPECT_EQ(chooserEntryValues(&chooser, 0), (ChooserValues{"http://t/", "u", "p", "1", "0"}));
  EXPECT_EQ(chooserSiteId(&chooser, 0), 9);
}

TEST(SiteChooser, FlagClicksStoreForTheSelectedSiteOnly) {
  OpenStore store;
  ASSERT_TRUE(store.ok());
  ASSERT_TRUE(ExecuteSiteStatement(sql::insertSite(site("a", "http://a/"))));
  ASSERT_TRUE(ExecuteSiteStatement(sql::insertSite(site("b", "http://b/"))));
  QComboBox chooser;
  FillSiteChooser(&chooser);
  const auto before = listSites();
  StoreSiteFlag(&chooser, SiteFlag::AutoAlias, true);  // nothing selected
  StoreSiteFlag(&chooser, SiteFlag::AutoName, true);
  EXPECT_EQ(listSites(), before);

  chooser.setCurrentIndex(1);
  StoreSiteFlag(&chooser, SiteFlag::AutoAlias, true);
  auto rows = listSites();
  EXPECT_TRUE(rows[1].ikname);
  EXPECT_FALSE(rows[1].imgname);
  EXPECT_FALSE(rows[0].ikname);
  // The entry follows the table, so picking the site again shows the new state.
  EXPECT_EQ(chooserEntryValues(&chooser).ikname, "1");
  EXPECT_TRUE(chooser.itemData(1, kSiteEntryRole).toString().endsWith("]1*0"));
  StoreSiteFlag(&chooser, SiteFlag::AutoAlias, false);
  EXPECT_FALSE(listSites()[1].ikname);
  EXPECT_EQ(chooserEntryValues(&chooser).ikname, "0");
}

TEST(SiteStoreStartUp, FailuresAreShownInAMessageBox) {
  TempDir dir;
  const std::string saved = programDir();
  setProgramDir(dir.path());
  {
    // A missing file is made (this used to fail with "连接数据库失败_ON.1！").
    ModalAnswers answer;
    EXPECT_TRUE(openSiteStoreReporting(nullptr));
    ASSERT_EQ(answer.boxes.size(), 1);
    EXPECT_EQ(answer.boxes[0].title, QStringLiteral("提示"));
    EXPECT_TRUE(answer.boxes[0].text.startsWith(QStringLiteral("没有找到网站数据库")));
    EXPECT_EQ(answer.boxes[0].buttons, QMessageBox::Ok);
    EXPECT_TRUE(fileExists(dir.file("data.mdb")));
  }
  std::remove(dir.file("data.mdb").c_str());
  {
    ASSERT_TRUE(rawExec(dir.file("data.mdb"), "another key", {"create table web(x)"}));
    ModalAnswers answer;
    EXPECT_FALSE(openSiteStoreReporting(nullptr));
    ASSERT_EQ(answer.boxes.size(), 1);
    EXPECT_EQ(answer.boxes[0].text, QStringLiteral("连接数据库失败_ON.1！"));
  }
  std::remove(dir.file("data.mdb").c_str());
  {
    ASSERT_TRUE(rawExec(dir.file("data.mdb"), kSiteStorePassword, {"create table other(x)"}));
    ModalAnswers answer;
    EXPECT_FALSE(openSiteStoreReporting(nullptr));
    ASSERT_EQ(answer.boxes.size(), 1);
    EXPECT_EQ(answer.boxes[0].text, QStringLiteral("连接数据库失败_ON.2！"));
  }
  std::remove(dir.file("data.mdb").c_str());
  ASSERT_TRUE(createSiteDatabase(dir.file("data.mdb")));
  {
    ModalAnswers answer;
    EXPECT_TRUE(openSiteStoreReporting(nullptr));
    EXPECT_TRUE(answer.boxes.isEmpty());
  }
  CloseSiteStore();
  setProgramDir(saved);
}
