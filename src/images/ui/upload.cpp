#include "images/ui/upload.h"

#include "app/ui/gbk.h"
#include "app/ui/mainwindow.h"
#include "blog/session.h"
#include "images/gallery.h"
#include "images/ui/gallery.h"
#include "sites/ui/sitechooser.h"

#include <QApplication>
#include <QComboBox>
#include <QEventLoop>
#include <QStatusBar>

#include <thread>

namespace inkpost {
namespace {

// For the length of an upload: the main window disabled (so no second
// action starts), the wait cursor, and the status line naming the file.
// Everything is put back on every way out.
class UploadBusy {
 public:
  UploadBusy(MainWindow& w, const QString& status) : w_(w) {
    w_.setEnabled(false);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    w_.statusBar()->showMessage(status);
  }
  ~UploadBusy() {
    w_.statusBar()->clearMessage();
    QApplication::restoreOverrideCursor();
    w_.setEnabled(true);
  }
  UploadBusy(const UploadBusy&) = delete;
  UploadBusy& operator=(const UploadBusy&) = delete;

 private:
  MainWindow& w_;
};

QString fileNameOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return QString::fromUtf8(slash == std::string::npos ? path : path.substr(slash + 1));
}

}  // namespace

UploadResult uploadImage(MainWindow& w, const std::string& path, StoreAs storeAs, const std::string& givenName,
                         int index, int count) {
  const QString status = QStringLiteral("正在上传 %1（%2/%3）…").arg(fileNameOf(path)).arg(index).arg(count);
  UploadBusy busy(w, status);
  const std::string siteUrl = chooserEntryValues(w.siteChooser).weburl;
  const std::string cookie = sessionCookie();
  // The exchange runs beside the window thread, which keeps repainting
  // meanwhile; user input waits (the window is disabled anyway).
  UploadResult result;
  QEventLoop loop;
  QObject wake;
  std::thread worker([&] {
    result = uploadImage(siteUrl, cookie, path, storeAs, givenName);
    QMetaObject::invokeMethod(&wake, [&loop] { loop.quit(); }, Qt::QueuedConnection);
  });
  loop.exec(QEventLoop::ExcludeUserInputEvents);
  worker.join();
  return result;
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
