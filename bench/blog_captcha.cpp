// Captcha reader: the one-time start of the recognition engine, and one read
// of a sandbox captcha after it (images fetched beforehand, so only the
// cleaning and recognition are timed). The exact-read share is a counter.
#include "blog/captcha.h"

#include "support/sandbox.h"
#include "support/tempdir.h"

#include <benchmark/benchmark.h>

#include <string>
#include <utility>
#include <vector>

namespace {

using inkpost::test::Sandbox;

std::vector<std::pair<std::string, std::string>>& samples() {
  static std::vector<std::pair<std::string, std::string>> images = [] {
    std::vector<std::pair<std::string, std::string>> out;
    Sandbox sb;
    std::string headers;
    sb.get("login.asp", {}, &headers);
    size_t p = headers.find("Set-Cookie: ") + 12;
    const std::string cookie = headers.substr(p, headers.find(';', p) - p);
    for (int i = 0; i < 200; ++i) {
      std::string image = sb.get("function/c_validcode.asp?name=loginvalid", cookie);
      out.emplace_back(std::move(image), sb.get("_sandbox/captcha", cookie));
    }
    return out;
  }();
  return images;
}

std::int32_t handle() {
  static std::int32_t h = [] {
    inkpost::test::TempDir dir;
    inkpost::loadCaptchaData(dir.path());
    inkpost::warmUpCaptchaReader(inkpost::CaptchaDataHandle());
    return inkpost::CaptchaDataHandle();
  }();
  return h;
}

void BM_CaptchaEngineStart(benchmark::State& state) {
  inkpost::test::TempDir dir;
  inkpost::test::writeFile(dir.file("x.cds"), inkpost::captchaDataBlock());
  for (auto _ : state) {
    std::int32_t h = inkpost::LoadCdsFromFile(dir.file("x.cds"));
    benchmark::DoNotOptimize(inkpost::warmUpCaptchaReader(h));
  }
}
BENCHMARK(BM_CaptchaEngineStart)->Iterations(3)->Unit(benchmark::kMillisecond);

void BM_CaptchaRead(benchmark::State& state) {
  const auto& images = samples();
  const std::int32_t h = handle();
  size_t i = 0, exact = 0, reads = 0;
  for (auto _ : state) {
    const auto& [image, truth] = images[i++ % images.size()];
    std::string code = inkpost::readCaptchaImage(h, image);
    exact += code == truth;
    ++reads;
  }
  state.counters["exact_pct"] = reads ? 100.0 * static_cast<double>(exact) / static_cast<double>(reads) : 0;
}
BENCHMARK(BM_CaptchaRead)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
