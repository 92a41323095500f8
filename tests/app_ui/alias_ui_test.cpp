// The automatic alias in the running window: the title typed, the alias
// follows through the window's own bindings.
#include "../sites/sitedb.h"
#include "../sites_ui/modal.h"

#include "app/programdir.h"
#include "app/shell/shell.h"
#include "app/ui/mainwindow.h"
#include "app/ui/toast.h"
#include "sites/ui/sitechooser.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QTest>
#include <gtest/gtest.h>

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
    {
      QSignalBlocker block(w->siteChooser);  // pick without logging in
      w->siteChooser->setCurrentIndex(0);
    }
    if (w->autoAliasCheck->isChecked()) w->autoAliasCheck->click();
    w->autoAliasCheck->click();  // 自动 ticked
    ASSERT_TRUE(w->autoAliasCheck->isChecked());

    w->titleEdit->setFocus();
    w->titleEdit->insert(QString::fromUtf8("重庆银行长城"));
    EXPECT_EQ(w->aliasEdit->text(), "chongqingyinhangchangcheng");

    w->titleEdit->clear();
    QTest::keyClicks(w->titleEdit, "Hello ");
    EXPECT_EQ(w->aliasEdit->text(), "hello");
    w->titleEdit->insert(QString::fromUtf8("世界"));
    EXPECT_EQ(w->aliasEdit->text(), "helloshijie");

    w->titleEdit->setText(QString::fromUtf8("价格€100 ＡＢＣ"));
    EXPECT_EQ(w->aliasEdit->text(), "jiage100abc");
  }
  CloseSiteStore();
  setProgramDir(saved);
  setToastTimeScale(1);
}
