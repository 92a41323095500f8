// Importing a CSV site list into an empty keyed data.mdb (one transaction),
// and exporting the store again.
#include "sites/siteimport.h"
#include "sites/sitestore.h"
#include "support/tempdir.h"

#include <benchmark/benchmark.h>

#include <cstdlib>

namespace {

std::string siteList(int rows) {
  std::string csv = "网站名称,网站地址,帐号,密码,百度帐号,百度密码\r\n";
  for (int i = 0; i < rows; ++i)
    csv += "测试博客 " + std::to_string(i) + ",http://blog" + std::to_string(i) + ".example.org/,admin,\"p,w" +
           std::to_string(i) + "\",,\r\n";
  return csv;
}

void BM_ImportSites(benchmark::State& state) {
  const int rows = static_cast<int>(state.range(0));
  const std::string csv = siteList(rows);
  for (auto _ : state) {
    state.PauseTiming();
    inkpost::test::TempDir dir;
    const std::string path = dir.file("data.mdb");
    if (!inkpost::createSiteDatabase(path) || inkpost::OpenSiteStore(path) != inkpost::SiteStoreOpen::Ok) {
      state.SkipWithError("no store");
      return;
    }
    state.ResumeTiming();
    const inkpost::SiteImport r = inkpost::importSiteCsv(csv, "sites.csv");
    state.PauseTiming();
    if (r.imported != rows) state.SkipWithError("not every row was imported");
    inkpost::CloseSiteStore();
    state.ResumeTiming();
  }
  state.counters["rows"] = rows;
}
BENCHMARK(BM_ImportSites)->Arg(200)->Arg(10000)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ExportSites(benchmark::State& state) {
  inkpost::test::TempDir dir;
  const std::string path = dir.file("data.mdb");
  if (!inkpost::createSiteDatabase(path) || inkpost::OpenSiteStore(path) != inkpost::SiteStoreOpen::Ok ||
      inkpost::importSiteCsv(siteList(10000), "sites.csv").imported != 10000) {
    state.SkipWithError("no store");
    return;
  }
  for (auto _ : state) {
    if (!inkpost::exportSiteCsvFile(dir.file("out.csv")).ok) state.SkipWithError("export failed");
  }
  inkpost::CloseSiteStore();
}
BENCHMARK(BM_ExportSites)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  setenv("INKPOST_SECRET_SERVICE", "off", 1);  // never the developer's keyring
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
