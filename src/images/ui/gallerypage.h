// The page object of the gallery viewer: every navigation, and every click
// on one of the page's fragment links, goes to one handler that allows or
// cancels it. Fragment links never reach acceptNavigationRequest in this
// browser, so a script injected into each document catches clicks on links
// and hands their raw href over a web channel; the page text stays as
// written.
#pragma once

#include <QObject>
#include <QPointF>
#include <QString>
#include <QWebEnginePage>

#include <functional>

namespace inkpost {

class GalleryPage;

// The C++ end of the web channel, registered as "gallery".
class GalleryBridge : public QObject {
  Q_OBJECT
 public:
  explicit GalleryBridge(GalleryPage* page);
  Q_INVOKABLE void navigate(const QString& href);
  // Where the page is scrolled to (CSS pixels).
  Q_INVOKABLE void scrolled(double x, double y);

 private:
  GalleryPage* page_;
};

class GalleryPage : public QWebEnginePage {
  Q_OBJECT
 public:
  using Handler = std::function<bool(const QString& target)>;

  explicit GalleryPage(QObject* parent);
  void setHandler(Handler handler) { handler_ = std::move(handler); }
  bool hasHandler() const { return static_cast<bool>(handler_); }
  // Runs the handler (or, without one, only lets the page itself load).
  bool decide(const QString& target);

  // Shows the GBK page file at `path` under its file address; shown again,
  // it keeps its scroll position.
  void showPageFile(const QString& path);
  // Where the page shown is scrolled to, as its script tells.
  void setPlace(QPointF at) { place_ = at; }

  // The text handed to the handler for a navigation to `url`: a local file
  // as its path, anything with a fragment with the fragment fully decoded.
  static QString targetText(const QUrl& url);

 protected:
  bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override;

 private:
  // The next load of the page scrolls to `at` once its text is laid out
  // (nowhere for a null point).
  void keepPlace(QPointF at);

  static constexpr qint64 kMaxContentBytes = 2 * 1024 * 1024 - 4096;
  Handler handler_;
  bool ownContent_ = false;
  QPointF place_;
};

}  // namespace inkpost
