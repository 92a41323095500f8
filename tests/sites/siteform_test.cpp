// The site form's checks and the comparison of site addresses, and why a
// write into the store failed.
#include "sitedb.h"

#include "net/encoding.h"
#include "sites/siteform.h"

#include <gtest/gtest.h>

using namespace inkpost;
using namespace inkpost::test;

TEST(SiteForm, FirstProblemOnly) {
  const std::string fill = fromUtf8("任何内容都必需填写！");
  const std::string scheme = fromUtf8("网站地址必需以 http:// 或 https:// 开头。");
  const std::string slash = fromUtf8("网站地址必需以 / 结尾。");
  EXPECT_EQ(siteFormProblem(site("n", "http://a/", "u", "")), fill);
  EXPECT_EQ(siteFormProblem(site("", "ftp://a", "u", "p")), fill);
  EXPECT_EQ(siteFormProblem(site("n", "HTTPS://a/")), scheme);
  EXPECT_EQ(siteFormProblem(site("n", "https:/a/")), scheme);
  EXPECT_EQ(siteFormProblem(site("n", "https://a")), slash);
  EXPECT_EQ(siteFormProblem(site("n", "https://a/")), "");
  EXPECT_EQ(siteFormProblem(site(" ", "http://a/", " ", " ")), "");
}

TEST(SiteForm, AddressesOfOneSite) {
  EXPECT_EQ(siteAddressKey("http://Blog.Example/"), "http://blog.example/");
  EXPECT_EQ(siteAddressKey("HTTP://blog.example:80/"), "http://blog.example/");
  EXPECT_EQ(siteAddressKey("https://blog.example:443/x/"), "https://blog.example/x/");
  EXPECT_EQ(siteAddressKey("https://blog.example:8443/"), "https://blog.example:8443/");
  EXPECT_NE(siteAddressKey("http://blog.example/Blog/"), siteAddressKey("http://blog.example/blog/"));
  EXPECT_NE(siteAddressKey("https://blog.example/"), siteAddressKey("http://blog.example/"));

  OpenStore store;
  ASSERT_TRUE(store.ok());
  ASSERT_TRUE(saveNewSite(site("a", "http://Host.Example/")));
  ASSERT_TRUE(findSiteByAddress("http://host.example/"));
  EXPECT_EQ(findSiteByAddress("http://HOST.example:80/")->webname, "a");
  EXPECT_FALSE(findSiteByAddress("https://host.example/"));
}

TEST(SiteStoreWrites, AFailedWriteSaysWhy) {
  OpenStore store;
  ASSERT_TRUE(store.ok());
  // The store refusing writes as for a file it may not write.
  ASSERT_TRUE(ExecuteSiteStatement("PRAGMA query_only=1"));
  EXPECT_FALSE(saveNewSite(site("a", "http://a/")));
  EXPECT_EQ(siteStoreWriteProblem(), fromUtf8("网站数据库文件不能写入（只读）：") + fromUtf8(store.path()) +
                                         fromUtf8("\n请检查这个文件和所在文件夹的权限。"));
  CloseSiteStore();
  EXPECT_FALSE(saveNewSite(site("a", "http://a/")));
  EXPECT_EQ(siteStoreWriteProblem().rfind(fromUtf8("网站数据库没有打开："), 0), 0u);
}
