#include "drafts/ui/tagswindow.h"

#include "app/ui/gbk.h"
#include "app/ui/mainwindow.h"
#include "blog/session.h"
#include "blog/ui/pageguard.h"
#include "drafts/tags.h"

#include <QEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QTimer>
#include <QUrl>
#include <QWebEngineView>

namespace inkpost {
namespace {

constexpr int kWindowWidth = 320;
constexpr int kWindowHeight = 150;

// The one Tags window. It is made on first use and then only hidden and
// shown again: a fresh viewer would start a renderer every time, which takes
// a noticeable moment before the tags appear.
QPointer<TagsWindow>& theWindow() {
  static QPointer<TagsWindow> window;
  return window;
}

}  // namespace

TagsPage::TagsPage(std::function<void(const QUrl&)> onLink, QObject* parent)
    : QWebEnginePage(parent), onLink_(std::move(onLink)) {
  // The tags come from the blog: the page reaches nothing but the blog.
  guardPage(this, std::string());
}

bool TagsPage::acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) {
  // The page itself arrives as a data: address written by setHtml; a link
  // followed from it is a tag click. Nothing else may replace the page.
  if (type != NavigationTypeLinkClicked && url.scheme() == QLatin1String("data")) return true;
  if (type == NavigationTypeLinkClicked && isMainFrame && onLink_) onLink_(url);
  return false;
}

TagsWindow::TagsWindow(MainWindow& owner) : QWidget(&owner, Qt::Tool), owner_(owner) {
  setObjectName(QStringLiteral("窗口_Tags"));
  setWindowTitle(QStringLiteral("Tags"));
  setAttribute(Qt::WA_ShowWithoutActivating);
  resize(kWindowWidth, kWindowHeight);
  viewer_ = new QWebEngineView(this);
  viewer_->setObjectName(QStringLiteral("超文本浏览框1"));
  viewer_->setContextMenuPolicy(Qt::NoContextMenu);
  viewer_->setGeometry(0, 0, kWindowWidth, kWindowHeight);
  viewer_->setPage(new TagsPage([this](const QUrl& url) { TagClicked(*this, url.toString(QUrl::FullyEncoded)); },
                                viewer_));
}

TagsBoxEvents::TagsBoxEvents(QLineEdit* box) : QObject(box) { box->installEventFilter(this); }

bool TagsBoxEvents::eventFilter(QObject*, QEvent* event) {
  if (event->type() == QEvent::MouseButtonRelease) {
    if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) emit released();
  } else if (event->type() == QEvent::KeyPress) {
    emit keyDown(static_cast<QKeyEvent*>(event)->key());
  }
  return false;
}

TagsWindow* tagsWindow() {
  TagsWindow* window = theWindow().data();
  return window && window->isVisible() ? window : nullptr;
}

void TagsBoxChanged(MainWindow& w) { chosenTags() = chosenTagsOf(fromQ(w.tagsEdit->text())); }

void TagsBoxReleased(MainWindow& w) { w.tagsTimer->start(1); }

void TagsBoxKeyDown(MainWindow& w, int qtKey) {
  if (qtKey != Qt::Key_Comma) return;
  // Reopen after the separator has reached the box, with fresh highlights.
  if (TagsWindow* window = tagsWindow()) window->close();
  w.tagsTimer->start(1);
}

void OpenTagsWindow(MainWindow& w) {
  w.tagsTimer->stop();
  TagsWindow* window = theWindow().data();
  if (!window || &window->owner() != &w) {
    delete window;
    window = new TagsWindow(w);
    theWindow() = window;
  }
  TagsWindowCreated(*window);
  window->show();
  // Typing goes on in the box.
  w.activateWindow();
  w.tagsEdit->setFocus(Qt::OtherFocusReason);
}

void TagsWindowCreated(TagsWindow& window) {
  MainWindow& w = window.owner();
  // Right under the box, 2 pixels in from its left edge.
  window.move(w.tagsEdit->mapToGlobal(QPoint(2, w.tagsEdit->height())));
  std::string page = tagsPage(blogTags(), chosenTags());
  page.insert(page.find("<head>") + 6, std::string("<base href='") + kTagsLinkBase + "'>");
  window.viewer()->setHtml(toQ(page));
}

bool TagClicked(TagsWindow& window, const QString& address) {
  const std::string tag = tagFromAddress(fromQ(address));
  if (tag.empty()) return false;  // not a tag link
  const bool chosen = tagChosen(chosenTags(), tag);
  window.viewer()->page()->runJavaScript(toQ(tagClassScript(tag, !chosen)));
  if (chosen)
    RemoveTag(window.owner(), tag);
  else
    AddTag(window.owner(), tag);
  return false;
}

void AddTag(MainWindow& w, const std::string& tag) {
  w.tagsEdit->setText(toQ(addTag(fromQ(w.tagsEdit->text()), tag)));
}

void RemoveTag(MainWindow& w, const std::string& tag) {
  w.tagsEdit->setText(toQ(removeTag(fromQ(w.tagsEdit->text()), tag)));
}

}  // namespace inkpost
