// The image GUI tests' fixture: the wired window (support/wiredwindow.h)
// with files of the test's own to drop, a site whose blog is a raw server
// that answers uploads, and mouse events for the capture window.
#pragma once

#include "blog/ui/login.h"
#include "common/programdir.h"
#include "common/ui/modal.h"
#include "common/ui/toast.h"
#include "images/gallery.h"
#include "images/ui/capturewindow.h"
#include "images/ui/imagepanel.h"
#include "support/capture_server.h"
#include "support/sandbox.h"
#include "support/wiredwindow.h"

#include <QApplication>
#include <QInputDialog>
#include <QMouseEvent>
#include <QPushButton>

#include <functional>
#include <string>
#include <vector>

namespace inkpost::test {

class ImagesWindow : public WiredWindow {
 protected:
  // A file of these bytes, outside the program folder; its path.
  std::string file(const std::string& name, const std::string& bytes) {
    writeFile(files_.file(name), bytes);
    return files_.file(name);
  }
  const std::vector<GalleryEntry>& gallery() { return w().images().gallery(); }

  // Picks the sandbox blog (a fixed-captcha one): the login goes through.
  void pickSandbox(const Sandbox& blog) {
    pick(addSite(blog.siteUrl(), "admin", blog.password(0)));
    ASSERT_TRUE(w().blog().ready());
    clearToastHistory();
  }
  // Picks a site whose blog is `blog`, a raw server that answers the
  // uploads (and nothing else) with `answer`: the login gets no answer, so
  // the site's client has no session, and its uploads go to `blog`.
  void pickUploadServer(CaptureServer& blog, const std::function<std::string(const std::string&)>& answer) {
    blog.setResponder([answer](const std::string& request) {
      return request.find("act=FileUpload") == std::string::npos ? std::string() : answer(request);
    });
    pick(addSite(blog.url("/"), "admin", "secret"));
    ASSERT_TRUE(w().blog().client());
    clearToastHistory();
  }

  // Files dropped on the drop box, in this order.
  void drop(const QStringList& paths) { emit w().images().dropTarget()->filesDropped(paths); }
  // 按钮_链接上传 clicked and `address` typed into its input box.
  void uploadFrom(const std::string& address) {
    ModalSeam seam([&address](QDialog& dialog) {
      auto& box = dynamic_cast<QInputDialog&>(dialog);
      box.setTextValue(QString::fromStdString(address));
      box.accept();
    });
    w().images().addressButton()->click();
  }
  // 按钮_截图上传 clicked; the capture window is handed to `use`.
  void capture(const std::function<void(CaptureWindow&)>& use) {
    ModalSeam seam([&use](QDialog& dialog) { use(dynamic_cast<CaptureWindow&>(dialog)); });
    w().images().captureButton()->click();
  }

  TempDir files_;
};

inline void mouse(QWidget* target, QEvent::Type type, QPoint pos, Qt::MouseButton button, Qt::MouseButtons buttons) {
  QMouseEvent e(type, QPointF(pos), QPointF(target->mapToGlobal(pos)), button, buttons, Qt::NoModifier);
  QApplication::sendEvent(target, &e);
}

// A drag with the left button on the capture window's snapshot.
inline void dragOnPicture(CaptureWindow& win, QPoint from, QPoint to) {
  mouse(win.picture(), QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
  mouse(win.picture(), QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton);
  mouse(win.picture(), QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton);
}

// The upload requests among those a server received (the gallery fetches
// its thumbnails from the same server meanwhile, and the login asks first).
inline std::vector<std::string> uploadRequests(const std::vector<std::string>& requests) {
  std::vector<std::string> posts;
  for (const std::string& r : requests)
    if (r.rfind("POST ", 0) == 0 && r.find("act=FileUpload") != std::string::npos) posts.push_back(r);
  return posts;
}

// The store name of an upload request ("...&filename=NAME HTTP/1.1").
inline std::string queryName(const std::string& request) {
  size_t at = request.find("&filename=");
  size_t end = request.find(" HTTP/1.1");
  return at == std::string::npos || end == std::string::npos ? "" : request.substr(at + 10, end - at - 10);
}

}  // namespace inkpost::test
