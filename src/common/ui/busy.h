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

// A window's status line, as the handlers of long actions see it; a line
// made without a bar (or whose bar is gone) shows nothing.
class StatusLine {
 public:
  StatusLine() = default;
  explicit StatusLine(QStatusBar* bar);
  QString text() const;
  void setText(const QString& text);
  // A short message that goes away after `ms` (an outcome that needs no
  // notice, "已手动保存" say).
  void flash(const QString& text, int ms = 4000);
  // What the window is working on ("修改：<title>"): a text at the line's
  // right end that stays while messages come and go; empty removes it.
  void setMode(const QString& text);
  QString mode() const;

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
