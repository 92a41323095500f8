// Blocking exchanges with a slow blog without freezing the window: the work
// runs on a thread of its own while the window thread keeps painting (clicks
// and keys wait until the work is done), with a wait cursor and a status line
// that names the step.
#pragma once

#include <QPointer>
#include <QString>

#include <functional>
#include <string>

class QMainWindow;
class QObject;

namespace inkpost {

// Runs `work` on a worker thread and returns when it is done; meanwhile the
// window thread runs its event loop without user input. Called off the
// window thread (or without an application), runs `work` right there.
void runOffWindowThread(const std::function<void()>& work);

// Runs `fn` on the thread of `context` (the window thread) and returns when
// it has run; called on that thread, runs it at once.
void runOnThreadOf(QObject* context, const std::function<void()>& fn);

// The wait cursor and a step text in the window's status line for as long as
// it lives; both are put back afterwards.
class BusyStep {
 public:
  BusyStep(QMainWindow& window, const std::string& gbkText);
  ~BusyStep();
  BusyStep(const BusyStep&) = delete;
  BusyStep& operator=(const BusyStep&) = delete;
  void setText(const std::string& gbkText);

 private:
  QPointer<QMainWindow> window_;
  QString previous_;
};

}  // namespace inkpost
