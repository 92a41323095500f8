// Uploads into the sandbox blog: what lands in its upload folder, and the
// addresses its answers give back.
#include "images/convert.h"
#include "images/upload.h"

#include "imagedata.h"
#include "net/encoding.h"
#include "net/http.h"
#include "support/sandboxlogin.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>
#include <QUrl>

namespace inkpost {
namespace {

using test::gbk;

class UploadToSandbox : public ::testing::Test {
 protected:
  void SetUp() override {
    cookie = test::sandboxLogin(blog);
    ASSERT_FALSE(cookie.empty());
  }
  std::string file(const std::string& name, const std::string& bytes) {
    test::writeFile(dir.file(name), bytes);
    return dir.file(name);
  }
  test::Sandbox blog{test::sandboxOptions()};
  test::TempDir dir;
  std::string cookie;
};

TEST_F(UploadToSandbox, StoresTheFileBytesUnderItsName) {
  const std::string jpeg = test::makeJpeg(50, 40);
  const std::string address = UploadImageFile(blog.siteUrl(), cookie, file("photo.jpg", jpeg), "", false);
  EXPECT_EQ(address, blog.siteUrl() + "upload/photo.jpg");
  EXPECT_EQ(test::readFile(blog.dataDir() + "/upload/photo.jpg"), jpeg);
  EXPECT_EQ(blog.get("upload/photo.jpg"), jpeg);
  // The cookie passed in is what the server saw; the session still works.
  EXPECT_NE(blog.get("admin/admin.asp", cookie).find("Inkpost"), std::string::npos);
}

TEST_F(UploadToSandbox, ContentNameTwiceTakesTheDuplicatePath) {
  const std::string gif = test::makeGif(20, 10);
  const std::string path = file("anim.gif", gif);
  const std::string name = contentName(gif);
  const std::string first = UploadImageFile(blog.siteUrl(), cookie, path, name, true);
  EXPECT_EQ(first, blog.siteUrl() + "upload/" + name + ".gif");
  const std::string second = UploadImageFile(blog.siteUrl(), cookie, path, name, true);
  EXPECT_EQ(second, first);
  EXPECT_EQ(test::readFile(blog.dataDir() + "/upload/" + name + ".gif"), gif);
}

// The blog keeps its own file under a taken name: the user's picture must
// still be what the address shows.
TEST_F(UploadToSandbox, ATakenNameIsReusedForTheSameBytesAndSkippedForOthers) {
  const std::string a = test::makeJpeg(30, 20), b = test::makeJpeg(31, 20), c = test::makeJpeg(32, 20);
  const UploadResult first = uploadImage(blog.siteUrl(), cookie, file("photo1.jpg", a), StoreAs::OwnName);
  EXPECT_EQ(first.sameName, SameName::None);
  EXPECT_EQ(sameNameNote(first), "");

  test::TempDir other;
  const std::string pathB = other.file("photo1.jpg");
  test::writeFile(pathB, b);
  const UploadResult second = uploadImage(blog.siteUrl(), cookie, pathB, StoreAs::OwnName);
  ASSERT_TRUE(second.ok()) << uploadFailureText(second);
  EXPECT_EQ(second.sameName, SameName::Renamed);
  EXPECT_EQ(second.takenName, "photo1.jpg");
  EXPECT_EQ(second.address, blog.siteUrl() + "upload/photo1-2.jpg");
  EXPECT_EQ(blog.get("upload/photo1-2.jpg"), b);
  EXPECT_EQ(blog.get("upload/photo1.jpg"), a) << "the blog's file stays";
  EXPECT_EQ(sameNameNote(second), gbk("博客上已有另一张同名图片，这张改用 photo1-2.jpg"));

  const UploadResult again = uploadImage(blog.siteUrl(), cookie, file("photo1.jpg", a), StoreAs::OwnName);
  EXPECT_EQ(again.sameName, SameName::Reused);
  EXPECT_EQ(again.address, first.address);
  EXPECT_EQ(sameNameNote(again), gbk("博客上已有同样的图片，直接使用了它"));
  EXPECT_EQ(uploadImage(blog.siteUrl(), cookie, pathB, StoreAs::OwnName).address, second.address);

  test::writeFile(pathB, c);
  EXPECT_EQ(uploadImage(blog.siteUrl(), cookie, pathB, StoreAs::OwnName).address,
            blog.siteUrl() + "upload/photo1-3.jpg");
  EXPECT_EQ(blog.get("upload/photo1-3.jpg"), c);

  std::vector<UploadReport> drop = {{"photo1.jpg", again}, {"new.jpg", first}, {gbk("别的.jpg"), second}};
  EXPECT_EQ(uploadSummary(drop), gbk("已上传 3 张图片\nphoto1.jpg：博客上已有同样的图片，直接使用了它\n"
                                     "别的.jpg：博客上已有另一张同名图片，这张改用 photo1-2.jpg"));
  EXPECT_GT(uploadSummarySeconds(drop), uploadSummarySeconds({{"new.jpg", first}}));
}

TEST_F(UploadToSandbox, ChineseNameAndExpiredSession) {
  const std::string jpeg = test::makeJpeg(8, 8);
  const std::string address = UploadImageFile(blog.siteUrl(), cookie, file("图片.jpg", jpeg), "", false);
  EXPECT_FALSE(address.empty());
  EXPECT_EQ(test::readFile(blog.dataDir() + "/upload/图片.jpg"), jpeg);
  // Without a session the server answers its login notice: no address.
  const UploadResult refused = uploadImage(blog.siteUrl(), "", file("b.jpg", jpeg), StoreAs::OwnName);
  EXPECT_EQ(refused.outcome, UploadOutcome::Refused);
  EXPECT_FALSE(refused.reason.empty());
  EXPECT_FALSE(test::fileExists(blog.dataDir() + "/upload/b.jpg"));
}

// The request path a browser sends for an address (GBK) relative to the
// site: characters as UTF-8, percent-encoded.
std::string browserPath(const std::string& address, const std::string& site) {
  const QUrl url(QString::fromStdString(toUtf8(address)));
  const QByteArray encoded = url.toEncoded(QUrl::RemoveScheme | QUrl::RemoveAuthority);
  return std::string(encoded.constData(), static_cast<size_t>(encoded.size())).substr(urlPath(site).size());
}

// The path from the user's file name to the stored file and back: every
// name is stored whole with its extension, and the address the blog (or
// the duplicate answer) gives serves the same bytes.
TEST_F(UploadToSandbox, AnyNameIsStoredWithItsExtensionAndServedBack) {
  struct Case {
    std::string file, stored;  // stored: the sandbox's file name
  };
  int n = 0;
  auto image = [&n] { return test::makeJpeg(10 + ++n, 10); };  // all different
  const std::string korean = image(), emoji = image();
  const std::vector<Case> cases = {
      {"my photo.jpg", "my photo.jpg"}, {"#1.jpg", "#1.jpg"},   {"100%.jpg", "100%.jpg"},
      {"a & b.jpg", "a & b.jpg"},       {"1+1.jpg", "1+1.jpg"}, {"中文 图片.jpg", "中文 图片.jpg"},
  };
  for (const Case& c : cases) {
    const std::string bytes = image();
    const UploadResult r = uploadImage(blog.siteUrl(), cookie, file(c.file, bytes), StoreAs::OwnName);
    ASSERT_TRUE(r.ok()) << c.file << " " << uploadFailureText(r);
    EXPECT_EQ(test::readFile(blog.dataDir() + "/upload/" + c.stored), bytes) << c.file;
    EXPECT_EQ(blog.get(browserPath(r.address, blog.siteUrl())), bytes) << c.file << " " << r.address;
    // Again: the duplicate answer, whose address the client makes itself.
    const UploadResult again = uploadImage(blog.siteUrl(), cookie, file(c.file, bytes), StoreAs::OwnName);
    ASSERT_TRUE(again.ok()) << c.file;
    EXPECT_EQ(blog.get(browserPath(again.address, blog.siteUrl())), bytes) << c.file << " " << again.address;
  }
  // Names GBK cannot hold: stored under the content name, extension kept.
  for (const auto& [name, bytes] : {std::pair<std::string, std::string>{"사진.jpg", korean}, {"😀 smile.png", emoji}}) {
    const UploadResult r = uploadImage(blog.siteUrl(), cookie, file(name, bytes), StoreAs::OwnName);
    ASSERT_TRUE(r.ok()) << name;
    const std::string ext = name.substr(name.rfind('.'));
    EXPECT_EQ(r.address, blog.siteUrl() + "upload/" + md5Hex(bytes) + ext);
    EXPECT_EQ(test::readFile(blog.dataDir() + "/upload/" + md5Hex(bytes) + ext), bytes) << name;
  }
}

}  // namespace
}  // namespace inkpost
