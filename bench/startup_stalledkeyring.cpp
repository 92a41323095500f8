// Start-up beside a keyring that does not answer: a secret service owns its
// name on a private session bus and never replies
// (tests/sites/children/stalled_keyring.cpp), and data.mdb holds two sites whose passwords are
// kept there. Timed from exec to an idle main window whose chooser lists
// both sites (their passwords marked unavailable); each keyring call is
// bounded, so this stays within a few seconds.
#include "common/programdir.h"
#include "shell/mainwindow.h"
#include "shell/process.h"
#include "shell/shell.h"
#include "sites/secrets.h"
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

#include <cstring>
#include <string>

extern char** environ;

namespace {

std::string self;
std::string programFolder;

void BM_StartWithAStalledKeyring(benchmark::State& state) {
  for (auto _ : state) {
    std::string run = "dbus-run-session", sep = "--", sh = "sh", script = STALLED_KEYRING_SCRIPT,
                stalled = STALLED_KEYRING_EXE, mode = "--child";
    char* args[] = {run.data(),  sep.data(),           sh.data(), script.data(), stalled.data(), self.data(),
                    mode.data(), programFolder.data(), nullptr};
    pid_t pid = 0;
    if (posix_spawnp(&pid, run.c_str(), nullptr, nullptr, args, environ) != 0) {
      state.SkipWithError("cannot start dbus-run-session");
      break;
    }
    int status = 0;
    waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      state.SkipWithError("the child did not reach a window listing both sites");
      break;
    }
  }
}
BENCHMARK(BM_StartWithAStalledKeyring)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// data.mdb with two sites whose passwords the keyring keeps.
bool prepareKeptSites(const inkpost::test::TempDir& folder) {
  const std::string db = folder.file("data.mdb");
  if (!inkpost::createSiteDatabase(db)) return false;
  for (int i = 0; i < 2; ++i) {
    inkpost::SiteRecord s;
    s.webname = "blog " + std::to_string(i);
    s.weburl = "http://blog" + std::to_string(i) + ".example.org/";
    s.admin = "admin";
    s.pass = std::string(inkpost::kSecretReferencePrefix) + "kept-" + std::to_string(i);
    s.bdpass = s.pass + "-bd";
    if (!inkpost::addOrUpdateSite(db, s)) return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "--child") == 0)
    return inkpost::bench::showWindowAndQuit(argc, argv, argv[2], 2);
  self = inkpost::bench::selfPath();
  inkpost::test::TempDir tmp;
  programFolder = tmp.path();
  if (self.empty() || !prepareKeptSites(tmp)) return 1;
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
