#include "common/ui/wait.h"

#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QMetaObject>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <exception>
#include <thread>

namespace inkpost {

void Wait::finish() {
  finished_ = true;
  if (loop_) loop_->quit();
}

bool Wait::run(int timeoutMs) {
  if (finished_) return true;
  QEventLoop loop;
  QTimer timer;
  if (timeoutMs >= 0) {
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    timer.start(timeoutMs);
  }
  loop_ = &loop;
  loop.exec(input_ == WaitInput::Excluded ? QEventLoop::ExcludeUserInputEvents : QEventLoop::AllEvents);
  loop_ = nullptr;
  return finished_;
}

bool waitUntil(const std::function<bool()>& done, int timeoutMs, int pollMs, WaitInput input) {
  QElapsedTimer clock;
  clock.start();
  while (!done()) {
    const qint64 left = timeoutMs - clock.elapsed();
    if (left <= 0) return false;
    Wait wait(input);
    wait.run(static_cast<int>(std::min<qint64>(left, pollMs)));
  }
  return true;
}

void waitFor(int ms, WaitInput input) {
  Wait wait(input);
  wait.run(ms < 0 ? 0 : ms);
}

void runOffWindowThread(const std::function<void()>& work, WaitInput input) {
  QCoreApplication* app = QCoreApplication::instance();
  if (!app || QThread::currentThread() != app->thread()) {
    work();
    return;
  }
  Wait wait(input);
  QObject receiver;  // lives on the window thread: the finish is queued to it
  std::exception_ptr failure;
  std::thread worker([&] {
    try {
      work();
    } catch (...) {
      failure = std::current_exception();
    }
    QMetaObject::invokeMethod(
        &receiver, [&wait] { wait.finish(); }, Qt::QueuedConnection);
  });
  wait.run();
  worker.join();
  if (failure) std::rethrow_exception(failure);
}

InputGate::InputGate(QWidget* window, std::vector<QWidget*> open, std::function<void()> blocked)
    : window_(window), blocked_(std::move(blocked)) {
  for (QWidget* w : open) open_.emplace_back(w);
  clock_.start();
  qApp->installEventFilter(this);
}

InputGate::~InputGate() { qApp->removeEventFilter(this); }

namespace {

bool isInput(QEvent::Type type) {
  switch (type) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
    case QEvent::Close:
    case QEvent::ContextMenu:
      return true;
    default:
      return false;
  }
}

// The widget itself or one of its parents (across windows: a list's popup
// belongs to its list).
bool within(const QWidget* w, const QWidget* ancestor) {
  for (; w; w = w->parentWidget())
    if (w == ancestor) return true;
  return false;
}

}  // namespace

bool InputGate::letThrough(QObject* target) const {
  if (auto* action = qobject_cast<QAction*>(target)) {
    // A shortcut counts where its action lives: the editor's own (粘贴为纯文本) goes.
    for (QObject* o : action->associatedObjects())
      if (auto* w = qobject_cast<QWidget*>(o))
        for (const QPointer<QWidget>& open : open_)
          if (open && within(w, open)) return true;
    return false;
  }
  auto* w = qobject_cast<QWidget*>(target);
  if (!w || !window_) return true;
  for (const QPointer<QWidget>& open : open_)
    if (open && within(w, open)) return true;
  // Only what belongs to the gated window is held back.
  return w->window() != window_ && !(w == window_);
}

bool InputGate::eventFilter(QObject* watched, QEvent* event) {
  if (!isInput(event->type()) || letThrough(watched)) return false;
  if (event->type() == QEvent::Close) event->ignore();
  const qint64 now = clock_.elapsed();
  const bool tell = event->type() == QEvent::MouseButtonPress || event->type() == QEvent::KeyPress ||
                    event->type() == QEvent::Close || event->type() == QEvent::Drop;
  if (tell && blocked_ && (lastTold_ < 0 || now - lastTold_ > 1000)) {
    lastTold_ = now;
    blocked_();
  }
  return true;
}

void runOnThreadOf(QObject* context, const std::function<void()>& fn) {
  if (!context || QThread::currentThread() == context->thread()) {
    fn();
    return;
  }
  QMetaObject::invokeMethod(context, fn, Qt::BlockingQueuedConnection);
}

}  // namespace inkpost
