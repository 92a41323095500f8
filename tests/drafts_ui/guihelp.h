// Shared helpers of the drafts GUI tests: a main window with a ready editor
// and synchronous scripts.
#pragma once

#include "shell/mainwindow.h"
#include "support/guiwait.h"  // runScript
#include "support/tempdir.h"

#include <QString>
#include <QVariant>

#include <memory>

class QWebEngineView;

namespace inkpost::test {

// One main window whose editor page is ready, kept for the whole test run
// (starting the editor costs about a second) and closed at its end.
class DraftsWindow {
 public:
  static MainWindow& window();
};

}  // namespace inkpost::test
