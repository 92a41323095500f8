// Start-up and shut-down of the program's window as main() makes it: the
// store opened and the chooser filled, a missing data.mdb made with a
// notice, menus and links, the site menu's dialogs, the upgrade item, the
// option boxes and the links that open the default browser.

#include "blog/editortext.h"
#include "common/programdir.h"
#include "common/ui/toast.h"
#include "shell/openinbrowser.h"
#include "sites/sitestore.h"
#include "sites/ui/sitedialogs.h"
#include "support/modalanswers.h"
#include "support/wiredwindow.h"

#include <gtest/gtest.h>
#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QPushButton>
#include <QTimer>

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

namespace inkpost {
namespace {

using test::fileExists;
using test::ModalAnswers;

class StartUp : public test::WiredWindow {
 protected:
  // Sites named `names`, at addresses where no blog answers.
  void makeSites(std::initializer_list<const char*> names) {
    for (const char* n : names) {
      SiteRecord r;
      r.webname = n;
      r.weburl = std::string("http://127.0.0.1:9/") + n + "/";
      r.admin = "admin";
      r.pass = "secret";
      addSite(r);
    }
  }
};

TEST_F(StartUp, OpensTheStoreFillsTheChooserAndClosesOnShutDown) {
  makeSites({"alpha", "beta"});
  {
    ModalAnswers answer;
    w();
    EXPECT_TRUE(answer.boxes.empty());
    EXPECT_EQ(answer.dialogs, 0);
    EXPECT_TRUE(siteStoreIsOpen());
    ASSERT_EQ(units().siteChooser->count(), 2);
    EXPECT_TRUE(units().siteChooser->itemText(1).startsWith("beta"));
    EXPECT_EQ(units().siteChooser->currentIndex(), -1);  // login waits for the user's pick
    EXPECT_EQ(units().dropTarget->registeredWidget(), units().dropBox);
    EXPECT_FALSE(units().toastTimer->isActive());
  }
  w_.reset();
  EXPECT_FALSE(siteStoreIsOpen());
  EXPECT_FALSE(fileExists(dir_.file("inkpost.cds")));
}

// This used to assert that no file is created; a missing data.mdb is now
// made empty and keyed, with a notice, and start-up goes on.
TEST_F(StartUp, WithoutDatabaseCreatesAnEmptyOneWithANotice) {
  ASSERT_EQ(std::remove(dir_.file("data.mdb").c_str()), 0);
  ModalAnswers answer;
  w();
  ASSERT_EQ(answer.boxes.size(), 1);
  EXPECT_EQ(answer.boxes[0].title, QStringLiteral("提示"));
  EXPECT_TRUE(answer.boxes[0].text.startsWith(QStringLiteral("没有找到网站数据库，已新建一个空的：")));
  EXPECT_TRUE(fileExists(dir_.file("data.mdb")));
  EXPECT_TRUE(siteStoreIsOpen());
  EXPECT_FALSE(fileExists(dir_.file("inkpost.cds")));
  EXPECT_EQ(units().siteChooser->count(), 0);
  EXPECT_EQ(units().dropTarget->registeredWidget(), units().dropBox);
  EXPECT_TRUE(w().isVisible());
  EXPECT_TRUE(w().isEnabled());
}

TEST_F(StartUp, WindowMenusAndLinksHaveTheirCaptions) {
  EXPECT_EQ(w().windowTitle(), QStringLiteral("Inkpost客户端 v12.9.5"));
  EXPECT_EQ(w().size(), QSize(880, 700));
  QStringList items;
  for (QAction* top : w().menuBar()->actions())
    for (QAction* a : top->menu()->actions())
      if (!a->isSeparator()) items << a->text();
  EXPECT_EQ(items,
            (QStringList{"添加网站", "修改网站", "删除网站", "导入网站…", "导出网站…", "重新登录",
                         "启动时登录上次的网站", "新建文章", "打开博客文章…", "发布", "发布到多个网站…", "手动保存",
                         "恢复", "发布记录", "粘贴为纯文本", "数据库升级", "订阅VIP邮箱", "官方博客"}));
  EXPECT_TRUE(units().clientLink->text().contains(QStringLiteral("客户端官网：")));
  EXPECT_TRUE(units().engineLink->text().contains(QStringLiteral("Inkpost官网：")));
  for (QLabel* link : {units().clientLink, units().engineLink}) {
    EXPECT_TRUE(link->textInteractionFlags() & Qt::LinksAccessibleByMouse);
    EXPECT_FALSE(link->openExternalLinks());  // the shell opens them itself
  }
  EXPECT_EQ(w().findChild<QTimer*>(QStringLiteral("时钟_载入显示窗口")), units().toastTimer);
}

TEST_F(StartUp, APlainPasteTooLongForTheEditorIsRefusedAndSaid) {
  ASSERT_TRUE(editorUp());
  clearToastHistory();
  const QString huge(static_cast<qsizetype>(kPlainPasteMax) + 1, QLatin1Char('x'));
  QGuiApplication::clipboard()->setText(huge);
  w().plainPasteAction()->trigger();
  EXPECT_EQ(toastHistory(), std::vector<std::string>{plainPasteTooLongNotice(kPlainPasteMax + 1)});
  EXPECT_EQ(w().form().waitingBody().find("xxxx"), std::string::npos) << "nothing reached the editor";
  QGuiApplication::clipboard()->clear();
}

TEST_F(StartUp, SiteMenuOpensTheDialogsAndTheChooserFollows) {
  makeSites({"old"});
  QStringList opened;
  ModalAnswers answer(QMessageBox::Ok, [&](QDialog& d) {
    opened << d.windowTitle();
    EXPECT_EQ(d.parentWidget(), &w());
    if (auto* add = qobject_cast<AddSiteDialog*>(&d)) {
      add->nameEdit->setText("new");
      add->addressEdit->setText("http://new/");
      add->accountEdit->setText("u");
      add->passwordEdit->setText("p");
      add->button1->click();
    } else if (auto* del = qobject_cast<DeleteSitesDialog*>(&d)) {
      del->list->item(0)->setCheckState(Qt::Checked);
      del->button1->click();
    }
  });
  units().addSiteAction->trigger();
  ASSERT_EQ(units().siteChooser->count(), 2);
  EXPECT_TRUE(units().siteChooser->itemText(1).startsWith("new"));
  units().modifySiteAction->trigger();
  units().deleteSiteAction->trigger();
  ASSERT_EQ(units().siteChooser->count(), 1);
  EXPECT_TRUE(units().siteChooser->itemText(0).startsWith("new"));
  EXPECT_EQ(opened, (QStringList{"添加网站", "修改网站", "删除网站"}));
}

TEST_F(StartUp, UpgradeItemAsksThenReports) {
  w();
  ModalAnswers answer(QMessageBox::Ok);
  units().upgradeAction->trigger();
  ASSERT_EQ(answer.boxes.size(), 2);
  EXPECT_EQ(answer.boxes[0].title, QStringLiteral("data.mdb 升级"));
  EXPECT_EQ(answer.boxes[1].text, QStringLiteral("数据库结构已为最新！"));
}

TEST_F(StartUp, OptionBoxClicksStoreTheFlagsOfTheChosenSite) {
  makeSites({"a", "b"});
  // Picked as a person does; the blog is not there, the login ends at once.
  pick(listSites()[1].id);
  units().autoNameCheck->click();
  auto rows = listSites();
  EXPECT_TRUE(rows[1].imgname);
  EXPECT_FALSE(rows[0].imgname);
  EXPECT_FALSE(rows[1].ikname);
}

TEST_F(StartUp, LinksAndHelpItemsOpenTheDefaultBrowser) {
  // A fake default browser that records the addresses it is given.
  mkdir(dir_.file("bin").c_str(), 0755);
  mkdir(dir_.file("share").c_str(), 0755);
  mkdir(dir_.file("share/applications").c_str(), 0755);
  test::writeFile(dir_.file("bin/xdg-settings"), "#!/bin/sh\necho rec.desktop\n");
  test::writeFile(dir_.file("bin/rec"), "#!/bin/sh\necho \"$1\" >> '" + dir_.file("opened.txt") + "'\n");
  chmod(dir_.file("bin/xdg-settings").c_str(), 0755);
  chmod(dir_.file("bin/rec").c_str(), 0755);
  test::writeFile(dir_.file("share/applications/rec.desktop"), "[Desktop Entry]\nExec=rec %u\n");
  const std::string oldPath = std::getenv("PATH");
  const char* oldDirs = std::getenv("XDG_DATA_DIRS");
  const std::string savedDirs = oldDirs ? oldDirs : "";
  setenv("PATH", (dir_.file("bin") + ":" + oldPath).c_str(), 1);
  setenv("XDG_DATA_DIRS", dir_.file("share").c_str(), 1);
  resetBrowserCommand();

  emit units().clientLink->linkActivated(QStringLiteral("https://client.example/"));
  units().officialBlogAction->trigger();
  for (int i = 0; i < 200; ++i) {
    std::string s = test::readFile(dir_.file("opened.txt"));
    if (std::count(s.begin(), s.end(), '\n') >= 2) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  std::string opened = test::readFile(dir_.file("opened.txt"));
  EXPECT_NE(opened.find("https://client.example/\n"), std::string::npos);
  EXPECT_NE(opened.find("/blog/\n"), std::string::npos);

  setenv("PATH", oldPath.c_str(), 1);
  if (oldDirs)
    setenv("XDG_DATA_DIRS", savedDirs.c_str(), 1);
  else
    unsetenv("XDG_DATA_DIRS");
  resetBrowserCommand();
}

}  // namespace
}  // namespace inkpost
