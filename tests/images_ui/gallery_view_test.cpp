// The gallery viewer under a real browser: the page shown, a click copies
// the address, a double click appends the image to the article body.
#include "images/ui/gallery.h"

#include "../images/imagedata.h"
#include "blog/ui/editorbody.h"
#include "common/ui/gbk.h"
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

class GalleryView : public test::ImagesWindow {
 protected:
  void SetUp() override {
    ImagesWindow::SetUp();
    ASSERT_TRUE(editorUp());
    view = units().galleryView;
  }
  // Shows these entries (as a restored draft does) and waits until the page
  // shows them all.
  bool showGallery(std::vector<GalleryEntry> entries) {
    const int count = static_cast<int>(entries.size());
    w().images().setGallery(std::move(entries));
    RebuildGallery(w().images());
    return waitUntil([&] {
      return runScript(view, QStringLiteral("document.querySelectorAll('img').length")).toInt() == count &&
             view->url().isLocalFile();
    });
  }
  bool navigating(const QString& target) { return GalleryNavigating(w().images(), target); }
  QWindow* window() { return w().windowHandle(); }
  QWebEngineView* editor() { return units().editorView; }
  QPoint inWindow(QPoint p) { return view->mapTo(&w(), p); }

  ImageHost host;
  QWebEngineView* view = nullptr;
};

TEST_F(GalleryView, ShowsThePageFileAndKeepsTheViewerOnIt) {
  ASSERT_TRUE(showGallery({makeGalleryEntry(host.url("/upload/a.jpg"), 200, 100)}));
  EXPECT_EQ(view->url(), QUrl::fromLocalFile(QString::fromStdString(galleryPagePath())));
  EXPECT_EQ(test::readFile(galleryPagePath()), galleryPageText(gallery()));
  const QVariant width = runScript(view, QStringLiteral("document.querySelector('img').getAttribute('width')"));
  EXPECT_EQ(width.toString(), QStringLiteral("152"));
  // Navigations away from the page are cancelled.
  EXPECT_FALSE(navigating(QStringLiteral("http://127.0.0.1:1/elsewhere")));
  EXPECT_FALSE(navigating(QStringLiteral("file:///etc/passwd")));
  EXPECT_TRUE(navigating(QStringLiteral("about:blank")));
  runScript(view, QStringLiteral("location.href='http://127.0.0.1:1/elsewhere'"));
  QTest::qWait(300);
  EXPECT_TRUE(view->url().isLocalFile());
}

TEST_F(GalleryView, ClickCopiesTheAddress) {
  const std::string a = host.url("/upload/a.jpg"), b = host.url("/upload/b.jpg");
  ASSERT_TRUE(showGallery({makeGalleryEntry(a, 200, 100), makeGalleryEntry(b, 100, 100)}));
  QGuiApplication::clipboard()->setText(QStringLiteral("before"));
  const QPoint p = thumbnailCentre(view, 2);
  ASSERT_GE(p.x(), 0);
  QTest::mouseClick(window(), Qt::LeftButton, {}, inWindow(p));
  EXPECT_TRUE(waitUntil([&] { return QGuiApplication::clipboard()->text() == QString::fromStdString(b); }, 10000))
      << QGuiApplication::clipboard()->text().toStdString();
  EXPECT_TRUE(view->url().isLocalFile());
  EXPECT_FALSE(view->url().hasFragment());
}

TEST_F(GalleryView, HostileAddressIsShownAndCopiedIntact) {
  const std::string odd = host.url("/upload/it's<b>.jpg");
  ASSERT_TRUE(showGallery({makeGalleryEntry(odd, 76, 76)}));
  // The page structure survived: one link, one image, the quote kept.
  EXPECT_EQ(runScript(view, QStringLiteral("document.querySelectorAll('a').length")).toInt(), 2);
  EXPECT_EQ(runScript(view, QStringLiteral("document.querySelector('img').getAttribute('src')")).toString(),
            QString::fromStdString(odd));
  const QPoint p = thumbnailCentre(view, 1);
  QTest::mouseClick(window(), Qt::LeftButton, {}, inWindow(p));
  EXPECT_TRUE(waitUntil([&] { return QGuiApplication::clipboard()->text() == QString::fromStdString(odd); }, 10000));
}

TEST_F(GalleryView, DoubleClickAppendsTheImageToTheBodyAndCopies) {
  setEditorBody(editor(), "<p>first paragraph</p>");
  ASSERT_TRUE(waitUntil([&] { return editorBody(editor()).find("first paragraph") != std::string::npos; }));

  const std::string a = host.url("/upload/a.jpg");
  const std::vector<GalleryEntry> entries = {makeGalleryEntry(host.url("/upload/z.jpg"), 50, 50),
                                             makeGalleryEntry(a, 200, 100)};
  ASSERT_TRUE(showGallery(entries));
  QGuiApplication::clipboard()->setText(QStringLiteral("before"));

  // An insert rebuilds the gallery: the viewer loads the page again. Only
  // plain waits run meanwhile, so nothing else talks to the editor page.
  int loads = 0;
  QObject::connect(view, &QWebEngineView::loadFinished, &w(), [&loads](bool) { ++loads; });
  QTest::qWait(500);  // the rebuild's own load signals land first
  loads = 0;
  auto count = [](const std::string& body) {
    size_t n = 0;
    for (size_t at = body.find("ResizeImage"); at != std::string::npos; at = body.find("ResizeImage", at + 1)) ++n;
    return n;
  };
  QTest::mouseDClick(window(), Qt::LeftButton, {}, inWindow(thumbnailCentre(view, 2)));
  ASSERT_TRUE(waitUntil([&] { return loads > 0; }, 15000));
  EXPECT_TRUE(waitUntil([&] { return QGuiApplication::clipboard()->text() == QString::fromStdString(a); }, 5000));
  std::string body = editorBody(editor());
  EXPECT_EQ(count(body), 1u) << body;
  EXPECT_LT(body.find("first paragraph"), body.find(a)) << body;
  EXPECT_NE(body.find(a), std::string::npos) << body;

  // Twice gives two elements.
  ASSERT_TRUE(showGallery(entries));
  QTest::qWait(500);  // the rebuild's own load signals land first
  loads = 0;
  QTest::mouseDClick(window(), Qt::LeftButton, {}, inWindow(thumbnailCentre(view, 2)));
  ASSERT_TRUE(waitUntil([&] { return loads > 0; }, 15000));
  body = editorBody(editor());
  EXPECT_EQ(count(body), 2u) << body;
  EXPECT_EQ(gallery(), entries);  // inserting never changes the list
}

// An insert writes the page again: it stays where the user had scrolled it.
TEST_F(GalleryView, AnInsertKeepsTheScrollPosition) {
  std::vector<GalleryEntry> entries;
  for (int i = 1; i <= 40; ++i)
    entries.push_back(makeGalleryEntry(host.url("/upload/" + std::to_string(i) + ".jpg"), 100, 100));
  ASSERT_TRUE(showGallery(entries));
  runScript(view, QStringLiteral("window.scrollTo(0, document.body.scrollHeight)"));
  const double scrolled = runScript(view, QStringLiteral("window.scrollY")).toDouble();
  ASSERT_GT(scrolled, 100);
  int loads = 0;
  QObject::connect(view, &QWebEngineView::loadFinished, &w(), [&loads](bool) { ++loads; });
  QTest::qWait(500);  // the rebuild's own load signals land first
  loads = 0;
  QTest::mouseDClick(window(), Qt::LeftButton, {}, inWindow(thumbnailCentre(view, 40)));
  ASSERT_TRUE(waitUntil([&] { return loads > 0; }, 15000));
  EXPECT_NE(editorBody(editor()).find(host.url("/upload/40.jpg")), std::string::npos);
  EXPECT_EQ(runScript(view, QStringLiteral("window.scrollY")).toDouble(), scrolled);
}

TEST_F(GalleryView, InsertLinkAppendsThroughTheEditorBody) {
  setEditorBody(editor(), "<p>x</p>");
  ASSERT_TRUE(waitUntil([&] { return editorBody(editor()).find("<p>x</p>") != std::string::npos; }));
  EXPECT_FALSE(navigating(toQ(gbk("#插入[http://b/upload/a.jpg]"))));
  const std::string body = editorBody(editor());
  EXPECT_NE(body.find("http://b/upload/a.jpg"), std::string::npos) << body;
  EXPECT_NE(body.find("ResizeImage(this,520)"), std::string::npos) << body;
}

}  // namespace
}  // namespace inkpost
