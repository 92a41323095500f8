// Picking a site in the main window's chooser: the login attempts with their
// notices against the sandbox blog, then the lists, tags and date boxes.
#include "blog/ui/login.h"
#include "support/session.h"

#include "blog/captcha.h"
#include "common/session.h"
#include "common/ui/gbk.h"
#include "common/ui/toast.h"
#include "net/encoding.h"
#include "shell/mainwindow.h"
#include "sites/chooserentry.h"
#include "sites/ui/sitechooser.h"
#include "support/captchadata.h"
#include "support/mainunits.h"
#include "support/sandbox.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QRegularExpression>
#include <QSignalBlocker>

namespace inkpost {
namespace {

using test::Sandbox;

std::string g(const char* utf8) { return fromUtf8(utf8); }

class SiteLogin : public inkpost::test::SessionTest {
 protected:
  void SetUp() override {
    SessionTest::SetUp();
    test::ensureCaptchaData();
    ASSERT_GT(CaptchaDataHandle(), 0);
    setToastTimeScale(0);
    clearToastHistory();
    blogSession().tags.clear();
    w_ = std::make_unique<MainWindow>();
  }
  void TearDown() override {
    SessionTest::TearDown();
    setToastTimeScale(1.0);
  }

  // Adds a chooser entry for the sandbox and selects it without signals.
  void choose(const Sandbox& sb, const std::string& user, const std::string& pass, bool alias = true,
              bool naming = false) {
    SiteRecord rec;
    rec.id = ++lastId_;
    rec.webname = "sandbox" + std::to_string(rec.id);
    rec.weburl = sb.siteUrl();
    rec.admin = user;
    rec.pass = pass;
    rec.ikname = alias;
    rec.imgname = naming;
    QSignalBlocker block(inkpost::test::units(*w_).siteChooser);
    inkpost::test::units(*w_).siteChooser->addItem(toQ(SiteChooserEntry(rec)));
    const int i = inkpost::test::units(*w_).siteChooser->count() - 1;
    inkpost::test::units(*w_).siteChooser->setItemData(i, rec.id, kSiteIdRole);
    inkpost::test::units(*w_).siteChooser->setItemData(i, QVariant::fromValue(rec), kSiteRecordRole);
    inkpost::test::units(*w_).siteChooser->setCurrentIndex(i);
  }

  std::vector<std::string> items(QComboBox* box) {
    std::vector<std::string> out;
    for (int i = 0; i < box->count(); ++i)
      out.push_back(fromQ(box->itemText(i)) + "=" + box->itemData(i).toString().toStdString());
    return out;
  }

  std::unique_ptr<MainWindow> w_;
  int lastId_ = 0;
};

TEST_F(SiteLogin, SuccessFillsAccountListsTagsAndDates) {
  Sandbox sb({.extraArgs = {"--categories", "3:新闻,8:A&amp;B", "--authors", "1:admin,6:小王*", "--tags", "C++,博客"}});
  choose(sb, "admin", "secret", true, false);
  inkpost::test::units(*w_).autoNameCheck->setChecked(true);
  const QDate before = QDate::currentDate();
  onSiteSelected(*w_);

  EXPECT_EQ(toastHistory(), std::vector<std::string>{loginDoneNotice()});
  EXPECT_EQ(loginDoneNotice(), g("          登录成功！          "));
  EXPECT_EQ(inkpost::test::units(*w_).accountEdit->text(), "admin");
  EXPECT_EQ(inkpost::test::units(*w_).passwordEdit->text(), "secret");
  EXPECT_TRUE(inkpost::test::units(*w_).autoAliasCheck->isChecked());
  EXPECT_FALSE(inkpost::test::units(*w_).autoNameCheck->isChecked());
  EXPECT_EQ(items(inkpost::test::units(*w_).categoryBox), (std::vector<std::string>{g("新闻") + "=3", "A&B=8"}))
      << "names shown decoded, numbers as the page has them";
  EXPECT_EQ(items(inkpost::test::units(*w_).authorBox), (std::vector<std::string>{"admin=1", g("小王") + "=6"}));
  EXPECT_EQ(inkpost::test::units(*w_).authorBox->currentIndex(), 1);
  EXPECT_EQ(blogSession().tags, (std::vector<std::string>{"C++", g("博客")}));
  EXPECT_NE(blogSession().cookie.find("ASPSESSIONIDQSRBTCAB="), std::string::npos);
  EXPECT_EQ(blogSession().site, sb.siteUrl());

  const QDate after = QDate::currentDate();
  const QDate shown(inkpost::test::units(*w_).yearEdit->text().toInt(),
                    inkpost::test::units(*w_).monthEdit->text().toInt(),
                    inkpost::test::units(*w_).dayEdit->text().toInt());
  EXPECT_TRUE(shown == before || shown == after);
  EXPECT_FALSE(inkpost::test::units(*w_).monthEdit->text().startsWith('0'));
  EXPECT_TRUE(QRegularExpression("^([1-9]?[0-9]):([1-9]?[0-9]):([1-9]?[0-9])$")
                  .match(inkpost::test::units(*w_).timeEdit->text())
                  .hasMatch())
      << inkpost::test::units(*w_).timeEdit->text().toStdString();
}

TEST_F(SiteLogin, WrongPasswordGivesFourNumberedNoticesThenTheFinalOne) {
  Sandbox sb;
  choose(sb, "admin", "wrong");
  {
    QSignalBlocker block(inkpost::test::units(*w_).categoryBox);
    inkpost::test::units(*w_).categoryBox->addItem("kept", 1);
  }
  onSiteSelected(*w_);
  EXPECT_EQ(toastHistory(), (std::vector<std::string>{g("登录失败！进行第1次尝试！"), g("登录失败！进行第2次尝试！"),
                                                      g("登录失败！进行第3次尝试！"), g("登录失败！进行第4次尝试！"),
                                                      g("登录失败，请检查帐号密码！")}));
  EXPECT_EQ(inkpost::test::units(*w_).categoryBox->count(), 0) << "a failed login leaves no list of an earlier site";
  EXPECT_FALSE(blogSession().ready);
  EXPECT_TRUE(inkpost::test::units(*w_).yearEdit->text().isEmpty());
  EXPECT_TRUE(sb.waitForLog("act=verify", 4));
}

TEST_F(SiteLogin, AMisreadCaptchaCostsOneAttempt) {
  Sandbox sb({.extraArgs = {"--captcha-misread", "1"}});
  choose(sb, "admin", "secret");
  onSiteSelected(*w_);
  EXPECT_EQ(toastHistory(), (std::vector<std::string>{loginRetryNotice(1), loginDoneNotice()}));
}

TEST_F(SiteLogin, MissingLocationAndAStoppedServerFailAllAttempts) {
  {
    Sandbox sb({.extraArgs = {"--verify-no-location"}});
    choose(sb, "admin", "secret");
    onSiteSelected(*w_);
    EXPECT_EQ(toastHistory().size(), 5u);
    EXPECT_EQ(toastHistory().back(), loginFailedNotice());
  }
  clearToastHistory();
  // A blog that is gone is not asked four times, and not about the password.
  Sandbox sb;
  sb.stop();
  choose(sb, "admin", "secret");
  onSiteSelected(*w_);
  EXPECT_EQ(toastHistory(), std::vector<std::string>{unreachableNotice()});
}

TEST_F(SiteLogin, ChineseAccountAndAPasswordWithFormCharactersLogIn) {
  Sandbox sb({.user = "张三", .password = "p&w%=+ 中", .extraArgs = {"--strict-cookies"}});
  choose(sb, g("张三"), g("p&w%=+ 中"));
  onSiteSelected(*w_);
  EXPECT_EQ(toastHistory(), std::vector<std::string>{loginDoneNotice()});
  EXPECT_NE(blogSession().cookie.find(" username=%25u5f20%25u4e09; password="), std::string::npos)
      << blogSession().cookie;
}

TEST_F(SiteLogin, ASecondSiteReplacesTheListsOfTheFirst) {
  Sandbox first({.extraArgs = {"--categories", "1:甲", "--authors", "1:a*", "--tags", "t1"}});
  Sandbox second({.extraArgs = {"--categories", "2:乙,3:丙", "--authors", "2:b", "--tags", ""}});
  choose(first, "admin", "secret");
  onSiteSelected(*w_);
  ASSERT_EQ(items(inkpost::test::units(*w_).categoryBox), (std::vector<std::string>{g("甲") + "=1"}));
  choose(second, "admin", "secret");
  onSiteSelected(*w_);
  EXPECT_EQ(items(inkpost::test::units(*w_).categoryBox), (std::vector<std::string>{g("乙") + "=2", g("丙") + "=3"}));
  EXPECT_EQ(items(inkpost::test::units(*w_).authorBox), (std::vector<std::string>{"b=2"}));
  EXPECT_EQ(inkpost::test::units(*w_).authorBox->currentIndex(), 0);
  EXPECT_TRUE(blogSession().tags.empty());
  EXPECT_EQ(blogSession().site, second.siteUrl());
}

TEST_F(SiteLogin, AnEditPageWithoutMarkersEmptiesTheListsAndIsNoSuccess) {
  test::TempDir dir;
  test::writeFile(dir.file("page.html"), "<html><body>maintenance</body></html>");
  Sandbox sb({.extraArgs = {"--edit-page", dir.file("page.html")}});
  {
    QSignalBlocker block(inkpost::test::units(*w_).categoryBox);
    inkpost::test::units(*w_).categoryBox->addItem("old", 1);
  }
  blogSession().tags = {"old"};
  choose(sb, "admin", "secret");
  onSiteSelected(*w_);
  // Signed in, but without categories no article can go out: no success.
  EXPECT_EQ(toastHistory(), std::vector<std::string>{noCategoriesNotice()});
  EXPECT_EQ(inkpost::test::units(*w_).categoryBox->count(), 0);
  EXPECT_EQ(inkpost::test::units(*w_).authorBox->count(), 0);
  EXPECT_TRUE(blogSession().tags.empty());
  EXPECT_FALSE(blogSession().ready);
}

TEST_F(SiteLogin, NoSelectionDoesNothing) {
  onSiteSelected(*w_);
  EXPECT_TRUE(toastHistory().empty());
  EXPECT_TRUE(inkpost::test::units(*w_).accountEdit->text().isEmpty());
}

TEST(DateBoxes, NumbersWithoutLeadingZeros) {
  MainWindow w;
  fillDateBoxes(w, QDateTime(QDate(2026, 3, 7), QTime(9, 5, 3)));
  EXPECT_EQ(inkpost::test::units(w).yearEdit->text(), "2026");
  EXPECT_EQ(inkpost::test::units(w).monthEdit->text(), "3");
  EXPECT_EQ(inkpost::test::units(w).dayEdit->text(), "7");
  EXPECT_EQ(inkpost::test::units(w).timeEdit->text(), "9:5:3");
  fillDateBoxes(w, QDateTime(QDate(2026, 12, 31), QTime(0, 0, 0)));
  EXPECT_EQ(inkpost::test::units(w).timeEdit->text(), "0:0:0");
  EXPECT_EQ(inkpost::test::units(w).dayEdit->text(), "31");
}

}  // namespace
}  // namespace inkpost
