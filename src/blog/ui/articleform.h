// The article form: the panel that makes and owns the article's fields
// (分类, 用户, 类型, 置顶, 标题, Tags, the four date boxes, 别名 and its 自动
// box) and the body editor 互联网浏览器1 in 分组框2, and reaches the body
// through the editor bridge. Publishing, drafts, recovery, the Tags picker
// and the gallery insert read and write the article through it, never
// through a field's widget.
#pragma once

#include "blog/article.h"
#include "blog/articlecheck.h"
#include "blog/editpage.h"

#include <QVariant>
#include <QWidget>

#include <functional>
#include <optional>
#include <string>
#include <vector>

class QCheckBox;
class QComboBox;
class QDateTime;
class QGroupBox;
class QLineEdit;
class QString;
class QWebEngineView;

namespace inkpost {

// An option of a blog's list as a browser shows it: entities decoded
// ("生活 &amp; 随笔" reads "生活 & 随笔"), blanks folded.
QString shownOptionName(const std::string& gbkName);

class ArticleForm : public QWidget {
  Q_OBJECT
 public:
  explicit ArticleForm(QWidget* parent = nullptr);

  // The whole article, body included (a short wait for the editor page).
  Article article() const;
  // Every field but the body; never waits.
  Article fields() const;
  // Puts an article back, field by field in the order drafts store them
  // (title first, so an alias that follows the title is then overwritten by
  // the stored one); the body goes to the editor. Its id and site set the
  // editing mode. A category or author the lists do not hold: for an
  // article already on the blog nothing is chosen (it must not move to
  // another one unasked, see checkArticle); for a new one the choice
  // stays, or the lists' own default when there is none.
  void setArticle(const Article& article);

  // The blog article the form changes (编辑 mode), 0 for a new article; the
  // address of its blog.
  int editingId() const { return id_; }
  const std::string& editingSite() const { return site_; }

  std::string title() const;
  // The chosen category's name as shown (GBK); empty when none is chosen.
  std::string categoryName() const;
  std::string tags() const;
  void setTags(const std::string& gbkTags);
  bool autoAlias() const;
  void setAutoAlias(bool on);
  // With 自动 ticked, the alias is made from the title again.
  void followTitle();

  // 组合框_分类 and 组合框_用户 from an edit page (emptied first; the author
  // marked selected is chosen). The names are shown as the page shows them,
  // entities decoded ("生活 &amp; 随笔" reads "生活 & 随笔"); the values sent
  // stay the page's.
  void setCategories(const std::vector<PageOption>& options);
  void setAuthors(const std::vector<PageOption>& options);
  // Both lists from an edit page. `keepChoice` chooses again the category
  // and author that were chosen, where the new lists still have them.
  void setLists(const EditPage& page, bool keepChoice = false);
  // The date boxes from `now`, numbers without leading zeros ("9:5:3").
  // Afterwards they count as untouched until the user types in one of them
  // or an article is put back.
  void fillDates(const QDateTime& now);
  bool datesEdited() const { return datesEdited_; }
  // Before a publish: untouched boxes are filled from `now`, so an article
  // written for an hour does not go out dated at the login; edited boxes
  // stay as typed.
  void refreshUntouchedDates(const QDateTime& now);

  // Puts the caret into the field a check named (its text selected).
  void focusField(ArticleProblem::Field field);

  // The body through the editor bridge (blog/ui/editorbody.h).
  std::string body() const;
  void setBody(const std::string& gbkHtml);
  // An element at the caret (at the end without one), one Ctrl+Z step.
  void insertAtCaret(const std::string& gbkHtml);
  // Plain text at the caret, as one Ctrl+Z step: markup characters escaped,
  // line ends kept as line breaks, characters GBK cannot hold as numeric
  // references. False when there is no text.
  bool insertPlainText(const QString& text);
  std::string editorRoot() const;
  // The body without holding the window up, for the recovery slot (see
  // blog/ui/editorbody.h): the body and the editor's change count once the
  // page answers; the change count alone; the count or the body within a
  // short time (the close); the text of a write still waiting for the page.
  void bodySnapshot(std::function<void(long changes, std::string gbkBody)> done) const;
  void bodyChangesSoon(std::function<void(long changes)> done) const;
  long bodyChanges(int timeoutMs) const;
  std::optional<std::string> bodyWithin(int timeoutMs) const;
  std::string waitingBody() const;

  // The units the binding table connects to and the Tags picker places
  // itself under.
  QLineEdit* titleBox() const { return title_; }
  QLineEdit* tagsBox() const { return tags_; }
  QLineEdit* aliasBox() const { return alias_; }  // the Tags picker keeps clear of it
  QCheckBox* autoAliasBox() const { return autoAlias_; }
  QComboBox* categoryBox() const { return category_; }
  QWebEngineView* editor() const { return editor_; }

 signals:
  // A field of the form changed, by typing or by setArticle (the body's own
  // changes are counted by the editor: bodyChanges).
  void changed();
  // The form went into or out of editing mode, or to another article.
  void editingChanged();

 private:
  QLineEdit* title_;
  QLineEdit* tags_;
  QComboBox* category_;
  QComboBox* author_;
  QComboBox* type_;
  QCheckBox* sticky_;
  QLineEdit* year_;
  QLineEdit* month_;
  QLineEdit* day_;
  QLineEdit* time_;
  QLineEdit* alias_;
  QCheckBox* autoAlias_;
  QGroupBox* bodyGroup_;
  QWebEngineView* editor_;
  bool datesEdited_ = false;
  QVariant pageAuthor_;  // the author the edit page marked selected
  int id_ = 0;
  std::string site_;
  std::string intro_;
};

}  // namespace inkpost
