// What the screen shows, in a real browser against the sandbox blog: the
// thumbnails and the inserted images load (natural width above 0), an
// inserted image keeps its resize handler while the user types, a double
// click inserts at the caret as one undo step, and the editor page reaches
// nothing but the blog and its own files.
#include "../images/imagedata.h"
#include "blog/ui/editorbody.h"
#include "blog/ui/pageguard.h"
#include "common/ui/toast.h"
#include "guitest.h"
#include "imagehost.h"
#include "images/ui/acquire.h"
#include "images/ui/gallery.h"
#include "images/ui/paste.h"
#include "net/encoding.h"
#include "support/capture_server.h"
#include "support/sandboxlogin.h"
#include "support/session.h"

#include <gtest/gtest.h>
#include <QCheckBox>
#include <QClipboard>
#include <QDropEvent>
#include <QGroupBox>
#include <QMimeData>
#include <QVariant>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <QWindow>

#include <memory>

namespace inkpost {
namespace {

using test::runScript;

using test::waitUntil;

// Natural widths of the images of the gallery page, once every one has
// finished loading (or failed); empty while any is still loading.
const char* const kGalleryWidths =
    "(function(){var l=document.querySelectorAll('img');var r=[];"
    "for(var i=0;i<l.length;i++){if(!l[i].complete)return null;r.push(l[i].naturalWidth);}return r;})()";
// The same for the images inside the editor.
const char* const kEditorWidths =
    "(function(){var e=window.tinymce&&tinymce.activeEditor;if(!e||!e.getBody())return null;"
    "var l=e.getBody().querySelectorAll('img');var r=[];"
    "for(var i=0;i<l.length;i++){if(!l[i].complete)return null;r.push(l[i].naturalWidth);}return r;})()";

// Waits until `count` images have finished loading; their natural widths.
std::vector<int> loadedWidths(QWebEngineView* view, const char* script, int count) {
  std::vector<int> widths;
  waitUntil(
      [&] {
        const QVariantList l = runScript(view, QString::fromLatin1(script)).toList();
        if (l.size() != count) return false;
        widths.clear();
        for (const QVariant& v : l) widths.push_back(v.toInt());
        return true;
      },
      20000);
  return widths;
}

class Screen : public test::SessionTest {
 protected:
  void SetUp() override {
    SessionTest::SetUp();
    setToastTimeScale(0);
    test::pointAtSite(w, blog.siteUrl(), test::sandboxLogin(blog));
    w.resize(1200, 900);
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    setGalleryHandler(w, [this](const QString& target) { return GalleryNavigating(w, target); });
    loadEditorPage(test::units(w).editorView,
                   QUrl::fromLocalFile(QStringLiteral(INKPOST_PROGRAM_DIR "/editor/index.html")));
    ASSERT_TRUE(waitUntil([&] { return editorReady(test::units(w).editorView); }, 60000));
  }
  void TearDown() override {
    setToastTimeScale(1);
    SessionTest::TearDown();
  }

  // Drops image files with these names on the window (uploaded to the
  // sandbox) and waits until the gallery shows them all.
  void dropImages(const std::vector<std::string>& names) {
    QStringList paths;
    int n = 0;
    for (const std::string& name : names) {
      test::writeFile(scope.dir().file(name), test::makeJpeg(120 + 10 * ++n, 80));
      paths << QString::fromStdString(scope.dir().file(name));
    }
    test::units(w).autoNameCheck->setChecked(false);
    DropFiles(w, paths);
  }
  QPoint thumbnail(int id) {
    const QVariantList l = runScript(test::units(w).galleryView,
                                     QStringLiteral("(function(){var a=document.getElementById('%1');if(!a)return null;"
                                                    "a.scrollIntoView({block:'nearest',inline:'nearest'});"
                                                    "var r=a.querySelector('img').getBoundingClientRect();"
                                                    "return [r.left+r.width/2,r.top+r.height/2];})()")
                                         .arg(id))
                               .toList();
    if (l.size() != 2) return {-1, -1};
    return test::units(w).galleryView->mapTo(
        &w, QPoint(static_cast<int>(l[0].toDouble()), static_cast<int>(l[1].toDouble())));
  }
  // Double-clicks thumbnail `id` and waits until the editor holds `images` images.
  bool insertByDoubleClick(int id, int images) {
    QTest::qWait(300);  // the gallery's own reload settles
    const QPoint p = thumbnail(id);
    if (p.x() < 0) return false;
    QTest::mouseDClick(w.windowHandle(), Qt::LeftButton, {}, p);
    return waitUntil([&] {
      return runScript(test::units(w).editorView,
                       QStringLiteral("tinymce.activeEditor.getBody().querySelectorAll('img').length"))
                 .toInt() == images;
    });
  }
  // A real click at the end of the text of paragraph `index` of the editor.
  void clickIntoParagraph(int index) {
    const QVariantList l =
        runScript(test::units(w).editorView,
                  QStringLiteral("(function(){var e=tinymce.activeEditor;var p=e.getBody().querySelectorAll('p')[%1];"
                                 "var f=e.getContainer().querySelector('iframe').getBoundingClientRect();"
                                 "var r=p.getBoundingClientRect();"
                                 "return [f.left+r.right-2,f.top+r.top+r.height/2];})()")
                      .arg(index))
            .toList();
    ASSERT_EQ(l.size(), 2);
    // The text ends well before the paragraph's right edge: click just
    // right of the text instead, which puts the caret at its end.
    const QVariant textEnd = runScript(
        test::units(w).editorView,
        QStringLiteral("(function(){var e=tinymce.activeEditor;var p=e.getBody().querySelectorAll('p')[%1];"
                       "var f=e.getContainer().querySelector('iframe').getBoundingClientRect();"
                       "var g=e.getDoc().createRange();g.selectNodeContents(p);var r=g.getBoundingClientRect();"
                       "return [f.left+r.right+3,f.top+r.top+r.height/2];})()")
            .arg(index));
    const QVariantList t = textEnd.toList();
    const QPoint at(static_cast<int>(t[0].toDouble()), static_cast<int>(t[1].toDouble()));
    QTest::mouseClick(w.windowHandle(), Qt::LeftButton, {}, test::units(w).editorView->mapTo(&w, at));
    QTest::qWait(100);
  }
  void typeInEditor(const QString& text) {
    QWidget* target =
        test::units(w).editorView->focusProxy() ? test::units(w).editorView->focusProxy() : test::units(w).editorView;
    QTest::keyClicks(target, text);
    QTest::qWait(100);
  }
  void undoKey() {
    QWidget* target =
        test::units(w).editorView->focusProxy() ? test::units(w).editorView->focusProxy() : test::units(w).editorView;
    QTest::keyClick(target, Qt::Key_Z, Qt::ControlModifier);
    QTest::qWait(200);
  }
  std::string editorHtml() {
    return runScript(test::units(w).editorView, QStringLiteral("tinymce.activeEditor.getContent()"))
        .toString()
        .toStdString();
  }

  test::ProgramDirScope scope;
  test::Sandbox blog{test::sandboxOptions()};
  MainWindow w;
};

TEST_F(Screen, EveryThumbnailAndEveryInsertedImageShows) {
  dropImages({"plain.jpg", "with blank.jpg", "#hash.jpg", "100%.jpg", "a&b.jpg", "中文.jpg", "사진.jpg", "😀.jpg"});
  ASSERT_EQ(blogSession().gallery.size(), 8u);
  const std::vector<int> thumbs = loadedWidths(test::units(w).galleryView, kGalleryWidths, 8);
  ASSERT_EQ(thumbs.size(), 8u);
  for (size_t i = 0; i < thumbs.size(); ++i) EXPECT_GT(thumbs[i], 0) << blogSession().gallery[i];

  setEditorBody(test::units(w).editorView, "<p>text</p>");
  for (int id = 1; id <= 8; ++id) ASSERT_TRUE(insertByDoubleClick(id, id)) << id;
  const std::vector<int> inserted = loadedWidths(test::units(w).editorView, kEditorWidths, 8);
  ASSERT_EQ(inserted.size(), 8u);
  for (size_t i = 0; i < inserted.size(); ++i) EXPECT_GT(inserted[i], 0) << blogSession().gallery[i];
  // The article body carries the same addresses (escaped where needed).
  const std::string body = editorBody(test::units(w).editorView);
  for (const GalleryEntry& e : blogSession().gallery) {
    std::string name = parseGalleryEntry(e).address;
    name = name.substr(name.rfind('/'));
    for (size_t at = name.find('&'); at != std::string::npos; at = name.find('&', at + 1)) name.insert(at + 1, "amp;");
    EXPECT_NE(body.find(name), std::string::npos) << name << "\n" << body;
  }
}

TEST_F(Screen, TypingKeepsTheResizeHandlerOfAnInsertedImage) {
  dropImages({"photo.jpg"});
  setEditorBody(test::units(w).editorView, "<p>before</p>");
  ASSERT_TRUE(insertByDoubleClick(1, 1));
  clickIntoParagraph(0);
  typeInEditor(QStringLiteral(" and more"));
  ASSERT_TRUE(waitUntil([&] { return editorHtml().find("before and more") != std::string::npos; })) << editorHtml();
  const std::string html = editorHtml();
  EXPECT_NE(html.find("onload=\"ResizeImage(this,520)\""), std::string::npos) << html;
  const std::string body = editorBody(test::units(w).editorView);
  EXPECT_NE(body.find("onload=\"ResizeImage(this,520)\""), std::string::npos) << body;
  EXPECT_NE(body.find("title=\"\""), std::string::npos) << body;
  EXPECT_NE(body.find("alt=\"\""), std::string::npos) << body;
  // A width the user gives it stays too.
  runScript(test::units(w).editorView, QStringLiteral("(function(){var e=tinymce.activeEditor;"
                                                      "e.dom.setAttrib(e.getBody().querySelector('img'),'width','300');"
                                                      "e.nodeChanged();})()"));
  typeInEditor(QStringLiteral("!"));
  EXPECT_TRUE(waitUntil([&] {
    return editorBody(test::units(w).editorView).find("width=\"300\"") != std::string::npos;
  })) << editorBody(test::units(w).editorView);
  EXPECT_NE(editorBody(test::units(w).editorView).find("onload=\"ResizeImage(this,520)\""), std::string::npos);
  // Any other load handler is dropped; the sanitising stays on.
  setEditorBody(test::units(w).editorView,
                "<p><img src=\"" + blog.siteUrl() + "upload/photo.jpg\" onload=\"alert(1)\" onerror=\"x()\"></p>");
  clickIntoParagraph(0);
  typeInEditor(QStringLiteral("x"));
  const std::string cleaned = editorBody(test::units(w).editorView);
  EXPECT_EQ(cleaned.find("alert"), std::string::npos) << cleaned;
  EXPECT_EQ(cleaned.find("onerror"), std::string::npos) << cleaned;
}

TEST_F(Screen, InsertGoesToTheCaretAsOneUndoStep) {
  dropImages({"photo.jpg"});
  setEditorBody(test::units(w).editorView, "<p>first</p><p>second</p>");
  ASSERT_TRUE(waitUntil([&] { return editorHtml().find("second") != std::string::npos; }));
  // No caret placed yet: the end.
  ASSERT_TRUE(insertByDoubleClick(1, 1));
  std::string html = editorHtml();
  EXPECT_LT(html.find("second"), html.find("<img")) << html;

  setEditorBody(test::units(w).editorView, "<p>first</p><p>second</p>");
  ASSERT_TRUE(waitUntil([&] { return editorHtml().find("<img") == std::string::npos; }));
  clickIntoParagraph(0);
  typeInEditor(QStringLiteral("X"));
  ASSERT_TRUE(waitUntil([&] { return editorHtml().find("firstX") != std::string::npos; })) << editorHtml();
  ASSERT_TRUE(insertByDoubleClick(1, 1));
  html = editorHtml();
  ASSERT_NE(html.find("<img"), std::string::npos);
  EXPECT_LT(html.find("firstX"), html.find("<img")) << html;
  EXPECT_LT(html.find("<img"), html.find("second")) << html;

  // Ctrl+Z takes the image away, and only the image.
  runScript(test::units(w).editorView, QStringLiteral("tinymce.activeEditor.focus()"));
  undoKey();
  ASSERT_TRUE(waitUntil([&] { return editorHtml().find("<img") == std::string::npos; })) << editorHtml();
  EXPECT_NE(editorHtml().find("firstX"), std::string::npos) << editorHtml();
  // The typing before it is still in the history.
  undoKey();
  EXPECT_TRUE(waitUntil([&] { return editorHtml().find("firstX") == std::string::npos; })) << editorHtml();
  EXPECT_NE(editorHtml().find("first"), std::string::npos) << editorHtml();
}

TEST_F(Screen, TheEditorPageReachesOnlyTheBlogAndItsOwnFiles) {
  // Another server with an image, and a local image outside the editor's folder.
  test::WebHost other;
  int hits = 0;
  const std::string jpeg = test::makeJpeg(40, 30);
  other.server().Get("/(.*)", [&](const httplib::Request&, httplib::Response& res) {
    ++hits;
    res.set_content(jpeg, "image/jpeg");
  });
  other.start();
  test::writeFile(scope.dir().file("local.jpg"), jpeg);
  dropImages({"photo.jpg"});
  const std::string own = parseGalleryEntry(blogSession().gallery[0]).address;

  setEditorBody(test::units(w).editorView, "<p><img src=\"" + own + "\"><img src=\"" + other.url("/pixel.jpg") +
                                               "\"><img src=\"file://" + scope.dir().file("local.jpg") + "\"></p>");
  const std::vector<int> widths = loadedWidths(test::units(w).editorView, kEditorWidths, 3);
  ASSERT_EQ(widths.size(), 3u);
  EXPECT_GT(widths[0], 0);
  EXPECT_EQ(widths[1], 0);
  EXPECT_EQ(widths[2], 0);
  // A script in the page cannot reach it either.
  runScript(test::units(w).editorView,
            QStringLiteral("(function(){var i=new Image();i.src='%1';document.body.appendChild(i);"
                           "try{fetch('%1');}catch(e){}})()")
                .arg(QString::fromStdString(other.url("/script.jpg"))));
  QTest::qWait(500);
  EXPECT_EQ(hits, 0);
  bool blockedOther = false, blockedFile = false;
  for (const std::string& b : blockedRequests()) {
    blockedOther |= b.find(other.url("/")) == 0;
    blockedFile |= b.find("local.jpg") != std::string::npos;
  }
  EXPECT_TRUE(blockedOther);
  EXPECT_TRUE(blockedFile);
}

// Markup in the address of an upload answer stays text wherever the address
// goes: the gallery page, the inserted element, the article body.
TEST_F(Screen, MarkupInAnAnswersAddressStaysText) {
  test::CaptureServer hostile;
  hostile.setResponse(
      test::okResponse("已上传文件:<a href=\"http://b/x.jpg&quot; "
                       "onerror=&quot;alert(1)&quot;&gt;&lt;script&gt;bad()&lt;/script&gt;\">x</a>"));
  test::writeFile(scope.dir().file("a.jpg"), test::makeJpeg(8, 8));
  const UploadResult r = uploadImage(hostile.url("/"), "", scope.dir().file("a.jpg"), StoreAs::OwnName);
  ASSERT_TRUE(r.ok());
  EXPECT_EQ(r.address, "http://b/x.jpg\" onerror=\"alert(1)\"><script>bad()</script>");
  blogSession().gallery = {makeGalleryEntry(r.address, 8, 8)};
  RebuildGallery(w);
  ASSERT_TRUE(waitUntil([&] {
    return runScript(test::units(w).galleryView, QStringLiteral("document.querySelectorAll('img').length")).toInt() ==
           1;
  }));
  // Only the page's own script, and one link per thumbnail besides the hidden one.
  EXPECT_EQ(runScript(test::units(w).galleryView, QStringLiteral("document.querySelectorAll('script').length")).toInt(),
            1);
  EXPECT_EQ(runScript(test::units(w).galleryView, QStringLiteral("document.querySelectorAll('a').length")).toInt(), 2);
  EXPECT_EQ(runScript(test::units(w).galleryView, QStringLiteral("document.querySelector('img').getAttribute('src')"))
                .toString(),
            QString::fromStdString(r.address));

  setEditorBody(test::units(w).editorView, "<p>x</p>");
  GalleryNavigating(w, toQ(fromUtf8("#插入[") + r.address + "]"));
  ASSERT_TRUE(waitUntil([&] { return editorHtml().find("<img") != std::string::npos; }));
  const std::string body = editorBody(test::units(w).editorView);
  EXPECT_EQ(body.find("<script"), std::string::npos) << body;
  EXPECT_FALSE(runScript(test::units(w).editorView,
                         QStringLiteral("tinymce.activeEditor.getBody().querySelector('img').hasAttribute('onerror')"))
                   .toBool());
  EXPECT_EQ(runScript(test::units(w).editorView,
                      QStringLiteral("tinymce.activeEditor.getBody().querySelector('img').getAttribute('src')"))
                .toString(),
            QString::fromStdString(r.address));
}

// A picture that compresses like a photo (noise), and one like a
// screenshot (flat colours).
QImage photoLike(int w, int h) {
  QImage image(w, h, QImage::Format_RGB32);
  quint32 seed = 12345;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      seed = seed * 1103515245u + 12345u;
      image.setPixel(x, y, qRgb((seed >> 16) & 255, (seed >> 8) & 255, seed & 255));
    }
  return image;
}

QImage screenshotLike(int w, int h) {
  QImage image(w, h, QImage::Format_RGB32);
  image.fill(Qt::white);
  for (int y = 10; y < 30; ++y)
    for (int x = 10; x < w - 10; ++x) image.setPixel(x, y, qRgb(40, 90, 200));
  return image;
}

TEST_F(Screen, PastedPictureIsUploadedAndInsertedAtTheCaret) {
  installImagePaste(w, PasteImage);
  setEditorBody(test::units(w).editorView, "<p>first</p><p>second</p>");
  ASSERT_TRUE(waitUntil([&] { return editorHtml().find("second") != std::string::npos; }));
  clickIntoParagraph(0);
  clearToastHistory();
  QGuiApplication::clipboard()->setImage(screenshotLike(200, 120));
  QWidget* target =
      test::units(w).editorView->focusProxy() ? test::units(w).editorView->focusProxy() : test::units(w).editorView;
  QTest::keyClick(target, Qt::Key_V, Qt::ControlModifier);
  ASSERT_TRUE(waitUntil([&] { return editorHtml().find("<img") != std::string::npos; })) << editorHtml();
  const std::string html = editorHtml();
  EXPECT_LT(html.find("first"), html.find("<img")) << html;
  EXPECT_LT(html.find("<img"), html.find("second")) << html;
  EXPECT_NE(html.find(".png"), std::string::npos) << html;
  const std::vector<int> widths = loadedWidths(test::units(w).editorView, kEditorWidths, 1);
  ASSERT_EQ(widths.size(), 1u);
  EXPECT_EQ(widths[0], 200);
  ASSERT_EQ(blogSession().gallery.size(), 1u);
  EXPECT_NE(blogSession().gallery[0].find(".png[200|120"), std::string::npos) << blogSession().gallery[0];
  EXPECT_TRUE(toastTexts().contains(QStringLiteral("已插入图片"))) << toastTexts().join(QLatin1Char('|')).toStdString();

  // A photo pasted on the drop box goes as JPEG, to the same caret.
  QGuiApplication::clipboard()->setImage(photoLike(160, 100));
  QTest::mouseClick(test::units(w).dropBox, Qt::LeftButton, {}, QPoint(20, 40));
  QTest::keyClick(test::units(w).dropBox, Qt::Key_V, Qt::ControlModifier);
  ASSERT_TRUE(waitUntil([&] { return blogSession().gallery.size() == 2; }));
  EXPECT_NE(blogSession().gallery[1].find(".jpg[160|100"), std::string::npos) << blogSession().gallery[1];
  ASSERT_TRUE(waitUntil([&] {
    return runScript(test::units(w).editorView,
                     QStringLiteral("tinymce.activeEditor.getBody().querySelectorAll('img').length"))
               .toInt() == 2;
  }));
  // Plain text still pastes as text in the editor.
  QGuiApplication::clipboard()->setText(QStringLiteral("plain words"));
  clickIntoParagraph(1);
  QTest::keyClick(target, Qt::Key_V, Qt::ControlModifier);
  EXPECT_TRUE(waitUntil([&] { return editorHtml().find("plain words") != std::string::npos; })) << editorHtml();
  EXPECT_EQ(blogSession().gallery.size(), 2u);
}

TEST_F(Screen, FilesAndWebImagesDroppedOnTheGalleryViewerUpload) {
  test::units(w).dropTarget->registerOn(test::units(w).dropBox);
  test::units(w).dropTarget->alsoOn(test::units(w).galleryView);
  QObject::connect(test::units(w).dropTarget, &DropTarget::filesDropped, &w,
                   [this](const QStringList& p) { DropFiles(w, p); });
  QObject::connect(test::units(w).dropTarget, &DropTarget::addressesDropped, &w,
                   [this](const QStringList& a) { DropAddresses(w, a); });
  RebuildGallery(w);
  test::WebHost web;
  const std::string gif = test::makeGif(30, 20);
  web.server().Get("/pics/cat.gif",
                   [&gif](const httplib::Request&, httplib::Response& res) { res.set_content(gif, "image/gif"); });
  web.start();
  test::writeFile(scope.dir().file("dropped.jpg"), test::makeJpeg(50, 40));

  // The page is shown by a child widget of the view: that is where a drag lands.
  QWidget* page =
      test::units(w).galleryView->focusProxy() ? test::units(w).galleryView->focusProxy() : test::units(w).galleryView;
  auto drop = [&](const QList<QUrl>& urls) {
    QMimeData mime;
    mime.setUrls(urls);
    QDragEnterEvent enter(QPoint(20, 20), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(page, &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent dropEvent(QPointF(20, 20), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(page, &dropEvent);
  };
  drop({QUrl::fromLocalFile(QString::fromStdString(scope.dir().file("dropped.jpg")))});
  ASSERT_EQ(blogSession().gallery.size(), 1u);
  EXPECT_EQ(blogSession().gallery[0], blog.siteUrl() + "upload/dropped.jpg[50|40");
  drop({QUrl(QString::fromStdString(web.url("/pics/cat.gif")))});
  ASSERT_EQ(blogSession().gallery.size(), 2u);
  EXPECT_EQ(blogSession().gallery[1], blog.siteUrl() + "upload/" + md5Hex(gif) + ".gif[30|20");
  // The viewer still shows the gallery page, with both.
  EXPECT_EQ(loadedWidths(test::units(w).galleryView, kGalleryWidths, 2).size(), 2u);
  EXPECT_TRUE(waitUntil([&] { return test::units(w).galleryView->url().isLocalFile(); }));
}

}  // namespace
}  // namespace inkpost
