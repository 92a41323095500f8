#include "images/ui/upload.h"

#include <QWidget>
#include "app/session.h"
#include "sites/ui/sitechooser.h"

#include <QComboBox>

namespace inkpost {
namespace {

// Disables the main window for its lifetime; enabled again on every way out.
class WindowDisabled {
 public:
  explicit WindowDisabled(QWidget& w) : w_(w) { w_.setEnabled(false); }
  ~WindowDisabled() { w_.setEnabled(true); }
  WindowDisabled(const WindowDisabled&) = delete;
  WindowDisabled& operator=(const WindowDisabled&) = delete;

 private:
  QWidget& w_;
};

}  // namespace

std::string UploadImageFile(QWidget& w, const std::string& path, const std::string& givenName,
                            bool useGivenName) {
  WindowDisabled disabled(w);
  const std::string siteUrl = chooserEntryValues(siteChooserOf(w)).weburl;
  return UploadImageFile(siteUrl, blogSession().cookie, path, givenName, useGivenName);
}

}  // namespace inkpost
