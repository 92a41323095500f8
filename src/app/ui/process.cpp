#include "app/ui/process.h"

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

}  // namespace inkpost
