#include "images/ui/capturewindow.h"

#include "common/privatefile.h"
#include "common/programdir.h"
#include "common/ui/modal.h"
#include "common/ui/toast.h"
#include "images/gallery.h"
#include "images/ui/gallery.h"
#include "images/ui/imagepanel.h"
#include "images/ui/upload.h"
#include "net/encoding.h"

#include <QBuffer>
#include <QCursor>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QTimer>

#include <cmath>
#include <cstdio>

namespace inkpost {
namespace {

// 0xFFFF00 as a Windows colour value: red 0, green 255, blue 255.
const QColor kFrameColour(0, 255, 255);

Qt::CursorShape cursorFor(capture::Zone z) {
  using capture::Zone;
  switch (z) {
    case Zone::TopLeft:
    case Zone::BottomRight:
      return Qt::SizeFDiagCursor;
    case Zone::TopRight:
    case Zone::BottomLeft:
      return Qt::SizeBDiagCursor;
    case Zone::Top:
    case Zone::Bottom:
      return Qt::SizeVerCursor;
    case Zone::Left:
    case Zone::Right:
      return Qt::SizeHorCursor;
    case Zone::Inside:
      return Qt::SizeAllCursor;
  }
  return Qt::SizeAllCursor;
}

}  // namespace

SelectionPanel::SelectionPanel(CaptureWindow* owner) : QWidget(owner), owner_(owner) {
  setObjectName(QStringLiteral("画板1"));
  setMouseTracking(true);
}

void SelectionPanel::paintEvent(QPaintEvent*) {
  QPainter p(this);
  const QRect r = geometry();
  p.drawImage(QRect(0, 0, r.width(), r.height()), owner_->screenImage_,
              QRectF(r.x() * owner_->dpr_, r.y() * owner_->dpr_, r.width() * owner_->dpr_, r.height() * owner_->dpr_));
  const int w = r.width(), h = r.height();
  p.setPen(kFrameColour);
  // The frame runs along the last column and row too, so all four sides show.
  p.drawLine(0, 0, w - 1, 0);
  p.drawLine(0, 0, 0, h - 1);
  p.drawLine(w - 1, 0, w - 1, h - 1);
  p.drawLine(0, h - 1, w - 1, h - 1);
  if (handles_) {
    QRect squares[8];
    capture::handleSquares(w, h, squares);
    for (const QRect& s : squares) p.fillRect(s, kFrameColour);
  }
}

void SelectionPanel::mousePressEvent(QMouseEvent* e) {
  if (e->button() == Qt::LeftButton)
    owner_->SelectionLeftDown(e->position().toPoint().x(), e->position().toPoint().y(), e->globalPosition().toPoint());
}

void SelectionPanel::mouseMoveEvent(QMouseEvent* e) {
  owner_->SelectionMouseMove(e->position().toPoint().x(), e->position().toPoint().y(), e->globalPosition().toPoint(),
                             e->buttons() & Qt::LeftButton);
}

void SelectionPanel::mouseReleaseEvent(QMouseEvent* e) {
  if (e->button() == Qt::LeftButton) owner_->SelectionLeftUp();
}

void SelectionPanel::mouseDoubleClickEvent(QMouseEvent* e) {
  if (e->button() == Qt::LeftButton) owner_->SelectionDoubleClick();
}

PictureBox::PictureBox(CaptureWindow* owner) : QLabel(owner), owner_(owner) {
  setObjectName(QStringLiteral("图片框1"));
}

void PictureBox::mousePressEvent(QMouseEvent* e) {
  if (e->button() == Qt::LeftButton) owner_->PictureLeftDown(e->position().toPoint().x(), e->position().toPoint().y());
}

void PictureBox::mouseMoveEvent(QMouseEvent* e) {
  const QPoint p = e->position().toPoint();
  owner_->PictureMouseMove(p.x(), p.y(), e->buttons() & Qt::LeftButton);
}

void PictureBox::mouseReleaseEvent(QMouseEvent* e) {
  const QPoint p = e->position().toPoint();
  if (e->button() == Qt::LeftButton) owner_->PictureLeftUp(p.x(), p.y());
  if (e->button() == Qt::RightButton) owner_->PictureRightUp(p.x(), p.y());
}

CaptureWindow::CaptureWindow(const QImage& screen, qreal dpr, QWidget* parent)
    : QDialog(parent, Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint), screenImage_(screen), dpr_(dpr) {
  setObjectName(QStringLiteral("截图窗口"));
  // The window covers the screen from its top-left corner.
  const QSize logical(static_cast<int>(std::lround(screen.width() / dpr)),
                      static_cast<int>(std::lround(screen.height() / dpr)));
  setGeometry(QRect(QPoint(0, 0), logical));
  setFixedSize(logical);

  picture_ = new PictureBox(this);
  picture_->setGeometry(QRect(QPoint(0, 0), logical));
  QPixmap dark = QPixmap::fromImage(capture::DarkenImage(screen));
  dark.setDevicePixelRatio(dpr);
  picture_->setPixmap(dark);

  screenPicture_ = QPixmap::fromImage(screen);
  screenPicture_.setDevicePixelRatio(dpr);

  panel_ = new SelectionPanel(this);
  panel_->setGeometry(0, 0, 0, 0);
  panel_->hide();

  hint_ = new QLabel(QStringLiteral("双击可上传截图。ESC退出截图。"), this);
  hint_->setObjectName(QStringLiteral("透明标签1"));
  hint_->setAttribute(Qt::WA_TranslucentBackground);
  hint_->setStyleSheet(QStringLiteral("color: rgb(0,255,255);"));
  hint_->adjustSize();
  hint_->hide();
}

CaptureWindow::~CaptureWindow() = default;

QImage CaptureWindow::pixelsUnder(const QRect& logical) const {
  const QRect device(
      static_cast<int>(std::lround(logical.x() * dpr_)), static_cast<int>(std::lround(logical.y() * dpr_)),
      static_cast<int>(std::lround(logical.width() * dpr_)), static_cast<int>(std::lround(logical.height() * dpr_)));
  return screenImage_.copy(device);
}

void CaptureWindow::PictureLeftDown(int x, int y) {
  panel_->setGeometry(panel_->x(), panel_->y(), 0, 0);
  panel_->hide();
  x1_ = x;
  y1_ = y;
  hint_->hide();
  spanning_ = true;
}

void CaptureWindow::PictureMouseMove(int x, int y, bool buttonDown) {
  // x1 = 0: no new rectangle is pending, nothing to show.
  if (!spanning_ || !buttonDown || x1_ == 0) return;
  panel_->setHandles(false);
  panel_->setGeometry(capture::spanned(x1_, y1_, x, y));
  panel_->show();
  panel_->raise();
}

void CaptureWindow::PictureLeftUp(int x, int y) {
  spanning_ = false;
  x2_ = x;
  y2_ = y;
  RedrawSelection();
  // A rectangle too small to keep takes its rubber band with it.
  if (panel_->width() < capture::kMinSelection || panel_->height() < capture::kMinSelection) panel_->hide();
}

void CaptureWindow::PictureRightUp(int x, int y) {
  PictureLeftDown(x, y);
  spanning_ = false;
}

void CaptureWindow::RedrawSelection() {
  if (x1_ != 0) panel_->setGeometry(capture::spanned(x1_, y1_, x2_, y2_));
  const QRect r = panel_->geometry();
  if (r.width() < capture::kMinSelection || r.height() < capture::kMinSelection) return;
  panel_->setHandles(r.width() > capture::kHandleThreshold && r.height() > capture::kHandleThreshold);
  hint_->move(r.left(), r.top() - 20);
  hint_->show();
  panel_->show();
  panel_->raise();
  hint_->raise();
  panel_->repaint();
  hint_->repaint();
  x1_ = x2_ = y1_ = y2_ = 0;
}

void CaptureWindow::SelectionMouseMove(int x, int y, QPoint global, bool buttonDown) {
  if (sizing_ && buttonDown) {
    const QPoint d = global - pressGlobal_;
    const QRect r = capture::dragSelection(sizingStart_, zone_, d.x(), d.y());
    panel_->setGeometry(r);
    hint_->move(r.left(), r.top() - 20);
    return;
  }
  const Qt::CursorShape shape = cursorFor(capture::zoneAt(x, y, panel_->width(), panel_->height()));
  if (panel_->cursor().shape() != shape) panel_->setCursor(shape);
}

void CaptureWindow::SelectionLeftDown(int x, int y, QPoint global) {
  zone_ = capture::zoneAt(x, y, panel_->width(), panel_->height());
  if (zone_ != capture::Zone::Inside) panel_->setCursor(cursorFor(zone_));
  sizing_ = true;
  sizingStart_ = panel_->geometry();
  pressGlobal_ = global;
}

void CaptureWindow::SelectionLeftUp() {
  sizing_ = false;
  RedrawSelection();
}

void CaptureWindow::SelectionDoubleClick() {
  sizing_ = false;
  // The cut-out is the snapshot under the panel: no frame, no handles.
  const QImage cut = pixelsUnder(panel_->geometry());
  const std::string bmp = programPath("temp/img.bmp");
  const std::string jpg = programPath("temp/img.jpg");
  QByteArray bmpBytes;
  QBuffer buffer(&bmpBytes);
  buffer.open(QIODevice::WriteOnly);
  if (cut.isNull() || !cut.save(&buffer, "BMP") ||
      !replacePrivateFile(bmp, std::string_view(bmpBytes.constData(), static_cast<size_t>(bmpBytes.size()))))
    return;
  const QImage reread = QImage::fromData(bmpBytes, "BMP");
  if (!capture::writeJpeg(reread, jpg)) return;
  if (onCaptured) onCaptured();
  accept();
}

void StartCapture(ImagePanel& images) {
  QScreen* screen = QGuiApplication::primaryScreen();
  if (!screen) return;
  const QPixmap shot = screen->grabWindow(0);
  CaptureWindow window(shot.toImage(), shot.devicePixelRatio(), images.window());
  QTimer* timer = images.captureTimer();
  window.onCaptured = [timer] { timer->start(100); };
  runModal(window);
}

void UploadCapture(ImagePanel& images) {
  images.captureTimer()->stop();  // fires once
  QWidget* window = images.window();
  ShowToast(window, fromUtf8("准备上传，请稍后…"), 1.2);
  const std::string jpg = programPath("temp/img.jpg");
  const UploadResult result = uploadImage(images, jpg, StoreAs::ContentName);
  // The cut-out has done its work, whatever came of the upload.
  std::remove(jpg.c_str());
  std::remove(programPath("temp/img.bmp").c_str());
  if (!result.ok()) {
    ShowToast(window, fromUtf8("       上传失败！       "), 1.0);
    return;
  }
  // The thumbnail shows while the notice is up.
  recordAndShow(images, result);
  ShowToast(window, fromUtf8("       上传成功！       "), 1.0);
}

}  // namespace inkpost
