#include "blog/ui/offthread.h"

#include "app/ui/gbk.h"

#include <QApplication>
#include <QEventLoop>
#include <QMainWindow>
#include <QMetaObject>
#include <QStatusBar>
#include <QThread>

#include <exception>
#include <thread>

namespace inkpost {

void runOffWindowThread(const std::function<void()>& work) {
  QCoreApplication* app = QCoreApplication::instance();
  if (!app || QThread::currentThread() != app->thread()) {
    work();
    return;
  }
  QEventLoop loop;
  std::exception_ptr failure;
  std::thread worker([&] {
    try {
      work();
    } catch (...) {
      failure = std::current_exception();
    }
    // Queued: delivered by loop.exec() even when the work ends before it runs.
    QMetaObject::invokeMethod(&loop, [&loop] { loop.quit(); }, Qt::QueuedConnection);
  });
  loop.exec(QEventLoop::ExcludeUserInputEvents);
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

BusyStep::BusyStep(QMainWindow& window, const std::string& gbkText) : window_(&window) {
  previous_ = window.statusBar()->currentMessage();
  window.statusBar()->showMessage(toQ(gbkText));
  QApplication::setOverrideCursor(Qt::WaitCursor);
  window.statusBar()->repaint();
}

BusyStep::~BusyStep() {
  QApplication::restoreOverrideCursor();
  if (window_) window_->statusBar()->showMessage(previous_);
}

void BusyStep::setText(const std::string& gbkText) {
  if (!window_) return;
  window_->statusBar()->showMessage(toQ(gbkText));
  window_->statusBar()->repaint();
}

}  // namespace inkpost
