// A whole login against the loopback sandbox blog serving the engine's own
// GIF captcha (login page, captcha read, form, two redirects) followed by the
// edit page fetch and parse: what picking a site costs before the lists fill.
#include "blog/captcha.h"
#include "blog/editpage.h"
#include "blog/login.h"

#include "support/sandbox.h"
#include "support/tempdir.h"

#include <benchmark/benchmark.h>

namespace {

void BM_LoginAndEditPage(benchmark::State& state) {
  inkpost::test::TempDir dir;
  inkpost::loadCaptchaData(dir.path());
  inkpost::test::Sandbox sb;
  const std::string site = sb.siteUrl();
  size_t ok = 0, runs = 0;
  for (auto _ : state) {
    std::string cookie;
    bool in = inkpost::blogLogin(site, "admin", "secret", cookie);
    inkpost::EditPage page = inkpost::parseEditPage(inkpost::fetchEditPage(site, cookie));
    ok += in && !page.categories.empty();
    ++runs;
  }
  state.counters["ok_pct"] = runs ? 100.0 * static_cast<double>(ok) / static_cast<double>(runs) : 0;
}
BENCHMARK(BM_LoginAndEditPage)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
