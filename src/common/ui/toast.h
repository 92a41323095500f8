// The notification window: a small caption-less, translucent, rounded window
// that shows one line over a parent window and closes itself after a given
// time. Only one exists at a time; a new notice replaces an open one.
#pragma once

#include <QPointer>
#include <QWidget>

#include <string>
#include <string_view>
#include <vector>

class QLabel;
class QTimer;

namespace inkpost {

// The plate of a notice shown over a window besideWidth pixels wide: 12
// pixels a byte of its longest line and 2.5 times as wide as tall, but never
// wider than that window (less a margin; at least 360): a longer text wraps.
struct NoticeSize {
  int width = 0;
  int height = 0;  // a wrapped or several-line text grows to fit on screen
  int lines = 1;
  bool wrapped = false;
};
NoticeSize noticeSize(std::string_view gbkText, int besideWidth);

// objectName "显示窗口"; holds the label 透明标签1 and the timer 时钟1.
class ToastWindow : public QWidget {
  Q_OBJECT
 public:
  ToastWindow(QWidget* parent, const std::string& gbkText, double seconds);

  QLabel* label() const { return label_; }  // 透明标签1
  QTimer* timer() const { return timer_; }  // 时钟1
  const std::string& text() const { return text_; }

  // Starts 时钟1 (scaled by setToastTimeScale) and shows the window.
  void open();
  // Ends the notice now, as if 时钟1 had ticked.
  void finishNow();

 signals:
  // 时钟1 ticked: the notice is over.
  void finished();

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  void applyGeometry();

  std::string text_;
  QLabel* label_;
  QTimer* timer_;
  QTimer* scaledTimer_ = nullptr;
};

// Shows gbkText over parent for `seconds` seconds. The immediate form is
// modal and returns once the notice has closed. The delayed form returns at
// once; the main window's timer 时钟_载入显示窗口 opens the notice after
// delaySeconds. parent may be null (centred on the primary screen).
void ShowToast(QWidget* parent, const std::string& gbkText, double seconds, bool delayed = false, int delaySeconds = 0);

// Ends the notice with this text early: a delayed one that has not opened
// yet is dropped, an open one closes (its modal wait returns). A notice with
// another text is left alone.
void EndToast(const std::string& gbkText);

// The main window's 时钟_载入显示窗口; bound once by the binding table.
// Without a bound timer the delayed form uses a private one.
void bindToastTimer(QTimer* timer);

// ---- For tests -------------------------------------------------------------

// The notice on screen, or null.
ToastWindow* currentToast();

// Every text shown or queued by ShowToast since the last clear, oldest first
// (GBK bytes as passed), and the same as QStrings.
std::vector<std::string> toastHistory();
QStringList toastTexts();
void clearToastHistory();

// Multiplies every display time and delay (1.0 = real time; 0 closes a notice
// as soon as the event loop runs). 时钟1 still carries the nominal interval.
void setToastTimeScale(double scale);
double toastTimeScale();

}  // namespace inkpost
