// Several blogs on one sandbox server (--sites), failing blogs
// (--fail-site and the failure control) and slow blogs answering in
// parallel, over real HTTP.
#include "support/sandboxlogin.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace inkpost::test {
namespace {

const std::string kAdminTitle = "<title>Inkpost 后台管理</title>";

Sandbox::Options sites(int n, std::vector<std::string> failing = {}, std::vector<std::string> extra = {}) {
  Sandbox::Options o = sandboxOptions(extra);
  o.sites = n;
  o.failSites = std::move(failing);
  return o;
}

// The verify answer of a login to blog k with `password` (the captcha is fixed).
std::string verifyWith(const Sandbox& sb, int k, const std::string& password, std::string* headers) {
  const std::string at = sb.blogPath(k);
  std::string h;
  sb.get(at + "login.asp", {}, &h);
  const size_t p = h.find("Set-Cookie: ") + 12;
  const std::string cookie = h.substr(p, h.find(';', p) - p);
  sb.get(at + "function/c_validcode.asp?name=loginvalid", cookie);
  return sb.post(at + "cmd.asp?act=verify",
                 "edtUserName=admin&edtPassWord=" + password + "&edtSaveDate=365&edtCheckOut=" + kSandboxCaptcha,
                 cookie, "application/x-www-form-urlencoded", headers);
}

TEST(SandboxSites, EachBlogHasItsOwnAccountSessionsCategoriesArticlesAndUploads) {
  Sandbox sb(sites(3));
  const std::string index = sb.get("");
  for (const char* k : {"\"1/\"", "\"2/\"", "\"3/\""}) EXPECT_NE(index.find(k), std::string::npos) << k;
  EXPECT_EQ(sb.blogUrl(2), sb.siteUrl() + "2/");
  EXPECT_EQ(sb.password(2), "secret2");

  const std::string c1 = sandboxLogin(sb, 1), c2 = sandboxLogin(sb, 2);
  EXPECT_NE(c1.substr(0, c1.find('=')), c2.substr(0, c2.find('='))) << "each blog names its own session cookie";
  EXPECT_NE(sb.get("1/admin/admin.asp", c1).find(kAdminTitle), std::string::npos);
  std::string h;
  sb.get("2/admin/admin.asp", c1, &h);
  EXPECT_NE(h.find("Location: ../login.asp"), std::string::npos) << "blog 1's session is unknown to blog 2";
  verifyWith(sb, 2, "secret1", &h);
  EXPECT_EQ(h.find("Location:"), std::string::npos) << "blog 1's password does not open blog 2";
  verifyWith(sb, 2, "secret2", &h);
  EXPECT_NE(h.find("Location: cmd.asp?act=login"), std::string::npos);

  // Shared category names under ids of each blog's own, and names of one blog only.
  const std::string edit1 = sb.get("1/admin/edit_fckeditor.asp", c1), edit2 = sb.get("2/admin/edit_fckeditor.asp", c2);
  EXPECT_NE(edit1.find("<option value=\"2\">技术</option>"), std::string::npos);
  EXPECT_NE(edit2.find("<option value=\"12\">技术</option>"), std::string::npos);
  EXPECT_NE(edit1.find("生活 &amp; 随笔"), std::string::npos);
  EXPECT_EQ(edit2.find("生活 &amp; 随笔"), std::string::npos);
  EXPECT_NE(edit2.find("站点2专栏"), std::string::npos);
  EXPECT_EQ(edit1.find("站点2专栏"), std::string::npos);
  EXPECT_NE(edit1.find("<option value=\"1\" selected=\"selected\">admin</option>"), std::string::npos);
  EXPECT_NE(edit2.find("<option value=\"12\" selected=\"selected\">编辑</option>"), std::string::npos);

  EXPECT_NE(sb.post("2/cmd.asp?act=ArticlePst&type=fckeditor", "edtID=0&edtTitle=x", c2).find("操作成功"),
            std::string::npos);
  EXPECT_EQ(sb.articleCount(2), 1);
  EXPECT_EQ(sb.articleCount(1), 0);
  EXPECT_EQ(sb.articleField(2, 1, "edtTitle"), "x");
  EXPECT_NE(sb.post("1/cmd.asp?act=ArticlePst&type=fckeditor", "edtTitle=y", c2).find("没有权限"), std::string::npos);

  const std::string boundary = "XyZ";
  const std::string upload =
      sb.post("2/cmd.asp?act=FileUpload&reload=1&filename=a.gif",
              "--" + boundary +
                  "\r\nContent-Disposition: form-data; name=\"edtFileLoad\"; filename=\"a.gif\"\r\n\r\nGIF\r\n--" +
                  boundary + "--",
              c2, "multipart/form-data; boundary=" + boundary);
  EXPECT_NE(upload.find("已上传文件:<a href=\"" + sb.blogUrl(2) + "upload/a.gif\""), std::string::npos) << upload;
  EXPECT_EQ(sb.get("2/upload/a.gif"), "GIF");
  EXPECT_EQ(sb.get("1/_sandbox/files"), "");
  EXPECT_EQ(readFile(sb.dataDir() + "/2/upload/a.gif"), "GIF");
}

TEST(SandboxSites, FailingBlogsRefuseOrDropUntilTurnedOff) {
  Sandbox sb(sites(3, {"2", "3:drop"}));
  std::string h;
  EXPECT_NE(verifyWith(sb, 2, "secret2", &h).find("错误原因:"), std::string::npos);
  EXPECT_EQ(h.find("Location:"), std::string::npos);
  EXPECT_EQ(sb.get("3/login.asp", {}, &h), "");
  EXPECT_EQ(h, "") << "a dropped request gets no answer at all";
  EXPECT_EQ(sb.get("3/_sandbox/articles/count"), "0") << "inspection pages still answer";
  EXPECT_TRUE(sb.waitForLog("GET /3/login.asp 444", 1));
  verifyWith(sb, 1, "secret1", &h);
  EXPECT_NE(h.find("Location: cmd.asp?act=login"), std::string::npos) << "the other blogs work";

  // Recovered blogs log in; failures can start while running too.
  EXPECT_TRUE(sb.setFailure(2, "off"));
  EXPECT_TRUE(sb.setFailure(3, "off"));
  for (int k : {2, 3}) {
    verifyWith(sb, k, sb.password(k), &h);
    EXPECT_NE(h.find("Location: cmd.asp?act=login"), std::string::npos) << k;
  }
  EXPECT_TRUE(sb.setFailure(1, "drop"));
  EXPECT_EQ(sb.get("1/login.asp"), "");
  EXPECT_FALSE(sb.setFailure(4, "off"));
  EXPECT_FALSE(sb.setFailure(1, "sometimes"));

  // One blog alone fails the same way, with the control under its own base.
  Sandbox single({.failSites = {"1:drop"}});
  EXPECT_EQ(single.get("login.asp"), "");
  EXPECT_TRUE(single.setFailure(1, "refuse"));
  EXPECT_NE(single.get("login.asp"), "");
}

TEST(SandboxSites, SlowRequestsAcrossFiftyBlogsAreAnsweredInParallel) {
  Sandbox sb(sites(50, {}, {"--delay", "500"}));
  constexpr int kRequests = 32;
  std::vector<std::string> answers(kRequests);
  const auto start = std::chrono::steady_clock::now();
  std::vector<std::thread> threads;
  for (int i = 0; i < kRequests; ++i)
    threads.emplace_back([&, i] { answers[i] = sb.get(sb.blogPath(50 - i) + "login.asp"); });
  for (auto& t : threads) t.join();
  const auto took = std::chrono::steady_clock::now() - start;
  for (int i = 0; i < kRequests; ++i) EXPECT_NE(answers[i].find("edtCheckOut"), std::string::npos) << i;
  // Queued behind a few threads they would take 2 s or more.
  EXPECT_LT(took, std::chrono::milliseconds(1500));
  EXPECT_GE(took, std::chrono::milliseconds(500));
}

}  // namespace
}  // namespace inkpost::test
