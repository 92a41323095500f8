// The Tags picker: a small owned window by 编辑框_Tags (under it, or beside
// it where under it would cover 编辑框_别名) that lists the chosen blog's
// tags (from its edit page) in its viewer 超文本浏览框1; clicking a tag adds
// it to the box or takes it out again. The keyboard stays with the box:
// the window never takes the focus, and a key that reaches it anyway goes
// on to the box. Escape closes it.
#pragma once

#include <QObject>
#include <QPointer>
#include <QWebEnginePage>
#include <QWidget>

#include <functional>
#include <string>
#include <vector>

class QLineEdit;
class QTimer;
class QWebEngineView;

namespace inkpost {

class ArticleForm;
class CurrentBlog;
class TagsWindow;

// The picker of one article form: the tags chosen in its box, the window,
// and the timer 时钟_载入tags窗口 that opens the window once the event that
// asked for it is done.
class TagsPicker : public QObject {
  Q_OBJECT
 public:
  TagsPicker(ArticleForm& form, CurrentBlog& blog, QObject* parent = nullptr);
  ~TagsPicker() override;

  ArticleForm& form() const { return form_; }
  // The blog's tags, in page order.
  std::vector<std::string> blogTags() const;
  // The blog is logged in and its tags are known.
  bool blogReady() const;
  // The tags of the box as ",a,b," (always closed by commas).
  const std::string& chosenTags() const { return chosen_; }
  void setChosenTags(std::string chosen) { chosen_ = std::move(chosen); }
  QTimer* timer() const { return timer_; }
  // The window while it is shown, or null.
  TagsWindow* shownWindow() const;
  // The window, made on first use and then only hidden and shown again: a
  // fresh viewer would start a renderer every time, which takes a
  // noticeable moment before the tags appear.
  TagsWindow& window();

 private:
  ArticleForm& form_;
  CurrentBlog& blog_;
  std::string chosen_ = ",";
  QTimer* timer_;
  QPointer<TagsWindow> window_;
};

// The tag links of the page carry this base address so that a click reaches
// the page's navigation check (a bare "#..." link in a page written straight
// into the viewer never does).
inline constexpr char kTagsLinkBase[] = "http://cmd.invalid/";

// Hands every link click of the Tags page to a handler and cancels it.
class TagsPage : public QWebEnginePage {
  Q_OBJECT
 public:
  TagsPage(std::function<void(const QUrl&)> onLink, QObject* parent);

 protected:
  bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override;

 private:
  std::function<void(const QUrl&)> onLink_;
};

// objectName "窗口_Tags", title "Tags". Keys typed while it has the focus
// (a window manager that hands it over regardless) go to the box.
class TagsWindow : public QWidget {
  Q_OBJECT
 public:
  TagsWindow(TagsPicker& picker, QWidget* owner);
  QWebEngineView* viewer() const { return viewer_; }  // 超文本浏览框1
  TagsPicker& picker() const { return picker_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void watchKeys(QWidget* widget);

  TagsPicker& picker_;
  QWebEngineView* viewer_;
};

// Turns mouse releases (left button) and key presses of the tags box into
// signals for the binding table.
class TagsBoxEvents : public QObject {
  Q_OBJECT
 public:
  explicit TagsBoxEvents(QLineEdit* box);

 signals:
  void released();
  void keyDown(int qtKey);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
};

// Handlers.
void TagsBoxChanged(TagsPicker& picker);             // 编辑框_Tags content changed
void TagsBoxReleased(TagsPicker& picker);            // left button released in it
void TagsBoxKeyDown(TagsPicker& picker, int qtKey);  // key pressed in it
void OpenTagsWindow(TagsPicker& picker);             // tick of 时钟_载入tags窗口
// The chosen site's lists changed (a login finished): an open window shows
// the new tags.
void TagsListsChanged(TagsPicker& picker);
// The keyboard back to the box, its caret at the end.
void focusTagsBox(TagsPicker& picker);
// Every time the window opens: places it by the box (tagsWindowPlace) and
// writes the page; before a login the page says that the tags come then.
void TagsWindowCreated(TagsWindow& window);
// Before-navigation of 超文本浏览框1: toggles the clicked tag and gives the
// keyboard back to the box; always false (the navigation is cancelled and
// the page stays).
bool TagClicked(TagsWindow& window, const QString& address);
void AddTag(TagsPicker& picker, const std::string& tag);
void RemoveTag(TagsPicker& picker, const std::string& tag);

}  // namespace inkpost
