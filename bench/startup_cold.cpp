// Cold start: a fresh process from exec to an idle main window whose site
// chooser is filled (20 sites). The benchmark re-runs itself in a child mode
// so every iteration pays for process, Qt and web engine start-up.
#include "common/programdir.h"
#include "shell/mainwindow.h"
#include "shell/process.h"
#include "shell/shell.h"
#include "sites/sitestore.h"
#include "startbench.h"
#include "support/mainunits.h"
#include "support/tempdir.h"

#include <benchmark/benchmark.h>
#include <QApplication>
#include <QComboBox>
#include <QTimer>

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

void BM_ColdStartToIdle(benchmark::State& state) {
  for (auto _ : state) {
    const pid_t pid = inkpost::bench::startChild(self, programFolder);
    if (pid == 0) {
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
  if (argc == 3 && std::strcmp(argv[1], "--child") == 0)
    return inkpost::bench::showWindowAndQuit(argc, argv, argv[2], 20);
  self = inkpost::bench::selfPath();
  inkpost::test::TempDir tmp;
  programFolder = tmp.path();
  if (self.empty() || !inkpost::bench::prepareSites(tmp, 20)) return 1;
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
