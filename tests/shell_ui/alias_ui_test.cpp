// The automatic alias in the running window: the title typed, the alias
// follows through the window's own bindings.
#include "support/wiredwindow.h"

#include <gtest/gtest.h>
#include <QCheckBox>
#include <QLineEdit>
#include <QTest>

namespace inkpost {
namespace {

using AutoAlias = test::WiredWindow;

TEST_F(AutoAlias, FollowsTheTitleAsTyped) {
  // A blog that is not there: the pick's login ends at once.
  pick(addSite("http://127.0.0.1:9/", "admin", "secret"));
  test::MainUnits u = units();
  if (u.autoAliasCheck->isChecked()) u.autoAliasCheck->click();
  u.autoAliasCheck->click();  // 自动 ticked
  ASSERT_TRUE(u.autoAliasCheck->isChecked());

  u.titleEdit->setFocus();
  u.titleEdit->insert(QString::fromUtf8("重庆银行长城"));
  EXPECT_EQ(u.aliasEdit->text(), "chongqingyinhangchangcheng");

  u.titleEdit->clear();
  QTest::keyClicks(u.titleEdit, "Hello ");
  EXPECT_EQ(u.aliasEdit->text(), "hello");
  u.titleEdit->insert(QString::fromUtf8("世界"));
  EXPECT_EQ(u.aliasEdit->text(), "helloshijie");

  u.titleEdit->setText(QString::fromUtf8("价格€100 ＡＢＣ"));
  EXPECT_EQ(u.aliasEdit->text(), "jiage100abc");
}

}  // namespace
}  // namespace inkpost
