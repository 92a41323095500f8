#include "../sites/sitedb.h"
#include "support/modalanswers.h"
#include "support/wiredwindow.h"

#include "common/ui/gbk.h"
#include "common/ui/toast.h"
#include "net/encoding.h"
#include "sites/statements.h"
#include "sites/ui/sitechooser.h"
#include "sites/ui/sitedialogs.h"

#include <gtest/gtest.h>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

using namespace inkpost;
using namespace inkpost::test;

namespace {

QString lastToast() { return toastTexts().value(toastTexts().size() - 1); }

class SiteDialogs : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(store.ok());
    setToastTimeScale(0);
    clearToastHistory();
  }
  void TearDown() override { setToastTimeScale(1); }

  void fill(SiteFormDialog& d, const QString& name, const QString& url, const QString& admin, const QString& pass,
            const QString& bdname = {}, const QString& bdpass = {}) {
    d.nameEdit->setText(name);
    d.addressEdit->setText(url);
    d.accountEdit->setText(admin);
    d.passwordEdit->setText(pass);
    d.bdNameEdit->setText(bdname);
    d.bdPassEdit->setText(bdpass);
  }
  void addSites(std::initializer_list<const char*> names) {
    for (const char* n : names)
      ASSERT_TRUE(ExecuteSiteStatement(sql::insertSite(site(n, std::string("http://") + n + "/"))));
  }

  OpenStore store;
};

}  // namespace

TEST_F(SiteDialogs, UnitsCarryTheirNamesAndCaptions) {
  AddSiteDialog add(nullptr, nullptr);
  EXPECT_EQ(add.windowTitle(), QStringLiteral("添加网站"));
  EXPECT_EQ(add.size(), QSize(289, 181));
  for (const char* n :
       {"编辑框_网站名称", "编辑框_网站地址", "编辑框_帐号", "编辑框_密码", "编辑框_百度帐号", "编辑框_百度密码"})
    EXPECT_NE(add.findChild<QLineEdit*>(QString::fromUtf8(n)), nullptr) << n;
  EXPECT_EQ(add.findChild<QPushButton*>(QStringLiteral("按钮1"))->text(), QStringLiteral("添加"));
  EXPECT_EQ(add.findChild<QPushButton*>(QStringLiteral("按钮2"))->text(), QStringLiteral("重填"));

  ModifySiteDialog mod(nullptr, nullptr);
  EXPECT_EQ(mod.windowTitle(), QStringLiteral("修改网站"));
  EXPECT_EQ(mod.size(), QSize(521, 181));
  EXPECT_NE(mod.findChild<QListWidget*>(QStringLiteral("列表框1")), nullptr);
  EXPECT_EQ(mod.findChild<QPushButton*>(QStringLiteral("按钮1"))->text(), QStringLiteral("修改"));

  DeleteSitesDialog del(nullptr, nullptr);
  EXPECT_EQ(del.windowTitle(), QStringLiteral("删除网站"));
  EXPECT_EQ(del.size(), QSize(287, 235));
  EXPECT_NE(del.findChild<QListWidget*>(QStringLiteral("选择列表框1")), nullptr);
  EXPECT_EQ(del.findChild<QPushButton*>(QStringLiteral("按钮1"))->text(), QStringLiteral("删除选中"));
  EXPECT_EQ(del.findChild<QPushButton*>(QStringLiteral("按钮2"))->text(), QStringLiteral("反选"));
}

TEST_F(SiteDialogs, ValidationStopsAtTheFirstFailure) {
  AddSiteDialog d(nullptr, nullptr);
  struct Case {
    QString name, url, admin, pass, message;
  } cases[] = {
      {"n", "http://a/", "u", "", "任何内容都必需填写！"},
      {"", "http://a/", "u", "p", "任何内容都必需填写！"},
      {"n", "", "u", "p", "任何内容都必需填写！"},
      {"n", "http://a/", "", "p", "任何内容都必需填写！"},
      {"n", "HTTP://a/", "u", "p", "网站地址必需以 http:// 或 https:// 开头。"},
      {"n", "ftp://a/", "u", "p", "网站地址必需以 http:// 或 https:// 开头。"},
      {"n", "http:/", "u", "p", "网站地址必需以 http:// 或 https:// 开头。"},
      {"n", "http://a", "u", "p", "网站地址必需以 / 结尾。"},
      {"n", "https://a", "u", "p", "网站地址必需以 / 结尾。"},
  };
  for (const Case& c : cases) {
    fill(d, c.name, c.url, c.admin, c.pass);
    d.button1->click();
    EXPECT_EQ(lastToast(), c.message) << c.url.toStdString();
  }
  EXPECT_TRUE(listSites().empty());
  // One blank is content; the Baidu fields may stay empty.
  fill(d, " ", "http://a/", " ", " ");
  d.button1->click();
  EXPECT_EQ(lastToast(), QStringLiteral("添加网站成功！"));
  EXPECT_EQ(listSites().size(), 1u);
}

TEST_F(SiteDialogs, AddStoresTheFormAndRefusesADuplicateAddress) {
  AddSiteDialog d(nullptr, nullptr);
  fill(d, "我的博客", "http://blog.example/", "ad'min", "p|a]s*s[", "bd", "bp");
  d.button1->click();
  EXPECT_EQ(lastToast(), QStringLiteral("添加网站成功！"));
  auto rows = listSites();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].webname, fromUtf8("我的博客"));
  EXPECT_EQ(rows[0].admin, "ad'min");
  EXPECT_EQ(rows[0].pass, "p|a]s*s[");
  EXPECT_EQ(rows[0].bdname, "bd");
  EXPECT_EQ(rows[0].bdpass, "bp");

  fill(d, "again", "http://blog.example/", "x", "y");
  d.button1->click();
  EXPECT_EQ(lastToast(), QStringLiteral("该网站已存在！"));
  EXPECT_EQ(listSites().size(), 1u);
  EXPECT_EQ(d.nameEdit->text(), QStringLiteral("again"));  // fields keep their content
  // The host in other case is the same site; the https address is another.
  fill(d, "again", "http://Blog.Example/", "x", "y");
  d.button1->click();
  EXPECT_EQ(lastToast(), QStringLiteral("该网站已存在！"));
  fill(d, "secure", "https://blog.example/", "x", "y");
  d.button1->click();
  EXPECT_EQ(lastToast(), QStringLiteral("添加网站成功！"));
  EXPECT_EQ(listSites().back().weburl, "https://blog.example/");
}

TEST_F(SiteDialogs, AFailedAddSaysWhyTheStoreRefused) {
  ASSERT_TRUE(ExecuteSiteStatement("PRAGMA query_only=1"));  // writes refused as for a read-only file
  AddSiteDialog d(nullptr, nullptr);
  fill(d, "n", "http://a/", "u", "p");
  d.button1->click();
  EXPECT_EQ(lastToast(), QStringLiteral("添加网站失败！\n网站数据库文件不能写入（只读）：") +
                             QString::fromStdString(store.path()) +
                             QStringLiteral("\n请检查这个文件和所在文件夹的权限。"));
  EXPECT_EQ(d.nameEdit->text(), QStringLiteral("n"));
}

TEST_F(SiteDialogs, ResetEmptiesTheRequiredFieldsOnly) {
  AddSiteDialog d(nullptr, nullptr);
  fill(d, "n", "http://a/", "u", "p", "bn", "bp");
  d.button2->click();
  EXPECT_TRUE(d.nameEdit->text().isEmpty());
  EXPECT_TRUE(d.addressEdit->text().isEmpty());
  EXPECT_TRUE(d.accountEdit->text().isEmpty());
  EXPECT_TRUE(d.passwordEdit->text().isEmpty());
  EXPECT_EQ(d.bdNameEdit->text(), QStringLiteral("bn"));
  EXPECT_EQ(d.bdPassEdit->text(), QStringLiteral("bp"));
}

TEST_F(SiteDialogs, NoticesAppearOverTheDialog) {
  AddSiteDialog d(nullptr, nullptr);
  d.show();
  setToastTimeScale(1);
  QWidget* parentSeen = nullptr;
  QTimer::singleShot(50, [&] {
    if (ToastWindow* t = currentToast()) parentSeen = t->parentWidget();
  });
  d.button1->click();  // empty form: 1.5 s notice
  EXPECT_EQ(parentSeen, &d);
  EXPECT_EQ(currentToast(), nullptr);
}

TEST_F(SiteDialogs, ModifyFillsFromTheSelectionAndUpdates) {
  addSites({"one", "two"});
  ModifySiteDialog d(nullptr, nullptr);
  ASSERT_EQ(d.list->count(), 2);
  EXPECT_EQ(d.list->item(1)->text(), QStringLiteral("two"));
  d.list->setCurrentRow(1);
  EXPECT_EQ(d.nameEdit->text(), QStringLiteral("two"));
  EXPECT_EQ(d.addressEdit->text(), QStringLiteral("http://two/"));
  EXPECT_EQ(d.accountEdit->text(), QStringLiteral("admin"));
  EXPECT_EQ(d.passwordEdit->text(), QStringLiteral("secret"));

  // Another site's address is accepted (no duplicate check here).
  fill(d, "zwei", "http://one/", "root", "it's", "b", "c");
  d.button1->click();
  EXPECT_EQ(lastToast(), QStringLiteral("  修改成功！  "));
  auto rows = listSites();
  EXPECT_EQ(rows[1].webname, "zwei");
  EXPECT_EQ(rows[1].weburl, "http://one/");
  EXPECT_EQ(rows[1].pass, "it's");
  EXPECT_EQ(rows[1].bdpass, "c");
  EXPECT_EQ(rows[0].webname, "one");
  EXPECT_EQ(d.list->item(1)->text(), QStringLiteral("zwei"));  // the list shows the new name

  // Invalid input is refused before anything else.
  fill(d, "x", "http://x", "u", "p");
  d.button1->click();
  EXPECT_EQ(lastToast(), QStringLiteral("网站地址必需以 / 结尾。"));
}

TEST_F(SiteDialogs, ModifyWithoutSelectionFailsAndChangesNothing) {
  addSites({"one"});
  const auto before = listSites();
  ModifySiteDialog d(nullptr, nullptr);
  ASSERT_EQ(d.list->currentRow(), -1);
  fill(d, "n", "http://n/", "u", "p");
  d.button1->click();
  EXPECT_EQ(lastToast(), QStringLiteral("  修改失败！  "));
  EXPECT_EQ(listSites(), before);
}

TEST_F(SiteDialogs, DeleteNoneAllAndInvert) {
  ModalAnswers answer(QMessageBox::Ok);  // each deletion is asked first
  addSites({"a", "b", "c"});
  DeleteSitesDialog d(nullptr, nullptr);
  ASSERT_EQ(d.list->count(), 3);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(d.list->item(i)->checkState(), Qt::Unchecked);

  d.button1->click();  // nothing ticked
  EXPECT_EQ(lastToast(), QStringLiteral("请先勾选要删除的网站"));
  EXPECT_EQ(listSites().size(), 3u);

  d.list->item(1)->setCheckState(Qt::Checked);
  d.button2->click();  // invert: a and c ticked
  EXPECT_EQ(d.list->item(0)->checkState(), Qt::Checked);
  EXPECT_EQ(d.list->item(1)->checkState(), Qt::Unchecked);
  EXPECT_EQ(d.list->item(2)->checkState(), Qt::Checked);
  d.button1->click();
  EXPECT_EQ(lastToast(), QStringLiteral("删除成功！"));
  ASSERT_EQ(listSites().size(), 1u);
  EXPECT_EQ(listSites()[0].webname, "b");
  ASSERT_EQ(d.list->count(), 1);  // refilled, nothing ticked
  EXPECT_EQ(d.list->item(0)->checkState(), Qt::Unchecked);

  d.button2->click();
  d.button1->click();  // all
  EXPECT_TRUE(listSites().empty());
  ASSERT_EQ(answer.boxes.size(), 2);  // nothing ticked: nothing asked
  EXPECT_EQ(answer.boxes[0].text, QStringLiteral("确定删除选中的 2 个网站？"));
  EXPECT_EQ(answer.boxes[1].text, QStringLiteral("确定删除选中的 1 个网站？"));
  EXPECT_EQ(d.list->count(), 0);
  d.button2->click();  // invert on an empty list does nothing
  EXPECT_EQ(d.list->count(), 0);
}

TEST_F(SiteDialogs, ClosingAddAndDeleteRefillsTheChooserKeepingTheChosenSite) {
  ModalAnswers answer(QMessageBox::Ok);
  QComboBox chooser;
  addSites({"first"});
  FillSiteChooser(&chooser);
  chooser.setCurrentIndex(0);
  {
    AddSiteDialog d(nullptr, &chooser);
    fill(d, "second", "http://second/", "u", "p");
    d.button1->click();
    EXPECT_EQ(chooser.count(), 1);  // not before the dialog closes
  }
  ASSERT_EQ(chooser.count(), 2);
  EXPECT_EQ(chooser.currentIndex(), 0);                      // still the site chosen before
  EXPECT_EQ(chooser.itemText(1), QStringLiteral("second"));  // the name only
  EXPECT_EQ(chooserEntryValues(&chooser, 1).weburl, "http://second/");

  chooser.setCurrentIndex(1);
  {
    DeleteSitesDialog d(nullptr, &chooser);
    d.button2->click();
    d.button1->click();
  }
  EXPECT_EQ(chooser.count(), 0);
  EXPECT_EQ(chooser.currentIndex(), -1);
}

// The 网站管理 menu of the program's window: each command opens its dialog
// modally over the window; closing the add dialog refills the chooser.
class SiteMenu : public inkpost::test::WiredWindow {};

TEST_F(SiteMenu, CommandsOpenModally) {
  ModalAnswers answer(QMessageBox::Ok, [this](QDialog& d) {
    EXPECT_TRUE(d.isModal());
    EXPECT_EQ(d.parentWidget(), &w());
    if (auto* form = qobject_cast<AddSiteDialog*>(&d)) {
      form->nameEdit->setText("m");
      form->addressEdit->setText("http://m/");
      form->accountEdit->setText("u");
      form->passwordEdit->setText("p");
      form->button1->click();
    }
    d.reject();
  });
  units().addSiteAction->trigger();
  EXPECT_EQ(answer.dialogs, 1);
  EXPECT_EQ(units().siteChooser->count(), 1);
  units().modifySiteAction->trigger();
  units().deleteSiteAction->trigger();
  EXPECT_EQ(answer.dialogs, 3);
}
