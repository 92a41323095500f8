#include "images/ui/imagepanel.h"

#include "common/ui/unit.h"
#include "common/ui/unitnames.h"

#include <QCheckBox>
#include <QChildEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <QWebEngineView>

namespace inkpost {

DropTarget::DropTarget(QObject* parent) : QObject(parent) { setObjectName(QString::fromUtf8(unitname::kDropTarget)); }

void DropTarget::registerOn(QWidget* widget) {
  if (widget_) widget_->removeEventFilter(this);
  widget_ = widget;
  widget_->setAcceptDrops(true);
  widget_->installEventFilter(this);
}

void DropTarget::alsoOn(QWidget* widget) {
  watch(widget);
  // A web view hands the drag to the widget that shows the page, which it
  // may create later.
  for (QWidget* child : widget->findChildren<QWidget*>()) watch(child);
  widget->installEventFilter(this);
}

void DropTarget::watch(QObject* object) {
  for (const auto& o : others_)
    if (o == object) return;
  others_.append(object);
  if (auto* w = qobject_cast<QWidget*>(object)) w->setAcceptDrops(true);
  object->installEventFilter(this);
}

bool DropTarget::eventFilter(QObject* watched, QEvent* event) {
  bool ours = watched == widget_;
  for (const auto& o : others_) ours |= o == watched;
  if (!ours) return false;
  if (event->type() == QEvent::ChildAdded && watched != widget_) {
    if (auto* child = qobject_cast<QWidget*>(static_cast<QChildEvent*>(event)->child())) watch(child);
    return false;
  }
  if (event->type() == QEvent::DragEnter || event->type() == QEvent::DragMove) {
    auto* e = static_cast<QDropEvent*>(event);
    if (e->mimeData()->hasUrls()) {
      e->acceptProposedAction();
      return true;
    }
  } else if (event->type() == QEvent::Drop) {
    auto* e = static_cast<QDropEvent*>(event);
    QStringList paths, addresses;
    for (const QUrl& url : e->mimeData()->urls()) {
      if (url.isLocalFile())
        paths << url.toLocalFile();
      else if (url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https"))
        addresses << url.toString(QUrl::FullyEncoded);
    }
    e->acceptProposedAction();
    if (!paths.isEmpty()) emit filesDropped(paths);
    if (!addresses.isEmpty()) emit addressesDropped(addresses);
    return true;
  }
  return false;
}

ImagePanel::ImagePanel(QWidget* parent) : QGroupBox(parent) {
  setObjectName(QString::fromUtf8(unitname::kImageGroup));
  setTitle(QStringLiteral("图片上传"));
  setFixedWidth(kWidth);
  auto* images = new QVBoxLayout(this);
  images->setContentsMargins(8, 4, 8, 6);
  images->setSpacing(4);
  auto* hint = new QLabel(
      QStringLiteral("将图片拖放到下方窗口即可上传。上传成功后，单击图片复制图片地址，双击图片插入至文本内容中。"));
  hint->setWordWrap(true);
  // Wrapped labels count in the window's minimum only with their wrapped height.
  hint->setMinimumHeight(hint->heightForWidth(kWidth - 16));
  images->addWidget(hint);
  galleryView_ = unit<QWebEngineView>(unitname::kGallery);
  galleryView_->setContextMenuPolicy(Qt::NoContextMenu);
  galleryView_->setMinimumHeight(100);
  images->addWidget(galleryView_, 1);
  autoName_ = unit<QCheckBox>(unitname::kAutoName);
  autoName_->setText(QStringLiteral("自动命名"));
  images->addWidget(autoName_);
  dropBox_ = unit<QGroupBox>(unitname::kDropBox);
  dropBox_->setFixedHeight(76);
  auto* drop = new QVBoxLayout(dropBox_);
  drop->setContentsMargins(6, 4, 6, 4);
  auto* dropHint = new QLabel(QStringLiteral("将图片拖入此框内放开即可上传，支持gif、jpg、png、bmp、webp。"));
  dropHint->setWordWrap(true);
  dropHint->setAlignment(Qt::AlignCenter);
  dropHint->setMinimumHeight(dropHint->heightForWidth(kWidth - 28));
  drop->addWidget(dropHint);
  images->addWidget(dropBox_);
  dropTarget_ = new DropTarget(this);
  auto* buttons = new QHBoxLayout;
  capture_ = unit<QPushButton>(unitname::kCaptureButton);
  capture_->setText(QStringLiteral("截图上传"));
  address_ = unit<QPushButton>(unitname::kAddressButton);
  address_->setText(QStringLiteral("链接上传"));
  buttons->addWidget(capture_);
  buttons->addWidget(address_);
  images->addLayout(buttons);
  captureTimer_ = new QTimer(this);
  captureTimer_->setObjectName(QString::fromUtf8(unitname::kCaptureTimer));
  captureTimer_->setInterval(100);
}

void ImagePanel::attach(CurrentBlog& blog, ArticleForm& form) {
  blog_ = &blog;
  form_ = &form;
}

void ImagePanel::acceptDrops() {
  dropTarget_->registerOn(dropBox_);
  dropTarget_->alsoOn(galleryView_);
}

bool ImagePanel::autoName() const { return autoName_->isChecked(); }
void ImagePanel::setAutoName(bool on) { autoName_->setChecked(on); }

}  // namespace inkpost
