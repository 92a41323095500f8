// Waiting on the window thread. Every place that waits for something while
// the window stays alive (an answer of the editor page, a notice on screen,
// the second service's sign-on) runs a local event loop through this header
// and nothing else. See HACKING.md, "Waits", for what may run meanwhile.
#pragma once

#include <QElapsedTimer>
#include <QEventLoop>
#include <QPointer>
#include <QWidget>

#include <functional>
#include <vector>

namespace inkpost {

// Whether clicks and keys reach the windows while a wait runs. Timers,
// network and page callbacks, and painting always run.
enum class WaitInput { Excluded, Delivered };

// A local event loop that runs until finish() or until its time is up.
class Wait {
 public:
  explicit Wait(WaitInput input = WaitInput::Excluded) : input_(input) {}
  Wait(const Wait&) = delete;
  Wait& operator=(const Wait&) = delete;

  // Ends run(). Before run() it makes run() return at once.
  void finish();
  bool finished() const { return finished_; }

  // Runs the loop until finish() or timeoutMs (negative: no limit); true
  // when it was finished.
  bool run(int timeoutMs = -1);

 private:
  WaitInput input_;
  bool finished_ = false;
  QEventLoop* loop_ = nullptr;
};

// Runs the loop until done() holds, checked every pollMs, or timeoutMs
// passed; true when done() held.
bool waitUntil(const std::function<bool()>& done, int timeoutMs, int pollMs = 50,
               WaitInput input = WaitInput::Excluded);

// Runs the loop for ms milliseconds.
void waitFor(int ms, WaitInput input = WaitInput::Excluded);

// Runs `work` on a thread of its own and waits (a Wait with `input`) until
// it is done, so a blocking exchange with a slow server leaves the window
// painted. `work` must not touch widgets: copy what it needs in, put results
// back after the call. Off the window thread (or without an application) it
// runs `work` right there. An exception in `work` comes out of the call.
// With input delivered, an InputGate decides where it may go.
void runOffWindowThread(const std::function<void()>& work, WaitInput input = WaitInput::Excluded);

// While a gate lives, the clicks, keys, wheel turns, drops, shortcuts and
// close requests meant for `window` reach only the widgets it keeps open
// (and what they open: a list's popup, a dialog); every other one is held
// back and `blocked` is called (at most once a second) so the user is told.
// Other windows (notices, dialogs, the Tags picker) are not touched.
class InputGate : public QObject {
 public:
  InputGate(QWidget* window, std::vector<QWidget*> open, std::function<void()> blocked);
  ~InputGate() override;
  InputGate(const InputGate&) = delete;
  InputGate& operator=(const InputGate&) = delete;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  bool letThrough(QObject* target) const;
  QPointer<QWidget> window_;
  std::vector<QPointer<QWidget>> open_;
  std::function<void()> blocked_;
  QElapsedTimer clock_;
  qint64 lastTold_ = -1;
};

// From a worker thread: runs `fn` on the thread of `context` (the window
// thread) and returns when it has run. On that thread it runs `fn` at once.
void runOnThreadOf(QObject* context, const std::function<void()>& fn);

// Lets a handler run once at a time: the handler holds a guard on its own
// flag, and a second entry (from a timer or callback that fired while the
// first one waits) is refused and does nothing.
//
//   static bool publishing = false;
//   ReentryGuard guard(publishing);
//   if (!guard.entered()) return;
class ReentryGuard {
 public:
  explicit ReentryGuard(bool& running) : running_(running), entered_(!running) { running_ = true; }
  ~ReentryGuard() {
    if (entered_) running_ = false;
  }
  ReentryGuard(const ReentryGuard&) = delete;
  ReentryGuard& operator=(const ReentryGuard&) = delete;
  bool entered() const { return entered_; }

 private:
  bool& running_;
  bool entered_;
};

}  // namespace inkpost
