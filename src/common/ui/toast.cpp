#include "common/ui/toast.h"

#include "common/ui/gbk.h"
#include "common/ui/wait.h"

#include <QApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QPainterPath>
#include <QPalette>
#include <QRegion>
#include <QScreen>
#include <QTimer>

#include <algorithm>
#include <cmath>

namespace inkpost {
namespace {

// The notification state: one notice at a time.
struct ToastState {
  std::string text;
  double seconds = 0;
  QPointer<QWidget> parent;
  bool hasParent = false;  // a null parent is valid; a destroyed one is not
  QPointer<ToastWindow> window;
  QPointer<QTimer> delayTimer;
  QTimer* ownDelayTimer = nullptr;
  // Every text shown or queued since the last clear, oldest first, and the
  // factor on every display time (tests run notices faster).
  std::vector<std::string> history;
  double scale = 1.0;
};

ToastState& state() {
  static ToastState s;
  return s;
}

int scaled(int ms) {
  double v = ms * state().scale;
  return v <= 0 ? 0 : static_cast<int>(v);
}

// Destroys the open notice, if any. Its modal wait ends with it.
void closeOpenToast() {
  if (ToastWindow* w = state().window) {
    state().window = nullptr;
    w->hide();
    delete w;
  }
}

// Opens the notice from the state modally and returns once it has closed.
void runToast() {
  ToastState& s = state();
  QWidget* parent = s.parent;
  if (s.hasParent && !parent) return;  // the parent went away meanwhile
  closeOpenToast();                    // a delayed notice that comes due replaces the one on screen
  QPointer<ToastWindow> w = new ToastWindow(parent, s.text, s.seconds);
  s.window = w;
  // Modal: input reaches the notice only, while timers and pages go on.
  Wait wait(WaitInput::Delivered);
  QObject::connect(w, &ToastWindow::finished, w, [&wait] { wait.finish(); });
  QObject::connect(w, &QObject::destroyed, [&wait] { wait.finish(); });
  w->open();
  wait.run();
  if (w) {
    if (s.window == w) s.window = nullptr;
    delete w.data();
  }
}

void onDelayTick(QTimer* timer) {
  timer->setInterval(0);
  timer->stop();
  runToast();
}

QTimer* delayTimer() {
  ToastState& s = state();
  if (s.delayTimer) return s.delayTimer;
  if (!s.ownDelayTimer) {
    s.ownDelayTimer = new QTimer(qApp);
    QTimer* t = s.ownDelayTimer;
    QObject::connect(t, &QTimer::timeout, t, [t] { onDelayTick(t); });
  }
  return s.ownDelayTimer;
}

constexpr int kNoticePadding = 12;

}  // namespace

NoticeSize noticeSize(std::string_view gbkText, int besideWidth) {
  // 12 pixels a byte of the longest line, 2.5 times as wide as tall: short
  // notices keep their designed size. A line longer than the window it
  // stands over wraps at that width instead of covering everything.
  size_t longest = 0;
  int lines = 0;
  for (size_t start = 0; start <= gbkText.size(); ++lines) {
    size_t end = gbkText.find('\n', start);
    if (end == std::string_view::npos) end = gbkText.size();
    longest = std::max(longest, end - start);
    start = end + 1;
  }
  NoticeSize size;
  size.lines = std::max(lines, 1);
  size.width = static_cast<int>(static_cast<double>(longest) * 12.0);
  const int limit = std::max(besideWidth - 40, 360);
  if (size.width > limit) {
    size.width = limit;
    size.wrapped = true;
  }
  size.height = static_cast<int>(size.width / 2.5);
  if (size.wrapped) size.height = std::min(size.height, 96);  // grown to the text in applyGeometry
  return size;
}

ToastWindow::ToastWindow(QWidget* parent, const std::string& gbkText, double seconds)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint), text_(gbkText) {
  setObjectName(QStringLiteral("显示窗口"));
  setWindowModality(Qt::ApplicationModal);
  resize(306, 110);  // designed size, replaced below
  label_ = new QLabel(this);
  label_->setObjectName(QStringLiteral("透明标签1"));
  label_->setAlignment(Qt::AlignCenter);
  label_->setAttribute(Qt::WA_TranslucentBackground);
  // Light text on a dark plate, readable over any window.
  QPalette pal = palette();
  pal.setColor(QPalette::Window, QColor(48, 48, 48));
  pal.setColor(QPalette::WindowText, Qt::white);
  setPalette(pal);
  setAutoFillBackground(true);
  label_->setPalette(pal);
  timer_ = new QTimer(this);
  timer_->setObjectName(QStringLiteral("时钟1"));
  timer_->setSingleShot(true);
  timer_->setTimerType(Qt::PreciseTimer);
  connect(timer_, &QTimer::timeout, this, [this] {
    hide();
    emit finished();
  });
  // Window created: interval from the duration, caption from the text.
  timer_->setInterval(static_cast<int>(std::trunc(seconds * 1000.0)));
  label_->setText(toQ(text_));
  applyGeometry();
}

void ToastWindow::open() {
  if (state().scale == 1.0) {
    timer_->start();
  } else {
    scaledTimer_ = new QTimer(this);
    scaledTimer_->setSingleShot(true);
    scaledTimer_->setTimerType(Qt::PreciseTimer);
    connect(scaledTimer_, &QTimer::timeout, timer_, &QTimer::timeout);
    scaledTimer_->start(scaled(timer_->interval()));
  }
  show();
  applyGeometry();  // the window manager may have moved it on show
}

void ToastWindow::finishNow() {
  timer_->stop();
  if (scaledTimer_) scaledTimer_->stop();
  hide();
  emit finished();
}

void ToastWindow::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  applyGeometry();
}

void ToastWindow::applyGeometry() {
  QRect p;
  if (parentWidget()) {
    QWidget* pw = parentWidget();
    p = pw->isWindow() ? pw->frameGeometry() : QRect(pw->mapToGlobal(QPoint(0, 0)), pw->size());
  } else if (QScreen* screen = QGuiApplication::primaryScreen()) {
    p = screen->geometry();
  }
  const NoticeSize size = noticeSize(text_, p.width());
  const int w = size.width;
  int h = size.height;
  label_->setWordWrap(size.wrapped);
  if (size.wrapped || size.lines > 1) {
    // Wrapped or several lines: tall enough for every line of the text.
    const int needed = label_->heightForWidth(w - 2 * kNoticePadding) + 2 * kNoticePadding;
    h = std::max(h, needed);
  }
  if (width() != w || height() != h) resize(w, h);  // raises resizeEvent again: same values
  label_->setGeometry(size.wrapped ? QRect(kNoticePadding, 0, w - 2 * kNoticePadding, h) : QRect(0, 0, w, h));
  // Rectangle edges as right/bottom exclusive, as a window rectangle has them.
  const int left = static_cast<int>(p.left() + (p.width() - w) / 2.0);
  const int top = static_cast<int>(p.top() + (p.height() - h) / 2.0);
  if (pos() != QPoint(left, top)) move(left, top);

  if (w > 1 && h > 1) {
    QPainterPath path;
    path.addRoundedRect(QRectF(0, 0, w - 1, h - 1), 2, 2);
    setMask(QRegion(path.toFillPolygon().toPolygon()));
  }
  setWindowOpacity(210.0 / 255.0);
}

void ShowToast(QWidget* parent, const std::string& gbkText, double seconds, bool delayed, int delaySeconds) {
  ToastState& s = state();
  s.text = gbkText;
  s.seconds = seconds;
  s.parent = parent;
  s.hasParent = parent != nullptr;
  state().history.push_back(gbkText);
  if (state().history.size() > 1000)
    state().history.erase(state().history.begin());  // a long run keeps the recent ones
  closeOpenToast();
  if (delayed) {
    QTimer* t = delayTimer();
    int ms = static_cast<int>(static_cast<double>(delaySeconds) * 1000.0);
    t->start(scaled(ms));
    return;
  }
  runToast();
}

void EndToast(const std::string& gbkText) {
  ToastState& s = state();
  if (s.text != gbkText) return;
  QTimer* pending = s.delayTimer ? s.delayTimer.data() : s.ownDelayTimer;
  if (pending && pending->isActive()) pending->stop();
  if (s.window && s.window->text() == gbkText) s.window->finishNow();
}

void bindToastTimer(QTimer* timer) {
  state().delayTimer = timer;
  QObject::connect(timer, &QTimer::timeout, timer, [timer] { onDelayTick(timer); });
}

ToastWindow* currentToast() { return state().window; }

std::vector<std::string> toastHistory() { return state().history; }

QStringList toastTexts() {
  QStringList out;
  for (const std::string& t : state().history) out << toQ(t);
  return out;
}

void clearToastHistory() { state().history.clear(); }

void setToastTimeScale(double scale) { state().scale = scale < 0 ? 0 : scale; }

double toastTimeScale() { return state().scale; }

}  // namespace inkpost
