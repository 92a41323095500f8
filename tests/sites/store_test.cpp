#include "sitedb.h"

#include "net/encoding.h"
#include "sites/statements.h"

#include <gtest/gtest.h>

using namespace inkpost;
using namespace inkpost::test;

namespace {

// GBK: 测试 and characters whose second byte is "[", "|", "]" or "*".
const std::string kGbkTest = "\xb2\xe2\xca\xd4";
const std::string kTrailBracket = "\x81\x5b";
const std::string kTrailBar = "\x81\x7c";
const std::string kTrailClose = "\x81\x5d";

int rowCount() { return static_cast<int>(listSites().size()); }

}  // namespace

// A missing file is now created (store_guard_test.cpp); a file that cannot
// be created still fails with the first message.
TEST(SiteStoreOpen, UncreatableFileFailsWithFirstMessage) {
  TempDir dir;
  EXPECT_EQ(OpenSiteStore(dir.file("no-such-folder/data.mdb")), SiteStoreOpen::ConnectFailed);
  EXPECT_FALSE(fileExists(dir.file("no-such-folder/data.mdb")));
  EXPECT_FALSE(siteStoreIsOpen());
  EXPECT_EQ(siteStoreOpenMessage(SiteStoreOpen::ConnectFailed), fromUtf8("连接数据库失败_ON.1！"));
  EXPECT_EQ(siteStoreOpenMessage(SiteStoreOpen::TableFailed), fromUtf8("连接数据库失败_ON.2！"));
  EXPECT_EQ(siteStoreOpenMessage(SiteStoreOpen::Ok), "");
}

TEST(SiteStoreOpen, WrongKeyPlainFileAndGarbageFailToConnect) {
  TempDir dir;
  ASSERT_TRUE(rawExec(dir.file("other.mdb"), "another key", {"create table web(ID integer primary key)"}));
  EXPECT_EQ(OpenSiteStore(dir.file("other.mdb")), SiteStoreOpen::ConnectFailed);
  ASSERT_TRUE(rawExec(dir.file("plain.mdb"), "", {"create table web(ID integer primary key)"}));
  EXPECT_EQ(OpenSiteStore(dir.file("plain.mdb")), SiteStoreOpen::ConnectFailed);
  writeFile(dir.file("junk.mdb"), std::string(4096, 'x'));
  EXPECT_EQ(OpenSiteStore(dir.file("junk.mdb")), SiteStoreOpen::ConnectFailed);
  EXPECT_EQ(readFile(dir.file("junk.mdb")), std::string(4096, 'x'));  // left as it was
  EXPECT_FALSE(siteStoreIsOpen());
}

TEST(SiteStoreOpen, KeyedFileWithoutTableFailsWithSecondMessage) {
  TempDir dir;
  ASSERT_TRUE(rawExec(dir.file("data.mdb"), kSiteStorePassword, {"create table other(x)"}));
  EXPECT_EQ(OpenSiteStore(dir.file("data.mdb")), SiteStoreOpen::TableFailed);
  EXPECT_FALSE(siteStoreIsOpen());
}

TEST(SiteStoreOpen, ClosedStoreRefusesEverything) {
  CloseSiteStore();
  EXPECT_TRUE(listSites().empty());
  EXPECT_FALSE(FindSite("ID=1"));
  EXPECT_FALSE(ExecuteSiteStatement(sql::insertSite(site("a", "http://a/"))));
  EXPECT_EQ(upgradeSiteStore(), SiteUpgrade::Failed);
}

TEST(SiteStatements, AreWordForWord) {
  SiteRecord r = site("n", "http://u/", "a", "p");
  r.bdname = "bn";
  r.bdpass = "bp";
  EXPECT_EQ(sql::insertSite(r),
            "insert into web(webname,weburl,admin,pass,ikname,imgname,bdname,bdpass) "
            "values('n','http://u/','a','p','0','0','bn','bp')");
  EXPECT_EQ(sql::updateSite(r, 7),
            "Update web set webname='n',weburl='http://u/',admin='a',pass='p',bdname='bn',bdpass='bp' where ID=7");
  EXPECT_EQ(sql::deleteSites({3, 5, 9}), "delete from web where ID =3 or ID =5 or ID =9");
  EXPECT_EQ(sql::deleteSites({}), "delete from web where ");
  EXPECT_EQ(sql::storeFlag(SiteFlag::AutoAlias, true, 4), "update web set ikname='1' where ID=4");
  EXPECT_EQ(sql::storeFlag(SiteFlag::AutoAlias, false, 4), "update web set ikname='0' where ID=4");
  EXPECT_EQ(sql::storeFlag(SiteFlag::AutoName, true, -1), "update web set imgname='1' where ID=-1");
  EXPECT_EQ(sql::storeFlag(SiteFlag::AutoName, false, 12), "update web set imgname='0' where ID=12");
  EXPECT_EQ(sql::addColumn("bdname"), "alter table web add bdname varchar(50)");
  EXPECT_EQ(sql::addColumn("bdpass"), "alter table web add bdpass varchar(50)");
  EXPECT_EQ(sql::byId(42), "ID=42");
  EXPECT_EQ(sql::byAddress("http://x/"), "weburl='http://x/'");
  EXPECT_EQ(sql::byAddress("http://o'x/"), "weburl='http://o''x/'");
  EXPECT_EQ(sql::quoted("''"), "''''");
}

TEST(SiteStore, InsertUpdateDeleteOnARealFile) {
  OpenStore store;
  ASSERT_TRUE(store.ok());
  EXPECT_EQ(rowCount(), 0);
  SiteRecord a = site("A", "http://a.example/", "root", "pw");
  a.bdname = "bd";
  ASSERT_TRUE(ExecuteSiteStatement(sql::insertSite(a)));
  ASSERT_TRUE(ExecuteSiteStatement(sql::insertSite(site("B", "http://b.example/"))));
  ASSERT_TRUE(ExecuteSiteStatement(sql::insertSite(site("C", "http://c.example/"))));
  std::vector<SiteRecord> rows = listSites();
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0].webname, "A");
  EXPECT_EQ(rows[0].bdname, "bd");
  EXPECT_FALSE(rows[0].ikname);
  EXPECT_FALSE(rows[0].imgname);
  EXPECT_LT(rows[0].id, rows[1].id);  // IDs assigned by the database, table order kept

  SiteRecord changed = site("B2", "http://b2.example/", "u2", "p2");
  changed.bdpass = "bp";
  ASSERT_TRUE(ExecuteSiteStatement(sql::updateSite(changed, rows[1].id)));
  auto b = FindSite(sql::byId(rows[1].id));
  ASSERT_TRUE(b);
  EXPECT_EQ(b->webname, "B2");
  EXPECT_EQ(b->weburl, "http://b2.example/");
  EXPECT_EQ(b->admin, "u2");
  EXPECT_EQ(b->pass, "p2");
  EXPECT_EQ(b->bdpass, "bp");

  ASSERT_TRUE(ExecuteSiteStatement(sql::deleteSites({rows[0].id, rows[2].id})));
  rows = listSites();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].webname, "B2");

  // Deleting nothing is a malformed statement: failure, nothing changes.
  EXPECT_FALSE(ExecuteSiteStatement(sql::deleteSites({})));
  EXPECT_EQ(rowCount(), 1);

  // A deleted ID is never handed out again.
  ASSERT_TRUE(ExecuteSiteStatement(sql::insertSite(site("D", "http://d.example/"))));
  EXPECT_GT(listSites().back().id, rows[0].id);
}

TEST(SiteStore, QuotesInEveryFieldAreStoredAsTyped) {
  OpenStore store;
  ASSERT_TRUE(store.ok());
  SiteRecord r = site("it's", "http://o'neil/", "a'dmin", "p'); drop table web; --");
  r.bdname = "'";
  r.bdpass = "''";
  ASSERT_TRUE(ExecuteSiteStatement(sql::insertSite(r)));
  auto found = FindSite(sql::byAddress("http://o'neil/"));
  ASSERT_TRUE(found);
  r.id = found->id;
  EXPECT_EQ(*found, r);

  SiteRecord u = site("x'y", "http://'/", "'", "'or'1'='1");
  u.bdname = "b'n";
  ASSERT_TRUE(ExecuteSiteStatement(sql::updateSite(u, found->id)));
  u.id = found->id;
  EXPECT_EQ(*FindSite(sql::byId(found->id)), u);
  EXPECT_EQ(rowCount(), 1);
}

TEST(SiteStore, GbkTextComesBackByteExact) {
  OpenStore store;
  ASSERT_TRUE(store.ok());
  SiteRecord r =
      site(kGbkTest + kTrailBracket, "http://" + kGbkTest + "/", kTrailBar + kTrailClose, kGbkTest + "\x80\xfe\xfe");
  r.bdname = kGbkTest;
  r.bdpass = "\xa1\xa1";
  ASSERT_TRUE(ExecuteSiteStatement(sql::insertSite(r)));
  std::vector<SiteRecord> rows = listSites();
  ASSERT_EQ(rows.size(), 1u);
  r.id = rows[0].id;
  EXPECT_EQ(rows[0], r);
  EXPECT_TRUE(FindSite(sql::byAddress("http://" + kGbkTest + "/")));
}

TEST(SiteStore, FindSiteByIdAndByAddress) {
  OpenStore store;
  ASSERT_TRUE(store.ok());
  ASSERT_TRUE(ExecuteSiteStatement(sql::insertSite(site("A", "http://a/"))));
  ASSERT_TRUE(ExecuteSiteStatement(sql::insertSite(site("B", "http://b/"))));
  const int idB = listSites()[1].id;
  auto byId = FindSite(sql::byId(idB));
  ASSERT_TRUE(byId);
  EXPECT_EQ(byId->webname, "B");
  auto byUrl = FindSite(sql::byAddress("http://a/"));
  ASSERT_TRUE(byUrl);
  EXPECT_EQ(byUrl->webname, "A");
  EXPECT_FALSE(FindSite(sql::byAddress("http://a")));  // the whole address
  EXPECT_FALSE(FindSite(sql::byAddress("http://a/x/")));
  EXPECT_FALSE(FindSite(sql::byId(-1)));
  EXPECT_FALSE(FindSite(sql::byId(idB + 100)));
  EXPECT_FALSE(FindSite("weburl='"));  // malformed criterion: nothing found
}

TEST(SiteStore, FlagsStoreAndNoSiteChangesNothing) {
  OpenStore store;
  ASSERT_TRUE(store.ok());
  ASSERT_TRUE(ExecuteSiteStatement(sql::insertSite(site("A", "http://a/"))));
  ASSERT_TRUE(ExecuteSiteStatement(sql::insertSite(site("B", "http://b/"))));
  const int id = listSites()[0].id;
  EXPECT_TRUE(StoreSiteFlag(SiteFlag::AutoAlias, true, id));
  EXPECT_TRUE(StoreSiteFlag(SiteFlag::AutoName, true, id));
  auto a = FindSite(sql::byId(id));
  EXPECT_TRUE(a->ikname);
  EXPECT_TRUE(a->imgname);
  StoreSiteFlag(SiteFlag::AutoName, false, id);
  EXPECT_FALSE(FindSite(sql::byId(id))->imgname);
  EXPECT_TRUE(FindSite(sql::byId(id))->ikname);

  const std::vector<SiteRecord> before = listSites();
  StoreSiteFlag(SiteFlag::AutoAlias, true, -1);
  StoreSiteFlag(SiteFlag::AutoName, true, -1);
  EXPECT_EQ(listSites(), before);
}

TEST(SiteStore, OnlyOneStatementRuns) {
  OpenStore store;
  ASSERT_TRUE(store.ok());
  ASSERT_TRUE(ExecuteSiteStatement(sql::insertSite(site("A", "http://a/"))));
  EXPECT_FALSE(ExecuteSiteStatement("delete from web; delete from web"));
  EXPECT_FALSE(ExecuteSiteStatement(""));
  EXPECT_FALSE(ExecuteSiteStatement("not sql at all"));
  EXPECT_EQ(rowCount(), 1);
  EXPECT_TRUE(ExecuteSiteStatement("update web set pass='x' where ID=1   \n"));
}

TEST(SiteStore, RowsThatOlderVersionsLeftEmptyReadAsEmpty) {
  TempDir dir;
  ASSERT_TRUE(rawExec(dir.file("data.mdb"), kSiteStorePassword,
                      {"create table web(ID INTEGER PRIMARY KEY AUTOINCREMENT, webname text, weburl text, admin "
                       "text, pass text, ikname text, imgname text, bdname varchar(50), bdpass varchar(50))",
                       "insert into web(webname,weburl) values('old','http://old/')",
                       "insert into web(webname,weburl,ikname,imgname) values('x','http://x/','yes','1 ')"}));
  ASSERT_EQ(OpenSiteStore(dir.file("data.mdb")), SiteStoreOpen::Ok);
  auto rows = listSites();
  CloseSiteStore();
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].admin, "");
  EXPECT_EQ(rows[0].bdpass, "");
  EXPECT_FALSE(rows[0].ikname);
  EXPECT_FALSE(rows[1].ikname);  // only "1" counts as set
  EXPECT_FALSE(rows[1].imgname);
}
