// The whole program (bound main window, site store, start-up) against the
// sandbox blog: picking a site logs in, picking it again and 重新登录 (F5) log
// in once more, and 发布 before any login sends nothing.
#include "blog/ui/login.h"
#include "common/ui/toast.h"
#include "net/encoding.h"
#include "support/captchacode.h"
#include "support/sandbox.h"
#include "support/wiredwindow.h"

#include <gtest/gtest.h>
#include <QAction>
#include <QPushButton>
#include <QTest>

namespace inkpost {
namespace {

using test::countOf;
using test::Sandbox;

using Relogin = test::WiredWindow;

TEST_F(Relogin, PickingTheSiteAgainAndF5LogInOnceMore) {
  Sandbox sb;
  const int id = addSite(sb.siteUrl(), "admin", "secret");

  // 发布 before any site is chosen: told what to do, nothing sent.
  units().publishButton->click();
  EXPECT_EQ(toastHistory(), std::vector<std::string>{chooseSiteNotice()});
  // 重新登录 without a chosen site says the same.
  clearToastHistory();
  units().reloginAction->trigger();
  EXPECT_EQ(toastHistory(), std::vector<std::string>{chooseSiteNotice()});

  // The person picks the site: the change and its activated log in once.
  clearToastHistory();
  pick(id);
  test::spin(50);
  EXPECT_EQ(toastHistory(), std::vector<std::string>{loginDoneNotice()});
  EXPECT_TRUE(sb.waitForLog("GET /login.asp", 1));
  EXPECT_EQ(countOf(sb.requestLog(), "GET /login.asp"), 1u);

  // The same site picked again: no change, a fresh login.
  pick(id);
  EXPECT_TRUE(sb.waitForLog("GET /login.asp", 2));
  EXPECT_EQ(countOf(sb.requestLog(), "GET /login.asp"), 2u);

  // F5, through the menu's shortcut.
  w().activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&w()));
  EXPECT_EQ(units().reloginAction->shortcut(), QKeySequence(Qt::Key_F5));
  QTest::keyClick(&w(), Qt::Key_F5);
  EXPECT_TRUE(test::waitUntil([&] { return countOf(sb.requestLog(), "GET /login.asp") == 3u; }, 10000));
  EXPECT_TRUE(test::waitUntil([&] { return toastHistory().size() == 3u; }, 10000));
  EXPECT_EQ(toastHistory(), std::vector<std::string>(3, loginDoneNotice()));
  EXPECT_TRUE(w().blog().ready());
  EXPECT_EQ(countOf(sb.requestLog(), "ArticlePst"), 0u);
}

}  // namespace
}  // namespace inkpost
