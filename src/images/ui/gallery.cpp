#include "images/ui/gallery.h"

#include "blog/ui/articleform.h"
#include "blog/ui/pageguard.h"
#include "common/programdir.h"
#include "common/ui/gbk.h"
#include "common/ui/toast.h"
#include "images/ui/gallerypage.h"
#include "images/ui/imagepanel.h"
#include "net/encoding.h"

#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QPointer>
#include <QStyleHints>
#include <QTimer>
#include <QUrl>
#include <QWebChannel>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineSettings>
#include <QWebEngineView>

namespace inkpost {
namespace {

// Click and double click on the page's links, delivered to the bridge.
// A single click on a link with a fragment hands over the raw fragment,
// once the double-click time has passed without a second click (so that a
// double click does not also copy, with a notice of its own). A double
// click on a thumbnail hands over its link with the copy marker turned
// into the insert marker; the page's own double-click script is stopped,
// since in this browser it reads the link back percent-encoded and would
// only copy again. Links are handed over from a task of their own,
// after the event that produced them is done: a handler that reads the
// editor page while this page is still inside a mouse event waits for an
// answer that does not come. Where the page is scrolled goes to the bridge
// too (when the channel is up and after every scroll), so that the page
// written again opens at the same place.
const char* const kLinkScript = R"JS(
(function () {
  var bridge = null, pending = [], clickTimer = null;
  var DOUBLE_CLICK_MS = %DOUBLE_CLICK_MS%;
  function deliver(href) { if (bridge) bridge.navigate(href); else pending.push(href); }
  function send(href) { setTimeout(function () { deliver(href); }, 0); }
  function start() {
    if (typeof QWebChannel === 'undefined' || !window.qt || !qt.webChannelTransport) return;
    new QWebChannel(qt.webChannelTransport, function (channel) {
      bridge = channel.objects.gallery;
      var queued = pending; pending = [];
      queued.forEach(function (h) { bridge.navigate(h); });
      bridge.scrolled(window.scrollX, window.scrollY);
    });
  }
  window.addEventListener('scroll', function () {
    if (bridge) bridge.scrolled(window.scrollX, window.scrollY);
  }, { passive: true });
  function linkOf(node) {
    while (node && node.nodeType !== 1) node = node.parentNode;
    return node && node.closest ? node.closest('a[href]') : null;
  }
  function rawFragment(a) {
    var h = a.getAttribute('href') || '';
    if (h.charAt(0) === '#') return h;
    var i = h.indexOf('#');
    if (i < 0) return null;
    try { return decodeURIComponent(h.substring(i)); } catch (e) { return h.substring(i); }
  }
  window.addEventListener('click', function (e) {
    var a = linkOf(e.target);
    if (!a) return;
    var h = rawFragment(a);
    if (h === null) return;
    e.preventDefault();
    if (clickTimer !== null) clearTimeout(clickTimer);
    if (e.detail > 1 || !a.hasAttribute('ondblclick')) {
      clickTimer = null;
      if (e.detail <= 1) send(h);
      return;
    }
    clickTimer = setTimeout(function () { clickTimer = null; deliver(h); }, DOUBLE_CLICK_MS);
  }, true);
  window.addEventListener('dblclick', function (e) {
    var a = linkOf(e.target);
    if (!a || !a.hasAttribute('ondblclick')) return;
    var h = a.getAttribute('href') || '';
    e.preventDefault();
    e.stopPropagation();
    if (clickTimer !== null) clearTimeout(clickTimer);
    clickTimer = null;
    send(h.replace('\u590d\u5236', '\u63d2\u5165'));
  }, true);
  start();
})();
)JS";

QString channelScript() {
  QFile f(QStringLiteral(":/qtwebchannel/qwebchannel.js"));
  QString js;
  if (f.open(QIODevice::ReadOnly)) js = QString::fromUtf8(f.readAll());
  // A little longer than the system's double-click time.
  const int doubleClickMs = QGuiApplication::styleHints()->mouseDoubleClickInterval() + 50;
  return js +
         QString::fromUtf8(kLinkScript).replace(QStringLiteral("%DOUBLE_CLICK_MS%"), QString::number(doubleClickMs));
}

QString pagePath() { return QDir::cleanPath(QString::fromUtf8(galleryPagePath().c_str())); }

bool isGalleryPage(const QString& target) {
  if (target.isEmpty()) return false;
  QString path = target;
  if (target.startsWith(QStringLiteral("file:"))) {
    QUrl u(target);
    if (u.hasFragment() || u.hasQuery()) return false;
    path = u.toLocalFile();
  }
  return QDir::cleanPath(path) == pagePath();
}

GalleryPage* galleryPage(ImagePanel& images) { return qobject_cast<GalleryPage*>(images.galleryView()->page()); }

}  // namespace

GalleryBridge::GalleryBridge(GalleryPage* page) : QObject(page), page_(page) {}

// The page's message is still being delivered here; the handler (which may
// talk to the editor page and reload this one) runs once it is done.
void GalleryBridge::navigate(const QString& href) {
  QMetaObject::invokeMethod(
      page_,
      [page = QPointer<GalleryPage>(page_), href] {
        if (page) page->decide(href);
      },
      Qt::QueuedConnection);
}

void GalleryBridge::scrolled(double x, double y) { page_->setPlace(QPointF(x, y)); }

GalleryPage::GalleryPage(QObject* parent) : QWebEnginePage(parent) {
  QWebEngineScript script;
  script.setName(QStringLiteral("inkpost-gallery-links"));
  script.setInjectionPoint(QWebEngineScript::DocumentCreation);
  script.setWorldId(QWebEngineScript::MainWorld);
  script.setRunsOnSubFrames(false);
  script.setSourceCode(channelScript());
  scripts().insert(script);
  // The page file is GBK and names no character set.
  settings()->setDefaultTextEncoding(QStringLiteral("GBK"));
  // The thumbnails come from the blog; nothing else but the page itself
  // loads.
  guardPage(this, programPath("temp/"), /*remoteImages=*/true);
  auto* channel = new QWebChannel(this);
  channel->registerObject(QStringLiteral("gallery"), new GalleryBridge(this));
  setWebChannel(channel, QWebEngineScript::MainWorld);
}

bool GalleryPage::decide(const QString& target) {
  if (handler_) return handler_(target);
  return target == QLatin1String("about:blank") || isGalleryPage(target);
}

QString GalleryPage::targetText(const QUrl& url) {
  if (url.isLocalFile() && !url.hasFragment() && !url.hasQuery()) return url.toLocalFile();
  if (!url.hasFragment()) return url.toString();
  QUrl base = url;
  base.setFragment(QString());
  return base.toString(QUrl::RemoveFragment) + QLatin1Char('#') + url.fragment(QUrl::FullyDecoded);
}

void GalleryPage::keepPlace(QPointF at) {
  for (const QWebEngineScript& old : scripts().find(QStringLiteral("inkpost-gallery-place"))) scripts().remove(old);
  if (at.isNull()) return;
  QWebEngineScript script;
  script.setName(QStringLiteral("inkpost-gallery-place"));
  script.setInjectionPoint(QWebEngineScript::DocumentReady);
  script.setWorldId(QWebEngineScript::MainWorld);
  script.setRunsOnSubFrames(false);
  script.setSourceCode(QStringLiteral("window.scrollTo(%1,%2);").arg(at.x()).arg(at.y()));
  scripts().insert(script);
}

void GalleryPage::showPageFile(const QString& path) {
  const QUrl address = QUrl::fromLocalFile(path);
  // The page written again (after an insert or an upload) opens where the
  // user had scrolled it, not at its top.
  keepPlace(url() == address ? place_ : QPointF());
  QFile file(path);
  // The browser guesses the character set of a file that names none, and
  // takes this GBK page for Western text; its bytes are therefore handed
  // over with the set named, under the file's own address. (Content of
  // that size or more cannot be handed over this way.)
  if (file.open(QIODevice::ReadOnly) && file.size() < kMaxContentBytes) {
    const QByteArray bytes = file.readAll();
    ownContent_ = true;
    setContent(bytes, QStringLiteral("text/html;charset=GBK"), address);
    return;
  }
  load(address);
}

bool GalleryPage::acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) {
  // The page content handed over by showPageFile arrives as a data address.
  if (ownContent_ && isMainFrame && url.scheme() == QLatin1String("data") && type != NavigationTypeLinkClicked) {
    ownContent_ = false;
    return true;
  }
  const QString target = targetText(url);
  if (target == QLatin1String("about:blank") || isGalleryPage(target)) return decide(target);
  // Everything else is cancelled; a copy or insert link is acted on once
  // the browser is done asking.
  QMetaObject::invokeMethod(
      this,
      [page = QPointer<GalleryPage>(this), target] {
        if (page) page->decide(target);
      },
      Qt::QueuedConnection);
  return false;
}

void installGalleryView(ImagePanel& images) {
  if (galleryPage(images)) return;
  auto* page = new GalleryPage(images.galleryView());
  images.galleryView()->setPage(page);
}

void setGalleryHandler(ImagePanel& images, std::function<bool(const QString&)> handler) {
  installGalleryView(images);
  galleryPage(images)->setHandler(std::move(handler));
}

void RebuildGallery(ImagePanel& images) {
  installGalleryView(images);
  // Every listed address came from the blog; the editor page may show it.
  for (const GalleryEntry& entry : images.gallery()) allowBlogAddress(parseGalleryEntry(entry).address);
  if (!writeGalleryPage(images.gallery())) {
    // The uploads are kept in the list (and in drafts); only the page is missing.
    ShowToast(images.window(), fromUtf8("图片列表无法写入temp文件夹，缩略图暂时不能显示，图片已上传。"), 2.6);
    return;
  }
  galleryPage(images)->showPageFile(pagePath());
}

bool GalleryNavigating(ImagePanel& images, const QString& target) {
  if (target == QLatin1String("about:blank") || isGalleryPage(target)) return true;
  const GalleryLink link = classifyGalleryNavigation(fromQ(target), fromQ(pagePath()));
  switch (link.kind) {
    case GalleryLink::Allow:
      return true;
    case GalleryLink::Copy:
      QGuiApplication::clipboard()->setText(toQ(link.address));
      ShowToast(images.window(), fromUtf8("已复制图片地址"), 0.8);
      return false;
    case GalleryLink::Insert:
      // A double click copies too, as its first click always did.
      QGuiApplication::clipboard()->setText(toQ(link.address));
      images.form().insertAtCaret(galleryInsertElement(link.address));
      RebuildGallery(images);
      ShowToast(images.window(), fromUtf8("已插入图片"), 0.8);
      return false;
    case GalleryLink::Cancel:
      break;
  }
  return false;
}

}  // namespace inkpost
