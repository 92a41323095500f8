// Site lists in and out as CSV: what is imported, what is skipped and why,
// the round trip, and files that are not site lists at all.
#include "sites/sitecsv.h"
#include "net/encoding.h"
#include "sites/secrets.h"
#include "sites/siteaddress.h"
#include "sites/sitedb.h"
#include "sites/siteimport.h"
#include "sites/sitestore.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

namespace inkpost::test {
namespace {

std::string g(const char* utf8) { return fromUtf8(utf8); }

std::string row(int i) {
  return "Blog " + std::to_string(i) + ",http://blog" + std::to_string(i) + ".test/,admin,pw" + std::to_string(i) +
         "\n";
}

class SiteCsvImport : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(store.ok()); }
  OpenStore store;
};

TEST_F(SiteCsvImport, TwoHundredRowsWithFiveBadAndThreeDuplicatesImport192AndNameTheEightSkipped) {
  ASSERT_TRUE(saveNewSite(site("already", "http://Listed.Test/")));
  std::string csv = "name,address,account,password\n";  // line 1
  for (int i = 0; i < 200; ++i) {                       // row i is on line i + 2
    switch (i) {
      case 10:
        csv += "No scheme,blog10.test/,admin,pw\n";
        break;
      case 20:
        csv += "No slash,http://blog20.test,admin,pw\n";
        break;
      case 30:
        csv += ",http://blog30.test/,admin,pw\n";
        break;
      case 40:
        csv += "No password,http://blog40.test/,admin,\n";
        break;
      case 50:
        csv += "Capital scheme,HTTP://blog50.test/,admin,pw\n";
        break;
      case 60:
        csv += "In the store,http://listed.test/,admin,pw\n";
        break;
      case 70:
        csv += "Twice,http://BLOG5.test/,admin,pw\n";
        break;
      case 80:
        csv += "Twice again,http://blog6.test/,admin,pw\n";
        break;
      default:
        csv += row(i);
    }
  }
  const SiteImport r = importSiteCsv(csv, "sites.csv");
  ASSERT_EQ(r.refusal, "");
  EXPECT_EQ(r.imported, 192);
  EXPECT_EQ(listSites().size(), 193u);
  ASSERT_EQ(r.skipped.size(), 8u);
  EXPECT_EQ(r.duplicates(), 3);
  EXPECT_EQ(siteImportSummary(r), g("已导入 192 个网站，跳过 8 行：3 行的网站地址已在列表中，5 行内容有误。"));
  const std::vector<std::string> details = siteImportDetails(r);
  EXPECT_EQ(details[0], g("第 12 行：网站地址必需以 http:// 或 https:// 开头（blog10.test/）"));
  EXPECT_EQ(details[1], g("第 22 行：网站地址必需以 / 结尾（http://blog20.test）"));
  EXPECT_EQ(details[2], g("第 32 行：网站名称为空"));
  EXPECT_EQ(details[3], g("第 42 行：密码为空"));
  EXPECT_EQ(details[4], g("第 52 行：网站地址必需以 http:// 或 https:// 开头（HTTP://blog50.test/）"));
  EXPECT_EQ(details[5], g("第 62 行：网站地址已在网站列表中（http://listed.test/）"));
  EXPECT_EQ(details[6], g("第 72 行：与第 7 行的网站地址相同（http://BLOG5.test/）"));
  EXPECT_EQ(details[7], g("第 82 行：与第 8 行的网站地址相同（http://blog6.test/）"));
  // The path is part of the address: another folder on a listed host is another blog.
  EXPECT_EQ(importSiteCsv("name,address,account,password\nB,http://listed.test/B/,a,p\n", "x").imported, 1);
}

TEST_F(SiteCsvImport, HeaderByNameInAnyOrderAndQuotedFieldsOverSeveralLines) {
  const std::string csv =
      "\xEF\xBB\xBF"
      "密码 , 备注,帐号,百度帐号,网站地址：,网站名称,百度密码\r\n"
      "\"p,w\"\"1\",note,admin,bd,https://a.test/,\"博客\r\n第二行\",bdpw\r\n"
      "\r\n"
      "pw2,,root,,http://b.test/,B,\r\n";
  const SiteImport r = importSiteCsv(csv, "x");
  ASSERT_EQ(r.refusal, "");
  EXPECT_EQ(r.imported, 2);
  EXPECT_TRUE(r.skipped.empty());
  EXPECT_EQ(r.ignoredColumns, std::vector<std::string>{g("备注")});
  EXPECT_EQ(siteImportSummary(r), g("已导入 2 个网站。\n以下各列不认识，没有导入：备注。"));
  const std::vector<SiteRecord> sites = listSites();
  ASSERT_EQ(sites.size(), 2u);
  EXPECT_EQ(sites[0].webname, g("博客\r\n第二行"));
  EXPECT_EQ(sites[0].weburl, "https://a.test/");
  EXPECT_EQ(sites[0].admin, "admin");
  EXPECT_EQ(sites[0].pass, "p,w\"1");
  EXPECT_EQ(sites[0].bdname, "bd");
  EXPECT_EQ(sites[0].bdpass, "bdpw");
  EXPECT_EQ(sites[1].webname, "B");
  EXPECT_EQ(sites[1].bdpass, "");

  // Lines are counted in the file, a quoted line break included.
  const SiteCsv bad = readSiteCsv("Name,URL,User,Pass\n\"a\nb\",http://c.test/,u,\n\"x\"y,http://d.test/,u,p\n");
  ASSERT_EQ(bad.skipped.size(), 2u);
  EXPECT_EQ(bad.skipped[0].line, 2);
  EXPECT_EQ(bad.skipped[0].reason, g("密码为空"));
  EXPECT_EQ(bad.skipped[1].line, 4);
  EXPECT_EQ(bad.skipped[1].reason, g("引号后面还有字符（值里的双引号要写成两个）"));
}

TEST_F(SiteCsvImport, RowsThatCannotBeStoredAsTypedAreSkippedWithTheirReason) {
  const SiteCsv csv = readSiteCsv(
      "name,address,account,password\n"
      "Emoji \xF0\x9F\x98\x80,http://e.test/,admin,pw\n"
      "Comma,http://f.test/,admin,pw,extra,more\n"
      "Trailing commas,http://g.test/,admin,pw,,\n"
      ",,,\n"
      "Empty three,,,\n");
  ASSERT_EQ(csv.error, SiteCsvError::None);
  ASSERT_EQ(csv.rows.size(), 1u);
  EXPECT_EQ(csv.rows[0].line, 4);
  ASSERT_EQ(csv.skipped.size(), 3u);
  EXPECT_EQ(csv.skipped[0].reason, g("网站名称里有本程序无法保存的字符（U+1F600）"));
  EXPECT_EQ(csv.skipped[1].reason, g("比标题行多出 2 个值（值里有逗号时要用双引号把整个值括起来）"));
  EXPECT_EQ(csv.skipped[2].line, 6);
  EXPECT_EQ(csv.skipped[2].reason, g("网站地址、帐号、密码为空"));
}

TEST_F(SiteCsvImport, BrokenFilesSayWhyAndChangeNothing) {
  ASSERT_TRUE(saveNewSite(site("kept", "http://kept.test/")));
  const std::string header = "name,address,account,password\n";
  std::string many = header;
  for (size_t i = 0; i <= kSiteCsvMaxRows; ++i) many += row(static_cast<int>(i));
  struct Case {
    std::string bytes;
    const char* notice;
  } cases[] = {
      {"", "文件“f.csv”是空的。没有导入任何网站。"},
      {"\xEF\xBB\xBF \r\n\r\n", "文件“f.csv”是空的。没有导入任何网站。"},
      {header + g("博客,http://a.test/,admin,pw\n"),
       "文件“f.csv”不是 UTF-8 编码（第 2 行有无法识别的字节）。没有导入任何网站。请在表格程序中另存为“CSV "
       "UTF-8”格式后再导入。"},
      {std::string("\xFF\xFEn\0a\0", 6),
       "文件“f.csv”不是 UTF-8 编码（第 1 行有无法识别的字节）。没有导入任何网站。请在表格程序中另存为“CSV "
       "UTF-8”格式后再导入。"},
      {header + std::string("a,http://a.test/,ad\0min,pw\n", 27),
       "文件“f.csv”的第 2 行有空字符，不是文本文件。没有导入任何网站。"},
      {"A,http://a.test/,admin,pw\n",
       "文件“f.csv”的第一行不是标题行。没有导入任何网站。第一行要写明各列：网站名称、网站地址、帐号、密码（必需），"
       "百度帐号、百度密码（可选），顺序不限；也可用英文 name、address、account、password。"},
      {"name,url,user,pass,password\n", "文件“f.csv”的标题行有两列都是“密码”。没有导入任何网站。"},
      {header + row(1) + "\"Open,http://b.test/,admin,pw\n" + row(3),
       "文件“f.csv”第 3 行的引号没有闭合，文件可能不完整。没有导入任何网站。"},
      {header + "\n\n", "文件“f.csv”只有标题行，没有网站。"},
      {many, "文件“f.csv”中的网站超过 10000 个。没有导入任何网站。请分成几个文件导入。"},
  };
  for (const Case& c : cases) {
    const SiteImport r = importSiteCsv(c.bytes, "f.csv");
    EXPECT_EQ(r.refusal, g(c.notice)) << c.notice;
    EXPECT_EQ(siteImportSummary(r), r.refusal);
    EXPECT_EQ(r.imported, 0);
  }
  EXPECT_EQ(listSites().size(), 1u);

  // The file itself: missing, a folder, too large.
  EXPECT_EQ(importSiteCsvFile(store.dir().file("none.csv")).refusal,
            g("无法读取文件“none.csv”：文件或文件夹不存在。没有导入任何网站。"));
  EXPECT_EQ(
      importSiteCsvFile(store.dir().path()).refusal.find(g("不是普通文件。没有导入任何网站。")) != std::string::npos,
      true);
  const std::string huge = store.dir().file("huge.csv");
  writeFile(huge, header + std::string(kSiteCsvMaxBytes, 'x'));
  EXPECT_EQ(importSiteCsvFile(huge).refusal, g("文件“huge.csv”超过 8 MB，不像网站列表。没有导入任何网站。"));
  EXPECT_EQ(listSites().size(), 1u);

  // No open store: nothing to import into.
  CloseSiteStore();
  EXPECT_EQ(importSiteCsv(header + row(1), "f.csv").refusal,
            g("网站数据库没有打开，不能导入网站。请重新启动程序后再试。"));
}

TEST_F(SiteCsvImport, ExportThenImportIntoAnEmptyStoreGivesTheSameSites) {
  std::vector<SiteRecord> sites = {
      site(g("中文博客"), "http://a.test/", g("管理员"), g("密码,带逗号")),
      site("Quote \"me\"", "https://b.test/sub/", "admin", "p[a|s]s*'x"),
      site("Lines\r\nand\nbreaks", "http://c.test/", " spaced ", "\"starts with a quote"),
  };
  sites[0].bdname = g("百度");
  sites[0].bdpass = "bd,pass";
  for (const SiteRecord& s : sites) ASSERT_TRUE(saveNewSite(s));
  const std::string file = store.dir().file("sites.csv");
  const SiteExport out = exportSiteCsvFile(file);
  ASSERT_TRUE(out.ok) << toUtf8(out.notice);
  EXPECT_EQ(out.sites, 3);
  EXPECT_EQ(out.notice, g("已导出 3 个网站到“sites.csv”。\n这个文件含有各网站的密码，只有你自己能读取，请妥善保管。"));
  struct stat st {};
  ASSERT_EQ(::stat(file.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
  const std::string header = "\xEF\xBB\xBF网站名称,网站地址,帐号,密码,百度帐号,百度密码\r\n";
  EXPECT_EQ(readFile(file).substr(0, header.size()), header);

  OpenStore empty;
  ASSERT_TRUE(empty.ok());
  const SiteImport back = importSiteCsvFile(file);
  ASSERT_EQ(back.refusal, "");
  EXPECT_EQ(back.imported, 3);
  EXPECT_TRUE(back.skipped.empty());
  std::vector<SiteRecord> got = listSites();
  ASSERT_EQ(got.size(), sites.size());
  for (size_t i = 0; i < sites.size(); ++i) {
    got[i].id = 0;
    EXPECT_EQ(got[i], sites[i]) << i;
  }
  // A second import of the same file adds nothing.
  EXPECT_EQ(importSiteCsvFile(file).duplicates(), 3);
}

TEST_F(SiteCsvImport, ExportWritesPrivatelyAndNeverThroughASymlink) {
  ASSERT_TRUE(saveNewSite(site("a", "http://a.test/")));
  const std::string target = store.dir().file("elsewhere.txt");
  writeFile(target, "keep me");
  const std::string link = store.dir().file("link.csv");
  ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0);
  const SiteExport refused = exportSiteCsvFile(link);
  EXPECT_FALSE(refused.ok);
  EXPECT_EQ(refused.notice, g("导出失败：无法写入“link.csv”（这是一个符号链接，为安全起见不写入）。请另选一个位置。"));
  EXPECT_EQ(readFile(target), "keep me");

  // An existing file of looser mode is replaced by a private one, whole.
  const std::string old = store.dir().file("old.csv");
  writeFile(old, "old content");
  ::chmod(old.c_str(), 0644);
  ASSERT_TRUE(exportSiteCsvFile(old).ok);
  struct stat st {};
  ASSERT_EQ(::stat(old.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
  EXPECT_NE(readFile(old).find("http://a.test/"), std::string::npos);
  EXPECT_EQ(exportSiteCsvFile(store.dir().file("no/such/folder.csv")).notice,
            g("导出失败：无法写入“folder.csv”（文件或文件夹不存在）。请另选一个位置。"));

  ASSERT_TRUE(removeSites({listSites().at(0).id}));
  EXPECT_EQ(exportSiteCsvFile(store.dir().file("empty.csv")).notice, g("网站列表是空的，没有可导出的网站。"));
  EXPECT_FALSE(fileExists(store.dir().file("empty.csv")));
}

TEST(SiteAddress, HostsCompareWithoutCaseAndPathsAsTheyAre) {
  EXPECT_TRUE(sameSiteAddress("http://Host/", "http://host/"));
  EXPECT_TRUE(sameSiteAddress("HTTPS://WWW.Blog.Test:8080/x/", "https://www.blog.test:8080/x/"));
  EXPECT_FALSE(sameSiteAddress("http://host/Blog/", "http://host/blog/"));
  EXPECT_FALSE(sameSiteAddress("http://host/", "https://host/"));
  EXPECT_EQ(siteAddressKey("http://Host?Q=A"), "http://host?Q=A");
  // A GBK character whose second byte is a capital letter stays as it is.
  EXPECT_EQ(siteAddressKey("http://\x81"
                           "A.test/"),
            "http://\x81"
            "A.test/");
  EXPECT_EQ(siteAddressProblem("https://a/"), AddressProblem::None);
  EXPECT_EQ(siteAddressProblem("ftp://a/"), AddressProblem::Scheme);
  EXPECT_EQ(siteAddressProblem("http://a"), AddressProblem::TrailingSlash);
  EXPECT_EQ(siteAddressProblem(""), AddressProblem::Empty);
}

// Imported passwords go where typed ones go: `ctest -R sites_keyring` runs
// this on a private keyring (tests/sites/with-keyring.sh).
TEST(SecretServiceImport, ImportedPasswordsGoIntoTheKeyring) {
  if (!std::getenv("INKPOST_TEST_KEYRING")) GTEST_SKIP() << "runs on a private keyring (sites_keyring)";
  OpenStore store;
  ASSERT_TRUE(store.ok());
  const SiteImport r =
      importSiteCsv("name,address,account,password,bdname,bdpass\nA,http://a.test/,admin,secret-a,bd,bd-a\n", "x");
  ASSERT_EQ(r.imported, 1);
  const SiteRecord back = listSites().at(0);
  EXPECT_EQ(back.pass, "secret-a");
  EXPECT_EQ(back.bdpass, "bd-a");
  const auto [rawPass, rawBd] = rawPasswords(store.path(), back.id);
  EXPECT_TRUE(isSecretReference(rawPass)) << rawPass;
  EXPECT_TRUE(isSecretReference(rawBd));
  ASSERT_TRUE(removeSites({back.id}));
}

}  // namespace
}  // namespace inkpost::test
