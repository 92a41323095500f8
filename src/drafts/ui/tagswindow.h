// The Tags picker: a small owned window under 编辑框_Tags that lists the
// blog's tags (blogSession().tags of the login) in its viewer 超文本浏览框1; clicking
// a tag adds it to the box or takes it out again.
#pragma once

#include <QObject>
#include <QPointer>
#include <QWebEnginePage>
#include <QWidget>

#include <functional>
#include <string>

class QLineEdit;
class QWebEngineView;

namespace inkpost {

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

// objectName "窗口_Tags", title "Tags".
class TagsWindow : public QWidget {
  Q_OBJECT
 public:
  explicit TagsWindow(QWidget& owner);
  QWebEngineView* viewer() const { return viewer_; }  // 超文本浏览框1
  QWidget& owner() const { return owner_; }

 private:
  QWidget& owner_;
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
void TagsBoxChanged(QWidget& window);             // 编辑框_Tags content changed
void TagsBoxReleased(QWidget& window);            // left button released in it
void TagsBoxKeyDown(QWidget& window, int qtKey);  // key pressed in it
void OpenTagsWindow(QWidget& window);             // tick of 时钟_载入tags窗口
// Every time the window opens: places it under the box and writes the page.
void TagsWindowCreated(TagsWindow& window);
// Before-navigation of 超文本浏览框1: toggles the clicked tag; always false
// (the navigation is cancelled and the page stays).
bool TagClicked(TagsWindow& window, const QString& address);
void AddTag(QWidget& window, const std::string& tag);
void RemoveTag(QWidget& window, const std::string& tag);

// The Tags window while it is shown, or null.
TagsWindow* tagsWindow();

}  // namespace inkpost
