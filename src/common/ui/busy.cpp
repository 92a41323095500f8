#include "common/ui/busy.h"

#include "common/ui/gbk.h"
#include "common/ui/unitnames.h"

#include <QApplication>
#include <QLabel>
#include <QStatusBar>
#include <QWidget>

namespace inkpost {

StatusLine::StatusLine(QStatusBar* bar) : bar_(bar) {}

QString StatusLine::text() const { return bar_ ? bar_->currentMessage() : QString(); }

void StatusLine::flash(const QString& text, int ms) {
  if (bar_) bar_->showMessage(text, ms);
}

namespace {

QLabel* modeLabel(QStatusBar* bar, bool make) {
  const QString name = QString::fromUtf8(unitname::kModeLabel);
  auto* label = bar->findChild<QLabel*>(name, Qt::FindDirectChildrenOnly);
  if (!label && make) {
    label = new QLabel(bar);
    label->setObjectName(name);
    bar->addPermanentWidget(label);
  }
  return label;
}

}  // namespace

void StatusLine::setMode(const QString& text) {
  if (!bar_) return;
  if (QLabel* label = modeLabel(bar_, !text.isEmpty())) {
    label->setText(text);
    label->setVisible(!text.isEmpty());
  }
}

QString StatusLine::mode() const {
  const QLabel* label = bar_ ? modeLabel(bar_, false) : nullptr;
  return label ? label->text() : QString();
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
