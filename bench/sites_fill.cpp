// FillSiteChooser over a keyed data.mdb of 10,000 sites.
#include "shell/process.h"
#include "sites/sitestore.h"
#include "sites/statements.h"
#include "sites/ui/sitechooser.h"
#include "support/tempdir.h"

#include <benchmark/benchmark.h>
#include <QApplication>
#include <QComboBox>

#include <cstdlib>

namespace {

inkpost::test::TempDir* dir = nullptr;

bool prepareStore(int rows) {
  using namespace inkpost;
  const std::string path = dir->file("data.mdb");
  if (!createSiteDatabase(path) || OpenSiteStore(path) != SiteStoreOpen::Ok) return false;
  ExecuteSiteStatement("begin");
  for (int i = 0; i < rows; ++i) {
    SiteRecord s;
    s.webname = "\xb2\xe2\xca\xd4 blog " + std::to_string(i);  // GBK name
    s.weburl = "http://blog" + std::to_string(i) + ".example.org/";
    s.admin = "admin";
    s.pass = "p[a|s]s*" + std::to_string(i);
    if (!ExecuteSiteStatement(sql::insertSite(s))) return false;
  }
  return ExecuteSiteStatement("commit");
}

void BM_FillSiteChooser10k(benchmark::State& state) {
  QComboBox chooser;
  for (auto _ : state) {
    inkpost::FillSiteChooser(&chooser);
    benchmark::DoNotOptimize(chooser.count());
  }
  state.counters["rows"] = chooser.count();
  if (chooser.count() != 10000) state.SkipWithError("the chooser does not hold 10,000 entries");
}
BENCHMARK(BM_FillSiteChooser10k)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  if (!std::getenv("DISPLAY")) setenv("QT_QPA_PLATFORM", "offscreen", 0);
  inkpost::prepareProcess();
  QApplication app(argc, argv);
  inkpost::test::TempDir tmp;
  dir = &tmp;
  if (!prepareStore(10000)) return 1;
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  inkpost::CloseSiteStore();
  return 0;
}
