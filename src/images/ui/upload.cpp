#include "images/ui/upload.h"

#include "app/ui/mainwindow.h"
#include "blog/session.h"
#include "sites/ui/sitechooser.h"

#include <QComboBox>

namespace inkpost {
namespace {

// Disables the main window for its lifetime; enabled again on every way out.
class WindowDisabled {
 public:
  explicit WindowDisabled(MainWindow& w) : w_(w) { w_.setEnabled(false); }
  ~WindowDisabled() { w_.setEnabled(true); }
  WindowDisabled(const WindowDisabled&) = delete;
  WindowDisabled& operator=(const WindowDisabled&) = delete;

 private:
  MainWindow& w_;
};

}  // namespace

std::string UploadImageFile(MainWindow& w, const std::string& path, const std::string& givenName,
                            bool useGivenName) {
  WindowDisabled disabled(w);
  const std::string siteUrl = chooserEntryValues(w.siteChooser).weburl;
  return UploadImageFile(siteUrl, sessionCookie(), path, givenName, useGivenName);
}

}  // namespace inkpost
