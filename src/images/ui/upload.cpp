#include "images/ui/upload.h"

#include "blog/publish.h"
#include "blog/ui/login.h"
#include "blog/ui/publish.h"
#include "common/session.h"
#include "common/ui/busy.h"
#include "common/ui/gbk.h"
#include "common/ui/toast.h"
#include "common/ui/wait.h"
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

UploadResult uploadImage(QWidget& w, const std::string& path, StoreAs storeAs, const std::string& givenName, int index,
                         int count) {
  const std::string status = fromUtf8("正在上传 ") + fileNameOf(path) + fromUtf8("（") + std::to_string(index) + "/" +
                             std::to_string(count) + fromUtf8("）…");
  const std::string siteUrl = chooserEntryValues(siteChooserOf(w)).weburl;
  const auto once = [&] {
    WindowDisabled disabled(w);
    BusyScope busy(StatusLine::of(w), status);
    const std::string cookie = blogSession().cookie;
    // The exchange runs beside the window thread, which keeps repainting
    // meanwhile; user input waits (the window is disabled anyway).
    UploadResult result;
    runOffWindowThread([&] { result = uploadImage(siteUrl, cookie, path, storeAs, givenName); });
    return result;
  };
  UploadResult result = once();
  if (result.outcome == UploadOutcome::Refused && blogSession().ready && answerWantsLogin(result.page)) {
    // The session of a login that went through has expired, and the blog
    // refused before storing: log in quietly (the window enabled, for the
    // captcha dialog) and send the same file once more.
    if (logInToChosenSite(w, true)) result = once();
    if (!result.ok() && (answerWantsLogin(result.page) || !blogSession().ready))
      ShowToast(&w, sessionExpiredNotice(), kLoginProblemSeconds);
  }
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
