#include "crosspost/ui/spacesession.h"

#include "app/ui/gbk.h"
#include "app/ui/mainwindow.h"
#include "app/ui/toast.h"
#include "crosspost/hosts.h"
#include "crosspost/passport.h"
#include "net/cookiestore.h"

#include <QCoreApplication>
#include <QNetworkCookie>
#include <QUrl>
#include <QWebEngineCookieStore>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineView>

#include <chrono>
#include <thread>

namespace inkpost {
namespace {

const char* const kBridgeName = "crosspostCookieBridge";

// The host a browser cookie belongs to, as the process-wide store names it:
// the exact host of a host-only cookie, "." and the domain for a domain
// cookie.
std::string cookieHost(const QNetworkCookie& cookie) { return cookie.domain().toLower().toStdString(); }

std::string cookiePath(const QNetworkCookie& cookie) {
  return cookie.path().isEmpty() ? std::string("/") : cookie.path().toStdString();
}

}  // namespace

std::string& SpaceCookieText() {
  static std::string text;
  return text;
}

void attachCookieBridge(QWebEngineView* view) {
  QWebEngineProfile* profile = view->page()->profile();
  if (profile->findChild<QObject*>(QLatin1String(kBridgeName), Qt::FindDirectChildrenOnly)) return;
  auto* bridge = new QObject(profile);
  bridge->setObjectName(QLatin1String(kBridgeName));
  QWebEngineCookieStore* store = profile->cookieStore();
  QObject::connect(store, &QWebEngineCookieStore::cookieAdded, bridge, [](const QNetworkCookie& cookie) {
    const std::string host = cookieHost(cookie);
    if (host.empty() || host == ".") return;
    storeCookie(host, cookie.name().toStdString(), cookie.value().toStdString(), cookiePath(cookie));
  });
  // A cookie the browser drops (expired, deleted, about to be overwritten)
  // goes from the process-wide store too.
  QObject::connect(store, &QWebEngineCookieStore::cookieRemoved, bridge, [](const QNetworkCookie& cookie) {
    std::string host = cookieHost(cookie);
    const bool domainCookie = !host.empty() && host[0] == '.';
    if (domainCookie) host.erase(0, 1);
    if (host.empty()) return;
    std::string expire = cookie.name().toStdString() + "=; Max-Age=0; Path=" + cookiePath(cookie);
    if (domainCookie) expire += "; Domain=" + host;
    storeSetCookie("http://" + host + "/", expire);
  });
  store->loadAllCookies();
}

void pushCookiesToBrowser(QWebEngineView* view) {
  QWebEngineCookieStore* store = view->page()->profile()->cookieStore();
  for (const StoredCookie& c : storedCookies()) {
    QNetworkCookie cookie(QByteArray::fromStdString(c.name), QByteArray::fromStdString(c.value));
    cookie.setPath(QString::fromStdString(c.path.empty() ? std::string("/") : c.path));
    std::string host = c.host;
    if (!host.empty() && host[0] == '.') {
      cookie.setDomain(QString::fromStdString(host));
      host.erase(0, 1);
    }
    store->setCookie(cookie, QUrl(QString::fromStdString("http://" + host + "/")));
  }
}

void PumpingWait(int milliseconds) {
  QCoreApplication::processEvents();
  const int ms = milliseconds < 0 ? 0 : milliseconds;
  std::thread sleeper([ms] { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); });
  sleeper.join();
  QCoreApplication::processEvents();
}

void SpaceBrowserArrived(MainWindow& w) {
  const std::string home = "http://" + spaceSettings().spaceHost + "/home";
  if (w.spaceView->url().toEncoded().toStdString() != home) return;
  std::string text = ReadHostCookies(spaceSettings().spaceHost);
  if (text.find("PSPTOKEN=") == std::string::npos) return;
  SpaceCookieText() = text;
  w.spaceView->load(QUrl(QStringLiteral("about:blank")));
}

SpaceSession OpenSpaceSession(MainWindow& w, const std::string& userName, const std::string& password) {
  const SpaceSettings& settings = spaceSettings();
  if (!BaiduPassportLogin(userName, password)) {
    ShowToast(&w, fromQ(QStringLiteral("百度帐号登陆失败！")), 1.2);
    return SpaceSession::LoginFailed;
  }

  // The browser has its own cookie store: hand it the passport's cookies
  // before it goes, and mirror what it collects back into ours.
  attachCookieBridge(w.spaceView);
  pushCookiesToBrowser(w.spaceView);
  w.spaceView->load(QUrl(QString::fromStdString("http://" + settings.spaceHost)));

  ShowToast(&w, fromQ(QStringLiteral("登录成功，正在获取相关参数，请稍等…")), settings.waitNoticeSeconds, true,
            settings.waitNoticeDelaySeconds);

  SpaceCookieText().clear();
  for (int waits = 0;; ++waits) {
    if (!SpaceCookieText().empty()) return SpaceSession::Ready;
    if (waits >= settings.waitLimit) break;
    PumpingWait(settings.waitIntervalMs);
    // The browser's cookies reach the process-wide store asynchronously; a
    // cookie its home page set may arrive after the page's own
    // notification. Look again while the browser sits there.
    if (SpaceCookieText().empty()) SpaceBrowserArrived(w);
  }
  ShowToast(&w, fromQ(QStringLiteral("获取相关参数超时，发布失败！")), 2.0);
  return SpaceSession::TimedOut;
}

}  // namespace inkpost
