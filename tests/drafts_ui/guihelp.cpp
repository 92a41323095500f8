#include "guihelp.h"
#include "support/mainunits.h"

#include "blog/ui/editorbody.h"

#include <gtest/gtest.h>
#include <QEventLoop>
#include <QTimer>
#include <QUrl>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <QtTest/QTest>

namespace inkpost::test {

namespace {

MainWindow*& shared() {
  static MainWindow* w = nullptr;
  return w;
}

// Closes the shared window while the application still runs.
struct CloseSharedWindow : ::testing::Environment {
  void TearDown() override {
    delete shared();
    shared() = nullptr;
  }
};
[[maybe_unused]] auto* const registered = ::testing::AddGlobalTestEnvironment(new CloseSharedWindow);

}  // namespace

MainWindow& DraftsWindow::window() {
  if (shared()) return *shared();
  shared() = [] {
    auto* made = new MainWindow;
    made->show();
    inkpost::test::units(*made).editorView->load(
        QUrl::fromLocalFile(QStringLiteral(INKPOST_PROGRAM_DIR "/editor/index.html")));
    EXPECT_TRUE(QTest::qWaitFor([&] { return editorReady(inkpost::test::units(*made).editorView); }, 60000))
        << "editor page not ready";
    return made;
  }();
  return *shared();
}

}  // namespace inkpost::test
