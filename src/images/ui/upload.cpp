#include "images/ui/upload.h"

#include "blog/publish.h"
#include "blog/ui/login.h"
#include "blog/ui/publish.h"
#include "common/ui/busy.h"
#include "common/ui/gbk.h"
#include "common/ui/toast.h"
#include "common/ui/wait.h"
#include "images/gallery.h"
#include "images/ui/gallery.h"
#include "images/ui/imagepanel.h"
#include "net/encoding.h"

#include <QWidget>

namespace inkpost {
namespace {

// Disables a widget for its lifetime (so no second upload starts from it);
// enabled again on every way out.
class Disabled {
 public:
  explicit Disabled(QWidget& w) : w_(w), was_(w.isEnabled()) { w_.setEnabled(false); }
  ~Disabled() { w_.setEnabled(was_); }
  Disabled(const Disabled&) = delete;
  Disabled& operator=(const Disabled&) = delete;

 private:
  QWidget& w_;
  bool was_;
};

std::string fileNameOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return gbkWithCharRefs(slash == std::string::npos ? path : path.substr(slash + 1));
}

}  // namespace

UploadResult uploadImage(ImagePanel& images, const std::string& path, StoreAs storeAs, const std::string& givenName,
                         int index, int count) {
  CurrentBlog& blog = images.blog();
  const std::shared_ptr<BlogClient> client = blog.client();
  UploadResult result;
  if (!client) {
    result.outcome = UploadOutcome::NoSite;
    return result;
  }
  const std::string status = fromUtf8("正在上传 ") + fileNameOf(path) + fromUtf8("（") + std::to_string(index) + "/" +
                             std::to_string(count) + fromUtf8("）…");
  SessionRun run;
  {
    Disabled disabled(images);
    BusyScope busy(blog.status(), status);
    // Only a session that a login made ready is renewed.
    const bool renewable = blog.ready();
    const LoginHooks renewal = blog.renewalHooks();
    const std::string site = client->address();
    // The exchange runs beside the window thread, which keeps repainting;
    // the article stays open to typing.
    const std::unique_ptr<InputGate> gate = blog.keepFormOpen("正在上传图片");
    runOffWindowThread(
        [&] {
          run = client->withSession(
              [&](std::string& cookie) {
                result = uploadImage(site, cookie, path, storeAs, givenName);
                return renewable && result.outcome == UploadOutcome::Refused && answerWantsLogin(result.page);
              },
              renewal);
        },
        WaitInput::Delivered);
  }
  if (run.renewed) blog.sessionRenewed();
  if (run.expiredAgain && !result.ok()) {
    // A fresh login that the blog still refuses: the account lacks the right.
    const bool noRights = run.renewal && run.renewal->result == LoginResult::Ready && answerRefusesRights(result.page);
    ShowToast(&blog.window(), noRights ? noUploadRightsNotice() : sessionExpiredNotice(), kLoginProblemSeconds);
  }
  return result;
}

std::string UploadImageFile(ImagePanel& images, const std::string& path, const std::string& givenName,
                            bool useGivenName) {
  return uploadImage(images, path, useGivenName ? StoreAs::GivenName : StoreAs::OwnName, givenName).address;
}

void recordAndShow(ImagePanel& images, const UploadResult& result) {
  if (!result.ok()) return;
  images.addToGallery(makeGalleryEntry(result.address, result.width, result.height));
  RebuildGallery(images);
}

}  // namespace inkpost
