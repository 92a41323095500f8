// Start-up, shut-down and the binding table of the main window.
#pragma once

#include <memory>

namespace inkpost {

class MainWindow;

// Wires every event of the main window to its handler. Events without a
// handler stay unbound.
void bindMainWindow(MainWindow& w);

// The main window's "created" handler: runs the start-up steps in order.
void startUp(MainWindow& w);

// The main window's "about to be destroyed" handler.
void shutDown(MainWindow& w);

// A bound, started main window (what main() shows; GUI tests use it too).
std::unique_ptr<MainWindow> createMainWindow();

}  // namespace inkpost
