// A blog served over https (the sandbox with a throw-away certificate): the
// login, captcha, edit page, post, upload and its answer's link all work
// when the certificate is trusted, and all stop, naming the certificate,
// when it is not.
#include "blog/editpage.h"
#include "blog/login.h"
#include "blog/publish.h"
#include "images/fetch.h"
#include "images/upload.h"

#include "imagedata.h"
#include "net/encoding.h"
#include "net/http.h"
#include "support/captchadata.h"
#include "support/sandboxlogin.h"
#include "support/tlscert.h"

#include <gtest/gtest.h>

namespace inkpost {
namespace {

class HttpsBlog : public ::testing::Test {
 protected:
  void SetUp() override {
    test::ensureCaptchaData();
    ASSERT_GT(CaptchaDataHandle(), 0);
    ASSERT_EQ(blog.siteUrl().rfind("https://", 0), 0u);
    setTrustedCertificates(cert.certFile());
  }
  void TearDown() override { setTrustedCertificates({}); }
  LoginOutcome login(std::string& cookie, ExchangeFate* reached = nullptr) {
    // A code the reader got wrong is typed by "a person".
    LoginAsk ask{[](const std::string&, const std::function<std::string()>&) {
                   return std::optional<std::string>(test::kSandboxCaptcha);
                 },
                 true};
    return loginAttempt(blog.siteUrl(), "admin", "secret", cookie, ask, reached);
  }
  PostForm form() const {
    PostForm f;
    f.title = "https";
    f.categoryId = "1";
    f.authorId = "1";
    f.level = "4";
    f.body = "<p>x</p>";
    return f;
  }
  test::TestCertificate cert;
  test::Sandbox blog{test::sandboxOptions(cert.sandboxArgs())};
  test::TempDir dir;
};

TEST_F(HttpsBlog, EveryExchangeWorksOverHttps) {
  std::string cookie;
  ASSERT_EQ(login(cookie), LoginOutcome::Done);
  EXPECT_EQ(cookie.rfind("ASPSESSIONID", 0), 0u) << "the secure session cookie is kept";
  EXPECT_FALSE(parseEditPage(fetchEditPage(blog.siteUrl(), cookie)).categories.empty());
  EXPECT_EQ(postArticle(blog.siteUrl(), form(), cookie), kPostDone);
  EXPECT_EQ(blog.articleField(1, "edtTitle"), "https");

  const std::string jpeg = test::makeJpeg(20, 10);
  test::writeFile(dir.file("a.jpg"), jpeg);
  const UploadResult r = uploadImage(blog.siteUrl(), cookie, dir.file("a.jpg"), StoreAs::OwnName);
  EXPECT_EQ(r.address, blog.siteUrl() + "upload/a.jpg");
  EXPECT_EQ(fetchImageFrom(r.address).bytes, jpeg);
  EXPECT_EQ(uploadImage(blog.siteUrl(), cookie, dir.file("a.jpg"), StoreAs::OwnName).sameName, SameName::Reused);
}

TEST_F(HttpsBlog, AnUntrustedCertificateStopsEveryExchangeAndSaysWhy) {
  test::TestCertificate stranger("stranger");
  setTrustedCertificates(stranger.certFile());
  std::string cookie = "s=1;";
  ExchangeFate reached;
  EXPECT_EQ(login(cookie, &reached), LoginOutcome::Unreachable);
  EXPECT_EQ(notSentReason(reached), fromUtf8("网站的安全证书不受信任，或与网址不符"));
  const PostAnswer post = sendArticle(blog.siteUrl(), form(), cookie);
  EXPECT_EQ(post.outcome, kPostNotSent);
  EXPECT_EQ(notSentNotice(post.fate).rfind(fromUtf8("发布失败：无法连接到博客\n网站的安全证书不受信任"), 0), 0u);

  test::writeFile(dir.file("a.jpg"), test::makeJpeg(20, 10));
  const UploadResult up = uploadImage(blog.siteUrl(), cookie, dir.file("a.jpg"), StoreAs::OwnName);
  EXPECT_EQ(uploadFailureText(up), fromUtf8("无法连接到博客（网站的安全证书不受信任，或与网址不符）"));
  EXPECT_FALSE(fetchImageFrom(blog.siteUrl() + "index.asp").ok());
  EXPECT_EQ(blog.requestLog(), "") << "nothing reached the blog";
}

}  // namespace
}  // namespace inkpost
