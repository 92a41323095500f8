// The texts a cross-post builds and judges: the passport form, the entry
// form, the body cleaning, the token, the success texts and host names.
#include "crosspost/hosts.h"
#include "crosspost/passport.h"
#include "crosspost/spacepost.h"
#include "net/encoding.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace inkpost {
namespace {

using Fields = std::vector<std::pair<std::string, std::string>>;

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Decodes a form the way a server does: split at "&", then at the first
// "=", "+" as blank, "%XX" as a byte.
Fields parseForm(const std::string& body) {
  auto decode = [](const std::string& s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
      if (s[i] == '+') {
        out += ' ';
      } else if (s[i] == '%' && i + 2 < s.size() && hexValue(s[i + 1]) >= 0 && hexValue(s[i + 2]) >= 0) {
        out += static_cast<char>(hexValue(s[i + 1]) * 16 + hexValue(s[i + 2]));
        i += 2;
      } else {
        out += s[i];
      }
    }
    return out;
  };
  Fields fields;
  size_t start = 0;
  while (start <= body.size()) {
    size_t end = body.find('&', start);
    if (end == std::string::npos) end = body.size();
    std::string pair = body.substr(start, end - start);
    size_t eq = pair.find('=');
    fields.emplace_back(decode(pair.substr(0, eq)), eq == std::string::npos ? "" : decode(pair.substr(eq + 1)));
    start = end + 1;
  }
  return fields;
}

std::vector<std::string> names(const Fields& fields) {
  std::vector<std::string> out;
  for (const auto& f : fields) out.push_back(f.first);
  return out;
}

const std::string kChinese = "\xD6\xD0\xCE\xC4";  // two GBK characters

TEST(PassportForm, JoinsTheFixedFieldsWithTheEncodedAccount) {
  EXPECT_EQ(passportLoginBody("pp.example", "user name", "secret"),
            "tpl_ok=&next_target=&tpl=&skip_ok=&aid=&need_pay=&need_coin=&pay_method=&u=http%3A%2F%2Fpp.example"
            "%2F&return_method=get&more_param=center%26tpl%3Dik%26aid%3D7%26default_tab%3D4&return_type=&psp_tt=0"
            "&password=secret&safeflg=0&isphone=false&username=user+name&verifycode=&mem_pass=on");
  EXPECT_EQ(passportLoginUrl("pp.example"), "https://pp.example/?login");
  EXPECT_EQ(passportLoginHeaders("pp.example"),
            "Content-Type: application/x-www-form-urlencoded\r\n"
            "Referer: https://pp.example/?login&u=http%3A%2F%2Fpp.example%2F%3Fcenter%26tpl%3Dik%26aid%3D7%26"
            "default_tab%3D4");
}

TEST(PassportForm, PasswordAndNameWithFormCharactersSurviveAServerParse) {
  const std::string password = "a&b=c+d%e f" + kChinese;
  const std::string user = "Li_1.x-" + kChinese + " y";
  Fields fields = parseForm(passportLoginBody(kPassportHost, user, password));
  EXPECT_EQ(names(fields),
            (std::vector<std::string>{"tpl_ok", "next_target", "tpl", "skip_ok", "aid", "need_pay", "need_coin",
                                      "pay_method", "u", "return_method", "more_param", "return_type", "psp_tt",
                                      "password", "safeflg", "isphone", "username", "verifycode", "mem_pass"}));
  EXPECT_EQ(fields[13].second, password);
  EXPECT_EQ(fields[16].second, user);
  EXPECT_EQ(fields[10].second, "center&tpl=ik&aid=7&default_tab=4");
  EXPECT_EQ(fields[8].second, std::string("http://") + kPassportHost + "/");
}

TEST(PassportReply, SuccessNeedsTheExactScriptFragment) {
  const std::string ok =
      "<script>var url='x';window.location.replace(\"http://pp.example/loginPage.html?type=2&u=\" + "
      "encodeURIComponent(url));</script>";
  EXPECT_TRUE(isPassportSuccess(ok, "pp.example"));
  EXPECT_FALSE(isPassportSuccess(ok, "other.example"));
  EXPECT_FALSE(isPassportSuccess("", "pp.example"));
  std::string upper = ok;
  upper.replace(upper.find("replace"), 7, "Replace");
  EXPECT_FALSE(isPassportSuccess(upper, "pp.example"));
  std::string https = ok;
  https.replace(https.find("http://"), 7, "https://");
  EXPECT_FALSE(isPassportSuccess(https, "pp.example"));
  std::string oneBlank = ok;
  oneBlank.replace(oneBlank.find("\" + "), 4, "\"+ ");
  EXPECT_FALSE(isPassportSuccess(oneBlank, "pp.example"));
  // The reply counts up to its first zero byte.
  EXPECT_FALSE(isPassportSuccess(std::string("<html>\0", 7) + ok, "pp.example"));
  EXPECT_TRUE(isPassportSuccess(ok + std::string("\0tail", 5), "pp.example"));
}

TEST(CookieHost, IsTheLowerCaseHostWithoutSchemePathOrPort) {
  EXPECT_EQ(NormaliseCookieHost("http://Hi.Example.COM:8080/home?x=1"), "hi.example.com");
  EXPECT_EQ(NormaliseCookieHost("https://a.b/c"), "a.b");
  EXPECT_EQ(NormaliseCookieHost("A.B"), "a.b");
  EXPECT_EQ(NormaliseCookieHost("https://http://x.y"), "x.y");
  // Only the lower-case scheme prefixes are removed.
  EXPECT_EQ(NormaliseCookieHost("HTTP://x.y"), "http");
  EXPECT_EQ(NormaliseCookieHost(""), "");
}

TEST(SpaceBody, CleaningRemovesLineEndsEmptyParagraphsAndEllipsisEntities) {
  EXPECT_EQ(cleanSpaceBody("<p>a</p>\r\n<p>b</p>\n"), "<p>a</p><p>b</p>");
  EXPECT_EQ(cleanSpaceBody("a\rb\r\r\nc"), "a\rb\rc");  // lone CRs stay
  EXPECT_EQ(cleanSpaceBody("x&hellip;y&HELLIP;z&HeLLiP;"), "x\xA1\xAD\xA1\xADy\xA1\xAD\xA1\xADz\xA1\xAD\xA1\xAD");
  EXPECT_EQ(cleanSpaceBody("<p></p>a<P></P>b<p></P><p> </p>"), "ab<p> </p>");
  // The line ends go first, so an empty paragraph split over lines goes too.
  EXPECT_EQ(cleanSpaceBody("<p>\r\n</p>"), "");
  EXPECT_EQ(cleanSpaceBody("&amp;hellip; &hellip"), "&amp;hellip; &hellip");
  EXPECT_EQ(cleanSpaceBody(kChinese + "\r\n" + kChinese), kChinese + kChinese);
  EXPECT_EQ(cleanSpaceBody(""), "");
}

TEST(SpaceForm, FieldsInOrderWithTitleAndContentEncodedAsUtf8) {
  const std::string title = "A&B=C+D%E " + kChinese;
  const std::string body = "<p>x &amp; y=1</p>\r\n<p></p>&hellip;";
  std::string form = spaceFormBody(title, body, "tok123", "space.example");
  EXPECT_EQ(form.substr(0, 9), "title=%41");  // every byte as %XX, letters included
  const std::string tail =
      "&private=0&imgnum=0&bdstoken=tok123&qbid=&refer=http:%2F%2Fspace.example%2Fhome"
      "&multimedia[]=&private1=0&qing_request_source=";
  ASSERT_GE(form.size(), tail.size());
  EXPECT_EQ(form.substr(form.size() - tail.size()), tail);
  EXPECT_EQ(form, "title=" + percentEncode(toUtf8(title)) +
                      "&content=" + percentEncode(toUtf8("<p>x &amp; y=1</p>\xA1\xAD\xA1\xAD")) + tail);

  Fields fields = parseForm(form);
  EXPECT_EQ(names(fields), (std::vector<std::string>{"title", "content", "private", "imgnum", "bdstoken", "qbid",
                                                     "refer", "multimedia[]", "private1", "qing_request_source"}));
  EXPECT_EQ(fields[0].second, toUtf8(title));
  EXPECT_EQ(fields[1].second, "<p>x &amp; y=1</p>\xE2\x80\xA6\xE2\x80\xA6");
  EXPECT_EQ(fields[6].second, "http://space.example/home");
}

TEST(SpaceForm, HeadersNameTheHostAndTheCreationPage) {
  EXPECT_EQ(spaceSubmitHeaders("space.example"),
            "Accept: text/html,application/xhtml+xml,application/xml;q=0.9,*/*;q=0.8\r\n"
            "Content-Type: application/x-www-form-urlencoded; charset=UTF-8\r\n"
            "Host: space.example\r\n"
            "Referer: http://space.example/pub/show/createtext");
  EXPECT_EQ(spaceCreatePageUrl("space.example"), "http://space.example/pub/show/createtext");
  EXPECT_EQ(spaceSubmitUrl("space.example"), "http://space.example/pub/submit/createtext");
}

TEST(SpaceForm, TokenIsReadFromTheCreationPageIgnoringCase) {
  EXPECT_EQ(extractBdsToken("<script>var a=1;window.qBdsToken=\"abc123\";var b=\"x\";</script>"), "abc123");
  EXPECT_EQ(extractBdsToken("x;WINDOW.QBDSTOKEN=\"Up\"\"second\""), "Up");
  EXPECT_EQ(extractBdsToken("window.qBdsToken=\"no-semicolon\""), extractBdsToken(""));
}

TEST(SpaceReply, OnlyTheExactMarkerCountsAsSuccess) {
  const std::string marker = R"({"errorNo" : "0","errorMsg" : "","data": [  ]})";
  EXPECT_TRUE(isSpaceSuccess(marker));
  EXPECT_TRUE(isSpaceSuccess("  " + marker + "\n"));
  EXPECT_FALSE(isSpaceSuccess(R"({"errorNo" : "0","errorMsg" : "","data" : [  ]})"));
  EXPECT_FALSE(isSpaceSuccess(R"({"errorNo" : "0","errorMsg" : "","data": [ ]})"));
  EXPECT_FALSE(isSpaceSuccess(R"({"errorNo":"0","errorMsg":"","data":[]})"));
  EXPECT_FALSE(isSpaceSuccess(R"({"errorNo" : "110","errorMsg" : "","data": [  ]})"));
  EXPECT_FALSE(isSpaceSuccess(R"({"ERRORNO" : "0","errorMsg" : "","data": [  ]})"));
  EXPECT_FALSE(isSpaceSuccess(""));
}

}  // namespace
}  // namespace inkpost
