// The program's window as main() shows it, for one test: createMainWindow()
// (bound to every handler and started) in a program folder of the test's
// own (a fresh keyed data.mdb, temp/; the editor page as built), with
// notices shown at once and recorded. Tests drive it as a person does:
// picking a site in the chooser, typing, clicking, triggering menu entries;
// the dialogs that open are answered through the modal seam
// (common/ui/modal.h, support/modalanswers.h). Header-only: for GUI test
// executables.
#pragma once

#include "blog/captcha.h"
#include "blog/ui/articleform.h"
#include "blog/ui/editorbody.h"
#include "common/programdir.h"
#include "common/ui/toast.h"
#include "crosspost/hosts.h"
#include "net/cookiestore.h"
#include "shell/mainwindow.h"
#include "shell/shell.h"
#include "sites/sitestore.h"
#include "sites/ui/sitebar.h"
#include "support/captchadata.h"
#include "support/guiwait.h"
#include "support/mainunits.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>
#include <QComboBox>
#include <QTest>
#include <QTimer>

#include <sys/stat.h>

#include <memory>
#include <string>

namespace inkpost::test {

class WiredWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    ensureCaptchaData();
    saved_ = programDir();
    setProgramDir(dir_.path());
    setResourceDir(INKPOST_TEST_PROGRAM_DIR);  // the editor page as built
    ASSERT_TRUE(createSiteDatabase(dir_.file("data.mdb")));
    ASSERT_EQ(::mkdir(dir_.file("temp").c_str(), 0700), 0) << dir_.file("temp");
    setToastTimeScale(0);
    clearToastHistory();
    clearCookieStore();
    spaceSettings() = SpaceSettings{};
  }
  void TearDown() override {
    w_.reset();
    CloseSiteStore();
    setProgramDir(saved_);
    setToastTimeScale(1);
    clearCookieStore();
    spaceSettings() = SpaceSettings{};
  }

  // The window, made and shown on first use.
  MainWindow& w() {
    if (!w_) {
      CloseSiteStore();  // start-up opens it as the program does
      w_ = createMainWindow();
      w_->show();
      EXPECT_TRUE(QTest::qWaitForWindowExposed(w_.get()));
    }
    return *w_;
  }
  MainUnits units() { return MainUnits(w()); }

  // A site in data.mdb (before or after the window is made; the chooser is
  // filled again). Its ID.
  int addSite(const SiteRecord& site) {
    SiteRecord r = site;
    if (r.webname.empty()) r.webname = "site" + std::to_string(++named_);
    if (!siteStoreIsOpen()) EXPECT_TRUE(siteStoreUsable(OpenSiteStore()));
    EXPECT_TRUE(saveNewSite(r));
    takeSecretNotice();  // where the password went is not what a test is about
    int id = -1;
    for (const SiteRecord& s : listSites())
      if (s.weburl == r.weburl && s.webname == r.webname) id = s.id;
    // A new row starts with both flags off.
    if (r.ikname) EXPECT_TRUE(StoreSiteFlag(SiteFlag::AutoAlias, true, id));
    if (r.imgname) EXPECT_TRUE(StoreSiteFlag(SiteFlag::AutoName, true, id));
    if (w_) w_->sites().fill();
    return id;
  }
  int addSite(const std::string& url, const std::string& account, const std::string& password, bool autoAlias = false,
              bool autoName = false) {
    SiteRecord r;
    r.weburl = url;
    r.admin = account;
    r.pass = password;
    r.ikname = autoAlias;
    r.imgname = autoName;
    return addSite(r);
  }

  // Picks the site in the chooser as a person does (the change logs in);
  // returns once the login is over.
  void pick(int siteId) {
    w();
    const int index = w_->sites().chooser()->findData(siteId, Qt::UserRole);
    ASSERT_GE(index, 0) << "site " << siteId << " is not listed";
    w_->sites().chooser()->setCurrentIndex(index);
    emit w_->sites().chooser()->activated(index);
  }

  // The editor page has loaded (the body can be read and written).
  bool editorUp() {
    return waitUntil([&] { return editorReady(w().form().editor()); }, 30000);
  }

  TempDir dir_;
  std::unique_ptr<MainWindow> w_;

  // A timer's tick now, as when it falls due: its bound handler runs.
  static void tick(QTimer* timer) { QMetaObject::invokeMethod(timer, "timeout"); }

 private:
  std::string saved_;
  int named_ = 0;
};

}  // namespace inkpost::test
