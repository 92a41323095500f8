// The article form of the main window: the panel that owns the article's
// fields (标题, Tags, 分类, 用户, 类型, 置顶, the four date boxes, 别名 and its
// 自动 box) and reaches the body through the editor bridge. Publishing,
// drafts, recovery, the Tags picker and the gallery insert read and write
// the article through it, never through a field's widget.
#pragma once

#include "blog/article.h"
#include "blog/editpage.h"

#include <QObject>

#include <functional>
#include <optional>
#include <string>
#include <vector>

class QCheckBox;
class QComboBox;
class QDateTime;
class QLineEdit;
class QString;
class QWebEngineView;
class QWidget;

namespace inkpost {

class ArticleForm : public QObject {
  Q_OBJECT
 public:
  // The form of a main window, made on first use from the window's units
  // (found by their unit names).
  static ArticleForm& of(QWidget& window);

  // The whole article, body included (a short wait for the editor page).
  Article article() const;
  // Every field but the body; never waits.
  Article fields() const;
  // Puts an article back, field by field in the order drafts store them
  // (title first, so an alias that follows the title is then overwritten by
  // the stored one); the body goes to the editor.
  void setArticle(const Article& article);

  std::string title() const;
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
  // The date boxes from `now`, numbers without leading zeros ("9:5:3").
  // Afterwards they count as untouched until the user types in one of them
  // or an article is put back.
  void fillDates(const QDateTime& now);
  bool datesEdited() const { return datesEdited_; }
  // Before a publish: untouched boxes are filled from `now`, so an article
  // written for an hour does not go out dated at the login; edited boxes
  // stay as typed.
  void refreshUntouchedDates(const QDateTime& now);

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
  QCheckBox* autoAliasBox() const { return autoAlias_; }
  QComboBox* categoryBox() const { return category_; }
  QWebEngineView* editor() const { return editor_; }
  QWidget& window() const { return window_; }

 signals:
  // A field of the form changed, by typing or by setArticle (the body's own
  // changes are counted by the editor: bodyChanges).
  void changed();

 private:
  explicit ArticleForm(QWidget& window);

  QWidget& window_;
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
  QWebEngineView* editor_;
  bool datesEdited_ = false;
};

}  // namespace inkpost
