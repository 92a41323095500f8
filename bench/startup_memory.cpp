// Memory of the whole program at idle: a child starts like inkpost-client
// (main window, editor page in its web engine, 20 sites) and waits; the
// proportional set size (PSS) of it and every process below it (the web
// engine's helpers) is summed from /proc/<pid>/smaps_rollup.
#include "common/programdir.h"
#include "shell/mainwindow.h"
#include "shell/process.h"
#include "shell/shell.h"
#include "sites/sitestore.h"
#include "startbench.h"
#include "support/tempdir.h"

#include <benchmark/benchmark.h>
#include <QApplication>

#include <dirent.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <cstring>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <thread>

extern char** environ;

namespace {

std::string self;
std::string programFolder;
constexpr int kSettleSeconds = 12;

int child(int argc, char** argv, const char* dir) {
  inkpost::prepareProcess();
  QApplication app(argc, argv);
  inkpost::setProgramDir(dir);
  auto w = inkpost::createMainWindow();
  w->show();
  return app.exec();  // until the parent ends it
}

// Parent of every process now running.
std::map<int, int> parents() {
  std::map<int, int> out;
  DIR* d = opendir("/proc");
  if (!d) return out;
  while (dirent* e = readdir(d)) {
    const int pid = std::atoi(e->d_name);
    if (pid <= 0) continue;
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), {});
    const size_t close = text.rfind(')');
    if (close == std::string::npos) continue;
    std::istringstream rest(text.substr(close + 2));
    std::string state;
    int ppid = 0;
    rest >> state >> ppid;
    out[pid] = ppid;
  }
  closedir(d);
  return out;
}

long long pssKiB(int pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/smaps_rollup");
  std::string line;
  while (std::getline(in, line))
    if (line.rfind("Pss:", 0) == 0) return std::stoll(line.substr(4));
  return 0;
}

long long treePssKiB(int root, int* count) {
  const std::map<int, int> up = parents();
  std::set<int> tree{root};
  for (bool grew = true; grew;) {
    grew = false;
    for (const auto& [pid, ppid] : up)
      if (tree.count(ppid) && tree.insert(pid).second) grew = true;
  }
  long long total = 0;
  for (int pid : tree) total += pssKiB(pid);
  *count = static_cast<int>(tree.size());
  return total;
}

void BM_IdleTreePss(benchmark::State& state) {
  for (auto _ : state) {
    const pid_t pid = inkpost::bench::startChild(self, programFolder);
    if (pid == 0) {
      state.SkipWithError("cannot start the child");
      break;
    }
    std::this_thread::sleep_for(std::chrono::seconds(kSettleSeconds));
    int processes = 0;
    const long long kib = treePssKiB(pid, &processes);
    kill(pid, SIGTERM);
    int status = 0;
    waitpid(pid, &status, 0);
    state.counters["tree_pss_MB"] = static_cast<double>(kib) / 1024.0;
    state.counters["processes"] = processes;
  }
}
BENCHMARK(BM_IdleTreePss)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(1);

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "--child") == 0) return child(argc, argv, argv[2]);
  self = inkpost::bench::selfPath();
  inkpost::test::TempDir tmp;
  programFolder = tmp.path();
  if (self.empty() || !inkpost::bench::prepareSites(tmp, 20)) return 1;
  // The editor page of the build's program folder, so the web engine loads
  // what it loads in a real start.
  if (symlink(INKPOST_TEST_PROGRAM_DIR "/editor", tmp.file("editor").c_str()) != 0) return 1;
  mkdir(tmp.file("temp").c_str(), 0700);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
