// Captcha reader: one read (header check, tolerant decoding, ink finding and
// the network) of captchas made beforehand, so only the reading is timed.
// Counters per kind of picture: the exact-read share, the share of reads the
// reader is sure of (the login submits those at once and fetches a fresh
// picture for the rest) and the exact share among those.
// Kinds: the sandbox's engine GIF at its default settings and with settings
// spread over what blog owners choose, the sandbox's older BMP style, and
// the second renderer (tools/captcha-render2, drawn by other code from the
// description alone) at the engine's defaults and with --spread. None of
// the seeds is used in training.
// BM_SandboxLogin logs in to the sandbox blog again and again and counts the
// logins whose first captcha the reader was not sure of.
#include "blog/captcha.h"
#include "blog/login.h"

#include "sandbox/captcha_image.h"
#include "sandbox/engine_captcha.h"
#include "support/captchafiles.h"
#include "support/sandbox.h"
#include "support/tempdir.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace {

using Samples = inkpost::test::CaptchaFiles;

enum Kind { kEngineDefault, kEngineSpread, kBmp, kRender2Default, kRender2Spread };
const char* const kKindNames[] = {"sandbox engine defaults", "sandbox engine spread", "sandbox bmp style",
                                  "render2 defaults", "render2 spread"};

// 1,000 pictures of the second renderer, drawn into a temporary folder.
Samples render2(const std::string& options) {
  std::string output;
  Samples out = inkpost::test::secondRendererCaptchas("--count 1000 " + options, &output);
  if (out.empty()) std::fprintf(stderr, "render2.py failed: %s\n", output.c_str());
  return out;
}

const Samples& samples(int kind) {
  static std::vector<Samples> all = [] {
    std::vector<Samples> out(5);
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
    out[kRender2Default] = render2("--seed 424243");
    out[kRender2Spread] = render2("--seed 424244 --spread");
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
  if (images.empty()) {
    state.SkipWithError("no pictures of this kind (the second renderer needs python3)");
    return;
  }
  const std::int32_t h = handle();
  const float sure = static_cast<float>(inkpost::captchaSettings(h).sure) / 100.0f;
  size_t i = 0, exact = 0, reads = 0, sureReads = 0, sureExact = 0;
  for (auto _ : state) {
    const auto& [image, truth] = images[i++ % images.size()];
    float confidence = 0;
    const bool right = inkpost::readCaptchaImage(h, image, &confidence) == truth;
    exact += right;
    sureReads += confidence >= sure;
    sureExact += right && confidence >= sure;
    ++reads;
  }
  auto pct = [](size_t n, size_t of) { return of ? 100.0 * static_cast<double>(n) / static_cast<double>(of) : 0.0; };
  state.counters["exact_pct"] = pct(exact, reads);
  state.counters["sure_pct"] = pct(sureReads, reads);
  state.counters["exact_of_sure_pct"] = pct(sureExact, sureReads);
  state.SetLabel(kKindNames[state.range(0)]);
}
// One pass over the 1,000 images of each kind, so the shares are theirs.
BENCHMARK(BM_CaptchaRead)
    ->Arg(kEngineDefault)
    ->Arg(kEngineSpread)
    ->Arg(kBmp)
    ->Arg(kRender2Default)
    ->Arg(kRender2Spread)
    ->Iterations(1000)
    ->Unit(benchmark::kMicrosecond);

void BM_SandboxLogin(benchmark::State& state) {
  handle();
  inkpost::test::Sandbox sb;
  const std::string site = sb.siteUrl();
  size_t logins = 0, done = 0, secondFetch = 0;
  for (auto _ : state) {
    const std::string before = sb.requestLog();
    std::string cookie;
    done += inkpost::blogLogin(site, "admin", "secret", cookie);
    ++logins;
    sb.waitForLog("GET /admin/admin.asp", done, 500);
    const std::string log = sb.requestLog();
    size_t fetches = 0;
    for (size_t p = log.find("c_validcode.asp", before.size()); p != std::string::npos;
         p = log.find("c_validcode.asp", p + 1))
      ++fetches;
    secondFetch += fetches > 1;
  }
  state.counters["logins"] = static_cast<double>(logins);
  state.counters["done_pct"] = logins ? 100.0 * static_cast<double>(done) / static_cast<double>(logins) : 0;
  state.counters["second_fetch_pct"] =
      logins ? 100.0 * static_cast<double>(secondFetch) / static_cast<double>(logins) : 0;
}
BENCHMARK(BM_SandboxLogin)->Iterations(500)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
