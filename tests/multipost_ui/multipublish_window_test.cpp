// The 多站发布 window in the wired program against twenty sandbox blogs, two
// of them failing: eighteen articles, each once, with each blog's own
// category ids and upload addresses; the failures say why; 重试失败的 after
// they recover sends to those two only; a cancel leaves no duplicate.
#include "multipost/ui/multipublishwindow.h"

#include "blog/publishrecord.h"
#include "blog/ui/login.h"

#include "../images/imagedata.h"
#include "common/ui/gbk.h"
#include "common/ui/toast.h"
#include "net/encoding.h"
#include "support/sandbox.h"
#include "support/sandboxlogin.h"
#include "support/wiredwindow.h"

#include <gtest/gtest.h>
#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>

#include <httplib.h>

#include <filesystem>

namespace inkpost {
namespace {

using test::Sandbox;

std::string g(const char* utf8) { return fromUtf8(utf8); }

class MultiPublishWindowTest : public test::WiredWindow {
 protected:
  // Sites for blogs 1..n of `sb`; the main window picks blog 1 (its
  // category 技术 chosen) and holds an article with a picture from the web.
  void prepare(const Sandbox& sb, int n, const std::string& pictureAddress) {
    for (int k = 1; k <= n; ++k) ids_.push_back(addSite(sb.blogUrl(k), "admin", sb.password(k)));
    pick(ids_[0]);
    ASSERT_TRUE(w().blog().ready());
    const int tech = units().categoryBox->findText(QStringLiteral("技术"));
    ASSERT_GE(tech, 0);
    units().categoryBox->setCurrentIndex(tech);
    units().titleEdit->setText(QStringLiteral("多站文章"));
    ASSERT_TRUE(editorUp());
    std::string body = "<p>" + g("正文") + "</p>";
    if (!pictureAddress.empty()) body += "<p><img src=\"" + pictureAddress + "\"></p>";
    w().form().setBody(body);
    units().find<QAction>("发布到多个网站…")->trigger();
    window_ = w().findChild<MultiPublishWindow*>(QStringLiteral("多站发布"));
    ASSERT_TRUE(window_);
  }

  QPushButton* button(const char* name) { return window_->findChild<QPushButton*>(QString::fromUtf8(name)); }
  bool allDone() {
    return test::waitUntil([&] { return !window_->running(); }, 60000);
  }
  int row(int k) { return window_->rowOf(ids_[static_cast<size_t>(k - 1)]); }
  QString stepText(int k) { return window_->table()->item(row(k), MultiPublishWindow::kStep)->text(); }

  std::vector<int> ids_;
  MultiPublishWindow* window_ = nullptr;
};

TEST_F(MultiPublishWindowTest, TwentyBlogsTwoFailingThenRetried) {
  const std::string gif = test::makeGif(24, 12);
  httplib::Server web;
  int pictureFetches = 0;
  web.Get("/pic.gif", [&](const httplib::Request&, httplib::Response& r) {
    ++pictureFetches;
    r.set_content(gif, "image/gif");
  });
  const int webPort = web.bind_to_any_port("127.0.0.1");
  std::thread serving([&] { web.listen_after_bind(); });
  const std::string picture = "http://127.0.0.1:" + std::to_string(webPort) + "/pic.gif";

  Sandbox::Options o = test::sandboxOptions();
  o.sites = 20;
  o.failSites = {"7", "13:drop"};
  Sandbox sb(o);
  prepare(sb, 20, picture);
  EXPECT_EQ(stepText(1), QStringLiteral("已登录")) << "logged in to in the main window";

  // The filter narrows the list; the ticks count what is ticked.
  window_->filterBox()->setText(QStringLiteral("site1"));
  int shown = 0;
  for (int r = 0; r < window_->table()->rowCount(); ++r) shown += window_->table()->isRowHidden(r) ? 0 : 1;
  EXPECT_EQ(shown, 11);  // site1, site10..site19
  window_->filterBox()->clear();
  button("按钮_全选")->click();
  EXPECT_EQ(window_->tickedCount(), 20);
  EXPECT_EQ(window_->countLabel()->text(), QStringLiteral("已选 20 个网站"));
  ASSERT_TRUE(allDone());
  // Each ticked blog was logged in to for its own lists; the two failing
  // ones say why and are unticked.
  for (int k : {7, 13}) {
    EXPECT_FALSE(window_->ticked(row(k))) << k;
    EXPECT_TRUE(stepText(k).startsWith(QStringLiteral("失败："))) << k << " " << stepText(k).toStdString();
  }
  EXPECT_TRUE(stepText(7).contains(QStringLiteral("站点维护中")))
      << "the blog's own words: " << stepText(7).toStdString();
  EXPECT_TRUE(stepText(13).contains(QStringLiteral("无法连接"))) << stepText(13).toStdString();
  auto* category2 = qobject_cast<QComboBox*>(window_->table()->cellWidget(row(2), MultiPublishWindow::kCategory));
  EXPECT_EQ(category2->currentText(), QStringLiteral("技术")) << "the category of the article's name";
  EXPECT_EQ(category2->currentData().toInt(), 12) << "with the blog's own id";

  button("按钮_开始发布")->click();
  ASSERT_TRUE(allDone());
  EXPECT_EQ(window_->progressBar()->value(), 18);
  EXPECT_EQ(window_->progressBar()->maximum(), 18);
  for (int k = 1; k <= 20; ++k) {
    if (k == 7 || k == 13) {
      EXPECT_EQ(sb.articleCount(k), 0) << k;
      continue;
    }
    ASSERT_EQ(sb.articleCount(k), 1) << k << " " << stepText(k).toStdString();
    EXPECT_EQ(stepText(k), QStringLiteral("成功"));
    EXPECT_EQ(sb.articleField(k, 1, "edtCateID"), std::to_string(2 + 10 * (k - 1))) << k;
    const std::string body = sb.articleField(k, 1, "txaContent");
    EXPECT_NE(body.find(sb.blogUrl(k) + "upload/"), std::string::npos) << k << ": " << body;
    EXPECT_EQ(body.find("127.0.0.1:" + std::to_string(webPort)), std::string::npos) << k << ": " << body;
  }
  EXPECT_EQ(pictureFetches, 1) << "the picture is fetched once per run";

  // The failing blogs recover; 重试失败的 sends to those two and nobody else.
  ASSERT_TRUE(sb.setFailure(7, "off"));
  ASSERT_TRUE(sb.setFailure(13, "off"));
  ASSERT_TRUE(button("按钮_重试失败的")->isEnabled());
  button("按钮_重试失败的")->click();
  ASSERT_TRUE(allDone());
  for (int k = 1; k <= 20; ++k) EXPECT_EQ(sb.articleCount(k), 1) << k;
  EXPECT_EQ(stepText(7), QStringLiteral("成功"));
  EXPECT_EQ(stepText(13), QStringLiteral("成功"));

  web.stop();
  serving.join();
}

TEST_F(MultiPublishWindowTest, ACancelMidRunLeavesNoDuplicateAndSaysWhatWentOut) {
  Sandbox::Options o = test::sandboxOptions({"--delay", "act=ArticlePst:2500"});
  o.sites = 6;
  Sandbox sb(o);
  prepare(sb, 6, {});
  window_->parallelBox()->setValue(2);
  button("按钮_全选")->click();
  ASSERT_TRUE(allDone());
  button("按钮_开始发布")->click();
  // The window answers while the posts wait for the slow blog.
  ASSERT_TRUE(test::waitUntil(
      [&] {
        int posting = 0;
        for (int k = 1; k <= 6; ++k) posting += stepText(k) == QStringLiteral("发布中") ? 1 : 0;
        return posting == 2;
      },
      10000));
  button("按钮_取消")->click();
  ASSERT_TRUE(test::waitUntil([&] { return !window_->running(); }, 1500)) << "a cancel ends the run within a second";
  int sent = 0, notSent = 0;
  for (int k = 1; k <= 6; ++k) {
    if (stepText(k).contains(QStringLiteral("已发出"))) ++sent;
    if (stepText(k).contains(QStringLiteral("未发出"))) ++notSent;
  }
  EXPECT_EQ(sent, 2);
  EXPECT_EQ(notSent, 4);
  // Only the rows that did not go out are sent again.
  button("按钮_重试失败的")->click();
  ASSERT_TRUE(allDone());
  test::spin(3000);  // the two posts that went out land after the blog's delay
  int stored = 0;
  for (int k = 1; k <= 6; ++k) {
    EXPECT_LE(sb.articleCount(k), 1) << k;
    stored += sb.articleCount(k);
  }
  EXPECT_GE(stored, 4);
}

TEST_F(MultiPublishWindowTest, CheckLooksForTheTitleThatWasSentNotTheOneTypedSince) {
  Sandbox::Options o = test::sandboxOptions({"--empty-post-answer"});
  o.sites = 2;
  Sandbox sb(o);
  prepare(sb, 1, {});
  ASSERT_TRUE(window_);
  button("按钮_全选")->click();
  ASSERT_TRUE(allDone());
  button("按钮_开始发布")->click();
  ASSERT_TRUE(allDone());
  ASSERT_TRUE(stepText(1).contains(QStringLiteral("结果不明"))) << stepText(1).toStdString();
  units().titleEdit->setText(QStringLiteral("改过的标题"));  // the author goes on typing
  QWidget* actions = window_->table()->cellWidget(row(1), MultiPublishWindow::kAction);
  actions->findChild<QPushButton*>(QStringLiteral("按钮_检查"))->click();
  EXPECT_EQ(stepText(1), QStringLiteral("成功（已在博客上找到这篇文章）"));
  EXPECT_EQ(sb.articleCount(1), 1);
}

TEST_F(MultiPublishWindowTest, ARecordThatCannotBeWrittenIsSaidAtTheEndOfTheRun) {
  Sandbox::Options o = test::sandboxOptions();
  o.sites = 2;
  Sandbox sb(o);
  prepare(sb, 1, {});
  ASSERT_TRUE(window_);
  std::filesystem::create_directory(PublishRecord::defaultPath());  // no file can go there
  clearToastHistory();
  button("按钮_全选")->click();
  ASSERT_TRUE(allDone());
  button("按钮_开始发布")->click();
  ASSERT_TRUE(allDone());
  EXPECT_EQ(sb.articleCount(1), 1);
  EXPECT_TRUE(test::waitUntil([] { return toastTexts().filter(QStringLiteral("发布记录无法写入")).size() == 1; }, 5000))
      << toastTexts().join(" | ").toStdString();
}

}  // namespace
}  // namespace inkpost
