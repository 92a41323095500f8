// Screen capture: darkening a 4K snapshot, and the time from the button
// press (snapshot taken) to the capture window on screen.
#include "guibench.h"
#include "images/capture.h"
#include "images/ui/capturewindow.h"

#include <benchmark/benchmark.h>
#include <QApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QTest>

static void BM_DarkenImage4K(benchmark::State& state) {
  QImage screen(3840, 2160, QImage::Format_RGB32);
  screen.fill(qRgb(201, 99, 37));
  for (auto _ : state) benchmark::DoNotOptimize(inkpost::capture::DarkenImage(screen));
  state.SetItemsProcessed(state.iterations() * 3840 * 2160);
}
BENCHMARK(BM_DarkenImage4K)->Unit(benchmark::kMillisecond);

// What StartCapture does before the user can drag: the snapshot, the
// darkened picture, the window shown and exposed.
static void BM_PressToCaptureWindowShown(benchmark::State& state) {
  QScreen* screen = QGuiApplication::primaryScreen();
  state.counters["screen_w"] = screen->geometry().width();
  state.counters["screen_h"] = screen->geometry().height();
  for (auto _ : state) {
    const QPixmap shot = screen->grabWindow(0);
    inkpost::CaptureWindow window(shot.toImage(), shot.devicePixelRatio());
    window.show();
    if (!QTest::qWaitForWindowExposed(&window, 5000)) state.SkipWithError("window never exposed");
    window.close();
  }
}
BENCHMARK(BM_PressToCaptureWindowShown)->Unit(benchmark::kMillisecond)->Iterations(10);

int main(int argc, char** argv) { return inkpost::bench::runGuiBenchmarks(argc, argv); }
