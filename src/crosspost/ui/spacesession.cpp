#include "crosspost/ui/spacesession.h"

#include "common/ui/gbk.h"
#include "common/ui/wait.h"
#include "crosspost/hosts.h"
#include "crosspost/passport.h"
#include "net/cookiestore.h"

#include <QCoreApplication>
#include <QNetworkCookie>
#include <QTimer>
#include <QUrl>
#include <QWebEngineCookieStore>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineView>

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

void PumpingWait(int milliseconds) { waitFor(milliseconds); }

const std::string& spaceProgressNotice() {
  static const std::string text = fromQ(QStringLiteral("登录成功，正在获取相关参数，请稍等…"));
  return text;
}

SpaceSession::SpaceSession(QWebEngineView* browser, QObject* parent)
    : QObject(parent), browser_(browser), timer_(new QTimer(this)) {
  connect(timer_, &QTimer::timeout, this, &SpaceSession::poll);
}

QWebEngineView* SpaceSession::browser() const { return browser_.data(); }

void SpaceSession::browserArrived() {
  if (!browser_) return;
  const std::string home = "http://" + spaceSettings().spaceHost + "/home";
  if (browser_->url().toEncoded().toStdString() != home) return;
  std::string text = ReadHostCookies(spaceSettings().spaceHost);
  if (text.find("PSPTOKEN=") == std::string::npos) return;
  cookie_ = text;
  browser_->load(QUrl(QStringLiteral("about:blank")));
  if (open_) finish(true);
}

void SpaceSession::open(const std::string& userName, const std::string& password) {
  cookie_.clear();
  timer_->stop();
  open_ = false;
  bool passport = false;
  runOffWindowThread([&] { passport = BaiduPassportLogin(userName, password); });
  if (!passport || !browser_) {
    emit failed(LoginFailed);
    return;
  }
  // The browser has its own cookie store: hand it the passport's cookies
  // before it goes, and mirror what it collects back into ours.
  attachCookieBridge(browser_);
  pushCookiesToBrowser(browser_);
  open_ = true;
  polls_ = 0;
  browser_->load(QUrl(QString::fromStdString("http://" + spaceSettings().spaceHost)));
  timer_->start(spaceSettings().waitIntervalMs);
  emit waiting(1, spaceSettings().waitLimit);
}

void SpaceSession::poll() {
  // The browser's cookies reach the process-wide store asynchronously; a
  // cookie its home page set may arrive after the page's own
  // notification. Look again while the browser sits there.
  browserArrived();
  if (!open_) return;
  if (++polls_ >= spaceSettings().waitLimit) {
    finish(false, TimedOut);
    return;
  }
  emit waiting(polls_ + 1, spaceSettings().waitLimit);
}

void SpaceSession::finish(bool ok, Failure why) {
  timer_->stop();
  open_ = false;
  if (ok)
    emit ready();
  else
    emit failed(why);
}

}  // namespace inkpost
