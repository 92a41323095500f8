// The build tool that makes data.mdb, run as the build runs it.
#include "sitedb.h"

#include "net/encoding.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

using namespace inkpost;
using namespace inkpost::test;

namespace {

int mkdb(const std::string& args) {
  std::string cmd = std::string(INKPOST_MKDB_EXE) + " " + args + " 2>/dev/null";
  int rc = std::system(cmd.c_str());
  return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

std::vector<SiteRecord> sitesIn(const std::string& path) {
  if (OpenSiteStore(path) != SiteStoreOpen::Ok) return {};
  auto rows = listSites();
  CloseSiteStore();
  return rows;
}

}  // namespace

TEST(MakeDatabase, CreatesAnEmptyKeyedTableWithNineColumns) {
  TempDir dir;
  const std::string path = dir.file("data.mdb");
  ASSERT_EQ(mkdb("'" + path + "'"), 0);
  ASSERT_EQ(OpenSiteStore(path), SiteStoreOpen::Ok);
  EXPECT_EQ(siteColumns(), (std::vector<std::string>{"ID", "webname", "weburl", "admin", "pass", "ikname", "imgname",
                                                     "bdname", "bdpass"}));
  EXPECT_TRUE(listSites().empty());
  CloseSiteStore();
  // Keyed: the file does not read without the password.
  EXPECT_FALSE(rawExec(path, "", {"select * from web"}));
  EXPECT_EQ(readFile(path).find("SQLite format"), std::string::npos);
}

TEST(MakeDatabase, NeverOverwritesAFileThatHoldsSites) {
  TempDir dir;
  const std::string path = dir.file("data.mdb");
  ASSERT_TRUE(createSiteDatabase(path));
  ASSERT_TRUE(addOrUpdateSite(path, site("mine", "http://mine/")));
  const std::string bytes = readFile(path);
  EXPECT_EQ(mkdb("'" + path + "'"), 0);
  EXPECT_EQ(readFile(path), bytes);
  EXPECT_EQ(sitesIn(path).size(), 1u);

  // A file it cannot open is reported and left alone.
  writeFile(dir.file("junk.mdb"), "not a database");
  EXPECT_NE(mkdb("'" + dir.file("junk.mdb") + "'"), 0);
  EXPECT_EQ(readFile(dir.file("junk.mdb")), "not a database");
  EXPECT_NE(mkdb(""), 0);

  // Another keyed database with tables of its own is not touched either.
  ASSERT_TRUE(rawExec(dir.file("other.mdb"), kSiteStorePassword, {"create table notes(x)"}));
  EXPECT_NE(mkdb("'" + dir.file("other.mdb") + "'"), 0);
  EXPECT_FALSE(rawExec(dir.file("other.mdb"), kSiteStorePassword, {"select * from web"}));
}

TEST(MakeDatabase, AnEmptyFileGetsTheTable) {
  TempDir dir;
  writeFile(dir.file("data.mdb"), "");
  ASSERT_EQ(mkdb("'" + dir.file("data.mdb") + "'"), 0);
  ASSERT_EQ(OpenSiteStore(dir.file("data.mdb")), SiteStoreOpen::Ok);
  EXPECT_EQ(siteColumns().size(), 9u);
  CloseSiteStore();
}

TEST(MakeDatabase, AddSiteAddsOnceAndFollowsAMovingAddress) {
  TempDir dir;
  const std::string path = "'" + dir.file("data.mdb") + "'";
  ASSERT_EQ(mkdb(path + " --add-site 沙盒博客 http://127.0.0.1:4001/ admin admin"), 0);
  ASSERT_EQ(mkdb(path + " --add-site 沙盒博客 http://127.0.0.1:4001/ admin admin"), 0);
  auto rows = sitesIn(dir.file("data.mdb"));
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].webname, fromUtf8("沙盒博客"));
  EXPECT_EQ(rows[0].weburl, "http://127.0.0.1:4001/");

  ASSERT_EQ(mkdb(path + " --add-site 沙盒博客 http://127.0.0.1:4002/ admin 'it'\\''s'"), 0);
  rows = sitesIn(dir.file("data.mdb"));
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].weburl, "http://127.0.0.1:4002/");
  EXPECT_EQ(rows[0].pass, "it's");

  ASSERT_EQ(mkdb(path + " --add-site other http://127.0.0.1:4003/ a b"), 0);
  EXPECT_EQ(sitesIn(dir.file("data.mdb")).size(), 2u);
}
