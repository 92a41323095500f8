#include "images/ui/paste.h"

#include "blog/ui/articleform.h"
#include "common/privatefile.h"
#include "common/programdir.h"
#include "common/ui/toast.h"
#include "images/gallery.h"
#include "images/paste.h"
#include "images/ui/imagepanel.h"
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
#include <QWebEngineContextMenuRequest>
#include <QWebEngineView>

#include <cstdio>
#include <functional>
#include <utility>

namespace inkpost {
namespace {

// What the paste keys and menus run (the binding table's guarded paste).
using PasteHandler = std::function<bool(ImagePanel&)>;

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
  const bool ok = replacePrivateFile(path, std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())));
  return ok ? path : std::string();
}

// The paste keys of one widget and of the widgets inside it (a web view
// shows its page in a child widget it may make later).
class PasteKeys : public QObject {
 public:
  PasteKeys(ImagePanel& images, QWidget* watched, bool always, PasteHandler paste)
      : QObject(watched), images_(images), always_(always), paste_(std::move(paste)) {
    watch(watched);
  }

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
    if (!paste_(images_)) ShowToast(images_.window(), fromUtf8("剪贴板中没有图片"), 1.2);
    return true;
  }

 private:
  void watch(QWidget* widget) {
    widget->installEventFilter(this);
    for (QWidget* child : widget->findChildren<QWidget*>()) child->installEventFilter(this);
  }
  ImagePanel& images_;
  bool always_;
  PasteHandler paste_;
};

void editorMenu(ImagePanel& images, const PasteHandler& paste, const QPoint& pos) {
  QWebEngineView* editor = images.form().editor();
  QMenu* menu = editor->createStandardContextMenu();
  if (!menu) return;
  // Going back, reloading or saving the editor page would only lose the
  // article being written.
  // Outside the text (the toolbar, the status line) those are all the
  // browser offers; the menu then offers the picture paste alone, as the
  // drop box does, rather than nothing.
  for (auto action : {QWebEnginePage::Back, QWebEnginePage::Forward, QWebEnginePage::Reload, QWebEnginePage::SavePage,
                      QWebEnginePage::ViewSource})
    menu->removeAction(editor->pageAction(action));
  const bool image = !clipboardImage().isNull();
  const QWebEngineContextMenuRequest* request = editor->lastContextMenuRequest();
  const bool inText = request && request->isContentEditable();
  if (image || !inText) {
    auto* action = new QAction(QStringLiteral("粘贴图片"), menu);
    action->setEnabled(image);
    QObject::connect(action, &QAction::triggered, &images, [&images, paste] { paste(images); });
    QAction* ownPaste = editor->pageAction(QWebEnginePage::Paste);
    const auto actions = menu->actions();
    menu->insertAction(actions.contains(ownPaste) ? ownPaste : (actions.isEmpty() ? nullptr : actions.first()), action);
    menu->removeAction(ownPaste);
  }
  menu->setAttribute(Qt::WA_DeleteOnClose);
  menu->popup(editor->mapToGlobal(pos));
}

void dropBoxMenu(ImagePanel& images, const PasteHandler& paste, const QPoint& pos) {
  auto* menu = new QMenu(images.dropBox());
  QAction* action = menu->addAction(QStringLiteral("粘贴图片"));
  action->setEnabled(!clipboardImage().isNull());
  QObject::connect(action, &QAction::triggered, &images, [&images, paste] { paste(images); });
  menu->setAttribute(Qt::WA_DeleteOnClose);
  menu->popup(images.dropBox()->mapToGlobal(pos));
}

}  // namespace

bool PasteImage(ImagePanel& images) {
  const QImage image = clipboardImage();
  if (image.isNull()) return false;
  const std::string staged = stagePicture(image);
  UploadResult result;
  if (staged.empty())
    result.outcome = UploadOutcome::Unreadable;
  else
    result = uploadImage(images, staged, StoreAs::ContentName);
  if (!staged.empty()) std::remove(staged.c_str());  // used up, whatever came of it
  if (!result.ok()) {
    ShowToast(images.window(), fromUtf8("上传失败：") + uploadFailureText(result), 1.6);
    return true;
  }
  recordAndShow(images, result);
  images.form().insertAtCaret(galleryInsertElement(result.address));
  ShowToast(images.window(), fromUtf8("已插入图片"), 0.8);
  return true;
}

void installImagePaste(ImagePanel& images, PasteHandler paste) {
  QWebEngineView* editor = images.form().editor();
  QGroupBox* dropBox = images.dropBox();
  new PasteKeys(images, editor, /*always=*/false, paste);
  dropBox->setFocusPolicy(Qt::ClickFocus);
  new PasteKeys(images, dropBox, /*always=*/true, paste);
  editor->setContextMenuPolicy(Qt::CustomContextMenu);
  QObject::connect(editor, &QWidget::customContextMenuRequested, &images,
                   [&images, paste](const QPoint& p) { editorMenu(images, paste, p); });
  dropBox->setContextMenuPolicy(Qt::CustomContextMenu);
  QObject::connect(dropBox, &QWidget::customContextMenuRequested, &images,
                   [&images, paste](const QPoint& p) { dropBoxMenu(images, paste, p); });
}

}  // namespace inkpost
