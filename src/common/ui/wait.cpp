#include "common/ui/wait.h"

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

void runOffWindowThread(const std::function<void()>& work) {
  QCoreApplication* app = QCoreApplication::instance();
  if (!app || QThread::currentThread() != app->thread()) {
    work();
    return;
  }
  Wait wait;
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

void runOnThreadOf(QObject* context, const std::function<void()>& fn) {
  if (!context || QThread::currentThread() == context->thread()) {
    fn();
    return;
  }
  QMetaObject::invokeMethod(context, fn, Qt::BlockingQueuedConnection);
}

}  // namespace inkpost
