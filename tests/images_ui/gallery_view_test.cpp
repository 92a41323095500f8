// The gallery viewer under a real browser: the page shown, a click copies
// the address, a double click appends the image to the article body.
#include "images/ui/gallery.h"
#include "support/mainunits.h"
#include "support/session.h"

#include "../images/imagedata.h"
#include "blog/ui/editorbody.h"
#include "guitest.h"
#include "imagehost.h"
#include "net/encoding.h"

#include <gtest/gtest.h>
#include <QClipboard>
#include <QGuiApplication>
#include <QVariant>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <QWindow>

#include <memory>

namespace inkpost {
namespace {

using test::runScript;

using test::gbk;
using test::waitUntil;

// Serves the thumbnails' images.
class ImageHost {
 public:
  ImageHost() {
    host_.server().Get("/upload/(.*)", [this](const httplib::Request&, httplib::Response& res) {
      res.set_content(jpeg_, "image/jpeg");
    });
    host_.start();
  }
  std::string url(const std::string& path) const { return host_.url(path); }

 private:
  std::string jpeg_ = test::makeJpeg(200, 100);
  test::WebHost host_;
};

// Centre of the thumbnail of entry `id`, in view coordinates; (-1,-1) when
// the page does not show it.
QPoint thumbnailCentre(QWebEngineView* view, int id) {
  const QVariant v =
      runScript(view, QStringLiteral("(function(){var a=document.getElementById('%1');"
                                     "if(!a)return null;var r=a.querySelector('img').getBoundingClientRect();"
                                     "return [r.left+r.width/2,r.top+r.height/2,r.width];})()")
                          .arg(id));
  const QVariantList l = v.toList();
  if (l.size() != 3) return {-1, -1};
  return {static_cast<int>(l[0].toDouble()), static_cast<int>(l[1].toDouble())};
}

class GalleryView : public inkpost::test::SessionTest {
 protected:
  void SetUp() override {
    SessionTest::SetUp();
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    setGalleryHandler(w, [this](const QString& target) { return GalleryNavigating(w, target); });
  }
  // Rebuilds and waits until the page shows `count` thumbnails.
  bool showGallery(size_t count) {
    RebuildGallery(w);
    return waitUntil([&] {
      return runScript(inkpost::test::units(w).galleryView, QStringLiteral("document.querySelectorAll('img').length"))
                     .toInt() == static_cast<int>(count) &&
             inkpost::test::units(w).galleryView->url().isLocalFile();
    });
  }
  QWindow* window() { return w.windowHandle(); }
  // The editor page of the build's program directory (the test's own
  // program directory holds only temp/).
  void loadEditor() {
    inkpost::test::units(w).editorView->load(
        QUrl::fromLocalFile(QStringLiteral(INKPOST_PROGRAM_DIR "/editor/index.html")));
  }
  QPoint inWindow(QPoint p) { return inkpost::test::units(w).galleryView->mapTo(&w, p); }

  test::ProgramDirScope scope;
  ImageHost host;
  MainWindow w;
};

TEST_F(GalleryView, ShowsThePageFileAndKeepsTheViewerOnIt) {
  blogSession().gallery = {makeGalleryEntry(host.url("/upload/a.jpg"), 200, 100)};
  ASSERT_TRUE(showGallery(1));
  EXPECT_EQ(inkpost::test::units(w).galleryView->url(), QUrl::fromLocalFile(QString::fromStdString(galleryPagePath())));
  EXPECT_EQ(test::readFile(galleryPagePath()), galleryPageText(blogSession().gallery));
  const QVariant width = runScript(inkpost::test::units(w).galleryView,
                                   QStringLiteral("document.querySelector('img').getAttribute('width')"));
  EXPECT_EQ(width.toString(), QStringLiteral("152"));
  // Navigations away from the page are cancelled.
  EXPECT_FALSE(GalleryNavigating(w, QStringLiteral("http://127.0.0.1:1/elsewhere")));
  EXPECT_FALSE(GalleryNavigating(w, QStringLiteral("file:///etc/passwd")));
  EXPECT_TRUE(GalleryNavigating(w, QStringLiteral("about:blank")));
  runScript(inkpost::test::units(w).galleryView, QStringLiteral("location.href='http://127.0.0.1:1/elsewhere'"));
  QTest::qWait(300);
  EXPECT_TRUE(inkpost::test::units(w).galleryView->url().isLocalFile());
}

TEST_F(GalleryView, ClickCopiesTheAddress) {
  const std::string a = host.url("/upload/a.jpg"), b = host.url("/upload/b.jpg");
  blogSession().gallery = {makeGalleryEntry(a, 200, 100), makeGalleryEntry(b, 100, 100)};
  ASSERT_TRUE(showGallery(2));
  QGuiApplication::clipboard()->setText(QStringLiteral("before"));
  const QPoint p = thumbnailCentre(inkpost::test::units(w).galleryView, 2);
  ASSERT_GE(p.x(), 0);
  QTest::mouseClick(window(), Qt::LeftButton, {}, inWindow(p));
  EXPECT_TRUE(waitUntil([&] { return QGuiApplication::clipboard()->text() == QString::fromStdString(b); }, 10000))
      << QGuiApplication::clipboard()->text().toStdString();
  EXPECT_TRUE(inkpost::test::units(w).galleryView->url().isLocalFile());
  EXPECT_FALSE(inkpost::test::units(w).galleryView->url().hasFragment());
}

TEST_F(GalleryView, HostileAddressIsShownAndCopiedIntact) {
  const std::string odd = host.url("/upload/it's<b>.jpg");
  blogSession().gallery = {makeGalleryEntry(odd, 76, 76)};
  ASSERT_TRUE(showGallery(1));
  // The page structure survived: one link, one image, the quote kept.
  EXPECT_EQ(
      runScript(inkpost::test::units(w).galleryView, QStringLiteral("document.querySelectorAll('a').length")).toInt(),
      2);
  EXPECT_EQ(runScript(inkpost::test::units(w).galleryView,
                      QStringLiteral("document.querySelector('img').getAttribute('src')"))
                .toString(),
            QString::fromStdString(odd));
  const QPoint p = thumbnailCentre(inkpost::test::units(w).galleryView, 1);
  QTest::mouseClick(window(), Qt::LeftButton, {}, inWindow(p));
  EXPECT_TRUE(waitUntil([&] { return QGuiApplication::clipboard()->text() == QString::fromStdString(odd); }, 10000));
}

TEST_F(GalleryView, DoubleClickAppendsTheImageToTheBodyAndCopies) {
  loadEditor();
  ASSERT_TRUE(waitUntil([&] { return editorReady(inkpost::test::units(w).editorView); }, 60000));
  setEditorBody(inkpost::test::units(w).editorView, "<p>first paragraph</p>");
  ASSERT_TRUE(waitUntil(
      [&] { return editorBody(inkpost::test::units(w).editorView).find("first paragraph") != std::string::npos; }));

  const std::string a = host.url("/upload/a.jpg");
  blogSession().gallery = {makeGalleryEntry(host.url("/upload/z.jpg"), 50, 50), makeGalleryEntry(a, 200, 100)};
  ASSERT_TRUE(showGallery(2));
  QGuiApplication::clipboard()->setText(QStringLiteral("before"));

  // An insert rebuilds the gallery: the viewer loads the page again. Only
  // plain waits run meanwhile, so nothing else talks to the editor page.
  int loads = 0;
  QObject::connect(inkpost::test::units(w).galleryView, &QWebEngineView::loadFinished, &w, [&loads](bool) { ++loads; });
  QTest::qWait(500);  // the rebuild's own load signals land first
  loads = 0;
  auto count = [](const std::string& body) {
    size_t n = 0;
    for (size_t at = body.find("ResizeImage"); at != std::string::npos; at = body.find("ResizeImage", at + 1)) ++n;
    return n;
  };
  QTest::mouseDClick(window(), Qt::LeftButton, {}, inWindow(thumbnailCentre(inkpost::test::units(w).galleryView, 2)));
  ASSERT_TRUE(waitUntil([&] { return loads > 0; }, 15000));
  EXPECT_TRUE(waitUntil([&] { return QGuiApplication::clipboard()->text() == QString::fromStdString(a); }, 5000));
  std::string body = editorBody(inkpost::test::units(w).editorView);
  EXPECT_EQ(count(body), 1u) << body;
  EXPECT_LT(body.find("first paragraph"), body.find(a)) << body;
  EXPECT_NE(body.find(a), std::string::npos) << body;

  // Twice gives two elements.
  ASSERT_TRUE(showGallery(2));
  QTest::qWait(500);  // the rebuild's own load signals land first
  loads = 0;
  QTest::mouseDClick(window(), Qt::LeftButton, {}, inWindow(thumbnailCentre(inkpost::test::units(w).galleryView, 2)));
  ASSERT_TRUE(waitUntil([&] { return loads > 0; }, 15000));
  body = editorBody(inkpost::test::units(w).editorView);
  EXPECT_EQ(count(body), 2u) << body;
  EXPECT_EQ(blogSession().gallery.size(), 2u);  // inserting never changes the list
}

TEST_F(GalleryView, InsertLinkAppendsThroughTheEditorBody) {
  loadEditor();
  ASSERT_TRUE(waitUntil([&] { return editorReady(inkpost::test::units(w).editorView); }, 60000));
  setEditorBody(inkpost::test::units(w).editorView, "<p>x</p>");
  ASSERT_TRUE(
      waitUntil([&] { return editorBody(inkpost::test::units(w).editorView).find("<p>x</p>") != std::string::npos; }));
  EXPECT_FALSE(GalleryNavigating(w, toQ(gbk("#插入[http://b/upload/a.jpg]"))));
  const std::string body = editorBody(inkpost::test::units(w).editorView);
  EXPECT_NE(body.find("http://b/upload/a.jpg"), std::string::npos) << body;
  EXPECT_NE(body.find("ResizeImage(this,520)"), std::string::npos) << body;
}

}  // namespace
}  // namespace inkpost
