// The automatic alias in the running window: the title typed, the alias
// follows through the window's own bindings.
#include "../sites/sitedb.h"
#include "../sites_ui/modal.h"

#include "common/programdir.h"
#include "common/ui/toast.h"
#include "shell/mainwindow.h"
#include "shell/shell.h"
#include "sites/ui/sitechooser.h"
#include "support/mainunits.h"

#include <gtest/gtest.h>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QTest>

using namespace inkpost;
using namespace inkpost::test;

TEST(AutoAlias, FollowsTheTitleAsTyped) {
  TempDir dir;
  const std::string saved = programDir();
  setProgramDir(dir.path());
  setToastTimeScale(0);
  ASSERT_TRUE(createSiteDatabase(dir.file("data.mdb")));
  ASSERT_TRUE(addOrUpdateSite(dir.file("data.mdb"), site("blog", "http://127.0.0.1:9/")));
  {
    ModalAnswerer answer;
    auto w = createMainWindow();
    w->show();
    auto u = units(*w);
    {
      QSignalBlocker block(u.siteChooser);  // pick without logging in
      u.siteChooser->setCurrentIndex(0);
    }
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
  CloseSiteStore();
  setProgramDir(saved);
  setToastTimeScale(1);
}
