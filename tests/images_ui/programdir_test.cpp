// A program directory whose path GBK cannot hold (Korean letters, an
// emoji): the staging files of address and capture uploads are found and
// sent all the same.
#include "../images/imagedata.h"
#include "guitest.h"
#include "imagehost.h"
#include "images/convert.h"
#include "images/upload.h"
#include "net/encoding.h"
#include "sites/sitestore.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace inkpost {
namespace {

class NonGbkProgramDir : public test::ImagesWindow {
 protected:
  void SetUp() override {
    ImagesWindow::SetUp();
    dir = dir_.file("프로그램 😀");
    ASSERT_EQ(::mkdir(dir.c_str(), 0700), 0);
    ASSERT_EQ(::mkdir((dir + "/temp").c_str(), 0700), 0);
    setProgramDir(dir);
    ASSERT_TRUE(createSiteDatabase(dir + "/data.mdb"));
  }
  std::string dir;
};

TEST_F(NonGbkProgramDir, AddressAndCaptureUploadsWork) {
  test::CaptureServer blog;
  pickUploadServer(blog, [&blog](const std::string& request) {
    return test::okResponse("已上传文件:<a href=\"" + blog.url("/upload/" + test::queryName(request)) + "\">x</a>");
  });
  const std::string jpeg = test::makeJpeg(24, 18);
  test::WebHost host;
  host.server().Get("/a.jpg",
                    [&jpeg](const httplib::Request&, httplib::Response& res) { res.set_content(jpeg, "image/jpeg"); });
  host.start();

  uploadFrom(host.url("/a.jpg"));
  ASSERT_EQ(test::uploadRequests(blog.requests()).size(), 1u);
  EXPECT_EQ(test::queryName(test::uploadRequests(blog.requests())[0]), contentName(jpeg) + ".jpg");
  EXPECT_NE(test::requestBody(test::uploadRequests(blog.requests())[0]).find(jpeg), std::string::npos);
  EXPECT_FALSE(test::fileExists(dir + "/temp/img.jpg"));  // used up by the upload

  capture([](CaptureWindow& win) {
    test::dragOnPicture(win, {10, 10}, {42, 30});
    test::mouse(win.panel(), QEvent::MouseButtonDblClick, {5, 5}, Qt::LeftButton, Qt::LeftButton);
  });
  ASSERT_TRUE(test::waitUntil([&] { return gallery().size() == 2; }));
  const auto uploads = test::uploadRequests(blog.requests());
  ASSERT_EQ(uploads.size(), 2u);
  // The cut-out as it went: the part's bytes, between its header and the trailer.
  const std::string body = test::requestBody(uploads[1]);
  const size_t from = body.find("\r\n\r\n") + 4;
  const std::string captured = body.substr(from, body.size() - toUtf8(uploadTrailer()).size() - from);
  EXPECT_EQ(test::queryName(uploads[1]), contentName(captured) + ".jpg");
  EXPECT_FALSE(test::fileExists(dir + "/temp/img.jpg"));

  EXPECT_EQ(gallery()[1], blog.url("/upload/" + contentName(captured) + ".jpg") + "[32|20");
  EXPECT_EQ(toastTexts(),
            (QStringList{QStringLiteral("准备上传，请稍后…"), QStringLiteral("       上传成功！       "),
                         QStringLiteral("准备上传，请稍后…"), QStringLiteral("       上传成功！       ")}));
  // The gallery page was written there too.
  EXPECT_TRUE(test::fileExists(dir + "/temp/index.html"));
}

}  // namespace
}  // namespace inkpost
