#include "app/shell/shell.h"
#include "app/ui/mainwindow.h"
#include "app/ui/process.h"

#include <QApplication>

int main(int argc, char** argv) {
  inkpost::prepareProcess();
  QApplication app(argc, argv);
  int rc;
  {
    auto window = inkpost::createMainWindow();
    window->show();
    rc = app.exec();
  }  // the window is destroyed here: shut-down runs before the process ends
  return rc;
}
