// Shared parts of the benchmarks that start the program as a child process:
// a program folder with sites in a temporary folder, and the child start.
#pragma once

#include "common/programdir.h"
#include "shell/mainwindow.h"
#include "shell/process.h"
#include "shell/shell.h"
#include "sites/sitestore.h"
#include "support/mainunits.h"
#include "support/tempdir.h"

#include <QApplication>
#include <QComboBox>
#include <QTimer>

#include <spawn.h>
#include <unistd.h>

#include <climits>
#include <string>

extern char** environ;

namespace inkpost::bench {

// This executable's path, empty when it cannot be read.
inline std::string selfPath() {
  char buf[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  return n > 0 ? std::string(buf, static_cast<size_t>(n)) : std::string();
}

// data.mdb with `count` sites in the folder.
inline bool prepareSites(const test::TempDir& folder, int count) {
  const std::string db = folder.file("data.mdb");
  if (!createSiteDatabase(db)) return false;
  for (int i = 0; i < count; ++i) {
    SiteRecord s;
    s.webname = "blog " + std::to_string(i);
    s.weburl = "http://blog" + std::to_string(i) + ".example.org/";
    s.admin = "admin";
    s.pass = "pw";
    if (!addOrUpdateSite(db, s)) return false;
  }
  return true;
}

// The child's side: starts like inkpost-client on the program folder `dir`
// and quits at the first idle moment; exit code 0 when the site chooser
// lists `sites` sites, 3 otherwise.
inline int showWindowAndQuit(int argc, char** argv, const char* dir, int sites) {
  prepareProcess();
  QApplication app(argc, argv);
  installTranslations();
  setProgramDir(dir);
  auto w = createMainWindow();
  w->show();
  const bool listed = test::units(*w).siteChooser->count() == sites;
  QTimer::singleShot(0, &app, &QApplication::quit);
  app.exec();
  return listed ? 0 : 3;
}

// Starts `self --child <folder>`; 0 when it cannot be started.
inline pid_t startChild(std::string self, std::string folder) {
  std::string mode = "--child";
  char* args[] = {self.data(), mode.data(), folder.data(), nullptr};
  pid_t pid = 0;
  return posix_spawn(&pid, self.c_str(), nullptr, nullptr, args, environ) == 0 ? pid : 0;
}

}  // namespace inkpost::bench
