// Files dropped on the upload box: uploaded in drop order, recorded with
// their sizes, failures skipped.
#include "images/ui/acquire.h"

#include "../images/imagedata.h"
#include "guitest.h"
#include "images/convert.h"
#include "support/sandboxlogin.h"

#include <gtest/gtest.h>
#include <QCheckBox>
#include <QDropEvent>
#include <QGroupBox>
#include <QLabel>
#include <QMimeData>
#include <QSignalSpy>
#include <QUrl>

#include <unistd.h>

namespace inkpost {
namespace {

class Drop : public test::ImagesWindow {
 protected:
  // The blog stores every upload under the name asked for.
  void pickStoringServer(test::CaptureServer& server) {
    pickUploadServer(server, [&server](const std::string& request) {
      return test::okResponse("已上传文件:<a href=\"" + server.url("/upload/" + test::queryName(request)) + "\">x</a>");
    });
  }
};

TEST_F(Drop, ThreeFilesInOrderWithAFailingMiddleOne) {
  test::CaptureServer server;
  pickUploadServer(server, [&server](const std::string& request) {
    std::string name = test::queryName(request);
    if (name == "bad.jpg") return test::okResponse("<p>错误原因:文件保存失败</p>");
    return test::okResponse("已上传文件:<a href=\"" + server.url("/upload/" + name) + "\">x</a>");
  });
  units().autoNameCheck->setChecked(false);
  drop({QString::fromStdString(file("one.jpg", test::makeJpeg(40, 20))),
        QString::fromStdString(file("bad.jpg", test::makeJpeg(10, 10))),
        QString::fromStdString(file("three.gif", test::makeGif(30, 15)))});

  const auto requests = test::uploadRequests(server.requests());
  ASSERT_EQ(requests.size(), 3u);
  EXPECT_EQ(test::queryName(requests[0]), "one.jpg");
  EXPECT_EQ(test::queryName(requests[1]), "bad.jpg");
  EXPECT_EQ(test::queryName(requests[2]), "three.gif");
  EXPECT_EQ(gallery(), (std::vector<GalleryEntry>{server.url("/upload/one.jpg") + "[40|20",
                                                  server.url("/upload/three.gif") + "[30|15"}));
  EXPECT_TRUE(w().images().isEnabled());
  // The gallery page was rebuilt with both.
  EXPECT_EQ(test::readFile(galleryPagePath()), galleryPageText(gallery()));
}

TEST_F(Drop, SizesFromBmpHeaderAndThroughConversion) {
  test::CaptureServer server;
  pickStoringServer(server);
  // The handler's list form: native paths separated by CR LF.
  std::string list;
  for (const std::string& p : {file("a.bmp", test::makeBmp(12, 34)), file("b.jpg", test::makeJpeg(56, 78)),
                               file("c.gif", test::makeGif(9, 10))})
    list += p + "\r\n";
  DropFiles(w().images(), list);
  EXPECT_EQ(gallery(),
            (std::vector<GalleryEntry>{server.url("/upload/a.bmp") + "[12|34", server.url("/upload/b.jpg") + "[56|78",
                                       server.url("/upload/c.gif") + "[9|10"}));
}

// An image, a text file named like an image, a file that cannot be read
// and another image, dropped in one go: the two images go up, the other
// two are named in the one notice that follows, each with its reason.
TEST_F(Drop, MixedDropUploadsTheImagesAndNamesEachFailureInOneNotice) {
  test::Sandbox blog(test::sandboxOptions());
  pickSandbox(blog);
  units().autoNameCheck->setChecked(false);
  const std::string first = test::makeJpeg(30, 20), last = test::makePng(16, 12);
  const std::string gone = files_.file("gone.jpg");
  ASSERT_EQ(::symlink(files_.file("nowhere.jpg").c_str(), gone.c_str()), 0);
  drop({QString::fromStdString(file("first.jpg", first)),
        QString::fromStdString(file("notes.jpg", "shopping list: milk, eggs\n")), QString::fromStdString(gone),
        QString::fromStdString(file("last.png", last))});

  EXPECT_EQ(blog.get("_sandbox/files"), "first.jpg\nlast.png\n");
  EXPECT_EQ(gallery(), (std::vector<GalleryEntry>{blog.siteUrl() + "upload/first.jpg[30|20",
                                                  blog.siteUrl() + "upload/last.png[16|12"}));
  EXPECT_EQ(toastTexts(),
            QStringList{QStringLiteral("已上传 2 张图片，2 个文件未上传：\nnotes.jpg：不是图片\ngone.jpg：无法读取")});
  EXPECT_TRUE(w().images().isEnabled());
}

TEST_F(Drop, SameFileTwiceWithAutomaticNamingToTheSandbox) {
  test::Sandbox blog(test::sandboxOptions());
  pickSandbox(blog);
  units().autoNameCheck->setChecked(true);
  const std::string jpeg = test::makeJpeg(64, 32);
  const std::string path = file("holiday photo.jpg", jpeg);
  drop({QString::fromStdString(path), QString::fromStdString(path)});

  const std::string expected = blog.siteUrl() + "upload/" + contentName(jpeg) + ".jpg";
  EXPECT_EQ(gallery(), (std::vector<GalleryEntry>{expected + "[64|32", expected + "[64|32"}));
  EXPECT_EQ(test::readFile(blog.dataDir() + "/upload/" + contentName(jpeg) + ".jpg"), jpeg);
  EXPECT_EQ(blog.get("_sandbox/files"), contentName(jpeg) + ".jpg\n");
}

// A picture dropped under the name of another picture on the blog goes up
// under the next free name; the gallery and the notice say so.
TEST_F(Drop, ATakenNameGetsTheNextFreeNameAndTheNoticeSaysSo) {
  test::Sandbox blog(test::sandboxOptions());
  pickSandbox(blog);
  units().autoNameCheck->setChecked(false);
  const std::string theirs = test::makeJpeg(30, 20), mine = test::makeJpeg(40, 30);
  drop({QString::fromStdString(file("photo1.jpg", theirs))});
  test::TempDir elsewhere;
  test::writeFile(elsewhere.file("photo1.jpg"), mine);
  clearToastHistory();
  drop({QString::fromStdString(elsewhere.file("photo1.jpg"))});

  EXPECT_EQ(blog.get("upload/photo1-2.jpg"), mine);
  ASSERT_EQ(gallery().size(), 2u);
  EXPECT_EQ(gallery()[1], blog.siteUrl() + "upload/photo1-2.jpg[40|30");
  ASSERT_EQ(toastTexts().size(), 1);
  EXPECT_EQ(toastTexts()[0],
            QStringLiteral("已上传 1 张图片\nphoto1.jpg：博客上已有另一张同名图片，这张改用 photo1-2.jpg"));
}

// The drop box names every kind it takes, whole, and a file of each uploads.
TEST_F(Drop, TheDropBoxNamesEveryKindItTakes) {
  test::CaptureServer server;
  pickStoringServer(server);
  auto* hint = units().dropBox->findChild<QLabel*>();
  ASSERT_NE(hint, nullptr);
  EXPECT_EQ(hint->text(), QStringLiteral("将图片拖入此框内放开即可上传，支持gif、jpg、png、bmp、webp。"));
  EXPECT_LE(hint->heightForWidth(hint->width()), hint->height());
  units().autoNameCheck->setChecked(false);
  drop({QString::fromStdString(file("a.gif", test::makeGif(4, 4))),
        QString::fromStdString(file("b.jpg", test::makeJpeg(4, 4))),
        QString::fromStdString(file("c.png", test::makePng(4, 4))),
        QString::fromStdString(file("d.bmp", test::makeBmp(4, 4))),
        QString::fromStdString(file("e.webp", test::encodeImage(4, 4, "WEBP")))});
  EXPECT_EQ(gallery().size(), 5u);
}

TEST_F(Drop, RealDropOnTheBoxReachesTheHandlerInOrder) {
  test::CaptureServer server;
  pickStoringServer(server);
  QSignalSpy dropped(units().dropTarget, &DropTarget::filesDropped);

  QMimeData mime;
  mime.setUrls({QUrl::fromLocalFile(QString::fromStdString(file("z.jpg", test::makeJpeg(5, 5)))),
                QUrl::fromLocalFile(QString::fromStdString(file("y.gif", test::makeGif(6, 6))))});
  QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(units().dropBox, &enter);
  EXPECT_TRUE(enter.isAccepted());
  QDropEvent dropEvent(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(units().dropBox, &dropEvent);
  EXPECT_EQ(dropped.count(), 1);
  EXPECT_EQ(test::uploadRequests(server.requests()).size(), 2u);
  EXPECT_EQ(gallery(),
            (std::vector<GalleryEntry>{server.url("/upload/z.jpg") + "[5|5", server.url("/upload/y.gif") + "[6|6"}));
}

}  // namespace
}  // namespace inkpost
