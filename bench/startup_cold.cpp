// Cold start: a fresh process from exec to an idle main window whose site
// chooser is filled (20 sites). The benchmark re-runs itself in a child mode
// so every iteration pays for process, Qt and web engine start-up.
#include "app/programdir.h"
#include "app/shell/shell.h"
#include "app/ui/mainwindow.h"
#include "support/mainunits.h"
#include "app/ui/process.h"
#include "sites/sitestore.h"
#include "support/tempdir.h"

#include <QApplication>
#include <QComboBox>
#include <QTimer>
#include <benchmark/benchmark.h>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <cstring>
#include <string>

extern char** environ;

namespace {

std::string self;
std::string programFolder;

// Child: start like inkpost-client, quit at the first idle moment; the exit
// code says whether the chooser was filled.
int child(int argc, char** argv, const char* dir) {
  inkpost::prepareProcess();
  QApplication app(argc, argv);
  inkpost::setProgramDir(dir);
  auto w = inkpost::createMainWindow();
  w->show();
  const bool filled = inkpost::test::units(*w).siteChooser->count() == 20;
  QTimer::singleShot(0, &app, &QApplication::quit);
  app.exec();
  return filled ? 0 : 3;
}

void BM_ColdStartToIdle(benchmark::State& state) {
  for (auto _ : state) {
    std::string mode = "--child";
    char* args[] = {self.data(), mode.data(), programFolder.data(), nullptr};
    pid_t pid = 0;
    if (posix_spawn(&pid, self.c_str(), nullptr, nullptr, args, environ) != 0) {
      state.SkipWithError("cannot start the child");
      break;
    }
    int status = 0;
    waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      state.SkipWithError("the child did not reach a filled, idle window");
      break;
    }
  }
}
BENCHMARK(BM_ColdStartToIdle)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "--child") == 0) return child(argc, argv, argv[2]);
  char buf[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return 1;
  self.assign(buf, static_cast<size_t>(n));
  inkpost::test::TempDir tmp;
  programFolder = tmp.path();
  const std::string db = tmp.file("data.mdb");
  if (!inkpost::createSiteDatabase(db)) return 1;
  for (int i = 0; i < 20; ++i) {
    inkpost::SiteRecord s;
    s.webname = "blog " + std::to_string(i);
    s.weburl = "http://blog" + std::to_string(i) + ".example.org/";
    s.admin = "admin";
    s.pass = "pw";
    if (!inkpost::addOrUpdateSite(db, s)) return 1;
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
