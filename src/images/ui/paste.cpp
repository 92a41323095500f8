#include "images/ui/paste.h"

#include "blog/ui/articleform.h"
#include "common/programdir.h"
#include "common/ui/toast.h"
#include "common/ui/unit.h"
#include "images/gallery.h"
#include "images/paste.h"
#include "images/ui/upload.h"
#include "net/encoding.h"

#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QGroupBox>
#include <QImage>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QPointer>
#include <QWebEngineView>

#include <functional>
#include <utility>

namespace inkpost {
namespace {

// What the paste keys and menus run (the binding table's guarded paste).
std::function<bool(QWidget&)>& pasteHandler() {
  static std::function<bool(QWidget&)> handler = PasteImage;
  return handler;
}

QWebEngineView* editorOf(QWidget& w) { return ArticleForm::of(w).editor(); }
QGroupBox* dropBoxOf(QWidget& w) { return unitOf<QGroupBox>(w, "分组框_上传图片"); }

QImage clipboardImage() {
  const QMimeData* mime = QGuiApplication::clipboard()->mimeData();
  if (!mime || !mime->hasImage()) return {};
  return qvariant_cast<QImage>(mime->imageData());
}

bool isPasteKey(QEvent* event) {
  if (event->type() != QEvent::KeyPress && event->type() != QEvent::ShortcutOverride) return false;
  return static_cast<QKeyEvent*>(event)->matches(QKeySequence::Paste);
}

// Encodes the picture for upload; the staging file's path, empty on failure.
std::string stagePicture(const QImage& image) {
  QByteArray png;
  {
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "PNG")) return {};
  }
  QByteArray bytes = png;
  const char* name = "temp/paste.png";
  if (pasteFormat(static_cast<size_t>(png.size()), image.width(), image.height(), image.hasAlphaChannel()) ==
      PasteFormat::Jpeg) {
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    if (image.convertToFormat(QImage::Format_RGB32).save(&buffer, "JPEG", kPasteJpegQuality)) {
      bytes = jpeg;
      name = "temp/paste.jpg";
    }
  }
  const std::string path = programPath(name);
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return {};
  bool ok =
      std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), f) == static_cast<size_t>(bytes.size());
  ok = std::fclose(f) == 0 && ok;
  return ok ? path : std::string();
}

// The paste keys of one widget and of the widgets inside it (a web view
// shows its page in a child widget it may make later).
class PasteKeys : public QObject {
 public:
  PasteKeys(QWidget& w, QWidget* watched, bool always) : QObject(watched), w_(w), always_(always) { watch(watched); }

 protected:
  bool eventFilter(QObject* object, QEvent* event) override {
    if (event->type() == QEvent::ChildAdded) {
      if (auto* child = qobject_cast<QWidget*>(static_cast<QChildEvent*>(event)->child())) watch(child);
      return false;
    }
    if (!isPasteKey(event)) return false;
    // In the editor a paste without an image stays the editor's own.
    if (!always_ && clipboardImage().isNull()) return false;
    if (event->type() == QEvent::ShortcutOverride) {
      event->accept();  // the key comes here as a key press, not a shortcut
      return true;
    }
    Q_UNUSED(object);
    if (!pasteHandler()(w_)) ShowToast(&w_, fromUtf8("剪贴板中没有图片"), 1.2);
    return true;
  }

 private:
  void watch(QWidget* widget) {
    widget->installEventFilter(this);
    for (QWidget* child : widget->findChildren<QWidget*>()) child->installEventFilter(this);
  }
  QWidget& w_;
  bool always_;
};

void editorMenu(QWidget& w, const QPoint& pos) {
  QMenu* menu = editorOf(w)->createStandardContextMenu();
  if (!menu) return;
  // Going back, reloading or saving the editor page would only lose the
  // article being written.
  for (auto action : {QWebEnginePage::Back, QWebEnginePage::Forward, QWebEnginePage::Reload, QWebEnginePage::SavePage,
                      QWebEnginePage::ViewSource})
    menu->removeAction(editorOf(w)->pageAction(action));
  if (!clipboardImage().isNull()) {
    auto* action = new QAction(QStringLiteral("粘贴图片"), menu);
    QObject::connect(action, &QAction::triggered, &w, [&w] { pasteHandler()(w); });
    QAction* paste = editorOf(w)->pageAction(QWebEnginePage::Paste);
    const auto actions = menu->actions();
    menu->insertAction(actions.contains(paste) ? paste : (actions.isEmpty() ? nullptr : actions.first()), action);
    menu->removeAction(paste);
  }
  menu->setAttribute(Qt::WA_DeleteOnClose);
  menu->popup(editorOf(w)->mapToGlobal(pos));
}

void dropBoxMenu(QWidget& w, const QPoint& pos) {
  auto* menu = new QMenu(dropBoxOf(w));
  QAction* action = menu->addAction(QStringLiteral("粘贴图片"));
  action->setEnabled(!clipboardImage().isNull());
  QObject::connect(action, &QAction::triggered, &w, [&w] { pasteHandler()(w); });
  menu->setAttribute(Qt::WA_DeleteOnClose);
  menu->popup(dropBoxOf(w)->mapToGlobal(pos));
}

}  // namespace

bool PasteImage(QWidget& w) {
  const QImage image = clipboardImage();
  if (image.isNull()) return false;
  const std::string staged = stagePicture(image);
  UploadResult result;
  if (staged.empty())
    result.outcome = UploadOutcome::Unreadable;
  else
    result = uploadImage(w, staged, StoreAs::ContentName);
  if (!result.ok()) {
    ShowToast(&w, fromUtf8("上传失败：") + uploadFailureText(result), 1.6);
    return true;
  }
  recordAndShow(w, result);
  ArticleForm::of(w).insertAtCaret(galleryInsertElement(result.address));
  ShowToast(&w, fromUtf8("已插入图片"), 0.8);
  return true;
}

void installImagePaste(QWidget& w, std::function<bool(QWidget&)> paste) {
  pasteHandler() = std::move(paste);
  new PasteKeys(w, editorOf(w), /*always=*/false);
  dropBoxOf(w)->setFocusPolicy(Qt::ClickFocus);
  new PasteKeys(w, dropBoxOf(w), /*always=*/true);
  editorOf(w)->setContextMenuPolicy(Qt::CustomContextMenu);
  QObject::connect(editorOf(w), &QWidget::customContextMenuRequested, &w, [&w](const QPoint& p) { editorMenu(w, p); });
  dropBoxOf(w)->setContextMenuPolicy(Qt::CustomContextMenu);
  QObject::connect(dropBoxOf(w), &QWidget::customContextMenuRequested, &w,
                   [&w](const QPoint& p) { dropBoxMenu(w, p); });
}

}  // namespace inkpost
