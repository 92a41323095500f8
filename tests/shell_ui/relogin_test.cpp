// The whole program (bound main window, site store, start-up) against the
// sandbox blog: picking a site logs in, picking it again and 重新登录 (F5) log
// in once more, and 发布 before any login sends nothing.
#include "../sites/sitedb.h"

#include "blog/ui/login.h"
#include "common/programdir.h"
#include "common/session.h"
#include "common/ui/toast.h"
#include "net/encoding.h"
#include "shell/mainwindow.h"
#include "shell/shell.h"
#include "sites/statements.h"
#include "support/captchacode.h"
#include "support/guiwait.h"
#include "support/mainunits.h"
#include "support/sandbox.h"
#include "support/session.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>
#include <QAction>
#include <QComboBox>
#include <QPushButton>
#include <QTest>

using namespace inkpost;
using namespace inkpost::test;

namespace {

class Relogin : public test::SessionTest {
 protected:
  void SetUp() override {
    SessionTest::SetUp();
    saved_ = programDir();
    setProgramDir(dir.path());
    setToastTimeScale(0);
    clearToastHistory();
    blogSession().ready = false;
  }
  void TearDown() override {
    SessionTest::TearDown();
    CloseSiteStore();
    setProgramDir(saved_);
    setToastTimeScale(1);
  }
  TempDir dir;
  std::string saved_;
};

TEST_F(Relogin, PickingTheSiteAgainAndF5LogInOnceMore) {
  Sandbox sb;
  ASSERT_TRUE(createSiteDatabase(dir.file("data.mdb")));
  ASSERT_TRUE(addOrUpdateSite(dir.file("data.mdb"), site(fromUtf8("沙盒博客"), sb.siteUrl())));
  auto w = createMainWindow();
  w->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));

  // 发布 before any site is chosen: told what to do, nothing sent.
  test::units(*w).publishButton->click();
  EXPECT_EQ(toastHistory(), std::vector<std::string>{chooseSiteNotice()});
  // 重新登录 without a chosen site says the same.
  clearToastHistory();
  test::units(*w).reloginAction->trigger();
  EXPECT_EQ(toastHistory(), std::vector<std::string>{chooseSiteNotice()});

  // The person picks the site: the change and its activated log in once.
  clearToastHistory();
  test::units(*w).siteChooser->setCurrentIndex(0);
  emit test::units(*w).siteChooser->activated(0);
  spin(50);
  EXPECT_EQ(toastHistory(), std::vector<std::string>{loginDoneNotice()});
  EXPECT_EQ(countOf(sb.requestLog(), "GET /login.asp"), 1u);

  // The same site picked again: no change, a fresh login.
  emit test::units(*w).siteChooser->activated(0);
  EXPECT_EQ(countOf(sb.requestLog(), "GET /login.asp"), 2u);

  // F5, through the menu's shortcut.
  w->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
  EXPECT_EQ(test::units(*w).reloginAction->shortcut(), QKeySequence(Qt::Key_F5));
  QTest::keyClick(w.get(), Qt::Key_F5);
  EXPECT_TRUE(waitUntil([&] { return countOf(sb.requestLog(), "GET /login.asp") == 3u; }, 10000));
  EXPECT_TRUE(waitUntil([&] { return toastHistory().size() == 3u; }, 10000));
  EXPECT_EQ(toastHistory(), std::vector<std::string>(3, loginDoneNotice()));
  EXPECT_TRUE(blogSession().ready);
  EXPECT_EQ(countOf(sb.requestLog(), "ArticlePst"), 0u);
}

}  // namespace
