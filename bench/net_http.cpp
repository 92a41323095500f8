// HttpEngine against a loopback server: bulk body and many small requests.
#include <benchmark/benchmark.h>

#include "net/http.h"
#include "support/capture_server.h"

namespace {

const std::string& bigBody() {
  static const std::string body(10 * 1024 * 1024, 'x');
  return body;
}

std::string get(const std::string& url) {
  std::string headers, responseHeaders, cookies = "a=1;";
  return inkpost::HttpEngine(url, "GET", "", "", "", "", headers, "", 15, responseHeaders, cookies);
}

void BM_Body10MB(benchmark::State& state) {
  inkpost::test::CaptureServer server("HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(bigBody().size()) +
                                      "\r\nConnection: close\r\n\r\n" + bigBody());
  for (auto _ : state) {
    if (get(server.url("/big")).size() != bigBody().size()) state.SkipWithError("short body");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * bigBody().size());
}
BENCHMARK(BM_Body10MB)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_500SmallGets(benchmark::State& state) {
  inkpost::test::CaptureServer server(
      "HTTP/1.1 200 OK\r\nSet-Cookie: s=1; path=/\r\nContent-Length: 15\r\nConnection: close\r\n\r\n<html>ok</html>");
  for (auto _ : state) {
    for (int i = 0; i < 500; ++i)
      if (get(server.url("/small")).empty()) state.SkipWithError("empty answer");
  }
}
BENCHMARK(BM_500SmallGets)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
