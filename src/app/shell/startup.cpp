#include "app/shell/shell.h"

#include "app/ui/mainwindow.h"

namespace inkpost {

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
