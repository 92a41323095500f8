// Merging an answer's cookies into the session's cookie text: 1,000 fresh
// cookies into a text of 1,000 (half of them replacing stored ones), and the
// hostile case of a text at its cap taking another large cookie.
#include "net/http.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

std::string cookieText(int first, int count) {
  std::string out;
  for (int i = first; i < first + count; ++i) out += "c" + std::to_string(i) + "=v" + std::to_string(i) + ";";
  return out;
}

void BM_Merge1000Cookies(benchmark::State& state) {
  const std::string stored = cookieText(0, 1000);
  const std::string fresh = cookieText(500, 1000);
  for (auto _ : state) benchmark::DoNotOptimize(inkpost::mergeCookies(stored, fresh));
}
BENCHMARK(BM_Merge1000Cookies)->Unit(benchmark::kMillisecond);

void BM_MergeIntoFullText(benchmark::State& state) {
  std::string stored = "ASPSESSIONIDAA=s; username=me; password=pw";
  for (int i = 0; i < 20; ++i)
    stored = inkpost::mergeCookies(stored, "g" + std::to_string(i) + "=" + std::string(900, 'x') + ";");
  const std::string fresh = "g99=" + std::string(3000, 'y') + ";";
  for (auto _ : state) benchmark::DoNotOptimize(inkpost::mergeCookies(stored, fresh));
}
BENCHMARK(BM_MergeIntoFullText)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
