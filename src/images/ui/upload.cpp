#include "images/ui/upload.h"

#include <QWidget>
#include "app/session.h"
#include "app/ui/toast.h"
#include "app/ui/wait.h"
#include "blog/publish.h"
#include "blog/ui/login.h"
#include "blog/ui/publish.h"
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
  const std::string siteUrl = chooserEntryValues(siteChooserOf(w)).weburl;
  const auto upload = [&](std::string& answer) {
    WindowDisabled disabled(w);
    std::string address;
    const std::string cookie = blogSession().cookie;
    runOffWindowThread([&] { address = UploadImageFile(siteUrl, cookie, path, givenName, useGivenName, kUploadBudgetSeconds, &answer); });
    return address;
  };
  std::string answer;
  std::string address = upload(answer);
  if (address.empty() && blogSession().ready && answerWantsLogin(answer)) {
    // The session of a login that went through has expired, and the blog
    // refused before storing: log in quietly (the window enabled, for the
    // captcha dialog) and send the same file once more.
    answer.clear();
    if (logInToChosenSite(w, true)) address = upload(answer);
    if (address.empty() && (answerWantsLogin(answer) || !blogSession().ready))
      ShowToast(&w, sessionExpiredNotice(), kLoginProblemSeconds);
  }
  return address;
}

}  // namespace inkpost
