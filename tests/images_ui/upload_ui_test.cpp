// The window-side upload: site and cookie taken from the window, the window
// disabled for the exchange and enabled again whatever the outcome.
#include "images/ui/upload.h"
#include "support/mainunits.h"
#include "support/session.h"

#include "../images/imagedata.h"
#include "guitest.h"
#include "net/encoding.h"
#include "support/capture_server.h"

#include <gtest/gtest.h>

#include <atomic>

namespace inkpost {
namespace {

class WindowUpload : public inkpost::test::SessionTest {
 protected:
  std::string file(const std::string& name, const std::string& bytes) {
    test::writeFile(scope.dir().file(name), bytes);
    return scope.dir().file(name);
  }
  test::ProgramDirScope scope;
  MainWindow w;
  test::CaptureServer server;
  std::atomic<int> seenEnabled{-1};
  void watchWindow(const std::string& answer) {
    server.setResponder([this, answer](const std::string&) {
      seenEnabled = w.isEnabled() ? 1 : 0;
      return answer;
    });
  }
};

TEST_F(WindowUpload, UsesTheChosenSiteAndSessionCookie) {
  test::pointAtSite(w, server.url("/b/"), "ASPSESSIONIDQSRBTCAB=abc;");
  watchWindow(test::okResponse("已上传文件:<a href=\"http://x/b/upload/p.jpg\">p.jpg</a>"));
  EXPECT_EQ(UploadImageFile(w, file("p.jpg", test::makeJpeg(4, 4)), "", false), "http://x/b/upload/p.jpg");
  EXPECT_EQ(seenEnabled.load(), 0);
  EXPECT_TRUE(w.isEnabled());
  const auto lines = test::requestHeaderLines(server.lastRequest());
  EXPECT_EQ(lines[0], "POST /b/cmd.asp?act=FileUpload&reload=1&filename=p.jpg HTTP/1.1");
  bool cookieSeen = false;
  for (const auto& l : lines) cookieSeen |= l == "Cookie: ASPSESSIONIDQSRBTCAB=abc;";
  EXPECT_TRUE(cookieSeen);
  // The session cookie is not touched by the answer.
  EXPECT_EQ(blogSession().cookie, "ASPSESSIONIDQSRBTCAB=abc;");
}

TEST_F(WindowUpload, EnabledAgainAfterEveryFailure) {
  test::pointAtSite(w, server.url("/b/"), "s=1;");
  const std::string path = file("p.jpg", test::makeJpeg(4, 4));

  watchWindow(test::okResponse("已上传文件:<a href=\"upload/p.jpg\">"));  // relative link
  EXPECT_EQ(UploadImageFile(w, path, "", false), "");
  EXPECT_EQ(seenEnabled.load(), 0);
  EXPECT_TRUE(w.isEnabled());

  seenEnabled = -1;
  watchWindow("");  // closed without an answer
  EXPECT_EQ(UploadImageFile(w, path, "", false), "");
  EXPECT_EQ(seenEnabled.load(), 0);
  EXPECT_TRUE(w.isEnabled());

  // Unreadable file: nothing sent.
  const int before = server.connectionCount();
  EXPECT_EQ(UploadImageFile(w, path + ".missing", "", false), "");
  EXPECT_EQ(server.connectionCount(), before);
  EXPECT_TRUE(w.isEnabled());

  // No site chosen.
  inkpost::test::units(w).siteChooser->clear();
  EXPECT_EQ(UploadImageFile(w, path, "", false), "");
  EXPECT_TRUE(w.isEnabled());
  EXPECT_EQ(server.connectionCount(), before);

  // Server gone.
  int port;
  {
    test::CaptureServer gone;
    port = gone.port();
  }
  test::pointAtSite(w, "http://127.0.0.1:" + std::to_string(port) + "/", "s=1;");
  EXPECT_EQ(UploadImageFile(w, path, "", false), "");
  EXPECT_TRUE(w.isEnabled());
}

}  // namespace
}  // namespace inkpost
