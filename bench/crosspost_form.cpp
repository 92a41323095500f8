// Building the entry form from a large article body: cleaning, conversion to
// UTF-8 and percent-encoding, the work done between the two requests of a
// cross-post.
#include "crosspost/spacepost.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

std::string articleBody(size_t bytes) {
  const std::string para = "<p>\xD6\xD0\xCE\xC4 text &amp; more&hellip;</p>\r\n<P></P>\n";
  std::string body;
  while (body.size() < bytes) body += para;
  return body;
}

void BM_CleanBody(benchmark::State& state) {
  const std::string body = articleBody(static_cast<size_t>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(inkpost::cleanSpaceBody(body));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(body.size()));
}
BENCHMARK(BM_CleanBody)->Arg(64 << 10)->Arg(1 << 20);

void BM_EntryForm(benchmark::State& state) {
  const std::string body = articleBody(static_cast<size_t>(state.range(0)));
  const std::string title = "\xD6\xD0\xCE\xC4 title & more";
  for (auto _ : state) benchmark::DoNotOptimize(inkpost::spaceFormBody(title, body, "bds0123456789", "space.example"));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(body.size()));
}
BENCHMARK(BM_EntryForm)->Arg(64 << 10)->Arg(1 << 20);

}  // namespace

BENCHMARK_MAIN();
