// Upload from a web address: fetched with a plain GET, staged in temp/,
// uploaded content-named, the outcome told in a notice.
#include "images/ui/acquire.h"
#include "support/mainunits.h"
#include "support/session.h"

#include "../images/imagedata.h"
#include "common/ui/toast.h"
#include "guitest.h"
#include "imagehost.h"
#include "images/convert.h"
#include "images/fetch.h"
#include "net/encoding.h"
#include "support/capture_server.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QCheckBox>
#include <QInputDialog>
#include <QLineEdit>
#include <QTimer>

#include <atomic>

namespace inkpost {
namespace {

using test::gbk;

// The web server the images come from.
class ImageHost {
 public:
  ImageHost() {
    auto& svr = host_.server();
    svr.Get("/pic/(.*)", [this](const httplib::Request& req, httplib::Response& res) {
      ++hits;
      lastCookie = req.get_header_value("Cookie");
      res.set_content(gif, "image/gif");
    });
    svr.Get("/jpeg/(.*)", [this](const httplib::Request&, httplib::Response& res) {
      ++hits;
      res.set_content(jpeg, "image/jpeg");
    });
    svr.Get("/moved", [](const httplib::Request&, httplib::Response& res) { res.set_redirect("/jpeg/x.jpg"); });
    host_.start();
  }
  std::string url(const std::string& path) const { return host_.url(path); }

  const std::string gif = test::makeGif(40, 30);
  const std::string jpeg = test::makeJpeg(80, 60);
  std::atomic<int> hits{0};
  std::string lastCookie;

 private:
  test::WebHost host_;
};

class FromAddress : public inkpost::test::SessionTest {
 protected:
  void SetUp() override {
    SessionTest::SetUp();
    setToastTimeScale(0);
    clearToastHistory();
    blog.setResponder([this](const std::string& request) {
      return test::okResponse("已上传文件:<a href=\"" + blog.url("/upload/" + test::queryName(request)) + "\">x</a>");
    });
    test::pointAtSite(w, blog.url("/"), "s=1;");
  }
  void TearDown() override {
    SessionTest::TearDown();
    setToastTimeScale(1);
  }
  std::vector<std::string> notices() { return toastHistory(); }

  test::ProgramDirScope scope;
  MainWindow w;
  ImageHost host;
  test::CaptureServer blog;
};

TEST_F(FromAddress, GifAddressIsStagedAsGifAndContentNamed) {
  UploadFromAddress(w, host.url("/pic/cat.gif"));
  ASSERT_EQ(blog.requests().size(), 1u);
  const std::string request = blog.lastRequest();
  EXPECT_EQ(test::queryName(request), contentName(host.gif) + ".gif");
  EXPECT_NE(test::requestBody(request).find("filename=\"img.gif\"\r\nContent-Type: image/gif\r\n\r\n" + host.gif),
            std::string::npos);
  EXPECT_EQ(test::readFile(programPath("temp/img.gif")), host.gif);
  ASSERT_EQ(blogSession().gallery.size(), 1u);
  EXPECT_EQ(blogSession().gallery[0], blog.url("/upload/" + contentName(host.gif) + ".gif") + "[40|30");
  EXPECT_EQ(notices(), (std::vector<std::string>{gbk("准备上传，请稍后…"), gbk("       上传成功！       ")}));
  EXPECT_TRUE(host.lastCookie.empty());  // a plain GET
  EXPECT_EQ(test::readFile(galleryPagePath()), galleryPageText(blogSession().gallery));
  EXPECT_TRUE(w.isEnabled());
}

TEST_F(FromAddress, UpperCaseGifAndPngAreStagedAsJpg) {
  inkpost::test::units(w).autoNameCheck->setChecked(false);  // web images are content-named regardless
  UploadFromAddress(w, host.url("/pic/cat.GIF"));
  UploadFromAddress(w, host.url("/jpeg/dog.png"));
  const auto requests = blog.requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(test::queryName(requests[0]), contentName(host.gif) + ".jpg");
  EXPECT_NE(test::requestBody(requests[0]).find("filename=\"img.jpg\"\r\nContent-Type: image/jpeg\r\n"),
            std::string::npos);
  EXPECT_EQ(test::queryName(requests[1]), contentName(host.jpeg) + ".jpg");
  EXPECT_EQ(test::readFile(programPath("temp/img.jpg")), host.jpeg);
  ASSERT_EQ(blogSession().gallery.size(), 2u);
  EXPECT_EQ(blogSession().gallery[0], blog.url("/upload/" + contentName(host.gif) + ".jpg") + "[40|30");
  EXPECT_EQ(blogSession().gallery[1], blog.url("/upload/" + contentName(host.jpeg) + ".jpg") + "[80|60");
}

TEST_F(FromAddress, RedirectIsFollowed) {
  UploadFromAddress(w, host.url("/moved"));
  ASSERT_EQ(blog.requests().size(), 1u);
  EXPECT_EQ(test::queryName(blog.lastRequest()), contentName(host.jpeg) + ".jpg");
}

TEST_F(FromAddress, FailedDownloadUploadsNothingAndTellsTheFailure) {
  test::writeFile(programPath("temp/img.jpg"), "left over from before");
  UploadFromAddress(w, host.url("/missing.jpg"));  // 404
  int port;
  {
    test::CaptureServer gone;
    port = gone.port();
  }
  UploadFromAddress(w, "http://127.0.0.1:" + std::to_string(port) + "/a.jpg");  // refused
  UploadFromAddress(w, "http://");  // the input box's initial text, unchanged
  EXPECT_EQ(blog.requests().size(), 0u);
  EXPECT_TRUE(blogSession().gallery.empty());
  const std::string failed = gbk("       上传失败！       ");
  EXPECT_EQ(notices(), (std::vector<std::string>{gbk("准备上传，请稍后…"), failed, gbk("准备上传，请稍后…"), failed,
                                                 gbk("准备上传，请稍后…"), failed}));
  EXPECT_EQ(test::readFile(programPath("temp/img.jpg")), "");  // the stale file is gone
}

TEST_F(FromAddress, UploadRefusedTellsTheFailure) {
  blog.setResponse(test::okResponse("<p>错误原因:没有权限，请先登录</p>"));
  UploadFromAddress(w, host.url("/pic/a.gif"));
  EXPECT_EQ(blog.requests().size(), 1u);
  EXPECT_TRUE(blogSession().gallery.empty());
  EXPECT_EQ(notices().back(), gbk("       上传失败！       "));
}

TEST_F(FromAddress, InputBoxAsksAndCancelEndsTheAction) {
  QString title, label, initial;
  QTimer::singleShot(50, [&] {
    auto* box = qobject_cast<QInputDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    title = box->windowTitle();
    label = box->labelText();
    initial = box->textValue();
    box->reject();
  });
  UploadFromAddress(w);
  EXPECT_EQ(title, QStringLiteral("上传图片"));
  EXPECT_EQ(label, QStringLiteral("输入网络图片地址直接上传！(jpg、gif)"));
  EXPECT_EQ(initial, QStringLiteral("http://"));
  EXPECT_TRUE(notices().empty());
  EXPECT_EQ(host.hits.load(), 0);

  const std::string address = host.url("/pic/b.gif");
  QTimer::singleShot(50, [&] {
    auto* box = qobject_cast<QInputDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    box->setTextValue(QString::fromStdString(address));
    box->accept();
  });
  UploadFromAddress(w);
  EXPECT_EQ(host.hits.load(), 1);
  EXPECT_EQ(blogSession().gallery.size(), 1u);
}

TEST(StagingFile, ChosenByTheExactEnding) {
  EXPECT_EQ(stagingFileFor("http://x/a.gif"), programPath("temp/img.gif"));
  EXPECT_EQ(stagingFileFor("http://x/a.GIF"), programPath("temp/img.jpg"));
  EXPECT_EQ(stagingFileFor("http://x/a.png"), programPath("temp/img.jpg"));
  EXPECT_EQ(stagingFileFor("gif"), programPath("temp/img.jpg"));
}

}  // namespace
}  // namespace inkpost
