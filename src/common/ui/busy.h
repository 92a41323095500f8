// The main window's status line 状态栏 and the busy state of a long action:
// its text in the status line and the wait cursor, both put back when the
// action ends. A handler that waits keeps the window painted through
// common/ui/wait.h; BusyScope only says what is going on.
#pragma once

#include <QPointer>
#include <QString>

#include <string>

class QStatusBar;
class QWidget;

namespace inkpost {

// The status line of a window, found by its unit name; a window without one
// gives a line that shows nothing.
class StatusLine {
 public:
  static StatusLine of(QWidget& window);
  QString text() const;
  void setText(const QString& text);
  // A short message that goes away after `ms` (an outcome that needs no
  // notice, "已手动保存" say).
  void flash(const QString& text, int ms = 4000);

 private:
  QPointer<QStatusBar> bar_;
};

class BusyScope {
 public:
  // gbkText goes to the status line; the cursor becomes the wait cursor.
  BusyScope(StatusLine line, const std::string& gbkText);
  ~BusyScope();
  BusyScope(const BusyScope&) = delete;
  BusyScope& operator=(const BusyScope&) = delete;

  // A new text while the action goes on (the next attempt, say).
  void setText(const std::string& gbkText);

 private:
  StatusLine line_;
  QString previous_;
};

}  // namespace inkpost
