// Files dropped on the upload box: uploaded in drop order, recorded with
// their sizes, failures skipped.
#include "images/ui/acquire.h"
#include "support/mainunits.h"
#include "support/session.h"

#include "../images/imagedata.h"
#include "common/ui/toast.h"
#include "guitest.h"
#include "images/convert.h"
#include "images/ui/gallery.h"
#include "net/encoding.h"
#include "support/capture_server.h"
#include "support/sandboxlogin.h"

#include <gtest/gtest.h>
#include <QCheckBox>
#include <QDropEvent>
#include <QGroupBox>
#include <QMimeData>
#include <QUrl>

#include <unistd.h>

namespace inkpost {
namespace {

class Drop : public inkpost::test::SessionTest {
 protected:
  std::string file(const std::string& name, const std::string& bytes) {
    test::writeFile(scope.dir().file(name), bytes);
    return scope.dir().file(name);
  }
  test::ProgramDirScope scope;
  MainWindow w;
};

TEST_F(Drop, ThreeFilesInOrderWithAFailingMiddleOne) {
  test::CaptureServer server;
  server.setResponder([&server](const std::string& request) {
    std::string name = test::queryName(request);
    if (name == "bad.jpg") return test::okResponse("<p>错误原因:文件保存失败</p>");
    return test::okResponse("已上传文件:<a href=\"" + server.url("/upload/" + name) + "\">x</a>");
  });
  test::pointAtSite(w, server.url("/"), "s=1;");
  inkpost::test::units(w).autoNameCheck->setChecked(false);
  const QStringList paths = {QString::fromStdString(file("one.jpg", test::makeJpeg(40, 20))),
                             QString::fromStdString(file("bad.jpg", test::makeJpeg(10, 10))),
                             QString::fromStdString(file("three.gif", test::makeGif(30, 15)))};
  DropFiles(w, paths);

  const auto requests = test::uploadRequests(server.requests());
  ASSERT_EQ(requests.size(), 3u);
  EXPECT_EQ(test::queryName(requests[0]), "one.jpg");
  EXPECT_EQ(test::queryName(requests[1]), "bad.jpg");
  EXPECT_EQ(test::queryName(requests[2]), "three.gif");
  ASSERT_EQ(blogSession().gallery.size(), 2u);
  EXPECT_EQ(blogSession().gallery[0], server.url("/upload/one.jpg") + "[40|20");
  EXPECT_EQ(blogSession().gallery[1], server.url("/upload/three.gif") + "[30|15");
  EXPECT_TRUE(w.isEnabled());
  // The gallery page was rebuilt with both.
  EXPECT_EQ(test::readFile(galleryPagePath()), galleryPageText(blogSession().gallery));
}

TEST_F(Drop, SizesFromBmpHeaderAndThroughConversion) {
  test::CaptureServer server;
  server.setResponder([&server](const std::string& request) {
    return test::okResponse("已上传文件:<a href=\"" + server.url("/upload/" + test::queryName(request)) + "\">x</a>");
  });
  test::pointAtSite(w, server.url("/"), "s=1;");
  std::string list;
  for (const std::string& p : {file("a.bmp", test::makeBmp(12, 34)), file("b.jpg", test::makeJpeg(56, 78)),
                               file("c.gif", test::makeGif(9, 10))})
    list += p + "\r\n";
  DropFiles(w, list);
  ASSERT_EQ(blogSession().gallery.size(), 3u);
  EXPECT_EQ(blogSession().gallery[0], server.url("/upload/a.bmp") + "[12|34");
  EXPECT_EQ(blogSession().gallery[1], server.url("/upload/b.jpg") + "[56|78");
  EXPECT_EQ(blogSession().gallery[2], server.url("/upload/c.gif") + "[9|10");
}

// An image, a text file named like an image, a file that cannot be read
// and another image, dropped in one go: the two images go up, the other
// two are named in the one notice that follows, each with its reason.
TEST_F(Drop, MixedDropUploadsTheImagesAndNamesEachFailureInOneNotice) {
  test::Sandbox blog(test::sandboxOptions());
  test::pointAtSite(w, blog.siteUrl(), test::sandboxLogin(blog));
  test::units(w).autoNameCheck->setChecked(false);
  const std::string first = test::makeJpeg(30, 20), last = test::makePng(16, 12);
  const std::string gone = scope.dir().file("gone.jpg");
  ASSERT_EQ(::symlink(scope.dir().file("nowhere.jpg").c_str(), gone.c_str()), 0);
  const QStringList paths = {QString::fromStdString(file("first.jpg", first)),
                             QString::fromStdString(file("notes.jpg", "shopping list: milk, eggs\n")),
                             QString::fromStdString(gone), QString::fromStdString(file("last.png", last))};
  setToastTimeScale(0);
  clearToastHistory();
  DropFiles(w, paths);

  EXPECT_EQ(blog.get("_sandbox/files"), "first.jpg\nlast.png\n");
  ASSERT_EQ(blogSession().gallery.size(), 2u);
  EXPECT_EQ(blogSession().gallery[0], blog.siteUrl() + "upload/first.jpg[30|20");
  EXPECT_EQ(blogSession().gallery[1], blog.siteUrl() + "upload/last.png[16|12");
  ASSERT_EQ(toastTexts().size(), 1);
  EXPECT_EQ(toastTexts()[0],
            QStringLiteral("已上传 2 张图片，2 个文件未上传：\nnotes.jpg：不是图片\ngone.jpg：无法读取"));
  EXPECT_TRUE(w.isEnabled());
}

TEST_F(Drop, SameFileTwiceWithAutomaticNamingToTheSandbox) {
  test::Sandbox blog(test::sandboxOptions());
  test::pointAtSite(w, blog.siteUrl(), test::sandboxLogin(blog));
  inkpost::test::units(w).autoNameCheck->setChecked(true);
  const std::string jpeg = test::makeJpeg(64, 32);
  const std::string path = file("holiday photo.jpg", jpeg);
  DropFiles(w, QStringList{QString::fromStdString(path), QString::fromStdString(path)});

  const std::string expected = blog.siteUrl() + "upload/" + contentName(jpeg) + ".jpg";
  ASSERT_EQ(blogSession().gallery.size(), 2u);
  EXPECT_EQ(blogSession().gallery[0], expected + "[64|32");
  EXPECT_EQ(blogSession().gallery[1], expected + "[64|32");
  EXPECT_EQ(test::readFile(blog.dataDir() + "/upload/" + contentName(jpeg) + ".jpg"), jpeg);
  EXPECT_EQ(blog.get("_sandbox/files"), contentName(jpeg) + ".jpg\n");
}

TEST_F(Drop, RealDropOnTheBoxReachesTheHandlerInOrder) {
  test::CaptureServer server;
  server.setResponder([&server](const std::string& request) {
    return test::okResponse("已上传文件:<a href=\"" + server.url("/upload/" + test::queryName(request)) + "\">x</a>");
  });
  test::pointAtSite(w, server.url("/"), "s=1;");
  inkpost::test::units(w).dropTarget->registerOn(inkpost::test::units(w).dropBox);
  int signals_ = 0;
  QObject::connect(inkpost::test::units(w).dropTarget, &DropTarget::filesDropped, &w,
                   [this, &signals_](const QStringList& p) {
                     ++signals_;
                     DropFiles(w, p);
                   });

  auto* mime = new QMimeData;
  mime->setUrls({QUrl::fromLocalFile(QString::fromStdString(file("z.jpg", test::makeJpeg(5, 5)))),
                 QUrl::fromLocalFile(QString::fromStdString(file("y.gif", test::makeGif(6, 6))))});
  QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(inkpost::test::units(w).dropBox, &enter);
  EXPECT_TRUE(enter.isAccepted());
  QDropEvent drop(QPointF(10, 10), Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(inkpost::test::units(w).dropBox, &drop);
  delete mime;
  EXPECT_EQ(signals_, 1);
  EXPECT_EQ(test::uploadRequests(server.requests()).size(), 2u);
  ASSERT_EQ(blogSession().gallery.size(), 2u);
  EXPECT_EQ(blogSession().gallery[0], server.url("/upload/z.jpg") + "[5|5");
  EXPECT_EQ(blogSession().gallery[1], server.url("/upload/y.gif") + "[6|6");
}

}  // namespace
}  // namespace inkpost
