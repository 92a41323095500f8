#include "crosspost/ui/spacesession.h"

#include "common/ui/busy.h"
#include "common/ui/gbk.h"
#include "common/ui/toast.h"
#include "common/ui/unit.h"
#include "common/ui/wait.h"
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

QWebEngineView* spaceViewOf(QWidget& w) { return unitOf<QWebEngineView>(w, "互联网浏览器_百度空间"); }

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

void SpaceBrowserArrived(QWidget& w) {
  const std::string home = "http://" + blogSession().space.spaceHost + "/home";
  if (spaceViewOf(w)->url().toEncoded().toStdString() != home) return;
  std::string text = ReadHostCookies(blogSession().space.spaceHost);
  if (text.find("PSPTOKEN=") == std::string::npos) return;
  blogSession().spaceCookie = text;
  // The session is ready: the progress notice has nothing more to say.
  EndToast(spaceProgressNotice());
  spaceViewOf(w)->load(QUrl(QStringLiteral("about:blank")));
}

SpaceSession OpenSpaceSession(QWidget& w, const std::string& userName, const std::string& password) {
  const SpaceSettings& settings = blogSession().space;
  BusyScope busy(StatusLine::of(w), fromQ(QStringLiteral("正在同步到百度空间：登录百度帐号…")));
  bool passport = false;
  runOffWindowThread([&] { passport = BaiduPassportLogin(userName, password); });
  if (!passport) {
    ShowToast(&w, fromQ(QStringLiteral("百度帐号登陆失败！")), 1.2);
    return SpaceSession::LoginFailed;
  }

  // The browser has its own cookie store: hand it the passport's cookies
  // before it goes, and mirror what it collects back into ours.
  attachCookieBridge(spaceViewOf(w));
  pushCookiesToBrowser(spaceViewOf(w));
  spaceViewOf(w)->load(QUrl(QString::fromStdString("http://" + settings.spaceHost)));

  ShowToast(&w, spaceProgressNotice(), settings.waitNoticeSeconds, true, settings.waitNoticeDelaySeconds);

  blogSession().spaceCookie.clear();
  for (int waits = 0;; ++waits) {
    if (!blogSession().spaceCookie.empty()) {
      EndToast(spaceProgressNotice());
      return SpaceSession::Ready;
    }
    if (waits >= settings.waitLimit) break;
    busy.setText(
        fromQ(QStringLiteral("正在同步到百度空间：等待空间页面（%1/%2）…").arg(waits + 1).arg(settings.waitLimit)));
    // Ends early once the browser's arrival has filled the cookie text.
    waitUntil([] { return !blogSession().spaceCookie.empty(); }, settings.waitIntervalMs);
    // The browser's cookies reach the process-wide store asynchronously; a
    // cookie its home page set may arrive after the page's own
    // notification. Look again while the browser sits there.
    if (blogSession().spaceCookie.empty()) SpaceBrowserArrived(w);
  }
  EndToast(spaceProgressNotice());
  ShowToast(&w, fromQ(QStringLiteral("获取相关参数超时，发布失败！")), 2.0);
  return SpaceSession::TimedOut;
}

}  // namespace inkpost
