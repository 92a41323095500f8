#include "app/shell/shell.h"
#include "app/ui/gbk.h"
#include "app/ui/mainwindow.h"
#include "app/ui/process.h"
#include "fault/faultguard.h"

#include <QApplication>

namespace {

QtMessageHandler previousMessageHandler = nullptr;

// A fatal message of Qt is a fatal run-time error: once configured, the
// fault guard reports it and ends the process with exit code -1.
void onQtMessage(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  if (type == QtFatalMsg) {
    inkpost::RaiseInternalError(inkpost::internalerror::kFatalMessage, inkpost::fromQ(message));
  }
  if (previousMessageHandler) previousMessageHandler(type, context, message);
}

}  // namespace

int main(int argc, char** argv) {
  inkpost::prepareProcess();
  inkpost::InstallFaultGuard();
  previousMessageHandler = qInstallMessageHandler(onQtMessage);
  QApplication app(argc, argv);
  int rc;
  {
    auto window = inkpost::createMainWindow();
    window->show();
    rc = app.exec();
  }  // the window is destroyed here: shut-down runs before the process ends
  return rc;
}
