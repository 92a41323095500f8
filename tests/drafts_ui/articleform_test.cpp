// The article form: its value round trip, and publishing and draft saving
// reading the same values from one form.
#include "support/wiredwindow.h"

#include "blog/publish.h"
#include "blog/ui/articleform.h"
#include "blog/ui/publish.h"
#include "common/programdir.h"
#include "common/ui/gbk.h"
#include "drafts/ui/drafts.h"
#include "net/encoding.h"

#include <gtest/gtest.h>
#include <QComboBox>
#include <QLineEdit>
#include <QTimer>
#include <QtTest/QTest>

#include <string>

using namespace inkpost;

namespace {

std::string g(const char* utf8) { return fromUtf8(utf8); }

class ArticleFormTest : public inkpost::test::WiredWindow {
 protected:
  void SetUp() override {
    WiredWindow::SetUp();
    ASSERT_TRUE(editorUp());
    form().setCategories({{g("未分类"), 1, false}, {g("随笔"), 7, false}, {g("技术"), 12, false}});
    form().setAuthors({{"admin", 1, false}, {g("张三"), 3, true}});
  }
  ArticleForm& form() { return w().form(); }

  // Every field set through the form, Chinese text and the date boxes too.
  Article written() {
    Article a;
    a.title = g("中文标题 V2 & <b>");
    a.tags = g("随笔,中文");
    a.category = "12";
    a.author = "3";
    a.type = "3";
    a.sticky = true;
    a.year = "2026";
    a.month = "12";
    a.day = "8";
    a.time = "9:5:3";
    a.alias = g("zi-ding-yi");
    a.autoAlias = true;
    a.body = g("<p>正文 &amp; 'quote' \"q\"</p>\r\n<p>&#128512;</p>");
    return a;
  }
};

TEST_F(ArticleFormTest, SetArticleOfArticleChangesNothing) {
  const Article a = written();
  form().setArticle(a);
  const Article read = form().article();
  EXPECT_EQ(read, a);
  // What the user sees.
  EXPECT_EQ(units().titleEdit->text(), QStringLiteral("中文标题 V2 & <b>"));
  EXPECT_EQ(units().categoryBox->currentText(), QStringLiteral("技术"));
  EXPECT_EQ(units().authorBox->currentText(), QStringLiteral("张三"));
  EXPECT_EQ(units().typeBox->currentText(), QStringLiteral("锁定文章"));
  EXPECT_EQ(units().yearEdit->text() + units().monthEdit->text() + units().dayEdit->text(), QStringLiteral("2026128"));
  EXPECT_EQ(units().timeEdit->text(), QStringLiteral("9:5:3"));
  // The title is put back before the alias, so the ticked 自动 box does not
  // overwrite the stored alias.
  EXPECT_EQ(units().aliasEdit->text(), QStringLiteral("zi-ding-yi"));

  form().setArticle(read);
  EXPECT_EQ(form().article(), a);
}

TEST_F(ArticleFormTest, FillDatesWritesNumbersWithoutLeadingZeros) {
  form().fillDates(QDateTime(QDate(2026, 3, 7), QTime(9, 5, 3)));
  const Article a = form().fields();
  EXPECT_EQ(a.year + "/" + a.month + "/" + a.day + " " + a.time, "2026/3/7 9:5:3");
}

// Publishing and draft saving read the one form: the same value for every
// field, with and without a chosen category.
TEST_F(ArticleFormTest, PublishingAndDraftSavingReadTheSameValues) {
  form().setArticle(written());
  for (bool chosen : {true, false}) {
    if (!chosen) units().categoryBox->setCurrentIndex(-1);
    const PostForm post = postFields(form().fields());  // what 发布 sends
    const DraftFields draft = captureDraft(w().drafts());
    EXPECT_EQ(post.title, draft.title);
    EXPECT_EQ(post.tags, draft.tags);
    EXPECT_EQ(post.categoryId, chosen ? std::to_string(draft.category) : std::string());
    EXPECT_EQ(draft.category, chosen ? 12 : -1);
    EXPECT_EQ(post.authorId, std::to_string(draft.author));
    EXPECT_EQ(post.level, std::to_string(draft.type));
    EXPECT_EQ(post.year, draft.year);
    EXPECT_EQ(post.month, draft.month);
    EXPECT_EQ(post.day, draft.day);
    EXPECT_EQ(post.time, draft.time);
    EXPECT_EQ(post.alias, draft.alias);
    EXPECT_EQ(post.sticky, draft.sticky);
    EXPECT_EQ(draft.body, written().body);
    // And a draft restores the article it was made from.
    EXPECT_EQ(articleOf(draft), form().article());
  }
}

}  // namespace
