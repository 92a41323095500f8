// Upload from a web address: fetched with a plain GET, staged in temp/,
// uploaded content-named, the outcome told in a notice.
#include "images/ui/acquire.h"

#include "../images/imagedata.h"
#include "guitest.h"
#include "imagehost.h"
#include "images/convert.h"
#include "images/fetch.h"
#include "net/encoding.h"

#include <gtest/gtest.h>
#include <QCheckBox>
#include <QInputDialog>
#include <QPushButton>

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
    // Answers that are not an image: the status named in the path, a web
    // page, a text file.
    svr.Get(R"(/status/(\d+))", [](const httplib::Request& req, httplib::Response& res) {
      res.status = std::stoi(req.matches[1]);
      res.set_content("<html>error</html>", "text/html");
    });
    svr.Get("/page.html", [](const httplib::Request&, httplib::Response& res) {
      res.set_content("<!DOCTYPE html><html><body><img src='/pic/a.gif'></body></html>", "text/html");
    });
    svr.Get("/notes.jpg", [](const httplib::Request&, httplib::Response& res) {
      res.set_content("shopping list: milk, eggs\n", "application/octet-stream");
    });
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

class FromAddress : public test::ImagesWindow {
 protected:
  void SetUp() override {
    ImagesWindow::SetUp();
    pickUploadServer(blog, [this](const std::string& request) {
      return test::okResponse("已上传文件:<a href=\"" + blog.url("/upload/" + test::queryName(request)) + "\">x</a>");
    });
  }
  std::vector<std::string> uploads() { return test::uploadRequests(blog.requests()); }

  ImageHost host;
  test::CaptureServer blog;
};

TEST_F(FromAddress, GifAddressIsStagedAsGifAndContentNamed) {
  uploadFrom(host.url("/pic/cat.gif"));
  ASSERT_EQ(uploads().size(), 1u);
  const std::string request = uploads()[0];
  EXPECT_EQ(test::queryName(request), contentName(host.gif) + ".gif");
  EXPECT_NE(test::requestBody(request).find("filename=\"img.gif\"\r\nContent-Type: image/gif\r\n\r\n" + host.gif),
            std::string::npos);
  EXPECT_FALSE(test::fileExists(programPath("temp/img.gif")));  // used up by the upload
  EXPECT_EQ(gallery(), std::vector<GalleryEntry>{blog.url("/upload/" + contentName(host.gif) + ".gif") + "[40|30"});
  EXPECT_EQ(toastHistory(), (std::vector<std::string>{gbk("准备上传，请稍后…"), gbk("       上传成功！       ")}));
  EXPECT_TRUE(host.lastCookie.empty());  // a plain GET
  EXPECT_EQ(test::readFile(galleryPagePath()), galleryPageText(gallery()));
  EXPECT_TRUE(w().images().isEnabled());
}

TEST_F(FromAddress, UpperCaseGifAndPngAreStagedAsJpg) {
  units().autoNameCheck->setChecked(false);  // web images are content-named regardless
  uploadFrom(host.url("/pic/cat.GIF"));
  uploadFrom(host.url("/jpeg/dog.png"));
  const auto requests = uploads();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(test::queryName(requests[0]), contentName(host.gif) + ".jpg");
  EXPECT_NE(test::requestBody(requests[0]).find("filename=\"img.jpg\"\r\nContent-Type: image/jpeg\r\n"),
            std::string::npos);
  EXPECT_EQ(test::queryName(requests[1]), contentName(host.jpeg) + ".jpg");
  EXPECT_FALSE(test::fileExists(programPath("temp/img.jpg")));
  EXPECT_EQ(gallery(), (std::vector<GalleryEntry>{blog.url("/upload/" + contentName(host.gif) + ".jpg") + "[40|30",
                                                  blog.url("/upload/" + contentName(host.jpeg) + ".jpg") + "[80|60"}));
}

TEST_F(FromAddress, RedirectIsFollowed) {
  uploadFrom(host.url("/moved"));
  ASSERT_EQ(uploads().size(), 1u);
  EXPECT_EQ(test::queryName(uploads()[0]), contentName(host.jpeg) + ".jpg");
}

// Each failure of the download says what it was and what to do; nothing
// is sent, and no empty staging file is left behind.
TEST_F(FromAddress, FailedDownloadUploadsNothingAndSaysWhy) {
  test::writeFile(programPath("temp/img.jpg"), "left over from before");
  const std::string refused = "http://127.0.0.1:" + std::to_string(test::closedPort()) + "/a.jpg";
  const char* notAnAddress = "上传失败：这不是网络图片的地址。请输入以 http:// 或 https:// 开头的完整地址。";
  const std::pair<std::string, const char*> cases[] = {
      {"abc", notAnAddress},
      {"ftp://127.0.0.1/a.jpg", notAnAddress},
      {"http://", notAnAddress},  // the input box's initial text, unchanged
      {host.url("/missing.jpg"), "上传失败：网站上找不到这张图片（HTTP 404）。请检查图片地址。"},
      {host.url("/status/403"), "上传失败：网站不让下载这张图片（HTTP 403）。可以把图片存到电脑上，再拖入上传框。"},
      {host.url("/status/503"), "上传失败：图片所在的网站出错了（HTTP 503）。请稍后再试。"},
      {host.url("/page.html"),
       "上传失败：这个地址打开的是网页，不是图片。请在图片上右键“复制图片地址”，再粘贴到这里。"},
      {host.url("/notes.jpg"), "上传失败：这个地址上的文件不是图片（能上传的是 GIF、JPEG、PNG、BMP 和 WebP 图片）。"},
      {refused, "上传失败：图片下载不了，连接被拒绝，或网络不通。请检查地址和网络后再试。"},
  };
  for (const auto& [address, text] : cases) {
    clearToastHistory();
    uploadFrom(address);
    EXPECT_EQ(toastHistory(), (std::vector<std::string>{gbk("准备上传，请稍后…"), gbk(text)})) << address;
    EXPECT_FALSE(test::fileExists(programPath("temp/img.jpg"))) << address;
  }
  EXPECT_TRUE(uploads().empty());
  EXPECT_TRUE(gallery().empty());
}

TEST_F(FromAddress, UploadRefusedTellsTheFailure) {
  blog.setResponse(test::okResponse("<p>错误原因:没有权限，请先登录</p>"));
  uploadFrom(host.url("/pic/a.gif"));
  EXPECT_EQ(uploads().size(), 1u);
  EXPECT_TRUE(gallery().empty());
  EXPECT_EQ(toastHistory().back(), gbk("上传失败：博客拒绝（没有权限，请先登录）"));
  EXPECT_FALSE(test::fileExists(programPath("temp/img.gif")));
}

TEST_F(FromAddress, InputBoxAsksAndCancelEndsTheAction) {
  QString title, label, initial;
  {
    ModalSeam seam([&](QDialog& dialog) {
      auto& box = dynamic_cast<QInputDialog&>(dialog);
      title = box.windowTitle();
      label = box.labelText();
      initial = box.textValue();
      box.reject();
    });
    units().fromAddressButton->click();
    EXPECT_EQ(seam.dialogsAnswered(), 1);
  }
  EXPECT_EQ(title, QStringLiteral("上传图片"));
  EXPECT_EQ(label, QStringLiteral("输入网络图片地址直接上传！(gif、jpg、png、bmp、webp)"));
  EXPECT_EQ(initial, QStringLiteral("http://"));
  EXPECT_TRUE(toastHistory().empty());
  EXPECT_EQ(host.hits.load(), 0);

  uploadFrom(host.url("/pic/b.gif"));
  EXPECT_EQ(host.hits.load(), 1);
  EXPECT_EQ(gallery().size(), 1u);
}

TEST(StagingFile, ChosenByTheExactEnding) {
  EXPECT_EQ(stagingFileFor("http://x/a.gif"), programPath("temp/img.gif"));
  EXPECT_EQ(stagingFileFor("http://x/a.GIF"), programPath("temp/img.jpg"));
  EXPECT_EQ(stagingFileFor("http://x/a.png"), programPath("temp/img.jpg"));
  EXPECT_EQ(stagingFileFor("gif"), programPath("temp/img.jpg"));
}

}  // namespace
}  // namespace inkpost
