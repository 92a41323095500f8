// Uploads into the sandbox blog: what lands in its upload folder, and the
// addresses its answers give back.
#include "images/convert.h"
#include "images/upload.h"

#include "imagedata.h"
#include "net/encoding.h"
#include "support/sandboxlogin.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

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
    return fromUtf8(dir.file(name));
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

TEST_F(UploadToSandbox, ChineseNameAndExpiredSession) {
  const std::string address = UploadImageFile(blog.siteUrl(), cookie, file("图片.jpg", "abc"), "", false);
  EXPECT_FALSE(address.empty());
  EXPECT_EQ(test::readFile(blog.dataDir() + "/upload/" + std::string("图片.jpg")) +
                test::readFile(blog.dataDir() + "/upload/" + gbk("图片.jpg")),
            "abc");
  // Without a session the server answers its login notice: no address.
  EXPECT_EQ(UploadImageFile(blog.siteUrl(), "", file("b.jpg", "x"), "", false), "");
  EXPECT_FALSE(test::fileExists(blog.dataDir() + "/upload/b.jpg"));
}

}  // namespace
}  // namespace inkpost
