// Helpers for the image GUI tests: waiting on the event loop, a main window
// pointed at a site, local image files, the store name of an upload.
#pragma once

#include "app/programdir.h"
#include "app/ui/gbk.h"
#include "app/ui/mainwindow.h"
#include "blog/session.h"
#include "images/gallery.h"
#include "sites/chooserentry.h"
#include "support/guiwait.h"
#include "support/tempdir.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QTest>

#include <functional>
#include <string>
#include <sys/stat.h>

namespace inkpost::test {

// A program directory of its own (temp/ inside) for one test, the gallery
// list empty, and the previous directory put back at the end.
class ProgramDirScope {
 public:
  ProgramDirScope() : saved_(programDir()) {
    ::mkdir(dir_.file("temp").c_str(), 0755);
    setProgramDir(dir_.path());
    galleryList().clear();
  }
  ~ProgramDirScope() {
    galleryList().clear();
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
  w.siteChooser->clear();
  w.siteChooser->addItem(toQ(SiteChooserEntry(site)), 1);
  w.siteChooser->setCurrentIndex(0);
  sessionCookie() = cookie;
  sessionSite() = siteUrl;
}

// The store name of an upload request ("...&filename=NAME HTTP/1.1").
inline std::string queryName(const std::string& request) {
  size_t at = request.find("&filename=");
  size_t end = request.find(" HTTP/1.1");
  return at == std::string::npos || end == std::string::npos ? "" : request.substr(at + 10, end - at - 10);
}

}  // namespace inkpost::test
