// The window-side upload: to the chosen site with its client's session, the
// image column disabled for the exchange and enabled again whatever the
// outcome.
#include "images/ui/upload.h"

#include "../images/imagedata.h"
#include "guitest.h"
#include "net/encoding.h"
#include "support/sandboxlogin.h"

#include <gtest/gtest.h>
#include <QCheckBox>
#include <QStatusBar>
#include <QTimer>

#include <atomic>

namespace inkpost {
namespace {

using test::gbk;

class WindowUpload : public test::ImagesWindow {
 protected:
  // The image column as the blog sees it while it answers: 1 enabled, 0 not.
  std::atomic<int> seenEnabled{-1};
  void watchColumn(test::CaptureServer& server, const std::string& answer) {
    seenEnabled = -1;
    server.setResponder([this, panel = &w().images(), answer](const std::string&) {
      seenEnabled = panel->isEnabled() ? 1 : 0;
      return answer;
    });
  }
  // The one notice of the last drop.
  std::string summary() { return toastHistory().empty() ? "" : toastHistory().back(); }
};

TEST_F(WindowUpload, UsesTheChosenSiteAndSessionCookie) {
  test::Sandbox::Options options = test::sandboxOptions({"--delay", "act=FileUpload:600"});
  options.base = "/b/";
  test::Sandbox blog(options);
  pickSandbox(blog);
  units().autoNameCheck->setChecked(false);
  const std::string cookie = w().blog().client()->sessionCookie();
  ASSERT_NE(cookie.find("ASPSESSIONIDQSRBTCAB="), std::string::npos) << cookie;
  bool seenDisabled = false;
  QString busyText;
  QTimer::singleShot(300, &w(), [&] {
    seenDisabled = !w().images().isEnabled();
    busyText = units().statusLine->currentMessage();
  });
  drop({QString::fromStdString(file("p.jpg", test::makeJpeg(4, 4)))});
  EXPECT_TRUE(seenDisabled);
  EXPECT_EQ(busyText, QStringLiteral("正在上传 p.jpg（1/1）…"));
  EXPECT_TRUE(w().images().isEnabled());
  EXPECT_EQ(gallery(), std::vector<GalleryEntry>{blog.siteUrl() + "upload/p.jpg[4|4"});
  ASSERT_TRUE(blog.waitForLog("POST /b/cmd.asp?act=FileUpload&reload=1&filename=p.jpg", 1)) << blog.requestLog();
  const std::string log = blog.requestLog();
  const std::string line = log.substr(log.find("POST /b/cmd.asp?act=FileUpload"));
  EXPECT_NE(line.substr(0, line.find('\n')).find("cookie=[" + cookie), std::string::npos) << line;
  // The session cookie is not touched by the answer.
  EXPECT_EQ(w().blog().client()->sessionCookie(), cookie);
}

TEST_F(WindowUpload, EnabledAgainAfterEveryFailure) {
  const std::string path = file("p.jpg", test::makeJpeg(4, 4));
  const QStringList drops = {QString::fromStdString(path)};

  // No site chosen: nothing sent.
  drop(drops);
  EXPECT_EQ(summary(), gbk("已上传 0 张图片，1 个文件未上传：\np.jpg：未选择网站"));
  EXPECT_TRUE(w().images().isEnabled());

  test::CaptureServer server;
  pickUploadServer(server, [](const std::string&) { return std::string(); });
  watchColumn(server, test::okResponse("已上传文件:<a href=\"upload/p.jpg\">"));  // relative link
  drop(drops);
  EXPECT_EQ(seenEnabled.load(), 0);
  EXPECT_TRUE(w().images().isEnabled());

  watchColumn(server, "");  // closed without an answer
  drop(drops);
  EXPECT_EQ(seenEnabled.load(), 0);
  EXPECT_TRUE(w().images().isEnabled());
  EXPECT_TRUE(gallery().empty());

  // Unreadable file: nothing sent.
  const int before = server.connectionCount();
  drop({QString::fromStdString(path + ".missing")});
  EXPECT_EQ(server.connectionCount(), before);
  EXPECT_TRUE(w().images().isEnabled());

  // Server gone.
  pick(addSite("http://127.0.0.1:" + std::to_string(test::closedPort()) + "/", "admin", "secret"));
  drop(drops);
  EXPECT_TRUE(w().images().isEnabled());
  EXPECT_TRUE(gallery().empty());
  EXPECT_EQ(summary(), gbk("已上传 0 张图片，1 个文件未上传：\np.jpg：无法连接到博客（连接被拒绝，或网络不通）"));
}

}  // namespace
}  // namespace inkpost
