// Start-up, shut-down and the binding table of the main window.
#pragma once

#include <functional>
#include <memory>
#include <string>

class QWidget;

namespace inkpost {

class MainWindow;

// Wires every event of the main window to its handler. Events without a
// handler stay unbound.
void bindMainWindow(MainWindow& w);

// The main window's "created" handler: runs the start-up steps in order.
void startUp(MainWindow& w);

// The status line's first step on a window without a chosen site: add a
// blog, or choose one; nothing once a site is chosen.
void showFirstStepHint(MainWindow& w);

// The main window's "about to be destroyed" handler.
void shutDown(MainWindow& w);

// Runs an event handler. An exception that escapes it ends in a notice over
// window saying what failed ("<what>时出错：<reason>…") and the program goes
// on; the fault guard's internal-error report stays the last resort for
// faults outside the handlers. gbkWhat names the action ("发布文章").
void runGuarded(QWidget* window, const std::string& gbkWhat, const std::function<void()>& handler);

// The notice runGuarded shows (GBK).
std::string handlerFailedNotice(const std::string& gbkWhat, const std::string& reason);

// A bound, started main window (what main() shows; GUI tests use it too).
std::unique_ptr<MainWindow> createMainWindow();

}  // namespace inkpost
