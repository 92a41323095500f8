// What the screen shows, in a real browser against the sandbox blog: the
// thumbnails and the inserted images load (natural width above 0), an
// inserted image keeps its resize handler while the user types, a double
// click inserts at the caret as one undo step, and the editor page reaches
// nothing but the blog and its own files.
#include "../images/imagedata.h"
#include "blog/ui/editorbody.h"
#include "blog/ui/pageguard.h"
#include "common/ui/gbk.h"
#include "common/ui/toast.h"
#include "guitest.h"
#include "imagehost.h"
#include "images/ui/gallery.h"
#include "images/upload.h"
#include "net/encoding.h"
#include "support/capture_server.h"
#include "support/sandboxlogin.h"

#include <gtest/gtest.h>
#include <QCheckBox>
#include <QClipboard>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QMenu>
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

class Screen : public test::ImagesWindow {
 protected:
  void SetUp() override {
    ImagesWindow::SetUp();
    pickSandbox(blog);
    w().resize(1200, 900);
    ASSERT_TRUE(editorUp());
  }

  // Drops image files with these names on the window (uploaded to the
  // sandbox) and waits until the gallery shows them all.
  void dropImages(const std::vector<std::string>& names) {
    QStringList paths;
    int n = 0;
    for (const std::string& name : names) {
      paths << QString::fromStdString(file(name, test::makeJpeg(120 + 10 * ++n, 80)));
    }
    units().autoNameCheck->setChecked(false);
    drop(paths);
  }
  QPoint thumbnail(int id) {
    const QVariantList l = runScript(units().galleryView,
                                     QStringLiteral("(function(){var a=document.getElementById('%1');if(!a)return null;"
                                                    "a.scrollIntoView({block:'nearest',inline:'nearest'});"
                                                    "var r=a.querySelector('img').getBoundingClientRect();"
                                                    "return [r.left+r.width/2,r.top+r.height/2];})()")
                                         .arg(id))
                               .toList();
    if (l.size() != 2) return {-1, -1};
    return units().galleryView->mapTo(&w(),
                                      QPoint(static_cast<int>(l[0].toDouble()), static_cast<int>(l[1].toDouble())));
  }
  // Double-clicks thumbnail `id` and waits until the editor holds `images` images.
  bool insertByDoubleClick(int id, int images) {
    // The gallery's own reloads settle: its page has not been loading for
    // 300 ms (a double click during a reload is lost with the old page).
    QElapsedTimer quiet;
    quiet.start();
    waitUntil(
        [&] {
          if (units().galleryView->page()->isLoading()) quiet.restart();
          return quiet.elapsed() >= 300;
        },
        10000);
    const QPoint p = thumbnail(id);
    if (p.x() < 0) return false;
    QTest::mouseDClick(w().windowHandle(), Qt::LeftButton, {}, p);
    return waitUntil([&] {
      return runScript(units().editorView,
                       QStringLiteral("tinymce.activeEditor.getBody().querySelectorAll('img').length"))
                 .toInt() == images;
    });
  }
  // A real click at the end of the text of paragraph `index` of the editor.
  void clickIntoParagraph(int index) {
    const QVariantList l =
        runScript(units().editorView,
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
        units().editorView,
        QStringLiteral("(function(){var e=tinymce.activeEditor;var p=e.getBody().querySelectorAll('p')[%1];"
                       "var f=e.getContainer().querySelector('iframe').getBoundingClientRect();"
                       "var g=e.getDoc().createRange();g.selectNodeContents(p);var r=g.getBoundingClientRect();"
                       "return [f.left+r.right+3,f.top+r.top+r.height/2];})()")
            .arg(index));
    const QVariantList t = textEnd.toList();
    const QPoint at(static_cast<int>(t[0].toDouble()), static_cast<int>(t[1].toDouble()));
    QTest::mouseClick(w().windowHandle(), Qt::LeftButton, {}, units().editorView->mapTo(&w(), at));
    QTest::qWait(100);
  }
  void typeInEditor(const QString& text) {
    QWidget* target = units().editorView->focusProxy() ? units().editorView->focusProxy() : units().editorView;
    QTest::keyClicks(target, text);
    QTest::qWait(100);
  }
  void undoKey() {
    QWidget* target = units().editorView->focusProxy() ? units().editorView->focusProxy() : units().editorView;
    QTest::keyClick(target, Qt::Key_Z, Qt::ControlModifier);
    QTest::qWait(200);
  }
  std::string editorHtml() {
    return runScript(units().editorView, QStringLiteral("tinymce.activeEditor.getContent()")).toString().toStdString();
  }

  test::Sandbox blog{test::sandboxOptions()};
};

TEST_F(Screen, EveryThumbnailAndEveryInsertedImageShows) {
  dropImages({"plain.jpg", "with blank.jpg", "#hash.jpg", "100%.jpg", "a&b.jpg", "中文.jpg", "사진.jpg", "😀.jpg"});
  ASSERT_EQ(gallery().size(), 8u);
  const std::vector<int> thumbs = loadedWidths(units().galleryView, kGalleryWidths, 8);
  ASSERT_EQ(thumbs.size(), 8u);
  for (size_t i = 0; i < thumbs.size(); ++i) EXPECT_GT(thumbs[i], 0) << gallery()[i];

  setEditorBody(units().editorView, "<p>text</p>");
  for (int id = 1; id <= 8; ++id) ASSERT_TRUE(insertByDoubleClick(id, id)) << id;
  const std::vector<int> inserted = loadedWidths(units().editorView, kEditorWidths, 8);
  ASSERT_EQ(inserted.size(), 8u);
  for (size_t i = 0; i < inserted.size(); ++i) EXPECT_GT(inserted[i], 0) << gallery()[i];
  // The article body carries the same addresses (escaped where needed).
  const std::string body = editorBody(units().editorView);
  for (const GalleryEntry& e : gallery()) {
    std::string name = parseGalleryEntry(e).address;
    name = name.substr(name.rfind('/'));
    for (size_t at = name.find('&'); at != std::string::npos; at = name.find('&', at + 1)) name.insert(at + 1, "amp;");
    EXPECT_NE(body.find(name), std::string::npos) << name << "\n" << body;
  }
}

TEST_F(Screen, TypingKeepsTheResizeHandlerOfAnInsertedImage) {
  dropImages({"photo.jpg"});
  setEditorBody(units().editorView, "<p>before</p>");
  ASSERT_TRUE(insertByDoubleClick(1, 1));
  clickIntoParagraph(0);
  typeInEditor(QStringLiteral(" and more"));
  ASSERT_TRUE(waitUntil([&] { return editorHtml().find("before and more") != std::string::npos; })) << editorHtml();
  const std::string html = editorHtml();
  EXPECT_NE(html.find("onload=\"ResizeImage(this,520)\""), std::string::npos) << html;
  const std::string body = editorBody(units().editorView);
  EXPECT_NE(body.find("onload=\"ResizeImage(this,520)\""), std::string::npos) << body;
  EXPECT_NE(body.find("title=\"\""), std::string::npos) << body;
  EXPECT_NE(body.find("alt=\"\""), std::string::npos) << body;
  // A width the user gives it stays too.
  runScript(units().editorView, QStringLiteral("(function(){var e=tinymce.activeEditor;"
                                               "e.dom.setAttrib(e.getBody().querySelector('img'),'width','300');"
                                               "e.nodeChanged();})()"));
  typeInEditor(QStringLiteral("!"));
  EXPECT_TRUE(waitUntil([&] { return editorBody(units().editorView).find("width=\"300\"") != std::string::npos; }))
      << editorBody(units().editorView);
  EXPECT_NE(editorBody(units().editorView).find("onload=\"ResizeImage(this,520)\""), std::string::npos);
  // Any other load handler is dropped; the sanitising stays on.
  setEditorBody(units().editorView,
                "<p><img src=\"" + blog.siteUrl() + "upload/photo.jpg\" onload=\"alert(1)\" onerror=\"x()\"></p>");
  clickIntoParagraph(0);
  typeInEditor(QStringLiteral("x"));
  const std::string cleaned = editorBody(units().editorView);
  EXPECT_EQ(cleaned.find("alert"), std::string::npos) << cleaned;
  EXPECT_EQ(cleaned.find("onerror"), std::string::npos) << cleaned;
}

TEST_F(Screen, InsertGoesToTheCaretAsOneUndoStep) {
  dropImages({"photo.jpg"});
  setEditorBody(units().editorView, "<p>first</p><p>second</p>");
  ASSERT_TRUE(waitUntil([&] { return editorHtml().find("second") != std::string::npos; }));
  // No caret placed yet: the end.
  ASSERT_TRUE(insertByDoubleClick(1, 1));
  std::string html = editorHtml();
  EXPECT_LT(html.find("second"), html.find("<img")) << html;

  setEditorBody(units().editorView, "<p>first</p><p>second</p>");
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
  runScript(units().editorView, QStringLiteral("tinymce.activeEditor.focus()"));
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
  const std::string local = file("local.jpg", jpeg);
  dropImages({"photo.jpg"});
  const std::string own = parseGalleryEntry(gallery()[0]).address;

  setEditorBody(units().editorView, "<p><img src=\"" + own + "\"><img src=\"" + other.url("/pixel.jpg") +
                                        "\"><img src=\"file://" + local + "\"></p>");
  const std::vector<int> widths = loadedWidths(units().editorView, kEditorWidths, 3);
  ASSERT_EQ(widths.size(), 3u);
  EXPECT_GT(widths[0], 0);
  EXPECT_EQ(widths[1], 0);
  EXPECT_EQ(widths[2], 0);
  // A script in the page cannot reach it either.
  runScript(units().editorView, QStringLiteral("(function(){var i=new Image();i.src='%1';document.body.appendChild(i);"
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
  const UploadResult r = uploadImage(hostile.url("/"), "", file("a.jpg", test::makeJpeg(8, 8)), StoreAs::OwnName);
  ASSERT_TRUE(r.ok());
  EXPECT_EQ(r.address, "http://b/x.jpg\" onerror=\"alert(1)\"><script>bad()</script>");
  w().images().setGallery({makeGalleryEntry(r.address, 8, 8)});
  RebuildGallery(w().images());
  ASSERT_TRUE(waitUntil([&] {
    return runScript(units().galleryView, QStringLiteral("document.querySelectorAll('img').length")).toInt() == 1;
  }));
  // Only the page's own script, and one link per thumbnail besides the hidden one.
  EXPECT_EQ(runScript(units().galleryView, QStringLiteral("document.querySelectorAll('script').length")).toInt(), 1);
  EXPECT_EQ(runScript(units().galleryView, QStringLiteral("document.querySelectorAll('a').length")).toInt(), 2);
  EXPECT_EQ(
      runScript(units().galleryView, QStringLiteral("document.querySelector('img').getAttribute('src')")).toString(),
      QString::fromStdString(r.address));

  setEditorBody(units().editorView, "<p>x</p>");
  GalleryNavigating(w().images(), toQ(fromUtf8("#插入[") + r.address + "]"));
  ASSERT_TRUE(waitUntil([&] { return editorHtml().find("<img") != std::string::npos; }));
  const std::string body = editorBody(units().editorView);
  EXPECT_EQ(body.find("<script"), std::string::npos) << body;
  EXPECT_FALSE(runScript(units().editorView,
                         QStringLiteral("tinymce.activeEditor.getBody().querySelector('img').hasAttribute('onerror')"))
                   .toBool());
  EXPECT_EQ(runScript(units().editorView,
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
  setEditorBody(units().editorView, "<p>first</p><p>second</p>");
  ASSERT_TRUE(waitUntil([&] { return editorHtml().find("second") != std::string::npos; }));
  clickIntoParagraph(0);
  clearToastHistory();
  QGuiApplication::clipboard()->setImage(screenshotLike(200, 120));
  QWidget* target = units().editorView->focusProxy() ? units().editorView->focusProxy() : units().editorView;
  QTest::keyClick(target, Qt::Key_V, Qt::ControlModifier);
  ASSERT_TRUE(waitUntil([&] { return editorHtml().find("<img") != std::string::npos; })) << editorHtml();
  const std::string html = editorHtml();
  EXPECT_LT(html.find("first"), html.find("<img")) << html;
  EXPECT_LT(html.find("<img"), html.find("second")) << html;
  EXPECT_NE(html.find(".png"), std::string::npos) << html;
  const std::vector<int> widths = loadedWidths(units().editorView, kEditorWidths, 1);
  ASSERT_EQ(widths.size(), 1u);
  EXPECT_EQ(widths[0], 200);
  ASSERT_EQ(gallery().size(), 1u);
  EXPECT_NE(gallery()[0].find(".png[200|120"), std::string::npos) << gallery()[0];
  EXPECT_TRUE(toastTexts().contains(QStringLiteral("已插入图片"))) << toastTexts().join(QLatin1Char('|')).toStdString();
  EXPECT_FALSE(test::fileExists(dir_.file("temp/paste.png")));  // used up by the upload

  // A photo pasted on the drop box goes as JPEG, to the same caret.
  QGuiApplication::clipboard()->setImage(photoLike(160, 100));
  QTest::mouseClick(units().dropBox, Qt::LeftButton, {}, QPoint(20, 40));
  QTest::keyClick(units().dropBox, Qt::Key_V, Qt::ControlModifier);
  ASSERT_TRUE(waitUntil([&] { return gallery().size() == 2; }));
  EXPECT_NE(gallery()[1].find(".jpg[160|100"), std::string::npos) << gallery()[1];
  EXPECT_FALSE(test::fileExists(dir_.file("temp/paste.jpg")));
  ASSERT_TRUE(waitUntil([&] {
    return runScript(units().editorView,
                     QStringLiteral("tinymce.activeEditor.getBody().querySelectorAll('img').length"))
               .toInt() == 2;
  }));
  // Plain text still pastes as text in the editor.
  QGuiApplication::clipboard()->setText(QStringLiteral("plain words"));
  clickIntoParagraph(1);
  QTest::keyClick(target, Qt::Key_V, Qt::ControlModifier);
  EXPECT_TRUE(waitUntil([&] { return editorHtml().find("plain words") != std::string::npos; })) << editorHtml();
  EXPECT_EQ(gallery().size(), 2u);
}

// A right click under the text (the empty part of the editor) opens the
// text's own menu, 粘贴图片 among it, and the picture goes after the text;
// outside the text (the status line) 粘贴图片 is offered too.
TEST_F(Screen, TheEmptyPartOfTheEditorHasTheMenuWithPastePicture) {
  setEditorBody(units().editorView, "<p>only line</p>");
  ASSERT_TRUE(waitUntil([&] { return editorHtml().find("only line") != std::string::npos; }));
  // A right click at a point of the page (the script gives its x and y);
  // the texts of the menu that opens (closed again), empty when none does.
  QAction* pastePicture = nullptr;
  const auto rightClickAt = [&](const char* script) {
    QStringList texts;
    const QVariantList p = runScript(units().editorView, QString::fromUtf8(script)).toList();
    if (p.size() != 2) return texts;
    const QPoint at(static_cast<int>(p[0].toDouble()), static_cast<int>(p[1].toDouble()));
    QTest::mouseClick(w().windowHandle(), Qt::RightButton, {}, units().editorView->mapTo(&w(), at));
    waitUntil([] { return qobject_cast<QMenu*>(QApplication::activePopupWidget()) != nullptr; }, 3000);
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    if (!menu) return texts;
    for (QAction* a : menu->actions()) {
      if (a->isSeparator()) continue;
      texts << a->text() + (a->isEnabled() ? "" : " (off)");
      if (a->text() == QStringLiteral("粘贴图片")) pastePicture = a;
    }
    menu->hide();
    return texts;
  };
  const char* underTheText =
      "(function(){var f=tinymce.activeEditor.getContainer().querySelector('iframe').getBoundingClientRect();"
      "return [f.left+f.width/2,f.bottom-30];})()";
  const char* statusLine =
      "(function(){var r=document.querySelector('.tox-statusbar').getBoundingClientRect();"
      "return [r.left+r.width/2,r.top+r.height/2];})()";
  QGuiApplication::clipboard()->setText(QStringLiteral("words"));
  QStringList texts = rightClickAt(underTheText);
  EXPECT_TRUE(texts.contains(QStringLiteral("粘贴"))) << texts.join('|').toStdString();
  EXPECT_TRUE(texts.contains(QStringLiteral("全选"))) << texts.join('|').toStdString();
  texts = rightClickAt(statusLine);
  EXPECT_EQ(texts, QStringList{QStringLiteral("粘贴图片 (off)")});

  QGuiApplication::clipboard()->setImage(screenshotLike(200, 120));
  texts = rightClickAt(underTheText);
  EXPECT_TRUE(texts.contains(QStringLiteral("粘贴图片"))) << texts.join('|').toStdString();
  EXPECT_TRUE(texts.contains(QStringLiteral("全选"))) << texts.join('|').toStdString();
  ASSERT_NE(pastePicture, nullptr);
  pastePicture->trigger();
  ASSERT_TRUE(waitUntil([&] { return editorHtml().find("<img") != std::string::npos; }, 20000)) << editorHtml();
  EXPECT_LT(editorHtml().find("only line"), editorHtml().find("<img")) << editorHtml();
}

TEST_F(Screen, FilesAndWebImagesDroppedOnTheGalleryViewerUpload) {
  RebuildGallery(w().images());
  test::WebHost web;
  const std::string gif = test::makeGif(30, 20);
  web.server().Get("/pics/cat.gif",
                   [&gif](const httplib::Request&, httplib::Response& res) { res.set_content(gif, "image/gif"); });
  web.start();
  const std::string dropped = file("dropped.jpg", test::makeJpeg(50, 40));

  // The page is shown by a child widget of the view: that is where a drag lands.
  QWidget* page = units().galleryView->focusProxy() ? units().galleryView->focusProxy() : units().galleryView;
  auto dragOnto = [&](const QList<QUrl>& urls) {
    QMimeData mime;
    mime.setUrls(urls);
    QDragEnterEvent enter(QPoint(20, 20), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(page, &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent dropEvent(QPointF(20, 20), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(page, &dropEvent);
  };
  dragOnto({QUrl::fromLocalFile(QString::fromStdString(dropped))});
  ASSERT_EQ(gallery().size(), 1u);
  EXPECT_EQ(gallery()[0], blog.siteUrl() + "upload/dropped.jpg[50|40");
  dragOnto({QUrl(QString::fromStdString(web.url("/pics/cat.gif")))});
  ASSERT_EQ(gallery().size(), 2u);
  EXPECT_EQ(gallery()[1], blog.siteUrl() + "upload/" + md5Hex(gif) + ".gif[30|20");
  // The viewer still shows the gallery page, with both.
  EXPECT_EQ(loadedWidths(units().galleryView, kGalleryWidths, 2).size(), 2u);
  EXPECT_TRUE(waitUntil([&] { return units().galleryView->url().isLocalFile(); }));
}

}  // namespace
}  // namespace inkpost
