// makeAlias on a 100-character title of Chinese words with second readings,
// ASCII and full-width letters; the size of the phrase table is a counter.
#include "blog/alias.h"
#include "blog/pinyin_table.h"
#include "net/encoding.h"
#include "net/gbktext.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

using namespace inkpost;

// The first `count` characters of the text repeated.
std::string firstCharacters(const std::string& text, size_t count) {
  std::string out;
  for (size_t i = 0, n = 0; n < count; ++n) {
    if (i >= text.size()) i = 0;
    const size_t len = gbkCharLength(text, i);
    out.append(text, i, len);
    i += len;
  }
  return out;
}

void BM_MakeAlias100Characters(benchmark::State& state) {
  const std::string title =
      firstCharacters(fromUtf8("重庆银行行长谈长期投资与会计准则，Hello 世界，音乐会在星期天举行。ＡＢＣ长城"), 100);
  for (auto _ : state) benchmark::DoNotOptimize(makeAlias(title));
  state.counters["title_bytes"] = static_cast<double>(title.size());
  state.counters["phrases"] = static_cast<double>(phraseCount());
  state.counters["phrase_table_bytes"] = static_cast<double>(phraseTableBytes());
}
BENCHMARK(BM_MakeAlias100Characters)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
