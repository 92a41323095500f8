// Helpers for the image GUI tests: waiting on the event loop, a main window
// pointed at a site, local image files, the store name of an upload.
#pragma once

#include "common/programdir.h"
#include "common/session.h"
#include "common/ui/gbk.h"
#include "images/gallery.h"
#include "shell/mainwindow.h"
#include "sites/chooserentry.h"
#include "support/guiwait.h"
#include "support/mainunits.h"
#include "support/tempdir.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QTest>
#include <QVariant>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <sys/stat.h>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace inkpost::test {

// A program directory of its own (temp/ inside) for one test, the gallery
// list empty, and the previous directory put back at the end.
class ProgramDirScope {
 public:
  ProgramDirScope() : saved_(programDir()) {
    ::mkdir(dir_.file("temp").c_str(), 0755);
    setProgramDir(dir_.path());
    blogSession().gallery.clear();
  }
  ~ProgramDirScope() {
    blogSession().gallery.clear();
    setProgramDir(saved_);
  }
  const TempDir& dir() const { return dir_; }

 private:
  TempDir dir_;
  std::string saved_;
};

// Selects a chooser entry for the blog at siteUrl and sets the session
// cookie and site, as a login does.
inline void pointAtSite(MainWindow& w, const std::string& siteUrl, const std::string& cookie) {
  SiteRecord site;
  site.id = 1;
  site.webname = "blog";
  site.weburl = siteUrl;
  site.admin = "admin";
  site.pass = "secret";
  inkpost::test::units(w).siteChooser->clear();
  inkpost::test::units(w).siteChooser->addItem(toQ(SiteChooserEntry(site)), 1);
  inkpost::test::units(w).siteChooser->setCurrentIndex(0);
  blogSession().cookie = cookie;
  blogSession().site = siteUrl;
}

// The upload requests among those a server received (the gallery fetches
// its thumbnails from the same server meanwhile).
inline std::vector<std::string> uploadRequests(const std::vector<std::string>& requests) {
  std::vector<std::string> posts;
  for (const std::string& r : requests)
    if (r.rfind("POST ", 0) == 0) posts.push_back(r);
  return posts;
}

// The store name of an upload request ("...&filename=NAME HTTP/1.1").
inline std::string queryName(const std::string& request) {
  size_t at = request.find("&filename=");
  size_t end = request.find(" HTTP/1.1");
  return at == std::string::npos || end == std::string::npos ? "" : request.substr(at + 10, end - at - 10);
}

}  // namespace inkpost::test
