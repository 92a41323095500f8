#include "drafts/ui/tagswindow.h"

#include "blog/ui/articleform.h"
#include "blog/ui/login.h"
#include "blog/ui/pageguard.h"
#include "common/ui/gbk.h"
#include "common/ui/unitnames.h"
#include "drafts/tags.h"

#include <QApplication>
#include <QChildEvent>
#include <QEvent>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QScreen>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>
#include <QWebEngineView>

namespace inkpost {
namespace {

constexpr int kWindowWidth = 320;
constexpr int kWindowHeight = 150;

ScreenRect screenRectOf(const QWidget* widget) {
  const QPoint topLeft = widget->mapToGlobal(QPoint(0, 0));
  return {topLeft.x(), topLeft.y(), widget->width(), widget->height()};
}

}  // namespace

TagsPicker::TagsPicker(ArticleForm& form, CurrentBlog& blog, QObject* parent)
    : QObject(parent), form_(form), blog_(blog), timer_(new QTimer(this)) {
  timer_->setObjectName(QString::fromUtf8(unitname::kTagsTimer));
  timer_->setInterval(1);
}

TagsPicker::~TagsPicker() { delete window_.data(); }

std::vector<std::string> TagsPicker::blogTags() const { return blog_.tags(); }

bool TagsPicker::blogReady() const { return blog_.ready(); }

TagsWindow* TagsPicker::shownWindow() const {
  TagsWindow* window = window_.data();
  return window && window->isVisible() ? window : nullptr;
}

TagsWindow& TagsPicker::window() {
  if (!window_) window_ = new TagsWindow(*this, form_.window());
  return *window_;
}

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

TagsWindow::TagsWindow(TagsPicker& picker, QWidget* owner) : QWidget(owner, Qt::Tool), picker_(picker) {
  setObjectName(QString::fromUtf8(unitname::kTagsWindow));
  setWindowTitle(QStringLiteral("Tags"));
  // A click on a tag leaves the keyboard with the box.
  setAttribute(Qt::WA_ShowWithoutActivating);
  setWindowFlag(Qt::WindowDoesNotAcceptFocus);
  resize(kWindowWidth, kWindowHeight);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  viewer_ = new QWebEngineView(this);
  viewer_->setObjectName(QString::fromUtf8(unitname::kTagsViewer));
  viewer_->setContextMenuPolicy(Qt::NoContextMenu);
  layout->addWidget(viewer_);
  viewer_->setPage(
      new TagsPage([this](const QUrl& url) { TagClicked(*this, url.toString(QUrl::FullyEncoded)); }, viewer_));
  // The viewer shows its page in a child widget it may make later.
  watchKeys(viewer_);
}

void TagsWindow::watchKeys(QWidget* widget) {
  widget->installEventFilter(this);
  for (QWidget* child : widget->findChildren<QWidget*>()) child->installEventFilter(this);
}

bool TagsWindow::eventFilter(QObject*, QEvent* event) {
  QLineEdit* box = picker_.form().tagsBox();
  switch (event->type()) {
    case QEvent::ChildAdded:
      if (auto* child = qobject_cast<QWidget*>(static_cast<QChildEvent*>(event)->child())) watchKeys(child);
      return false;
    case QEvent::KeyPress:
    case QEvent::KeyRelease: {
      const auto* key = static_cast<QKeyEvent*>(event);
      QKeyEvent copy(key->type(), key->key(), key->modifiers(), key->text(), key->isAutoRepeat(), key->count());
      QApplication::sendEvent(box, &copy);
      if (key->type() == QEvent::KeyPress && isVisible()) focusTagsBox(picker_);
      return true;
    }
    case QEvent::InputMethod: {
      const auto* input = static_cast<QInputMethodEvent*>(event);
      if (input->commitString().isEmpty() && input->preeditString().isEmpty()) return false;
      QInputMethodEvent copy(input->preeditString(), input->attributes());
      copy.setCommitString(input->commitString(), input->replacementStart(), input->replacementLength());
      QApplication::sendEvent(box, &copy);
      focusTagsBox(picker_);
      return true;
    }
    default:
      return false;
  }
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

void TagsBoxChanged(TagsPicker& picker) { picker.setChosenTags(chosenTagsOf(picker.form().tags())); }

void TagsBoxReleased(TagsPicker& picker) { picker.timer()->start(1); }

void TagsBoxKeyDown(TagsPicker& picker, int qtKey) {
  if (qtKey == Qt::Key_Escape) {
    picker.timer()->stop();
    if (TagsWindow* window = picker.shownWindow()) window->close();
    return;
  }
  if (qtKey != Qt::Key_Comma) return;
  // Reopen after the separator has reached the box, with fresh highlights.
  if (TagsWindow* window = picker.shownWindow()) window->close();
  picker.timer()->start(1);
}

void OpenTagsWindow(TagsPicker& picker) {
  picker.timer()->stop();
  TagsWindow& window = picker.window();
  TagsWindowCreated(window);
  window.show();
  // Typing goes on in the box.
  focusTagsBox(picker);
}

void TagsListsChanged(TagsPicker& picker) {
  if (TagsWindow* window = picker.shownWindow()) TagsWindowCreated(*window);
}

void focusTagsBox(TagsPicker& picker) {
  QLineEdit* box = picker.form().tagsBox();
  box->window()->activateWindow();
  box->setFocus(Qt::OtherFocusReason);
  box->end(false);
}

void TagsWindowCreated(TagsWindow& window) {
  TagsPicker& picker = window.picker();
  // By the box, never over the alias box, on the box's screen.
  const QLineEdit* box = picker.form().tagsBox();
  const QLineEdit* aliasBox = picker.form().aliasBox();
  const QRect free = box->screen()->availableGeometry();
  const ScreenRect place =
      tagsWindowPlace(screenRectOf(box), screenRectOf(aliasBox), screenRectOf(box->window()),
                      {free.x(), free.y(), free.width(), free.height()}, kWindowWidth, kWindowHeight);
  window.move(place.x, place.y);
  window.resize(place.width, place.height);
  const std::string note = picker.blogReady() ? std::string() : tagsBeforeLoginNote();
  std::string page = tagsPage(picker.blogTags(), picker.chosenTags(), note);
  page.insert(page.find("<head>") + 6, std::string("<base href='") + kTagsLinkBase + "'>");
  window.viewer()->setHtml(toQ(page));
}

bool TagClicked(TagsWindow& window, const QString& address) {
  const std::string tag = tagFromAddress(fromQ(address));
  if (tag.empty()) return false;  // not a tag link
  TagsPicker& picker = window.picker();
  const bool chosen = tagChosen(picker.chosenTags(), tag);
  window.viewer()->page()->runJavaScript(toQ(tagClassScript(tag, !chosen)));
  if (chosen)
    RemoveTag(picker, tag);
  else
    AddTag(picker, tag);
  focusTagsBox(picker);
  return false;
}

void AddTag(TagsPicker& picker, const std::string& tag) {
  ArticleForm& form = picker.form();
  form.setTags(addTag(form.tags(), tag));
}

void RemoveTag(TagsPicker& picker, const std::string& tag) {
  ArticleForm& form = picker.form();
  form.setTags(removeTag(form.tags(), tag));
}

}  // namespace inkpost
