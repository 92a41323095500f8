// Shared helpers of the drafts GUI tests: a main window with a ready editor
// and synchronous scripts.
#pragma once

#include "app/ui/mainwindow.h"
#include "support/tempdir.h"

#include <QString>
#include <QVariant>

#include <memory>

class QWebEngineView;

namespace inkpost::test {

// Runs script in view's page and returns its result (invalid on timeout).
QVariant runScript(QWebEngineView* view, const QString& script, int timeoutMs = 10000);

// One main window whose editor page is ready, kept for the whole test run
// (starting the editor costs about a second) and closed at its end.
class DraftsWindow {
 public:
  static MainWindow& window();
};

}  // namespace inkpost::test
