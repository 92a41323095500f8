#include "blog/ui/articleform.h"

#include "blog/alias.h"
#include "blog/editortext.h"
#include "blog/publish.h"
#include "blog/ui/editorbody.h"
#include "common/ui/gbk.h"
#include "common/ui/unit.h"
#include "common/ui/unitnames.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QTextDocumentFragment>
#include <QVBoxLayout>
#include <QVariant>
#include <QWebEngineView>

#include <algorithm>

namespace inkpost {
namespace {

// The item value of entry `index`, in decimal; empty when there is no such
// entry. An entry of the article type list without one stands for its fixed
// level (草稿文章 1 ... 普通文章 4).
std::string itemValue(const QComboBox* box, int index) {
  if (index < 0 || index >= box->count()) return {};
  const QVariant v = box->itemData(index);
  if (!v.isValid()) return articleLevel(fromQ(box->itemText(index)));
  return fromQ(v.toString());
}

std::string chosenValue(const QComboBox* box) { return itemValue(box, box->currentIndex()); }

// Chooses the first entry whose item value is `value`; false when there is
// none (an empty value finds none), the list left alone.
bool choose(QComboBox* box, const std::string& value) {
  if (value.empty()) return false;
  for (int i = 0; i < box->count(); ++i) {
    if (itemValue(box, i) == value) {
      box->setCurrentIndex(i);
      return true;
    }
  }
  return false;
}

// A list choice of an article put back (see ArticleForm::setArticle).
void chooseFor(QComboBox* box, const std::string& value, bool onBlog, int fallback) {
  if (choose(box, value)) return;
  if (onBlog)
    box->setCurrentIndex(-1);
  else if (box->currentIndex() < 0 && fallback < box->count())
    box->setCurrentIndex(fallback);
}

std::string text(const QLineEdit* edit) { return fromQ(edit->text()); }

}  // namespace

// An option's text as a browser shows it: entities decoded, blanks folded.
QString shownOptionName(const std::string& gbkName) {
  const QString raw = toQ(gbkName);
  if (!raw.contains(QLatin1Char('&')) && !raw.contains(QLatin1Char('<'))) return raw;
  const QString shown = QTextDocumentFragment::fromHtml(raw).toPlainText().simplified();
  return shown.isEmpty() ? raw : shown;
}

ArticleForm::ArticleForm(QWidget* parent) : QWidget(parent) {
  auto* rows = new QVBoxLayout(this);
  rows->setContentsMargins(0, 0, 0, 0);
  rows->setSpacing(6);

  // Category, author, type, sticky.
  QHBoxLayout* r = fieldRow(rows);
  r->addWidget(fieldCaption("分类："));
  category_ = unit<QComboBox>(unitname::kCategory);
  category_->setMinimumWidth(110);
  r->addWidget(category_, 2);
  r->addWidget(fieldCaption("用户："));
  author_ = unit<QComboBox>(unitname::kAuthor);
  author_->setMinimumWidth(90);
  r->addWidget(author_, 1);
  r->addWidget(fieldCaption("类型："));
  type_ = unit<QComboBox>(unitname::kType);
  // Item values are the blog's article levels; a new article is an ordinary one.
  int level = 1;
  for (const char* t : {"草稿文章", "私人文章", "锁定文章", "普通文章"}) type_->addItem(QString::fromUtf8(t), level++);
  type_->setCurrentIndex(3);
  r->addWidget(type_, 1);
  sticky_ = unit<QCheckBox>(unitname::kSticky);
  sticky_->setText(QStringLiteral("置顶"));
  r->addWidget(sticky_);

  // Title and tags.
  r = fieldRow(rows);
  r->addWidget(fieldCaption("标题："));
  title_ = unit<QLineEdit>(unitname::kTitle);
  title_->setMinimumWidth(160);
  r->addWidget(title_, 3);
  r->addWidget(fieldCaption("Tags："));
  tags_ = unit<QLineEdit>(unitname::kTags);
  tags_->setMinimumWidth(110);
  r->addWidget(tags_, 2);

  // Date and alias.
  r = fieldRow(rows);
  r->addWidget(fieldCaption("日期："));
  year_ = unit<QLineEdit>(unitname::kYear);
  month_ = unit<QLineEdit>(unitname::kMonth);
  day_ = unit<QLineEdit>(unitname::kDay);
  time_ = unit<QLineEdit>(unitname::kTime);
  const std::pair<QLineEdit*, int> dateBoxes[] = {{year_, 44}, {month_, 28}, {day_, 28}, {time_, 72}};
  for (const auto& [box, width] : dateBoxes) {
    box->setFixedWidth(width);
    r->addWidget(box);
  }
  r->addWidget(fieldCaption("别名："));
  alias_ = unit<QLineEdit>(unitname::kAlias);
  alias_->setMinimumWidth(100);
  r->addWidget(alias_, 1);
  r->addWidget(new QLabel(QStringLiteral(".html")));
  autoAlias_ = unit<QCheckBox>(unitname::kAutoAlias);
  autoAlias_->setText(QStringLiteral("自动"));
  r->addWidget(autoAlias_);

  // The body editor takes the extra width and height.
  bodyGroup_ = unit<QGroupBox>(unitname::kBodyGroup);
  bodyGroup_->setTitle(QStringLiteral("正文"));
  auto* body = new QVBoxLayout(bodyGroup_);
  body->setContentsMargins(6, 4, 6, 6);
  editor_ = unit<QWebEngineView>(unitname::kEditor);
  editor_->setContextMenuPolicy(Qt::NoContextMenu);
  editor_->setMinimumSize(360, 160);
  body->addWidget(editor_);
  rows->addWidget(bodyGroup_, 1);

  for (QLineEdit* edit : {title_, tags_, year_, month_, day_, time_, alias_})
    connect(edit, &QLineEdit::textChanged, this, &ArticleForm::changed);
  for (QComboBox* box : {category_, author_, type_})
    connect(box, &QComboBox::currentIndexChanged, this, &ArticleForm::changed);
  for (QCheckBox* check : {sticky_, autoAlias_}) connect(check, &QCheckBox::toggled, this, &ArticleForm::changed);
  // Typing only: the fills below use setText, which does not count.
  for (QLineEdit* edit : {year_, month_, day_, time_})
    connect(edit, &QLineEdit::textEdited, this, [this] { datesEdited_ = true; });
}

Article ArticleForm::fields() const {
  Article a;
  a.title = text(title_);
  a.tags = text(tags_);
  a.category = chosenValue(category_);
  a.author = chosenValue(author_);
  a.type = chosenValue(type_);
  a.sticky = sticky_->isChecked();
  a.year = text(year_);
  a.month = text(month_);
  a.day = text(day_);
  a.time = text(time_);
  a.alias = text(alias_);
  a.autoAlias = autoAlias_->isChecked();
  a.id = id_;
  a.site = site_;
  a.intro = intro_;
  return a;
}

Article ArticleForm::article() const {
  Article a = fields();
  a.body = body();
  return a;
}

void ArticleForm::setArticle(const Article& a) {
  const bool onBlog = a.id > 0;
  const bool otherArticle = a.id != id_ || a.site != site_;
  id_ = onBlog ? a.id : 0;
  site_ = onBlog ? a.site : std::string();
  intro_ = onBlog ? a.intro : std::string();
  title_->setText(toQ(a.title));
  chooseFor(category_, a.category, onBlog, 0);
  tags_->setText(toQ(a.tags));  // the Tags picker follows the change
  chooseFor(author_, a.author, onBlog, pageAuthor_.isValid() ? std::max(0, author_->findData(pageAuthor_)) : 0);
  alias_->setText(toQ(a.alias));
  choose(type_, a.type);
  year_->setText(toQ(a.year));
  month_->setText(toQ(a.month));
  day_->setText(toQ(a.day));
  time_->setText(toQ(a.time));
  datesEdited_ = true;  // the article's own date, as it was kept
  sticky_->setChecked(a.sticky);
  autoAlias_->setChecked(a.autoAlias);
  setBody(a.body);
  if (otherArticle) emit editingChanged();
}

std::string ArticleForm::title() const { return text(title_); }
std::string ArticleForm::categoryName() const {
  return category_->currentIndex() < 0 ? std::string() : fromQ(category_->currentText());
}
std::string ArticleForm::tags() const { return text(tags_); }
void ArticleForm::setTags(const std::string& gbkTags) { tags_->setText(toQ(gbkTags)); }
bool ArticleForm::autoAlias() const { return autoAlias_->isChecked(); }
void ArticleForm::setAutoAlias(bool on) { autoAlias_->setChecked(on); }

void ArticleForm::followTitle() {
  if (autoAlias_->isChecked()) alias_->setText(toQ(makeAlias(text(title_))));
}

void ArticleForm::setCategories(const std::vector<PageOption>& options) {
  category_->clear();
  for (const PageOption& o : options) category_->addItem(shownOptionName(o.name), o.value);
}

void ArticleForm::setAuthors(const std::vector<PageOption>& options) {
  author_->clear();
  pageAuthor_ = QVariant();
  for (const PageOption& o : options) {
    author_->addItem(shownOptionName(o.name), o.value);
    if (o.selected) {
      author_->setCurrentIndex(author_->count() - 1);
      pageAuthor_ = author_->itemData(author_->count() - 1);
    }
  }
}

void ArticleForm::setLists(const EditPage& page, bool keepChoice) {
  const QVariant category = category_->currentData();
  const QVariant author = author_->currentData();
  setCategories(page.categories);
  setAuthors(page.authors);
  if (!keepChoice) return;
  for (const auto& [box, value] : {std::pair{category_, category}, std::pair{author_, author}}) {
    const int i = value.isValid() ? box->findData(value) : -1;
    if (i >= 0) box->setCurrentIndex(i);
  }
}

void ArticleForm::fillDates(const QDateTime& now) {
  const QDate d = now.date();
  const QTime t = now.time();
  year_->setText(QString::number(d.year()));
  month_->setText(QString::number(d.month()));
  day_->setText(QString::number(d.day()));
  time_->setText(QStringLiteral("%1:%2:%3").arg(t.hour()).arg(t.minute()).arg(t.second()));
  datesEdited_ = false;
}

void ArticleForm::refreshUntouchedDates(const QDateTime& now) {
  if (!datesEdited_) fillDates(now);
}

void ArticleForm::focusField(ArticleProblem::Field field) {
  QLineEdit* box = nullptr;
  switch (field) {
    case ArticleProblem::Category:
      category_->setFocus(Qt::OtherFocusReason);
      return;
    case ArticleProblem::Author:
      author_->setFocus(Qt::OtherFocusReason);
      return;
    case ArticleProblem::Title:
      box = title_;
      break;
    case ArticleProblem::Year:
      box = year_;
      break;
    case ArticleProblem::Month:
      box = month_;
      break;
    case ArticleProblem::Day:
      box = day_;
      break;
    case ArticleProblem::Time:
      box = time_;
      break;
    case ArticleProblem::Alias:
      box = alias_;
      break;
    case ArticleProblem::None:
      return;
  }
  box->setFocus(Qt::OtherFocusReason);
  box->selectAll();
}

std::string ArticleForm::body() const { return editorBody(editor_); }
void ArticleForm::setBody(const std::string& gbkHtml) { setEditorBody(editor_, gbkHtml); }
void ArticleForm::insertAtCaret(const std::string& gbkHtml) { insertIntoEditor(editor_, gbkHtml); }
bool ArticleForm::insertPlainText(const QString& text) {
  if (text.isEmpty()) return false;
  QString html = text.toHtmlEscaped();
  html.replace(QLatin1String("\r\n"), QLatin1String("\n"));
  html.replace(QLatin1Char('\n'), QLatin1String("<br>"));
  // Characters GBK cannot hold go as numeric references.
  insertAtCaret(gbkWithCharRefs(html.toStdString()));
  return true;
}

std::string ArticleForm::editorRoot() const { return editorRootAddress(editor_); }

void ArticleForm::bodySnapshot(std::function<void(long, std::string)> done) const {
  editorSnapshotAsync(editor_, std::move(done));
}
void ArticleForm::bodyChangesSoon(std::function<void(long)> done) const {
  editorChangesAsync(editor_, std::move(done));
}
long ArticleForm::bodyChanges(int timeoutMs) const { return editorChanges(editor_, timeoutMs); }
std::optional<std::string> ArticleForm::bodyWithin(int timeoutMs) const { return editorBodyWithin(editor_, timeoutMs); }
std::string ArticleForm::waitingBody() const { return editorWaitingBody(editor_); }

}  // namespace inkpost
