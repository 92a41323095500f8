// Captcha reader: one read (header check, tolerant decoding, cutting and
// classifying) of captchas made beforehand, so only the reading is timed.
// The exact-read share of each kind is a counter: the engine's GIF with its
// default settings, with settings spread over what blog owners choose, and
// the sandbox's older BMP style. Seeds differ from those used in training.
#include "blog/captcha.h"

#include "sandbox/captcha_image.h"
#include "sandbox/engine_captcha.h"
#include "support/tempdir.h"

#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <utility>
#include <vector>

namespace {

using Samples = std::vector<std::pair<std::string, std::string>>;  // image, code

enum Kind { kEngineDefault, kEngineSpread, kBmp };

const Samples& samples(int kind) {
  static std::vector<Samples> all = [] {
    std::vector<Samples> out(3);
    std::mt19937 rng(424242);
    for (int i = 0; i < 1000; ++i) {
      std::string code = inkpost::sandbox::randomCaptchaCode(rng);
      out[kEngineDefault].emplace_back(
          inkpost::sandbox::renderEngineCaptcha(code, inkpost::sandbox::EngineCaptchaStyle{}, rng), code);
      code = inkpost::sandbox::randomCaptchaCode(rng);
      const auto style = inkpost::sandbox::spreadCaptchaStyle(rng);
      out[kEngineSpread].emplace_back(inkpost::sandbox::renderEngineCaptcha(code, style, rng), code);
      code = inkpost::sandbox::randomCaptchaCode(rng);
      out[kBmp].emplace_back(inkpost::sandbox::renderCaptchaBmp(code, rng), code);
    }
    return out;
  }();
  return all[static_cast<size_t>(kind)];
}

std::int32_t handle() {
  static std::int32_t h = [] {
    inkpost::test::TempDir dir;
    inkpost::loadCaptchaData(dir.path());
    return inkpost::CaptchaDataHandle();
  }();
  return h;
}

void BM_CaptchaDataLoad(benchmark::State& state) {
  inkpost::test::TempDir dir;
  for (auto _ : state) {
    inkpost::loadCaptchaData(dir.path());
    benchmark::DoNotOptimize(inkpost::CaptchaDataHandle());
  }
}
BENCHMARK(BM_CaptchaDataLoad)->Unit(benchmark::kMillisecond);

void BM_CaptchaRead(benchmark::State& state) {
  const Samples& images = samples(static_cast<int>(state.range(0)));
  const std::int32_t h = handle();
  size_t i = 0, exact = 0, reads = 0;
  for (auto _ : state) {
    const auto& [image, truth] = images[i++ % images.size()];
    exact += inkpost::readCaptchaImage(h, image) == truth;
    ++reads;
  }
  state.counters["exact_pct"] = reads ? 100.0 * static_cast<double>(exact) / static_cast<double>(reads) : 0;
  state.SetLabel(state.range(0) == kEngineDefault  ? "engine defaults"
                 : state.range(0) == kEngineSpread ? "engine spread"
                                                   : "bmp style");
}
// At least one pass over the 1,000 images of each kind, so the share is theirs.
BENCHMARK(BM_CaptchaRead)
    ->Arg(kEngineDefault)
    ->Arg(kEngineSpread)
    ->Arg(kBmp)
    ->Iterations(2000)
    ->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
