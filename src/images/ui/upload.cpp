#include "images/ui/upload.h"

#include "app/session.h"
#include "app/ui/busy.h"
#include "app/ui/gbk.h"
#include "app/ui/wait.h"
#include "images/gallery.h"
#include "images/ui/gallery.h"
#include "net/encoding.h"
#include "sites/ui/sitechooser.h"

#include <QComboBox>
#include <QObject>
#include <QWidget>

#include <thread>

namespace inkpost {
namespace {

// Disables the main window for its lifetime (so no second action starts);
// enabled again on every way out.
class WindowDisabled {
 public:
  explicit WindowDisabled(QWidget& w) : w_(w) { w_.setEnabled(false); }
  ~WindowDisabled() { w_.setEnabled(true); }
  WindowDisabled(const WindowDisabled&) = delete;
  WindowDisabled& operator=(const WindowDisabled&) = delete;

 private:
  QWidget& w_;
};

std::string fileNameOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return gbkReplacing(slash == std::string::npos ? path : path.substr(slash + 1), '?');
}

}  // namespace

UploadResult uploadImage(QWidget& w, const std::string& path, StoreAs storeAs, const std::string& givenName,
                         int index, int count) {
  const std::string status = fromUtf8("正在上传 ") + fileNameOf(path) + fromUtf8("（") + std::to_string(index) + "/" +
                             std::to_string(count) + fromUtf8("）…");
  WindowDisabled disabled(w);
  BusyScope busy(StatusLine::of(w), status);
  const std::string siteUrl = chooserEntryValues(siteChooserOf(w)).weburl;
  const std::string cookie = blogSession().cookie;
  // The exchange runs beside the window thread, which keeps repainting
  // meanwhile; user input waits (the window is disabled anyway).
  UploadResult result;
  Wait wait;
  QObject wake;
  std::thread worker([&] {
    result = uploadImage(siteUrl, cookie, path, storeAs, givenName);
    QMetaObject::invokeMethod(&wake, [&wait] { wait.finish(); }, Qt::QueuedConnection);
  });
  wait.run();
  worker.join();
  return result;
}

std::string UploadImageFile(QWidget& w, const std::string& path, const std::string& givenName, bool useGivenName) {
  return uploadImage(w, path, useGivenName ? StoreAs::GivenName : StoreAs::OwnName, givenName).address;
}

void recordAndShow(QWidget& w, const UploadResult& result) {
  if (!result.ok()) return;
  blogSession().gallery.push_back(makeGalleryEntry(result.address, result.width, result.height));
  RebuildGallery(w);
}

}  // namespace inkpost
