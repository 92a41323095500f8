// 导入网站… and 导出网站… as the program's menu runs them, the file dialog
// answered by the picker seam, the other dialogs through the modal seam.
#include "../sites/sitedb.h"
#include "support/modalanswers.h"
#include "support/wiredwindow.h"

#include "common/ui/gbk.h"
#include "sites/sitestore.h"
#include "sites/ui/sitelistfiles.h"

#include <gtest/gtest.h>
#include <QLabel>
#include <QPlainTextEdit>

#include <sys/stat.h>

using namespace inkpost;
using namespace inkpost::test;

namespace {

class SiteListFiles : public WiredWindow {
 protected:
  void SetUp() override {
    WiredWindow::SetUp();
    setSiteFilePicker([this](QWidget* parent, bool forSaving) {
      ++picks;
      savingPick = forSaving;
      EXPECT_EQ(parent, &w());
      return answer;
    });
  }
  void TearDown() override {
    setSiteFilePicker({});
    WiredWindow::TearDown();
  }

  // Runs 导入网站…; the summary dialog's texts land in summary / details.
  void runImport() {
    ModalAnswers modal(QMessageBox::Ok, [this](QDialog& d) {
      summary = d.findChild<QLabel*>(QStringLiteral("标签_导入结果"))->text();
      auto* list = d.findChild<QPlainTextEdit*>(QStringLiteral("列表_跳过的行"));
      details = list->isVisibleTo(&d) ? list->toPlainText().split(QLatin1Char('\n')) : QStringList();
      d.accept();
    });
    w().importSitesAction()->trigger();
    dialogs = modal.dialogs;
  }

  QString answer;
  int picks = 0;
  bool savingPick = false;
  int dialogs = 0;
  QString summary;
  QStringList details;
};

TEST_F(SiteListFiles, ImportShowsOneSummaryWithTheSkippedLinesAndRefreshesTheChooser) {
  const std::string file = dir_.file("sites.csv");
  writeFile(file,
            "网站名称,网站地址,帐号,密码\n"
            "A,http://a.test/,admin,pw\n"
            "B,http://b.test,admin,pw\n"
            "C,http://A.TEST/,admin,pw\n");
  answer = QString::fromStdString(file);
  runImport();
  EXPECT_EQ(picks, 1);
  EXPECT_FALSE(savingPick);
  EXPECT_EQ(units().siteChooser->count(), 1) << "the chooser lists the imported site";
  EXPECT_EQ(dialogs, 1);
  EXPECT_EQ(summary, QStringLiteral("已导入 1 个网站，跳过 2 行：1 行的网站地址已在列表中，1 行内容有误。"));
  EXPECT_EQ(details, QStringList({QStringLiteral("第 3 行：网站地址必需以 / 结尾（http://b.test）"),
                                  QStringLiteral("第 4 行：与第 2 行的网站地址相同（http://A.TEST/）")}));
  EXPECT_EQ(listSites().size(), 1u);

  // A file that is no site list: its reason, no list, no refresh (a site
  // stored behind the chooser's back stays unlisted).
  ASSERT_TRUE(saveNewSite(site("d", "http://d.test/")));
  writeFile(file, "just some text\n");
  runImport();
  EXPECT_EQ(units().siteChooser->count(), 1);
  EXPECT_TRUE(summary.startsWith(QStringLiteral("文件“sites.csv”的第一行不是标题行。没有导入任何网站。")));
  EXPECT_TRUE(details.isEmpty());

  // Cancelling the file dialog does nothing at all.
  answer.clear();
  runImport();
  EXPECT_EQ(dialogs, 0);
  EXPECT_EQ(listSites().size(), 2u);
}

TEST_F(SiteListFiles, ExportAsksFirstThenWritesAPrivateFile) {
  const std::string file = dir_.file("out.csv");
  answer = QString::fromStdString(file);
  {
    ModalAnswers modal(QMessageBox::Ok);
    w().exportSitesAction()->trigger();
    ASSERT_EQ(modal.boxes.size(), 1);  // nothing to export: said, nothing asked
    EXPECT_EQ(modal.boxes[0].text, QStringLiteral("网站列表是空的，没有可导出的网站。"));
    EXPECT_EQ(picks, 0);
  }
  addSite(site("a", "http://a.test/", "admin", "secret"));
  {
    ModalAnswers modal(QMessageBox::Cancel);
    w().exportSitesAction()->trigger();
    ASSERT_EQ(modal.boxes.size(), 1);
    EXPECT_EQ(modal.boxes[0].title, QStringLiteral("导出网站"));
    EXPECT_TRUE(modal.boxes[0].text.startsWith(QStringLiteral("导出的文件里有每个网站的帐号和密码（没有加密）")));
    EXPECT_EQ(picks, 0);
    EXPECT_FALSE(fileExists(file));
  }
  {
    ModalAnswers modal(QMessageBox::Ok);
    w().exportSitesAction()->trigger();
    ASSERT_EQ(modal.boxes.size(), 2);
    EXPECT_TRUE(savingPick);
    EXPECT_TRUE(modal.boxes[1].text.startsWith(QStringLiteral("已导出 1 个网站到“out.csv”。")));
  }
  struct stat st {};
  ASSERT_EQ(::stat(file.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
  EXPECT_NE(readFile(file).find("a,http://a.test/,admin,secret"), std::string::npos);
}

}  // namespace
