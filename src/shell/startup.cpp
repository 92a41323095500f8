#include "shell/shell.h"

#include "blog/captcha.h"
#include "blog/ui/articleform.h"
#include "blog/ui/editorbody.h"
#include "common/programdir.h"
#include "common/ui/busy.h"
#include "common/ui/gbk.h"
#include "common/ui/toast.h"
#include "drafts/ui/drafts.h"
#include "fault/faultguard.h"
#include "images/ui/imagepanel.h"
#include "net/encoding.h"
#include "shell/mainwindow.h"
#include "shell/windowstate.h"
#include "sites/sitestore.h"
#include "sites/ui/sitebar.h"
#include "sites/ui/sitemenu.h"

#include <QComboBox>
#include <QPointer>
#include <QTimer>

#include <cstdio>

namespace inkpost {

void startUp(MainWindow& w) {
  // 1. From here on faults are reported (main() installed the guard).
  ConfigureFaultGuard();

  // 2. The skin step does not exist on this platform. The window takes the
  //    size, place and maximised state it had when it was last closed.
  keepWindowState(w);

  // 3. Navigate the editor (互联网浏览器1) to the editor page (blog section).
  loadEditorPage(w.form().editor());

  // 时钟_数据保存 is armed with the window and stays armed (drafts section).
  w.drafts().saveTimer()->start(kDraftSaveIntervalMs);
  // Offer the article a close, a kill or a crash left in the recovery slot
  // (asked once the window is up).
  OfferRecovery(w.drafts());

  // 4. Open data.mdb; on failure its message has been shown and the window
  //    stays open with an empty chooser.
  if (!openSiteStoreReporting(&w)) return;
  //    Passwords left in the file go into the keyring once one runs.
  movePasswordsIntoKeyring();

  // 5. Captcha data (login section): written as inkpost.cds, loaded into
  //    CaptchaDataHandle, overwritten with the filler block and deleted.
  loadCaptchaData(programDir());

  // 6. 分组框_上传图片 becomes the drop target of 拖放对象1 (and the gallery
  //    viewer takes drops too, as the hint above it asks).
  w.images().acceptDrops();

  // 7. List the sites, with the one chosen last chosen again: logged in to
  //    when the user asked for that (once the window is up), else only shown.
  w.sites().fill();
  const int last = lastChosenSite();
  if (last >= 0) {
    if (logInAtStart()) {
      QPointer<MainWindow> window(&w);
      QTimer::singleShot(0, &w, [window, last] {
        if (window) window->sites().choose(last);
      });
    } else {
      w.sites().chooseQuietly(last);
    }
  }
  showFirstStepHint(w);
  // The site chosen last, shown without a login: how to log in (a login
  // clears this, as the first-step hint).
  if (const std::optional<SiteRecord> site = w.sites().chosenSite(); site && !logInAtStart())
    StatusLine(w.statusLine())
        .setText(QStringLiteral("上次的网站“%1”还没有登录：按F5登录（“网站管理 → 启动时登录上次的网站”可以自动登录）")
                     .arg(toQ(site->webname)));

  // 8. Installed copies keep their data in the user's folder: said once.
  if (!programFolders().portable && !toldDataFolder()) {
    ShowToast(&w, fromUtf8("网站列表、草稿和发布记录保存在：") + programDir(), 3.0, true, 1);
    setToldDataFolder();
  }
}

void showFirstStepHint(MainWindow& w) {
  QString hint;
  if (w.sites().chooser()->count() == 0)
    hint = QStringLiteral("第一步：从“网站管理 → 添加网站”（或“导入网站…”）添加你的博客");
  else if (!w.sites().chosenSite())
    hint = QStringLiteral("第一步：在“网站名称”中选择要发布的博客（选择后自动登录）");
  StatusLine(w.statusLine()).setText(hint);
}

void shutDown(MainWindow&) {
  CloseSiteStore();
  // Then remove inkpost.cds from the program directory (login section).
  std::remove(programPath(kCaptchaDataFile).c_str());
}

std::unique_ptr<MainWindow> createMainWindow() {
  auto w = std::make_unique<MainWindow>();
  bindMainWindow(*w);
  startUp(*w);
  return w;
}

}  // namespace inkpost
