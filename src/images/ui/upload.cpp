#include "images/ui/upload.h"

#include "app/ui/mainwindow.h"
#include "blog/session.h"
#include "images/gallery.h"
#include "images/ui/gallery.h"
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

UploadResult uploadImage(MainWindow& w, const std::string& path, StoreAs storeAs, const std::string& givenName) {
  WindowDisabled disabled(w);
  const std::string siteUrl = chooserEntryValues(w.siteChooser).weburl;
  return uploadImage(siteUrl, sessionCookie(), path, storeAs, givenName);
}

std::string UploadImageFile(MainWindow& w, const std::string& path, const std::string& givenName,
                            bool useGivenName) {
  return uploadImage(w, path, useGivenName ? StoreAs::GivenName : StoreAs::OwnName, givenName).address;
}

void recordAndShow(MainWindow& w, const UploadResult& result) {
  if (!result.ok()) return;
  galleryList().push_back(makeGalleryEntry(result.address, result.width, result.height));
  RebuildGallery(w);
}

}  // namespace inkpost
