// The session with the second service's blog host: the passport sign-in,
// the hidden browser 互联网浏览器_百度空间 that follows the host's sign-on
// redirects, and the capture of the host's cookies once it is home.
#pragma once

#include <string>

class QWebEngineView;

class QWidget;

namespace inkpost {

enum class SpaceSession { Ready, LoginFailed, TimedOut };

// The blog host's session cookie text, empty at start. OpenSpaceSession
// empties it before it waits; SpaceBrowserArrived fills it.

// Signs in, sends the browser to the blog host and waits (waitLimit polls of
// waitIntervalMs, see blogSession().space) for the capture. Shows the progress
// and failure notices itself.
SpaceSession OpenSpaceSession(QWidget& window, const std::string& userName, const std::string& password);

// The browser finished a document: when it is the blog host's home page
// and the host's cookies carry "PSPTOKEN=", keeps them in SpaceCookieText
// and sends the browser to "about:blank".
void SpaceBrowserArrived(QWidget& window);

// Waits `milliseconds` with the event loop running (user input held back;
// see common/ui/wait.h).
void PumpingWait(int milliseconds);

// "登录成功，正在获取相关参数，请稍等…": shown while the browser signs on;
// it ends as soon as the session is ready.
const std::string& spaceProgressNotice();

// The hidden browser 互联网浏览器_百度空间 of a main window.
QWebEngineView* spaceViewOf(QWidget& window);

// Mirrors the browser profile's cookies into the process-wide store that
// HttpEngine uses with an empty cookie text. Attaching twice is harmless.
void attachCookieBridge(QWebEngineView* view);

// Copies every cookie of the process-wide store into the browser profile's
// store, so the browser's next request carries them.
void pushCookiesToBrowser(QWebEngineView* view);

}  // namespace inkpost
