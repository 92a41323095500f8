#include "drafts/ui/tagswindow.h"

#include "blog/ui/articleform.h"
#include "blog/ui/pageguard.h"
#include "common/session.h"
#include "common/ui/gbk.h"
#include "common/ui/unit.h"
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

QTimer* tagsTimer(QWidget& w) { return unitOf<QTimer>(w, "时钟_载入tags窗口"); }

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

TagsWindow::TagsWindow(QWidget& owner) : QWidget(&owner, Qt::Tool), owner_(owner) {
  setObjectName(QStringLiteral("窗口_Tags"));
  setWindowTitle(QStringLiteral("Tags"));
  setAttribute(Qt::WA_ShowWithoutActivating);
  resize(kWindowWidth, kWindowHeight);
  viewer_ = new QWebEngineView(this);
  viewer_->setObjectName(QStringLiteral("超文本浏览框1"));
  viewer_->setContextMenuPolicy(Qt::NoContextMenu);
  viewer_->setGeometry(0, 0, kWindowWidth, kWindowHeight);
  viewer_->setPage(
      new TagsPage([this](const QUrl& url) { TagClicked(*this, url.toString(QUrl::FullyEncoded)); }, viewer_));
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

void TagsBoxChanged(QWidget& w) { blogSession().chosenTags = chosenTagsOf(ArticleForm::of(w).tags()); }

void TagsBoxReleased(QWidget& w) { tagsTimer(w)->start(1); }

void TagsBoxKeyDown(QWidget& w, int qtKey) {
  if (qtKey != Qt::Key_Comma) return;
  // Reopen after the separator has reached the box, with fresh highlights.
  if (TagsWindow* window = tagsWindow()) window->close();
  tagsTimer(w)->start(1);
}

void OpenTagsWindow(QWidget& w) {
  tagsTimer(w)->stop();
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
  ArticleForm::of(w).tagsBox()->setFocus(Qt::OtherFocusReason);
}

void TagsWindowCreated(TagsWindow& window) {
  QWidget& w = window.owner();
  // Right under the box, 2 pixels in from its left edge.
  const QLineEdit* box = ArticleForm::of(w).tagsBox();
  window.move(box->mapToGlobal(QPoint(2, box->height())));
  std::string page = tagsPage(blogSession().tags, blogSession().chosenTags);
  page.insert(page.find("<head>") + 6, std::string("<base href='") + kTagsLinkBase + "'>");
  window.viewer()->setHtml(toQ(page));
}

bool TagClicked(TagsWindow& window, const QString& address) {
  const std::string tag = tagFromAddress(fromQ(address));
  if (tag.empty()) return false;  // not a tag link
  const bool chosen = tagChosen(blogSession().chosenTags, tag);
  window.viewer()->page()->runJavaScript(toQ(tagClassScript(tag, !chosen)));
  if (chosen)
    RemoveTag(window.owner(), tag);
  else
    AddTag(window.owner(), tag);
  return false;
}

void AddTag(QWidget& w, const std::string& tag) {
  ArticleForm& form = ArticleForm::of(w);
  form.setTags(addTag(form.tags(), tag));
}

void RemoveTag(QWidget& w, const std::string& tag) {
  ArticleForm& form = ArticleForm::of(w);
  form.setTags(removeTag(form.tags(), tag));
}

}  // namespace inkpost
