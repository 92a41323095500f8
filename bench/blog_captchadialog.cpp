// The manual captcha dialog given a hostile picture: a small PNG of 5790 x
// 5790 pixels. The time to show it and the growth of the peak resident size
// (counter peak_growth_MB) stay small because the header check refuses it
// before anything is decoded; and the largest picture it does show.
#include "blog/ui/captchadialog.h"

#include "guibench.h"
#include "support/captchadata.h"
#include "support/hostile_server.h"

#include <QLabel>

namespace {

// A dialog showing `png`; counters for the picture's size and the growth of
// the peak resident size over all iterations.
void showIn(benchmark::State& state, const std::string& png) {
  inkpost::test::resetPeakResident();
  const long long before = inkpost::test::peakResidentBytes();
  for (auto _ : state) {
    inkpost::CaptchaDialog dialog(nullptr, png, {});
    benchmark::DoNotOptimize(dialog.picture()->pixmap().isNull());
  }
  state.counters["png_KB"] = static_cast<double>(png.size()) / 1024.0;
  state.counters["peak_growth_MB"] =
      static_cast<double>(inkpost::test::peakResidentBytes() - before) / (1024.0 * 1024.0);
}

// Refused from its header.
void BM_CaptchaDialogHugePicture(benchmark::State& state) { showIn(state, inkpost::test::squarePng(5790)); }
BENCHMARK(BM_CaptchaDialogHugePicture)->Unit(benchmark::kMillisecond);

// The largest picture the dialog shows (1000 x 1000), decoded and shown.
void BM_CaptchaDialogLargestPicture(benchmark::State& state) {
  showIn(state, inkpost::test::squarePng(inkpost::kCaptchaShownMaxSide));
}
BENCHMARK(BM_CaptchaDialogLargestPicture)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) { return inkpost::bench::runGuiBenchmarks(argc, argv); }
