#include "blog/ui/articleform.h"

#include "blog/alias.h"
#include "blog/editortext.h"
#include "blog/publish.h"
#include "blog/ui/editorbody.h"
#include "common/ui/gbk.h"
#include "common/ui/unit.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QLineEdit>
#include <QTextDocumentFragment>
#include <QVariant>
#include <QWebEngineView>

namespace inkpost {
namespace {

const char kFormName[] = "inkpostArticleForm";

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

// Chooses the first entry whose item value is `value`; an empty value or
// none found leaves the list alone.
void choose(QComboBox* box, const std::string& value) {
  if (value.empty()) return;
  for (int i = 0; i < box->count(); ++i) {
    if (itemValue(box, i) == value) {
      box->setCurrentIndex(i);
      return;
    }
  }
}

std::string text(const QLineEdit* edit) { return fromQ(edit->text()); }

// An option's text as a browser shows it: entities decoded, blanks folded.
QString shownName(const std::string& gbkName) {
  const QString raw = toQ(gbkName);
  if (!raw.contains(QLatin1Char('&')) && !raw.contains(QLatin1Char('<'))) return raw;
  const QString shown = QTextDocumentFragment::fromHtml(raw).toPlainText().simplified();
  return shown.isEmpty() ? raw : shown;
}

}  // namespace

ArticleForm& ArticleForm::of(QWidget& window) {
  auto* form = window.findChild<ArticleForm*>(QLatin1String(kFormName), Qt::FindDirectChildrenOnly);
  return form ? *form : *new ArticleForm(window);
}

ArticleForm::ArticleForm(QWidget& window)
    : QObject(&window),
      window_(window),
      title_(unitOf<QLineEdit>(window, "编辑框_标题")),
      tags_(unitOf<QLineEdit>(window, "编辑框_Tags")),
      category_(unitOf<QComboBox>(window, "组合框_分类")),
      author_(unitOf<QComboBox>(window, "组合框_用户")),
      type_(unitOf<QComboBox>(window, "组合框_类型")),
      sticky_(unitOf<QCheckBox>(window, "选择框_置顶")),
      year_(unitOf<QLineEdit>(window, "编辑框_日期年")),
      month_(unitOf<QLineEdit>(window, "编辑框_日期月")),
      day_(unitOf<QLineEdit>(window, "编辑框_日期日")),
      time_(unitOf<QLineEdit>(window, "编辑框_日期时间")),
      alias_(unitOf<QLineEdit>(window, "编辑框_别名")),
      autoAlias_(unitOf<QCheckBox>(window, "选择框_自动别名")),
      editor_(unitOf<QWebEngineView>(window, "互联网浏览器1")) {
  setObjectName(QLatin1String(kFormName));
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
  return a;
}

Article ArticleForm::article() const {
  Article a = fields();
  a.body = body();
  return a;
}

void ArticleForm::setArticle(const Article& a) {
  title_->setText(toQ(a.title));
  choose(category_, a.category);
  tags_->setText(toQ(a.tags));  // the Tags picker follows the change
  choose(author_, a.author);
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
}

std::string ArticleForm::title() const { return text(title_); }
std::string ArticleForm::tags() const { return text(tags_); }
void ArticleForm::setTags(const std::string& gbkTags) { tags_->setText(toQ(gbkTags)); }
bool ArticleForm::autoAlias() const { return autoAlias_->isChecked(); }
void ArticleForm::setAutoAlias(bool on) { autoAlias_->setChecked(on); }

void ArticleForm::followTitle() {
  if (autoAlias_->isChecked()) alias_->setText(toQ(makeAlias(text(title_))));
}

void ArticleForm::setCategories(const std::vector<PageOption>& options) {
  category_->clear();
  for (const PageOption& o : options) category_->addItem(shownName(o.name), o.value);
}

void ArticleForm::setAuthors(const std::vector<PageOption>& options) {
  author_->clear();
  for (const PageOption& o : options) {
    author_->addItem(shownName(o.name), o.value);
    if (o.selected) author_->setCurrentIndex(author_->count() - 1);
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
