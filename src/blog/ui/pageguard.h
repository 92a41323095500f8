// Keeps a web page the client shows to the blog's own addresses and the
// client's own files: every request the page makes is checked against the
// current blog (the site of the last login) and the addresses the blog
// handed over (upload answers); anything else is blocked.
#pragma once

#include "blog/pageaccess.h"

#include <QWebEngineUrlRequestInterceptor>

#include <string>

class QWebEnginePage;

namespace inkpost {

class PageGuard : public QWebEngineUrlRequestInterceptor {
  Q_OBJECT
 public:
  // ownFolder: native folder whose files the page may load ("" for none);
  // remoteImages: images from any web address too.
  PageGuard(std::string ownFolder, bool remoteImages, QObject* parent);
  void interceptRequest(QWebEngineUrlRequestInfo& info) override;

  // The rule in force right now.
  PageAccess access() const;

 private:
  std::string ownFolder_;
  bool remoteImages_;
};

// Installs a guard on `page` (replacing an earlier one) and lets the page,
// when it is a local one, load remote addresses at all (the guard decides
// which). Returns the guard, owned by the page.
PageGuard* guardPage(QWebEnginePage* page, const std::string& ownFolder, bool remoteImages = false);

// An address the blog handed over (GBK): its origin counts as the blog's.
void allowBlogAddress(const std::string& address);

// Blocked requests so far, newest last (for tests and diagnostics; at most
// the last 50).
const std::vector<std::string>& blockedRequests();

}  // namespace inkpost
