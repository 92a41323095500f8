#include "blog/ui/pageguard.h"

#include <QWebEnginePage>
#include <QWebEngineSettings>

#include <algorithm>
#include <utility>

namespace inkpost {
namespace {

std::vector<std::string>& handedOrigins() {
  static std::vector<std::string> origins;
  return origins;
}

std::vector<std::string>& blockedList() {
  static std::vector<std::string> list;
  return list;
}

PageResource resourceKind(QWebEngineUrlRequestInfo::ResourceType type) {
  switch (type) {
    case QWebEngineUrlRequestInfo::ResourceTypeMainFrame:
      return PageResource::Page;
    case QWebEngineUrlRequestInfo::ResourceTypeSubFrame:
      return PageResource::Frame;
    case QWebEngineUrlRequestInfo::ResourceTypeImage:
    case QWebEngineUrlRequestInfo::ResourceTypeFavicon:
      return PageResource::Image;
    default:
      return PageResource::Other;
  }
}

}  // namespace

PageGuard::PageGuard(std::string ownFolder, bool remoteImages, QObject* parent)
    : QWebEngineUrlRequestInterceptor(parent), ownFolder_(std::move(ownFolder)), remoteImages_(remoteImages) {
  if (!ownFolder_.empty() && ownFolder_.back() != '/') ownFolder_ += '/';
}

PageAccess PageGuard::access() const {
  PageAccess a;
  a.ownFolder = ownFolder_;
  a.remoteImages = remoteImages_;
  for (const std::string& o : handedOrigins())
    if (std::find(a.origins.begin(), a.origins.end(), o) == a.origins.end()) a.origins.push_back(o);
  return a;
}

void PageGuard::interceptRequest(QWebEngineUrlRequestInfo& info) {
  const QByteArray url = info.requestUrl().toEncoded();
  const std::string target(url.constData(), static_cast<size_t>(url.size()));
  if (pageMayLoad(access(), target, resourceKind(info.resourceType()))) return;
  info.block(true);
  auto& blocked = blockedList();
  if (blocked.size() >= 50) blocked.erase(blocked.begin());
  blocked.push_back(target);
}

PageGuard* guardPage(QWebEnginePage* page, const std::string& ownFolder, bool remoteImages) {
  if (!page) return nullptr;
  auto* old = page->findChild<PageGuard*>(QString(), Qt::FindDirectChildrenOnly);
  auto* guard = new PageGuard(ownFolder, remoteImages, page);
  page->setUrlRequestInterceptor(guard);
  delete old;
  // A local page does not load web addresses at all by default; the guard
  // is what keeps it to the blog's.
  page->settings()->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, true);
  return guard;
}

void allowBlogAddress(const std::string& address) {
  const std::string origin = addressOrigin(address);
  if (origin.empty()) return;
  auto& origins = handedOrigins();
  if (std::find(origins.begin(), origins.end(), origin) == origins.end()) origins.push_back(origin);
}

const std::vector<std::string>& blockedRequests() { return blockedList(); }

}  // namespace inkpost
