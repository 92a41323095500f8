#include <gtest/gtest.h>

#include "net/cookiestore.h"
#include "net/http.h"

using namespace inkpost;

TEST(UrlSplit, Examples) {
  EXPECT_EQ(urlHost("http://Example.COM:8080/a/b?x=1"), "example.com");
  EXPECT_EQ(urlHost("http://Example.COM:8080/a/b?x=1", true), "example.com:8080");
  EXPECT_EQ(urlPath("http://Example.COM:8080/a/b?x=1"), "/a/b?x=1");
  EXPECT_EQ(urlPort("http://Example.COM:8080/a/b?x=1"), 8080);
  EXPECT_EQ(urlHost("example.org/x/y"), "example.org");
  EXPECT_EQ(urlPath("example.org/x/y"), "/x/y");
  EXPECT_EQ(urlPort("example.org/x/y"), 80);
  EXPECT_EQ(urlPath("http://host"), "/");
  EXPECT_EQ(urlPath("http://host?q=1"), "/");
  EXPECT_EQ(urlPort("https://host/"), 443);
  EXPECT_EQ(urlPort("http://host/?next=https"), 443);  // "https" anywhere
  EXPECT_EQ(urlPort("http://host:8x/"), 0);
  EXPECT_EQ(urlPath("http://h/a#frag"), "/a#frag");
  // A host whose name also occurs in the scheme.
  EXPECT_EQ(urlPath("http://t/p"), "/p");
  EXPECT_EQ(urlPath("HTTP://HOST/A B"), "/A B");
}

TEST(Cookies, SetCookieValue) {
  EXPECT_EQ(setCookieValue("ID=5; path=/"), "ID=5");
  EXPECT_EQ(setCookieValue("a=b;"), "a=b");
  // A cookie without attributes keeps its value.
  EXPECT_EQ(setCookieValue("SESSION=abc"), "SESSION=abc");
  EXPECT_EQ(setCookieValue(""), "");
}

TEST(Cookies, MergeAsDescribed) {
  EXPECT_EQ(mergeCookies("a=1;b=2;", "b=7;c=3;"), "a=1;b=7;c=3;");
  EXPECT_EQ(mergeCookies("ID=1;", "ID=5;"), "ID=5;");
  EXPECT_EQ(mergeCookies("", "a=1;b=2;"), "a=1;b=2;");
  EXPECT_EQ(mergeCookies("a=1;", "novalue;;"), "a=1;");
  EXPECT_EQ(mergeCookies("Sid=1;", "SID=2;"), "SID=2;");  // names compare without case
  // Entries the caller added in another layout are kept.
  EXPECT_EQ(mergeCookies("a=1; username=x; password=y", "a=2;"), "a=2; username=x; password=y");
  EXPECT_EQ(mergeCookies("a=1; username=x;", "username=z;"), "a=1; username=z;");
  // A name is kept once: the first entry takes the new value, later ones
  // of that name go (they used to take the new value too, repeating it).
  EXPECT_EQ(mergeCookies("a=1;b=2;a=1;", "a=9;"), "a=9;b=2;");
}

TEST(Cookies, MergeNeverGluesOntoAnOpenLastEntry) {
  // The login's cookie text ends with "; password=<digest>" and no ";".
  EXPECT_EQ(mergeCookies("S=1; username=a; password=d41d", "T=2;"), "S=1; username=a; password=d41d;T=2;");
  EXPECT_EQ(mergeCookies("S=1; password=d41d", "password=x;"), "S=1; password=x");
}

TEST(Cookies, MergeMatchesWholeNamesOnly) {
  EXPECT_EQ(mergeCookies("SESSIONID=abc;", "ID=5;"), "SESSIONID=abc;ID=5;");
  EXPECT_EQ(mergeCookies("SESSIONID=abc;ID=1;", "ID=5;"), "SESSIONID=abc;ID=5;");
  EXPECT_EQ(mergeCookies("SESSIONID=1;ID=1;", "ID=5;"), "SESSIONID=1;ID=5;");
  EXPECT_EQ(mergeCookies("x=ID=1;", "ID=2;"), "x=ID=1;ID=2;");
}

TEST(CookieStore, HostPathAndDomain) {
  clearCookieStore();
  storeCookie("Blog.Example", "a", "1");
  storeCookie("blog.example", "b", "2", "/admin");
  storeCookie("other.example", "c", "3");
  EXPECT_EQ(cookieHeaderFor("http://blog.example/"), "a=1");
  EXPECT_EQ(cookieHeaderFor("http://blog.example/admin/x.asp?q"), "b=2; a=1");
  EXPECT_EQ(cookieHeaderFor("http://blog.example/administrator"), "a=1");
  EXPECT_EQ(cookieHeaderFor("http://sub.blog.example/"), "");
  storeCookie("blog.example", "a", "9");
  EXPECT_EQ(storedCookies().size(), 3u);
  EXPECT_EQ(cookieHeaderFor("http://blog.example/"), "a=9");

  EXPECT_TRUE(storeSetCookie("http://www.site.example/dir/page", "d=4; Domain=.site.example; Path=/"));
  EXPECT_EQ(cookieHeaderFor("http://img.site.example/"), "d=4");
  EXPECT_TRUE(storeSetCookie("http://www.site.example/dir/page", "e=5"));
  EXPECT_EQ(cookieHeaderFor("http://www.site.example/dir/x"), "e=5; d=4");
  EXPECT_EQ(cookieHeaderFor("http://www.site.example/"), "d=4");
  EXPECT_FALSE(storeSetCookie("http://www.site.example/", "f=6; domain=evil.example"));
  EXPECT_TRUE(storeSetCookie("http://www.site.example/dir/page", "e=; Max-Age=0"));
  EXPECT_TRUE(storeSetCookie("http://img.site.example/",
                             "d=; domain=site.example; path=/; expires=Thu, 01 Jan 1970 00:00:00 GMT"));
  EXPECT_EQ(cookieHeaderFor("http://www.site.example/dir/x"), "");
  clearCookieStore();
  EXPECT_TRUE(storedCookies().empty());
}

TEST(CookieStore, ObserverHearsAnswersButNotOwnWrites) {
  clearCookieStore();
  std::vector<std::string> heard;
  setCookieStoreObserver([&](const StoredCookie& c, bool removed) {
    heard.push_back((removed ? "-" : "+") + c.host + " " + c.name + "=" + c.value + " " + c.path);
  });
  storeCookie("blog.example", "mirror", "1");
  storeSetCookie("http://blog.example/a/b", "s=2");
  storeSetCookie("http://blog.example/a/b", "s=; max-age=0");
  setCookieStoreObserver(nullptr);
  storeSetCookie("http://blog.example/", "t=3");
  EXPECT_EQ(heard, (std::vector<std::string>{"+blog.example s=2 /a", "-blog.example s= /a"}));
  clearCookieStore();
}

TEST(Cookies, MergeKeepsEachNameOnceAndStaysUnderTheCap) {
  // Later entries of a name already present go; the fresh value takes the
  // first one's place.
  EXPECT_EQ(mergeCookies("a=1;b=2;A=3;", "a=9;"), "a=9;b=2;");
  // The same answer setting a cookie twice: the last value wins.
  EXPECT_EQ(mergeCookies("x=0;", "c=1;c=2;"), "x=0;c=2;");
  std::string stored = "ASPSESSIONIDAA=s; username=me; password=pw";
  for (int i = 0; i < 30; ++i)
    stored = mergeCookies(stored, "junk" + std::to_string(i) + "=" + std::string(1000, 'v') + ";");
  EXPECT_LT(stored.size(), kCookieTextCap);
  EXPECT_EQ(stored.rfind("ASPSESSIONIDAA=s;", 0), 0u);
  EXPECT_NE(stored.find("username=me;"), std::string::npos);
  EXPECT_NE(stored.find("password=pw;"), std::string::npos);
  EXPECT_NE(stored.find("junk29="), std::string::npos);
  EXPECT_EQ(stored.find("junk0="), std::string::npos);
  // A single entry larger than the cap does not stay either.
  EXPECT_LT(mergeCookies("a=1;", "big=" + std::string(kCookieTextCap, 'b') + ";").size(), kCookieTextCap);
}

TEST(CookieStore, PublicSuffixDomainsAreRefused) {
  clearCookieStore();
  EXPECT_FALSE(storeSetCookie("http://www.example.com/", "a=1; Domain=.com"));
  EXPECT_FALSE(storeSetCookie("http://www.example.co.uk/", "b=1; Domain=co.uk"));
  EXPECT_FALSE(storeSetCookie("http://blog.example.test/", "c=1; Domain=test"));
  EXPECT_TRUE(storeSetCookie("http://www.example.co.uk/", "d=1; Domain=example.co.uk"));
  EXPECT_TRUE(storeSetCookie("http://127.0.0.1/", "e=1; Domain=127.0.0.1"));
  EXPECT_EQ(cookieHeaderFor("http://other.com/"), "");
  EXPECT_EQ(cookieHeaderFor("http://shop.example.co.uk/"), "d=1");
  clearCookieStore();
}

TEST(CookieStore, SecureCookiesGoOnlyOverHttps) {
  clearCookieStore();
  EXPECT_TRUE(storeSetCookie("https://blog.example.com/", "s=1; Secure; path=/"));
  EXPECT_TRUE(storeSetCookie("https://blog.example.com/", "p=2; path=/"));
  EXPECT_EQ(cookieHeaderFor("https://blog.example.com/a"), "s=1; p=2");
  EXPECT_EQ(cookieHeaderFor("http://blog.example.com/a"), "p=2");
  // Plain http may not set a Secure cookie.
  EXPECT_FALSE(storeSetCookie("http://blog.example.com/", "t=1; Secure"));
  EXPECT_EQ(storedCookies().size(), 2u);
  EXPECT_TRUE(storedCookies()[0].secure);
  clearCookieStore();
}

TEST(CookieStore, BoundedPerHost) {
  clearCookieStore();
  for (size_t i = 0; i < kMaxCookiesPerHost + 10; ++i)
    EXPECT_TRUE(storeSetCookie("http://blog.example.com/", "n" + std::to_string(i) + "=v"));
  EXPECT_EQ(storedCookies().size(), kMaxCookiesPerHost);
  EXPECT_EQ(storedCookies().front().name, "n10");  // the oldest gave way
  EXPECT_FALSE(storeSetCookie("http://blog.example.com/", "huge=" + std::string(kMaxCookieBytes, 'h')));
  clearCookieStore();
}
