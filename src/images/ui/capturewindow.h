// The screen-capture window: the darkened snapshot (图片框1), the selection
// panel (画板1) painted with the undarkened snapshot, a frame and handles,
// and the hint label (透明标签1).
#pragma once

#include "images/capture.h"

#include <QDialog>
#include <QImage>
#include <QLabel>
#include <QPixmap>

#include <functional>

namespace inkpost {

class CaptureWindow;

// 画板1: shows the snapshot under itself, the frame and, when large
// enough, the eight handles.
class SelectionPanel : public QWidget {
  Q_OBJECT
 public:
  explicit SelectionPanel(CaptureWindow* owner);
  bool handlesShown() const { return handles_; }
  void setHandles(bool on) { handles_ = on; }

 protected:
  void paintEvent(QPaintEvent*) override;
  void mousePressEvent(QMouseEvent*) override;
  void mouseMoveEvent(QMouseEvent*) override;
  void mouseReleaseEvent(QMouseEvent*) override;
  void mouseDoubleClickEvent(QMouseEvent*) override;

 private:
  CaptureWindow* owner_;
  bool handles_ = false;
};

// 图片框1: the darkened snapshot; a drag on it spans a new selection,
// shown as it grows.
class PictureBox : public QLabel {
  Q_OBJECT
 public:
  explicit PictureBox(CaptureWindow* owner);

 protected:
  void mousePressEvent(QMouseEvent*) override;
  void mouseMoveEvent(QMouseEvent*) override;
  void mouseReleaseEvent(QMouseEvent*) override;

 private:
  CaptureWindow* owner_;
};

class CaptureWindow : public QDialog {
  Q_OBJECT
 public:
  // `screen` holds device pixels; `dpr` is the screen's device pixel ratio,
  // so a logical rectangle r covers the pixels of r * dpr.
  CaptureWindow(const QImage& screen, qreal dpr, QWidget* parent = nullptr);
  ~CaptureWindow() override;

  // Called after the cut-out has been written, just before the window
  // closes; the main window arms its upload timer here.
  std::function<void()> onCaptured;

  // Handlers, in window coordinates (selection handlers: panel coordinates).
  void PictureLeftDown(int x, int y);
  // While the left button is down after PictureLeftDown: the rectangle
  // spanned so far shows (frame, no handles), the rubber band.
  void PictureMouseMove(int x, int y, bool buttonDown);
  void PictureLeftUp(int x, int y);
  void PictureRightUp(int x, int y);
  void SelectionLeftDown(int x, int y, QPoint global);
  void SelectionMouseMove(int x, int y, QPoint global, bool buttonDown);
  void SelectionLeftUp();
  void SelectionDoubleClick();
  void RedrawSelection();

  SelectionPanel* panel() const { return panel_; }
  PictureBox* picture() const { return picture_; }
  QLabel* hint() const { return hint_; }
  const QImage& screenImage() const { return screenImage_; }
  qreal devicePixelRatio() const { return dpr_; }
  // The snapshot pixels under a logical rectangle.
  QImage pixelsUnder(const QRect& logical) const;

 private:
  QImage screenImage_;
  QPixmap screenPicture_;  // undarkened, drawn on the panel
  qreal dpr_;
  SelectionPanel* panel_;
  PictureBox* picture_;
  QLabel* hint_;
  int x1_ = 0, y1_ = 0, x2_ = 0, y2_ = 0;
  bool spanning_ = false;  // from a left press on the picture to its release
  // Our own sizing loop: active from a press on the panel to the release.
  bool sizing_ = false;
  capture::Zone zone_ = capture::Zone::Inside;
  QRect sizingStart_;
  QPoint pressGlobal_;

  friend class SelectionPanel;
};

class ImagePanel;

// 按钮_截图上传: snapshot of the whole screen, then the capture window.
void StartCapture(ImagePanel& images);

// 时钟_上传截图 tick: uploads temp/img.jpg once.
void UploadCapture(ImagePanel& images);

}  // namespace inkpost
