#include "shell/shell.h"

#include "blog/captcha.h"
#include "blog/ui/editorbody.h"
#include "common/programdir.h"
#include "drafts/ui/drafts.h"
#include "fault/faultguard.h"
#include "shell/mainwindow.h"
#include "shell/windowstate.h"
#include "sites/sitestore.h"
#include "sites/ui/sitechooser.h"
#include "sites/ui/sitemenu.h"

#include <QGroupBox>
#include <QTimer>
#include <QWebEngineView>

#include <cstdio>

namespace inkpost {

void startUp(MainWindow& w) {
  // 1. From here on faults are reported (main() installed the guard).
  ConfigureFaultGuard();

  // 2. The skin step does not exist on this platform. The window takes the
  //    size, place and maximised state it had when it was last closed.
  keepWindowState(w);

  // 3. Navigate the editor (互联网浏览器1) to the editor page (blog section).
  loadEditorPage(w.editorView);

  // 时钟_数据保存 is armed with the window and stays armed (drafts section).
  w.saveTimer->start(kDraftSaveIntervalMs);
  // Offer the article a close, a kill or a crash left in the recovery slot
  // (asked once the window is up).
  OfferRecovery(w);

  // 4. Open data.mdb; on failure its message has been shown and the window
  //    stays open with an empty chooser.
  if (!openSiteStoreReporting(&w)) return;

  // 5. Captcha data (login section): written as inkpost.cds, loaded into
  //    CaptchaDataHandle, overwritten with the filler block and deleted.
  loadCaptchaData(programDir());

  // 6. 分组框_上传图片 becomes the drop target of 拖放对象1.
  w.dropTarget->registerOn(w.dropBox);
  // The gallery viewer takes drops too, as the hint above it asks.
  w.dropTarget->alsoOn(w.galleryView);

  // 7. List the sites.
  FillSiteChooser(w.siteChooser);
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
