#include "common/ui/gbk.h"
#include "crosspost/localdoubles.h"
#include "fault/faultguard.h"
#include "shell/datafolder.h"
#include "shell/mainwindow.h"
#include "shell/process.h"
#include "shell/shell.h"

#include <QApplication>
#include <QIcon>

#include <cstdio>
#include <cstdlib>

#include <unistd.h>
#include <string>

namespace {

QtMessageHandler previousMessageHandler = nullptr;
char** gArgv = nullptr;
bool gApplicationMade = false;

// A fatal message of Qt is a fatal run-time error: once configured, the
// fault guard reports it and ends the process with exit code -1. One while
// the QApplication is being made means the display could not be opened
// (Qt would abort, before anything can report it): the program starts
// again a few times, then ends with a message.
void onQtMessage(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  if (type == QtFatalMsg && !gApplicationMade) {
    std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
    inkpost::startAgainForDisplay(gArgv);
    std::fputs(inkpost::noDisplayMessage().c_str(), stderr);
    _exit(1);
  }
  if (type == QtFatalMsg) {
    inkpost::RaiseInternalError(inkpost::internalerror::kFatalMessage, inkpost::fromQ(message));
  }
  if (previousMessageHandler) previousMessageHandler(type, context, message);
}

// `make run` sets INKPOST_LOCAL_SPACE_PORT so that the cross-posting hosts
// reach the local sandbox's doubles; without it nothing changes.
void useLocalSandboxForCrossPosting() {
  const char* value = std::getenv("INKPOST_LOCAL_SPACE_PORT");
  if (!value || !*value) return;
  char* end = nullptr;
  const long port = std::strtol(value, &end, 10);
  if (*end != '\0' || port <= 0 || port > 65535) return;
  inkpost::useLocalSpaceDoubles(static_cast<int>(port));
  std::string flags = inkpost::spaceHostResolverSwitch(static_cast<int>(port));
  if (const char* old = std::getenv("QTWEBENGINE_CHROMIUM_FLAGS"); old && *old) {
    if (std::string(old).find(flags) != std::string::npos) return;  // a start again (startAgainForDisplay)
    flags = std::string(old) + " " + flags;
  }
  setenv("QTWEBENGINE_CHROMIUM_FLAGS", flags.c_str(), 1);
}

}  // namespace

int main(int argc, char** argv) {
  gArgv = argv;
  inkpost::prepareProcess();
  useLocalSandboxForCrossPosting();
  inkpost::keepPortableCopyInItsFolder();
  inkpost::InstallFaultGuard();
  previousMessageHandler = qInstallMessageHandler(onQtMessage);
  // Qt aborts a start whose display refuses the connection: wait for a busy
  // display a little, and end with a message when there is none.
  if (!inkpost::waitForDisplay()) {
    std::fputs(inkpost::noDisplayMessage().c_str(), stderr);
    return 1;
  }
  QApplication app(argc, argv);
  gApplicationMade = true;
  inkpost::displayOpened();
  inkpost::installTranslations();
  QGuiApplication::setDesktopFileName(QStringLiteral("org.example.InkpostClient"));
  QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("org.example.InkpostClient")));
  int rc = 0;
  // One copy per data folder: a second start brings the first to the front.
  auto instance = inkpost::openDataFolder(&rc);
  if (!instance) return rc;
  {
    auto window = inkpost::createMainWindow();
    instance->setWindow(window.get());
    window->show();
    rc = app.exec();
  }  // the window is destroyed here: shut-down runs before the process ends
  return rc;
}
