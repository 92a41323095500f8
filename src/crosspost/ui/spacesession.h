// The session with the second service's blog host: the passport sign-in,
// the hidden browser 互联网浏览器_百度空间 that follows the host's sign-on
// redirects, and the capture of the host's cookies once it is home. The
// session says when it is ready (or why it is not) with its signals.
#pragma once

#include <QObject>
#include <QPointer>

#include <string>

class QTimer;
class QWebEngineView;

namespace inkpost {

class SpaceSession : public QObject {
  Q_OBJECT
 public:
  enum Failure { LoginFailed, TimedOut };

  // `browser` is the hidden browser the sign-on runs in.
  explicit SpaceSession(QWebEngineView* browser, QObject* parent = nullptr);

  // Signs in to the passport (off the window thread; the caller waits),
  // then sends the browser to the blog host and returns at once: ready()
  // follows once the browser is home with the host's cookies, failed() when
  // the sign-in was refused (at once) or after waitLimit polls of
  // waitIntervalMs (see spaceSettings()).
  void open(const std::string& userName, const std::string& password);
  bool isReady() const { return !cookie_.empty(); }
  // The blog host's session cookie text; empty until ready.
  const std::string& cookie() const { return cookie_; }
  void setCookie(const std::string& cookie) { cookie_ = cookie; }

  // The browser finished a document: when it is the blog host's home page
  // and the host's cookies carry "PSPTOKEN=", keeps them, sends the browser
  // to "about:blank" and says the session is ready.
  void browserArrived();

  QWebEngineView* browser() const;

 signals:
  void ready();
  void failed(SpaceSession::Failure why);
  // One more poll of the wait began (1..limit).
  void waiting(int poll, int limit);

 private:
  void poll();
  void finish(bool ok, Failure why = TimedOut);

  QPointer<QWebEngineView> browser_;
  QTimer* timer_;
  std::string cookie_;
  int polls_ = 0;
  bool open_ = false;
};

// Waits `milliseconds` with the event loop running (user input held back;
// see common/ui/wait.h).
void PumpingWait(int milliseconds);

// "登录成功，正在获取相关参数，请稍等…": shown while the browser signs on;
// it ends as soon as the session is ready.
const std::string& spaceProgressNotice();

// Mirrors the browser profile's cookies into the process-wide store that
// HttpEngine uses with an empty cookie text. Attaching twice is harmless.
void attachCookieBridge(QWebEngineView* view);

// Copies every cookie of the process-wide store into the browser profile's
// store, so the browser's next request carries them.
void pushCookiesToBrowser(QWebEngineView* view);

}  // namespace inkpost
