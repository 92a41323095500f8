#include "app/shell/shell.h"

#include "app/ui/mainwindow.h"

#include <QCoreApplication>

#include <unistd.h>

#include <cstdlib>

namespace inkpost {

void prepareProcess() {
  // Chromium refuses to start as root with its sandbox on; ordinary users
  // keep it.
  if (geteuid() == 0) setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 0);
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
}

void startUp(MainWindow& w) {
  (void)w;
}

void shutDown(MainWindow& w) {
  (void)w;
}

std::unique_ptr<MainWindow> createMainWindow() {
  auto w = std::make_unique<MainWindow>();
  bindMainWindow(*w);
  startUp(*w);
  return w;
}

}  // namespace inkpost
