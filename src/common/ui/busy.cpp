#include "common/ui/busy.h"

#include "common/ui/gbk.h"

#include <QApplication>
#include <QStatusBar>
#include <QWidget>

namespace inkpost {

StatusLine StatusLine::of(QWidget& window) {
  StatusLine line;
  line.bar_ = window.findChild<QStatusBar*>(QStringLiteral("状态栏"));
  return line;
}

QString StatusLine::text() const { return bar_ ? bar_->currentMessage() : QString(); }

void StatusLine::flash(const QString& text, int ms) {
  if (bar_) bar_->showMessage(text, ms);
}

void StatusLine::setText(const QString& text) {
  if (!bar_) return;
  if (text.isEmpty())
    bar_->clearMessage();
  else
    bar_->showMessage(text);
}

BusyScope::BusyScope(StatusLine line, const std::string& gbkText) : line_(line), previous_(line_.text()) {
  line_.setText(toQ(gbkText));
  QApplication::setOverrideCursor(Qt::WaitCursor);
}

BusyScope::~BusyScope() {
  QApplication::restoreOverrideCursor();
  line_.setText(previous_);
}

void BusyScope::setText(const std::string& gbkText) { line_.setText(toQ(gbkText)); }

}  // namespace inkpost
