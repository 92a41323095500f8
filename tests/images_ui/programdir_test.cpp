// A program directory whose path GBK cannot hold (Korean letters, an
// emoji): the staging files of address and capture uploads are found and
// sent all the same.
#include "common/programdir.h"
#include "../images/imagedata.h"
#include "common/ui/toast.h"
#include "guitest.h"
#include "imagehost.h"
#include "images/capture.h"
#include "images/convert.h"
#include "images/ui/acquire.h"
#include "images/ui/capturewindow.h"
#include "support/capture_server.h"
#include "support/session.h"

#include <gtest/gtest.h>
#include <QImage>

#include <sys/stat.h>

namespace inkpost {
namespace {

class NonGbkProgramDir : public test::SessionTest {
 protected:
  void SetUp() override {
    SessionTest::SetUp();
    dir = base.file("프로그램 😀");
    ASSERT_EQ(::mkdir(dir.c_str(), 0755), 0);
    ASSERT_EQ(::mkdir((dir + "/temp").c_str(), 0755), 0);
    saved = programDir();
    setProgramDir(dir);
    blogSession().gallery.clear();
    setToastTimeScale(0);
    clearToastHistory();
    blog.setResponder([this](const std::string& request) {
      return test::okResponse("已上传文件:<a href=\"" + blog.url("/upload/" + test::queryName(request)) + "\">x</a>");
    });
  }
  void TearDown() override {
    blogSession().gallery.clear();
    setProgramDir(saved);
    setToastTimeScale(1);
    SessionTest::TearDown();
  }
  test::TempDir base;
  std::string dir, saved;
  test::CaptureServer blog;
};

TEST_F(NonGbkProgramDir, AddressAndCaptureUploadsWork) {
  MainWindow w;
  test::pointAtSite(w, blog.url("/"), "s=1;");
  const std::string jpeg = test::makeJpeg(24, 18);
  test::WebHost host;
  host.server().Get("/a.jpg",
                    [&jpeg](const httplib::Request&, httplib::Response& res) { res.set_content(jpeg, "image/jpeg"); });
  host.start();

  UploadFromAddress(w, host.url("/a.jpg"));
  ASSERT_EQ(blog.requests().size(), 1u);
  EXPECT_EQ(test::queryName(blog.lastRequest()), contentName(jpeg) + ".jpg");
  EXPECT_EQ(test::readFile(dir + "/temp/img.jpg"), jpeg);

  QImage shot(32, 20, QImage::Format_RGB32);
  shot.fill(Qt::darkGreen);
  ASSERT_TRUE(capture::writeJpeg(shot, dir + "/temp/img.jpg"));
  const std::string captured = test::readFile(dir + "/temp/img.jpg");
  UploadCapture(w);
  ASSERT_EQ(blog.requests().size(), 2u);
  EXPECT_EQ(test::queryName(blog.lastRequest()), contentName(captured) + ".jpg");
  EXPECT_NE(test::requestBody(blog.lastRequest()).find(captured), std::string::npos);

  ASSERT_EQ(blogSession().gallery.size(), 2u);
  EXPECT_EQ(blogSession().gallery[1], blog.url("/upload/" + contentName(captured) + ".jpg") + "[32|20");
  EXPECT_EQ(toastTexts(),
            (QStringList{QStringLiteral("准备上传，请稍后…"), QStringLiteral("       上传成功！       "),
                         QStringLiteral("准备上传，请稍后…"), QStringLiteral("       上传成功！       ")}));
  // The gallery page was written there too.
  EXPECT_TRUE(test::fileExists(dir + "/temp/index.html"));
}

}  // namespace
}  // namespace inkpost
