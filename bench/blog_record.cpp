// The publish record: an append (what each publish attempt costs), and
// reading a full record of 10,000 attempts (what opening 发布记录 costs).
#include "blog/publishrecord.h"
#include "net/encoding.h"
#include "support/tempdir.h"

#include <benchmark/benchmark.h>

namespace {

inkpost::PublishAttempt sample(int i) {
  inkpost::PublishAttempt a;
  a.timeMs = 1700000000000 + i;
  a.siteId = i % 50;
  a.siteName = inkpost::fromUtf8("沙盒博客 ") + std::to_string(i % 50);
  a.siteAddress = "http://127.0.0.1:8080/" + std::to_string(i % 50) + "/";
  a.title = inkpost::fromUtf8("一篇文章的标题，有中文也有 English，第 ") + std::to_string(i) + inkpost::fromUtf8(" 篇");
  a.step = inkpost::PublishStep::Done;
  a.outcome = i % 7 ? inkpost::PublishOutcome::Succeeded : inkpost::PublishOutcome::Failed;
  a.reason = i % 7 ? "" : inkpost::fromUtf8("无法连接到博客");
  return a;
}

void BM_AppendAttempt(benchmark::State& state) {
  inkpost::test::TempDir dir;
  const inkpost::PublishRecord record(dir.file("publish-record.txt"));
  int i = 0;
  for (auto _ : state)
    if (!record.append(sample(i++))) state.SkipWithError("append failed");
}
BENCHMARK(BM_AppendAttempt)->Unit(benchmark::kMicrosecond)->UseRealTime();

void BM_ReadFullRecord(benchmark::State& state) {
  inkpost::test::TempDir dir;
  const inkpost::PublishRecord record(dir.file("publish-record.txt"));
  for (int i = 0; i < static_cast<int>(inkpost::kPublishRecordKeep); ++i) record.append(sample(i));
  size_t n = 0;
  for (auto _ : state) {
    n = record.read().attempts.size();
    benchmark::DoNotOptimize(n);
  }
  state.counters["attempts"] = static_cast<double>(n);
  if (n != inkpost::kPublishRecordKeep) state.SkipWithError("not every attempt was read");
}
BENCHMARK(BM_ReadFullRecord)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
