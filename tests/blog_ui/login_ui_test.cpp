// Picking a site in the main window's chooser: the login attempts with their
// notices against the sandbox blog, then the lists, tags and date boxes.
// Through the wired window, as a person picks a site.
#include "blog/ui/login.h"

#include "common/ui/gbk.h"
#include "common/ui/toast.h"
#include "net/encoding.h"
#include "support/sandbox.h"
#include "support/wiredwindow.h"

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

std::vector<std::string> items(QComboBox* box) {
  std::vector<std::string> out;
  for (int i = 0; i < box->count(); ++i)
    out.push_back(fromQ(box->itemText(i)) + "=" + box->itemData(i).toString().toStdString());
  return out;
}

class SiteLogin : public test::WiredWindow {
 protected:
  // The chosen site's session.
  std::shared_ptr<BlogClient> client() { return w().blog().client(); }
};

TEST_F(SiteLogin, SuccessFillsAccountListsTagsAndDates) {
  Sandbox sb({.extraArgs = {"--categories", "3:新闻,8:A&amp;B", "--authors", "1:admin,6:小王*", "--tags", "C++,博客"}});
  const int id = addSite(sb.siteUrl(), "admin", "secret", /*autoAlias=*/true, /*autoName=*/false);
  units().autoNameCheck->setChecked(true);
  const QDate before = QDate::currentDate();
  pick(id);

  EXPECT_EQ(toastHistory(), std::vector<std::string>{loginDoneNotice()});
  EXPECT_EQ(loginDoneNotice(), g("          登录成功！          "));
  EXPECT_EQ(units().accountEdit->text(), "admin");
  EXPECT_EQ(units().passwordEdit->text(), "secret");
  EXPECT_TRUE(units().autoAliasCheck->isChecked()) << "the site's flags come with it";
  EXPECT_FALSE(units().autoNameCheck->isChecked());
  EXPECT_EQ(items(units().categoryBox), (std::vector<std::string>{g("新闻") + "=3", "A&B=8"}))
      << "names shown decoded, numbers as the page has them";
  EXPECT_EQ(items(units().authorBox), (std::vector<std::string>{"admin=1", g("小王") + "=6"}));
  EXPECT_EQ(units().authorBox->currentIndex(), 1);
  ASSERT_TRUE(client());
  EXPECT_TRUE(w().blog().ready());
  EXPECT_EQ(w().blog().tags(), (std::vector<std::string>{"C++", g("博客")}));
  EXPECT_NE(client()->sessionCookie().find("ASPSESSIONIDQSRBTCAB="), std::string::npos);
  EXPECT_EQ(client()->address(), sb.siteUrl());

  const QDate after = QDate::currentDate();
  const QDate shown(units().yearEdit->text().toInt(), units().monthEdit->text().toInt(),
                    units().dayEdit->text().toInt());
  EXPECT_TRUE(shown == before || shown == after);
  EXPECT_FALSE(units().monthEdit->text().startsWith('0'));
  EXPECT_TRUE(
      QRegularExpression("^([1-9]?[0-9]):([1-9]?[0-9]):([1-9]?[0-9])$").match(units().timeEdit->text()).hasMatch())
      << units().timeEdit->text().toStdString();
}

TEST_F(SiteLogin, WrongPasswordGivesFourNumberedNoticesThenTheFinalOne) {
  Sandbox sb;
  const int id = addSite(sb.siteUrl(), "admin", "wrong");
  {
    QSignalBlocker block(units().categoryBox);
    units().categoryBox->addItem("kept", 1);
  }
  pick(id);
  EXPECT_EQ(toastHistory(), (std::vector<std::string>{g("登录失败！进行第1次尝试！"), g("登录失败！进行第2次尝试！"),
                                                      g("登录失败！进行第3次尝试！"), g("登录失败！进行第4次尝试！"),
                                                      g("登录失败，请检查帐号密码！")}));
  EXPECT_EQ(units().categoryBox->count(), 0) << "a failed login leaves no list of an earlier site";
  EXPECT_FALSE(w().blog().ready());
  EXPECT_TRUE(units().yearEdit->text().isEmpty());
  EXPECT_TRUE(sb.waitForLog("act=verify", 4));
}

TEST_F(SiteLogin, AMisreadCaptchaCostsOneAttempt) {
  Sandbox sb({.extraArgs = {"--captcha-misread", "1"}});
  pick(addSite(sb.siteUrl(), "admin", "secret"));
  EXPECT_EQ(toastHistory(), (std::vector<std::string>{loginRetryNotice(1), loginDoneNotice()}));
}

TEST_F(SiteLogin, MissingLocationAndAStoppedServerFailAllAttempts) {
  {
    Sandbox sb({.extraArgs = {"--verify-no-location"}});
    pick(addSite(sb.siteUrl(), "admin", "secret"));
    EXPECT_EQ(toastHistory().size(), 5u);
    EXPECT_EQ(toastHistory().back(), loginFailedNotice());
  }
  clearToastHistory();
  // A blog that is gone is not asked four times, and not about the password.
  Sandbox sb;
  sb.stop();
  pick(addSite(sb.siteUrl(), "admin", "secret"));
  ASSERT_EQ(toastHistory().size(), 1u);
  EXPECT_EQ(toastHistory()[0], unreachableNotice() + "\n" + g("连接被拒绝，或网络不通")) << "with the cause";
}

TEST_F(SiteLogin, ChineseAccountAndAPasswordWithFormCharactersLogIn) {
  Sandbox sb({.user = "张三", .password = "p&w%=+ 中", .extraArgs = {"--strict-cookies"}});
  pick(addSite(sb.siteUrl(), g("张三"), g("p&w%=+ 中")));
  EXPECT_EQ(toastHistory(), std::vector<std::string>{loginDoneNotice()});
  ASSERT_TRUE(client());
  EXPECT_NE(client()->sessionCookie().find(" username=%25u5f20%25u4e09; password="), std::string::npos)
      << client()->sessionCookie();
}

TEST_F(SiteLogin, ASecondSiteReplacesTheListsOfTheFirst) {
  Sandbox first({.extraArgs = {"--categories", "1:甲", "--authors", "1:a*", "--tags", "t1"}});
  Sandbox second({.extraArgs = {"--categories", "2:乙,3:丙", "--authors", "2:b", "--tags", ""}});
  const int one = addSite(first.siteUrl(), "admin", "secret");
  const int two = addSite(second.siteUrl(), "admin", "secret");
  pick(one);
  ASSERT_EQ(items(units().categoryBox), (std::vector<std::string>{g("甲") + "=1"}));
  pick(two);
  EXPECT_EQ(items(units().categoryBox), (std::vector<std::string>{g("乙") + "=2", g("丙") + "=3"}));
  EXPECT_EQ(items(units().authorBox), (std::vector<std::string>{"b=2"}));
  EXPECT_EQ(units().authorBox->currentIndex(), 0);
  EXPECT_TRUE(w().blog().tags().empty());
  EXPECT_EQ(client()->address(), second.siteUrl());
  // The first site's client keeps its own session.
  const std::shared_ptr<BlogClient> firstClient = w().clients().find(one);
  ASSERT_TRUE(firstClient);
  EXPECT_TRUE(firstClient->ready());
  EXPECT_NE(firstClient, client());
}

TEST_F(SiteLogin, AnEditPageWithoutMarkersEmptiesTheListsAndIsNoSuccess) {
  test::TempDir dir;
  test::writeFile(dir.file("page.html"), "<html><body>maintenance</body></html>");
  Sandbox sb({.extraArgs = {"--edit-page", dir.file("page.html")}});
  {
    QSignalBlocker block(units().categoryBox);
    units().categoryBox->addItem("old", 1);
  }
  pick(addSite(sb.siteUrl(), "admin", "secret"));
  // Signed in, but without categories no article can go out: no success.
  EXPECT_EQ(toastHistory(), std::vector<std::string>{noCategoriesNotice()});
  EXPECT_EQ(units().categoryBox->count(), 0);
  EXPECT_EQ(units().authorBox->count(), 0);
  EXPECT_TRUE(w().blog().tags().empty());
  EXPECT_FALSE(w().blog().ready());
}

TEST_F(SiteLogin, F5WithoutAChosenSiteSaysSoAndSendsNothing) {
  units().reloginAction->trigger();
  EXPECT_EQ(toastHistory(), std::vector<std::string>{chooseSiteNotice()});
  EXPECT_TRUE(units().accountEdit->text().isEmpty());
}

TEST_F(SiteLogin, DateBoxesShowNumbersWithoutLeadingZeros) {
  ArticleForm& form = w().form();
  form.fillDates(QDateTime(QDate(2026, 3, 7), QTime(9, 5, 3)));
  EXPECT_EQ(units().yearEdit->text(), "2026");
  EXPECT_EQ(units().monthEdit->text(), "3");
  EXPECT_EQ(units().dayEdit->text(), "7");
  EXPECT_EQ(units().timeEdit->text(), "9:5:3");
  form.fillDates(QDateTime(QDate(2026, 12, 31), QTime(0, 0, 0)));
  EXPECT_EQ(units().timeEdit->text(), "0:0:0");
  EXPECT_EQ(units().dayEdit->text(), "31");
}

}  // namespace
}  // namespace inkpost
