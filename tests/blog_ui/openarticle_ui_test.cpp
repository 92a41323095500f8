// 文章 → 打开博客文章… through the wired window against the sandbox: an
// article already on the blog opened from the list, changed and published
// again in place; the editing mode in the title, the status line and the
// drafts; 新建文章; and what a missing article, an expired session, a blog
// that is gone or a post without an answer do.
#include "blog/ui/openarticle.h"

#include "blog/arrival.h"
#include "blog/ui/arrivalcheck.h"
#include "blog/ui/login.h"
#include "blog/ui/publish.h"
#include "common/ui/gbk.h"
#include "common/ui/modal.h"
#include "common/ui/toast.h"
#include "common/ui/unitnames.h"
#include "drafts/draftslots.h"
#include "drafts/ui/drafts.h"
#include "net/encoding.h"
#include "support/sandbox.h"
#include "support/sandboxlogin.h"
#include "support/wiredwindow.h"

#include <gtest/gtest.h>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTreeWidget>

#include <filesystem>

namespace inkpost {
namespace {

using test::Sandbox;
using test::sandboxOptions;

std::string g(const char* utf8) { return fromUtf8(utf8); }
QString q(const char* utf8) { return QString::fromUtf8(utf8); }

size_t occurrences(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

// The row of the list whose title is `title`, or null.
QTreeWidgetItem* rowTitled(const ArticleListDialog& d, const QString& title) {
  for (int i = 0; i < d.list()->topLevelItemCount(); ++i)
    if (d.list()->topLevelItem(i)->text(0) == title) return d.list()->topLevelItem(i);
  return nullptr;
}

class OpenArticle : public test::WiredWindow {
 protected:
  // The slot files' folder, as an installation has it.
  void SetUp() override {
    WiredWindow::SetUp();
    std::filesystem::create_directory(dir_.file("temp"));
  }

  // A logged-in sandbox blog in the window.
  void start(Sandbox& sb) {
    site_ = addSite(sb.siteUrl(), "admin", "secret");
    pick(site_);
    ASSERT_TRUE(w().blog().ready());
    ASSERT_TRUE(editorUp());
    clearToastHistory();
  }

  // An article on the blog as another client (the blog's own page) stored it.
  PostForm onBlog(const std::string& gbkTitle, const std::string& gbkBody) {
    PostForm f;
    f.title = gbkTitle;
    f.categoryId = "5";
    f.authorId = "2";
    f.tags = g("随笔,Qt &amp; C++");
    f.level = "2";
    f.year = "2025";
    f.month = "12";
    f.day = "31";
    f.time = "23:59:58";
    f.alias = "xiugaiqian";
    f.body = gbkBody;
    f.intro = "intro";
    return f;
  }
  void store(Sandbox& sb, const PostForm& f) {
    std::string cookie = test::sandboxLogin(sb);
    ASSERT_EQ(postArticle(sb.siteUrl(), f, cookie), kPostDone);
  }

  // 文章 → 打开博客文章…: waits for the row titled `title` and opens it
  // (`before` may change the list first). Returns what the list showed.
  QString open(const QString& title, const std::function<void(ArticleListDialog&)>& before = {}) {
    QString state;
    ModalSeam seam([&](QDialog& dialog) {
      auto& list = dynamic_cast<ArticleListDialog&>(dialog);
      EXPECT_TRUE(test::waitUntil(
          [&] { return rowTitled(list, title) || list.complete() || list.retryButton()->isVisible(); }, 20000));
      if (before) before(list);
      if (QTreeWidgetItem* row = rowTitled(list, title)) {
        list.list()->setCurrentItem(row);
        list.openButton()->click();
      }
      state = list.stateLine()->text();
      if (list.isVisible()) list.reject();
    });
    w().openArticleAction()->trigger();
    return state;
  }

  std::string field(Sandbox& sb, const char* name) { return sb.articleField(1, name); }
  // The 检查 offer on screen (one that closed may wait for its deletion).
  ArrivalCheckDialog* shownOffer() {
    for (ArrivalCheckDialog* d : w().findChildren<ArrivalCheckDialog*>(q(unitname::kUnclearDialog)))
      if (d->isVisible()) return d;
    return nullptr;
  }
  QString mode() { return StatusLine(w().statusLine()).mode(); }

  int site_ = 0;
};

TEST_F(OpenArticle, OpenedChangedAndPublishedAgainItStaysOneArticleWithItsOwnFields) {
  Sandbox sb(sandboxOptions());
  // Escaped characters and ones GBK cannot hold, in the title and the body.
  const std::string title = g("a &amp; b &lt;c&gt; \"双\" 中 &#128512;");
  const std::string body = g("<p>第一段 a &amp; b &lt; c \"q\" &#128512;</p>\n<p>第二段</p>");
  store(sb, onBlog(title, body));
  start(sb);
  units().titleEdit->setText(q("还没保存的文章"));
  w().form().setBody(g("<p>写了一半</p>"));

  open(toQ(title));
  ArticleForm& form = w().form();
  EXPECT_EQ(form.editingId(), 1);
  EXPECT_EQ(form.editingSite(), sb.siteUrl());
  EXPECT_EQ(units().titleEdit->text(), toQ(title)) << "shown as the characters";
  EXPECT_EQ(form.title(), title);
  EXPECT_EQ(units().categoryBox->currentData().toString(), "5");
  EXPECT_EQ(units().authorBox->currentData().toString(), "2");
  EXPECT_EQ(units().typeBox->currentText(), q("私人文章"));
  EXPECT_EQ(units().tagsEdit->text(), q("随笔,Qt &amp; C++")) << "the text as typed on the blog";
  EXPECT_EQ(units().yearEdit->text() + "-" + units().monthEdit->text() + "-" + units().dayEdit->text() + " " +
                units().timeEdit->text(),
            "2025-12-31 23:59:58");
  EXPECT_EQ(units().aliasEdit->text(), "xiugaiqian");
  EXPECT_FALSE(units().autoAliasCheck->isChecked()) << "the alias is the article's own";
  EXPECT_EQ(form.body(), body);
  const QString editing = toQ(editingText(title));
  EXPECT_EQ(editing, q("修改：a &amp; b &lt;c&gt; \"双\" 中 😀"));
  EXPECT_EQ(mode(), editing);
  EXPECT_EQ(w().windowTitle(), editing + q(" - Inkpost客户端 v12.9.5"));

  // The title and one paragraph changed; the rest as the blog has it.
  const char* const kept[] = {"edtCateID", "edtTag", "edtAuthorID", "edtLevel", "edtYear",
                              "edtMonth",  "edtDay", "edtTime",     "edtAlias"};
  std::vector<std::string> before;
  for (const char* name : kept) before.push_back(field(sb, name));
  units().titleEdit->setText(toQ(title) + q(" 改"));
  EXPECT_EQ(mode(), editing + q(" 改")) << "the mode follows the title";
  form.setBody(g("<p>第一段 a &amp; b &lt; c \"q\" &#128512;</p>\n<p>改过的第二段</p>"));
  units().publishButton->click();
  EXPECT_EQ(toastHistory(), std::vector<std::string>{g("修改成功")});
  ASSERT_EQ(sb.articleCount(), 1) << "updated in place, no second article";
  EXPECT_EQ(field(sb, "edtID"), "1");
  EXPECT_EQ(gbkWithCharRefs(field(sb, "edtTitle")), title + g(" 改"));
  EXPECT_EQ(gbkWithCharRefs(field(sb, "txaContent")),
            g("<p>第一段 a &amp; b &lt; c \"q\" &#128512;</p>\n<p>改过的第二段</p>"));
  for (size_t i = 0; i < std::size(kept); ++i) EXPECT_EQ(field(sb, kept[i]), before[i]) << kept[i];
  EXPECT_EQ(field(sb, "edtYear") + field(sb, "edtTime"), "202523:59:58") << "the article's own date";
  EXPECT_EQ(field(sb, "txaIntro"), "intro") << "an intro of its own stays";

  // The article that was in the form before the opening comes back.
  RestoreDraft(w().drafts(), kBeforeRestoreData);
  EXPECT_EQ(units().titleEdit->text(), q("还没保存的文章"));
  EXPECT_EQ(form.body(), g("<p>写了一半</p>"));
  EXPECT_EQ(form.editingId(), 0);
  EXPECT_EQ(mode(), "");
  EXPECT_EQ(w().windowTitle(), q("Inkpost客户端 v12.9.5"));
}

// A long article shows its beginning while the editor brings in the rest;
// published again at once, the blog gets all of its body.
TEST_F(OpenArticle, ALongArticlePublishedAgainAtOnceKeepsAllOfItsBody) {
  Sandbox sb(sandboxOptions());
  std::string body;
  for (int i = 0; body.size() < 600000; ++i)
    body += g("<p>很长的文章，第") + std::to_string(i) + g("段 &amp; &lt;x&gt;</p>\n");
  store(sb, onBlog(g("长文"), body));
  start(sb);
  open(q("长文"));
  ASSERT_EQ(w().form().editingId(), 1);
  EXPECT_TRUE(test::runScript(units().editorView, "FCKeditorAPI.GetInstance('txaContent').Loading()").toBool())
      << "the rest of the body still coming in";
  units().titleEdit->setText(q("长文（改）"));
  units().publishButton->click();
  EXPECT_EQ(toastHistory(), std::vector<std::string>{g("修改成功")});
  ASSERT_EQ(sb.articleCount(), 1);
  EXPECT_EQ(gbkWithCharRefs(field(sb, "edtTitle")), g("长文（改）"));
  const std::string sent = gbkWithCharRefs(field(sb, "txaContent"));
  EXPECT_TRUE(sent == body) << sent.size() << " bytes of " << body.size();
}

TEST_F(OpenArticle, DraftsKeepWhichArticleSoANewArticleAndARestoreGoOnRight) {
  Sandbox sb(sandboxOptions());
  PostForm first = onBlog(g("第一篇"), g("<p>一</p>"));
  first.intro = makeIntro(first.body);  // made from the body, as the client makes it
  store(sb, first);
  store(sb, onBlog(g("第二篇"), g("<p>二</p>")));
  start(sb);
  open(q("第一篇"));
  ASSERT_EQ(w().form().editingId(), 1);
  // The recovery slot names the article and its blog.
  bool submitted = false;
  writeRecoverySoon(w().drafts(), [&] { submitted = true; });
  ASSERT_TRUE(test::waitUntil([&] { return submitted; }));
  flushRecovery(w().drafts());
  DraftStore slotFiles(draftFolder());
  const std::optional<Recovery> recovery = slotFiles.loadRecovery();
  ASSERT_TRUE(recovery);
  EXPECT_EQ(recovery->fields.articleId, 1);
  EXPECT_EQ(recovery->fields.articleSite, sb.siteUrl());

  // 新建文章: an empty new article; the opened one is kept.
  w().newArticleAction()->trigger();
  EXPECT_EQ(w().form().editingId(), 0);
  EXPECT_TRUE(units().titleEdit->text().isEmpty());
  EXPECT_EQ(w().form().body(), "");
  EXPECT_EQ(units().typeBox->currentText(), q("普通文章"));
  EXPECT_FALSE(w().form().datesEdited()) << "a new article's date is the publish's";
  EXPECT_EQ(mode(), "");

  // Restored, it goes on updating the same article.
  RestoreDraft(w().drafts(), kBeforeRestoreData);
  EXPECT_EQ(w().form().editingId(), 1);
  EXPECT_EQ(mode(), q("修改：第一篇"));
  units().titleEdit->setText(q("第一篇（改）"));
  w().form().setBody(g("<p>一（改）</p>"));
  units().publishButton->click();
  EXPECT_EQ(toastHistory().back(), g("修改成功"));
  EXPECT_EQ(sb.articleCount(), 2);
  EXPECT_EQ(sb.articleField(1, "edtTitle"), "第一篇（改）");
  EXPECT_EQ(sb.articleField(1, "txaIntro"), "一(改)") << "an intro made from the body follows it";
  EXPECT_EQ(sb.articleField(2, "edtTitle"), "第二篇");
}

TEST_F(OpenArticle, TheListReadsPagesAsItScrollsAndTheSearchBoxFiltersByTitle) {
  Sandbox sb(sandboxOptions());
  std::string cookie = test::sandboxLogin(sb);
  for (int i = 1; i <= 100; ++i)
    ASSERT_EQ(postArticle(sb.siteUrl(), onBlog(g("文章") + std::to_string(i), "<p>x</p>"), cookie), kPostDone);
  start(sb);
  int filled = 0, scrolled = 0, listed = 0;
  QStringList shown;
  QString state;
  open(q("文章100"), [&](ArticleListDialog& d) {
    EXPECT_EQ(d.list()->topLevelItem(0)->text(0), q("文章100")) << "newest first";
    EXPECT_EQ(d.list()->topLevelItem(0)->text(1), q("生活 & 随笔"));
    EXPECT_EQ(d.list()->topLevelItem(0)->text(2).left(10), q("2025-12-31"));
    // Pages come while the list is short of its view, then wait for the scroll.
    test::waitUntil([&] { return !d.reading(); });
    test::spin(200);
    filled = d.listed();
    QScrollBar* bar = d.list()->verticalScrollBar();
    bar->setValue(bar->maximum());
    test::waitUntil([&] { return d.listed() > filled && !d.reading(); });
    scrolled = d.listed();
    // A search reads on while its matches do not fill the view.
    d.searchBox()->setText(q("文章1"));
    test::waitUntil([&] { return d.complete(); });
    listed = d.listed();
    for (int i = 0; i < d.list()->topLevelItemCount(); ++i)
      if (!d.list()->topLevelItem(i)->isHidden()) shown << d.list()->topLevelItem(i)->text(0);
    state = d.stateLine()->text();
    d.searchBox()->clear();
  });
  EXPECT_GE(filled, 20);
  EXPECT_LT(filled, 100) << "not the whole list at once";
  EXPECT_GT(scrolled, filled);
  EXPECT_EQ(listed, 100);
  EXPECT_EQ(shown.size(), 12);
  EXPECT_TRUE(shown.contains(q("文章100")) && shown.contains(q("文章10")) && shown.contains(q("文章1")));
  EXPECT_EQ(state, q("标题含“文章1”的：12 篇。共 100 篇文章"));
  // Page 6 is page 5 again (the blog clamps the number): the list ends there.
  EXPECT_NE(sb.requestLog().find("act=ArticleMng&page=6"), std::string::npos);
  EXPECT_EQ(sb.requestLog().find("act=ArticleMng&page=7"), std::string::npos);
  EXPECT_EQ(w().form().editingId(), 100);
  EXPECT_EQ(units().titleEdit->text(), q("文章100"));
}

TEST_F(OpenArticle, AMissingArticleAnExpiredSessionAndABlogThatIsGone) {
  Sandbox sb(sandboxOptions({"--session-minutes", "0.03"}));
  store(sb, onBlog(g("只有一篇"), g("<p>一</p>")));
  start(sb);
  units().titleEdit->setText(q("我的草稿"));

  // Deleted after the list was read: the form keeps what it holds.
  open(q("已删除"), [](ArticleListDialog& d) {
    auto* row = new QTreeWidgetItem({q("已删除"), "", ""});
    row->setData(0, Qt::UserRole, 99);
    d.list()->addTopLevelItem(row);
  });
  EXPECT_EQ(toastHistory(), std::vector<std::string>{g("博客上没有这篇文章（文章不存在）。请刷新文章列表后再试。")});
  EXPECT_EQ(units().titleEdit->text(), q("我的草稿"));
  EXPECT_EQ(w().form().editingId(), 0);

  // The session expired: the list and the opening log in again quietly.
  const size_t logins = occurrences(sb.requestLog(), "act=verify");
  test::spin(2200);
  clearToastHistory();
  open(q("只有一篇"));
  EXPECT_EQ(w().form().editingId(), 1);
  EXPECT_TRUE(toastHistory().empty()) << "renewed quietly";
  EXPECT_TRUE(sb.waitForLog("act=verify", logins + 1)) << "logged in again";
  EXPECT_TRUE(w().blog().ready());

  // The blog is gone: the list says so and offers 重试; nothing changes.
  units().titleEdit->setText(q("又改了"));
  sb.stop();
  QString state;
  bool retry = false;
  state = open(q("只有一篇"), [&](ArticleListDialog& d) { retry = d.retryButton()->isVisible(); });
  EXPECT_EQ(state, q("博客没有回应，文章列表没有读到。请检查网络后再试一次。"));
  EXPECT_TRUE(retry);
  EXPECT_EQ(units().titleEdit->text(), q("又改了"));
}

TEST_F(OpenArticle, AGoneCategoryIsNotPostedEmptyAndAnotherBlogGetsNothing) {
  Sandbox sb(sandboxOptions());
  PostForm f = onBlog(g("分类已删"), g("<p>x</p>"));
  f.categoryId = "77";
  store(sb, f);
  start(sb);
  open(q("分类已删"));
  EXPECT_EQ(units().categoryBox->currentIndex(), -1);
  EXPECT_EQ(toastHistory(), std::vector<std::string>{g("这篇文章原来的分类已不在博客上，请选择一个分类")});
  clearToastHistory();
  units().publishButton->click();
  EXPECT_EQ(toastHistory(), std::vector<std::string>{g("这篇文章原来的分类已不在博客上，请选择一个分类")});
  EXPECT_EQ(sb.get("_sandbox/articles/1").substr(0, 8), "edtID=0&") << "nothing was posted";

  // The article belongs to its blog: with another one chosen nothing goes.
  Sandbox other(sandboxOptions());
  pick(addSite(other.siteUrl(), "admin", "secret"));
  clearToastHistory();
  units().publishButton->click();
  EXPECT_EQ(toastHistory(), std::vector<std::string>{g("这篇文章是博客 ") + sb.siteUrl() +
                                                     g(" 上的文章，请先在网站名称中选择这个博客，再发布修改")});
  EXPECT_EQ(other.articleCount(), 0);
}

TEST_F(OpenArticle, AnUpdateWithoutAnswerIsCheckedAndResentOnlyWhenMissing) {
  Sandbox sb(sandboxOptions());
  store(sb, onBlog(g("原标题"), g("<p>原文</p>")));
  start(sb);
  open(q("原标题"));
  units().titleEdit->setText(q("新标题"));
  // The blog takes the post and closes without a word: nothing stored.
  ASSERT_TRUE(sb.setFailure(1, "drop"));
  units().publishButton->click();
  EXPECT_EQ(toastHistory(), std::vector<std::string>{unclearNotice()});
  ArrivalCheckDialog* offer = shownOffer();
  ASSERT_TRUE(offer);
  EXPECT_FALSE(offer->resendButton()->isVisible()) << "no resend before the check";
  ASSERT_TRUE(sb.setFailure(1, "off"));
  offer->checkButton()->click();
  EXPECT_EQ(offer->message()->text(), q("博客上的这篇文章还是修改前的样子，修改没有保存，可以重新发布。"));
  ASSERT_TRUE(offer->resendButton()->isVisible());
  offer->resendButton()->click();
  ASSERT_TRUE(test::waitUntil([&] { return toastHistory().back() == g("修改成功"); }));
  EXPECT_EQ(sb.articleCount(), 1);
  EXPECT_EQ(sb.articleField(1, "edtTitle"), "新标题");

  // Stored, but no answer: the check finds it and offers no resend.
  Sandbox quiet(sandboxOptions({"--empty-post-answer"}));
  pick(addSite(quiet.siteUrl(), "admin", "secret"));
  w().newArticleAction()->trigger();
  units().titleEdit->setText(q("新文章"));
  units().publishButton->click();
  ArrivalCheckDialog* second = shownOffer();
  ASSERT_TRUE(second);
  second->checkButton()->click();
  EXPECT_EQ(second->message()->text(), q("文章已经在博客上了，不必重新发布。"));
  EXPECT_FALSE(second->resendButton()->isVisible());
  second->closeButton()->click();
  EXPECT_EQ(quiet.articleCount(), 1);
}

}  // namespace
}  // namespace inkpost
