#include "../sites/sitedb.h"
#include "../sites_ui/modal.h"
#include "support/session.h"

#include "common/programdir.h"
#include "common/ui/toast.h"
#include "shell/mainwindow.h"
#include "shell/openinbrowser.h"
#include "shell/shell.h"
#include "sites/statements.h"
#include "sites/ui/sitechooser.h"
#include "sites/ui/sitedialogs.h"
#include "support/mainunits.h"

#include <gtest/gtest.h>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QPushButton>
#include <QTimer>

#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <thread>

using namespace inkpost;
using namespace inkpost::test;

namespace {

// The program directory points at a temporary folder for each test.
class StartUp : public inkpost::test::SessionTest {
 protected:
  void SetUp() override {
    SessionTest::SetUp();
    saved_ = programDir();
    setProgramDir(dir.path());
    setToastTimeScale(0);
  }
  void TearDown() override {
    SessionTest::TearDown();
    CloseSiteStore();
    setProgramDir(saved_);
    setToastTimeScale(1);
  }
  void makeDatabase(std::initializer_list<const char*> names) {
    ASSERT_TRUE(createSiteDatabase(dir.file("data.mdb")));
    for (const char* n : names)
      ASSERT_TRUE(addOrUpdateSite(dir.file("data.mdb"), site(n, std::string("http://") + n + "/")));
  }
  TempDir dir;
  std::string saved_;
};

}  // namespace

TEST_F(StartUp, OpensTheStoreFillsTheChooserAndClosesOnShutDown) {
  makeDatabase({"alpha", "beta"});
  {
    ModalAnswerer answer;
    auto w = createMainWindow();
    EXPECT_TRUE(answer.boxes.isEmpty());
    EXPECT_TRUE(siteStoreIsOpen());
    ASSERT_EQ(inkpost::test::units(*w).siteChooser->count(), 2);
    EXPECT_TRUE(inkpost::test::units(*w).siteChooser->itemText(1).startsWith("beta"));
    EXPECT_EQ(inkpost::test::units(*w).siteChooser->currentIndex(), -1);  // login waits for the user's pick
    EXPECT_EQ(inkpost::test::units(*w).dropTarget->registeredWidget(), inkpost::test::units(*w).dropBox);
    EXPECT_FALSE(inkpost::test::units(*w).toastTimer->isActive());
  }
  EXPECT_FALSE(siteStoreIsOpen());
  EXPECT_FALSE(fileExists(dir.file("inkpost.cds")));
}

// This used to assert that no file is created; a missing data.mdb is now
// made empty and keyed, with a notice, and start-up goes on.
TEST_F(StartUp, WithoutDatabaseCreatesAnEmptyOneWithANotice) {
  ModalAnswerer answer;
  auto w = createMainWindow();
  ASSERT_EQ(answer.boxes.size(), 1);
  EXPECT_EQ(answer.boxes[0].title, QStringLiteral("提示"));
  EXPECT_TRUE(answer.boxes[0].text.startsWith(QStringLiteral("没有找到网站数据库，已新建一个空的：")));
  EXPECT_TRUE(fileExists(dir.file("data.mdb")));
  EXPECT_TRUE(siteStoreIsOpen());
  EXPECT_FALSE(fileExists(dir.file("inkpost.cds")));
  EXPECT_EQ(inkpost::test::units(*w).siteChooser->count(), 0);
  EXPECT_EQ(inkpost::test::units(*w).dropTarget->registeredWidget(), inkpost::test::units(*w).dropBox);
  w->show();
  EXPECT_TRUE(w->isVisible());
  EXPECT_TRUE(w->isEnabled());
}

TEST_F(StartUp, WindowMenusAndLinksHaveTheirCaptions) {
  makeDatabase({});
  auto w = createMainWindow();
  EXPECT_EQ(w->windowTitle(), QStringLiteral("Inkpost客户端 v12.9.5"));
  EXPECT_EQ(w->size(), QSize(880, 700));
  QStringList items;
  for (QAction* top : w->menuBar()->actions())
    for (QAction* a : top->menu()->actions())
      if (!a->isSeparator()) items << a->text();
  EXPECT_EQ(items, (QStringList{"添加网站", "修改网站", "删除网站", "重新登录", "发布", "手动保存", "恢复",
                                "粘贴为纯文本", "数据库升级", "订阅VIP邮箱", "官方博客"}));
  EXPECT_TRUE(inkpost::test::units(*w).clientLink->text().contains(QStringLiteral("客户端官网：")));
  EXPECT_TRUE(inkpost::test::units(*w).engineLink->text().contains(QStringLiteral("Inkpost官网：")));
  for (QLabel* link : {inkpost::test::units(*w).clientLink, inkpost::test::units(*w).engineLink}) {
    EXPECT_TRUE(link->textInteractionFlags() & Qt::LinksAccessibleByMouse);
    EXPECT_FALSE(link->openExternalLinks());  // the shell opens them itself
  }
  EXPECT_EQ(w->findChild<QTimer*>(QStringLiteral("时钟_载入显示窗口")), inkpost::test::units(*w).toastTimer);
}

TEST_F(StartUp, SiteMenuOpensTheDialogsAndTheChooserFollows) {
  makeDatabase({"old"});
  auto w = createMainWindow();
  QStringList opened;
  ModalAnswerer answer(QMessageBox::Ok, [&](QDialog* d) {
    opened << d->windowTitle();
    EXPECT_EQ(d->parentWidget(), w.get());
    if (auto* add = qobject_cast<AddSiteDialog*>(d)) {
      add->nameEdit->setText("new");
      add->addressEdit->setText("http://new/");
      add->accountEdit->setText("u");
      add->passwordEdit->setText("p");
      add->button1->click();
    } else if (auto* del = qobject_cast<DeleteSitesDialog*>(d)) {
      del->list->item(0)->setCheckState(Qt::Checked);
      del->button1->click();
    }
    d->reject();
  });
  inkpost::test::units(*w).addSiteAction->trigger();
  ASSERT_EQ(inkpost::test::units(*w).siteChooser->count(), 2);
  EXPECT_TRUE(inkpost::test::units(*w).siteChooser->itemText(1).startsWith("new"));
  inkpost::test::units(*w).modifySiteAction->trigger();
  inkpost::test::units(*w).deleteSiteAction->trigger();
  ASSERT_EQ(inkpost::test::units(*w).siteChooser->count(), 1);
  EXPECT_TRUE(inkpost::test::units(*w).siteChooser->itemText(0).startsWith("new"));
  EXPECT_EQ(opened, (QStringList{"添加网站", "修改网站", "删除网站"}));
}

TEST_F(StartUp, UpgradeItemAsksThenReports) {
  makeDatabase({});
  auto w = createMainWindow();
  ModalAnswerer answer(QMessageBox::Ok);
  inkpost::test::units(*w).upgradeAction->trigger();
  ASSERT_EQ(answer.boxes.size(), 2);
  EXPECT_EQ(answer.boxes[0].title, QStringLiteral("data.mdb 升级"));
  EXPECT_EQ(answer.boxes[1].text, QStringLiteral("数据库结构已为最新！"));
}

TEST_F(StartUp, OptionBoxClicksStoreTheFlagsOfTheChosenSite) {
  makeDatabase({"a", "b"});
  auto w = createMainWindow();
  w->show();
  {
    QSignalBlocker block(inkpost::test::units(*w).siteChooser);  // pick without logging in
    inkpost::test::units(*w).siteChooser->setCurrentIndex(1);
  }
  inkpost::test::units(*w).autoNameCheck->click();
  auto rows = listSites();
  EXPECT_TRUE(rows[1].imgname);
  EXPECT_FALSE(rows[0].imgname);
  EXPECT_FALSE(rows[1].ikname);
}

TEST_F(StartUp, LinksAndHelpItemsOpenTheDefaultBrowser) {
  makeDatabase({});
  // A fake default browser that records the addresses it is given.
  mkdir(dir.file("bin").c_str(), 0755);
  mkdir(dir.file("share").c_str(), 0755);
  mkdir(dir.file("share/applications").c_str(), 0755);
  writeFile(dir.file("bin/xdg-settings"), "#!/bin/sh\necho rec.desktop\n");
  writeFile(dir.file("bin/rec"), "#!/bin/sh\necho \"$1\" >> '" + dir.file("opened.txt") + "'\n");
  chmod(dir.file("bin/xdg-settings").c_str(), 0755);
  chmod(dir.file("bin/rec").c_str(), 0755);
  writeFile(dir.file("share/applications/rec.desktop"), "[Desktop Entry]\nExec=rec %u\n");
  const std::string oldPath = std::getenv("PATH");
  const char* oldDirs = std::getenv("XDG_DATA_DIRS");
  const std::string savedDirs = oldDirs ? oldDirs : "";
  setenv("PATH", (dir.file("bin") + ":" + oldPath).c_str(), 1);
  setenv("XDG_DATA_DIRS", dir.file("share").c_str(), 1);
  resetBrowserCommand();

  auto w = createMainWindow();
  emit inkpost::test::units(*w).clientLink->linkActivated(QStringLiteral("https://client.example/"));
  inkpost::test::units(*w).officialBlogAction->trigger();
  for (int i = 0; i < 200; ++i) {
    std::string s = readFile(dir.file("opened.txt"));
    if (std::count(s.begin(), s.end(), '\n') >= 2) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  std::string opened = readFile(dir.file("opened.txt"));
  EXPECT_NE(opened.find("https://client.example/\n"), std::string::npos);
  EXPECT_NE(opened.find("/blog/\n"), std::string::npos);

  setenv("PATH", oldPath.c_str(), 1);
  if (oldDirs)
    setenv("XDG_DATA_DIRS", savedDirs.c_str(), 1);
  else
    unsetenv("XDG_DATA_DIRS");
  resetBrowserCommand();
}
