// Text conversions and tag removal on megabyte inputs.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "net/encoding.h"
#include "net/gbktext.h"

namespace {

// About 1 MB of GBK article text: ASCII markup and words mixed with Chinese.
const std::string& mixedGbk() {
  static const std::string text = [] {
    std::string t;
    unsigned seed = 1;
    while (t.size() < 1000000) {
      t += "<p>Inkpost 2026 ";
      for (int i = 0; i < 24; ++i) {
        seed = seed * 1103515245 + 12345;
        t += static_cast<char>(0xB0 + (seed >> 16) % 0x27);  // GB2312 hanzi rows
        t += static_cast<char>(0xA1 + (seed >> 8) % 0x5E);
      }
      t += " text, ok.</p>\n";
    }
    return t;
  }();
  return text;
}

// len bytes of text from `from`, widened so no two-byte character is split.
std::string piece(const std::string& text, size_t from, size_t len) {
  size_t b = 0;
  while (b < from) b += static_cast<unsigned char>(text[b]) >= 0x80 ? 2 : 1;
  size_t e = b;
  while (e < b + len) e += static_cast<unsigned char>(text[e]) >= 0x80 ? 2 : 1;
  return text.substr(b, e - b);
}

// About 1 MB of HTML holding 5,000 distinct tags (images and links).
const std::string& articleHtml() {
  static const std::string html = [] {
    std::string h;
    // Plain text cut from the mixed text on character boundaries.
    std::string words;
    for (size_t i = 0; words.size() < 20000; ++i) words += "Inkpost \xD6\xD0\xCE\xC4 blog " + std::to_string(i) + ", ";
    size_t w = 0;
    for (int i = 0; i < 2500; ++i) {
      h += "<img src=\"http://blog.example/upload/2026/" + std::to_string(i) + ".jpg\">";
      h += piece(words, w, 180);
      w = (w + 180) % 10000;
      h += "<a href=\"http://blog.example/post/" + std::to_string(i) + ".html\">";
      h += piece(words, w, 180);
      w = (w + 180) % 10000;
    }
    while (h.size() < 1000000) h += "plain tail text ";
    return h;
  }();
  return html;
}

void BM_PercentEncodeToUtf8(benchmark::State& state) {
  const std::string& in = mixedGbk();
  for (auto _ : state) benchmark::DoNotOptimize(inkpost::percentEncode(inkpost::toUtf8(in)));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * in.size());
}
BENCHMARK(BM_PercentEncodeToUtf8)->Unit(benchmark::kMillisecond);

void BM_FromUtf8(benchmark::State& state) {
  static const std::string utf8 = inkpost::toUtf8(mixedGbk());
  for (auto _ : state) benchmark::DoNotOptimize(inkpost::fromUtf8(utf8));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * utf8.size());
}
BENCHMARK(BM_FromUtf8)->Unit(benchmark::kMillisecond);

void BM_FromUtf8Malformed(benchmark::State& state) {
  // Every 1000th byte broken: the lenient pass runs over the whole input.
  static const std::string bad = [] {
    std::string s = inkpost::toUtf8(mixedGbk());
    for (size_t i = 500; i < s.size(); i += 1000) s[i] = '\xFF';
    return s;
  }();
  for (auto _ : state) benchmark::DoNotOptimize(inkpost::fromUtf8(bad));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * bad.size());
}
BENCHMARK(BM_FromUtf8Malformed)->Unit(benchmark::kMillisecond);

void BM_RemoveTags(benchmark::State& state) {
  const std::string& html = articleHtml();
  for (auto _ : state) benchmark::DoNotOptimize(inkpost::removePatterns(html, "<*>"));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * html.size());
}
BENCHMARK(BM_RemoveTags)->Unit(benchmark::kMillisecond);

void BM_TextBetweenDeep(benchmark::State& state) {
  const std::string html = articleHtml() + "<input name=\"edtTitle\" value=\"x\">";
  for (auto _ : state) benchmark::DoNotOptimize(inkpost::textBetween(html, "NAME=\"edtTitle\" value=\"", "\""));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * html.size());
}
BENCHMARK(BM_TextBetweenDeep)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  // The fast tag removal must give exactly what the step-by-step one gives.
  const std::string& html = articleHtml();
  bool same = inkpost::removePatterns(html, "<*>") == inkpost::removePatternsLiteral(html, "<*>");
  std::printf("article: %zu bytes; removePatterns output identical to the step-by-step form: %s\n", html.size(),
              same ? "yes" : "NO");
  if (!same) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
