// Rebuilding the gallery with 1,000 entries: the page text, the page file,
// and the whole rebuild on a real main window (page written, viewer pointed
// at it).
#include "common/programdir.h"
#include "guibench.h"
#include "images/gallery.h"
#include "images/ui/gallery.h"
#include "images/ui/imagepanel.h"
#include "shell/mainwindow.h"
#include "support/tempdir.h"

#include <QApplication>
#include <QWebEngineView>

#include <benchmark/benchmark.h>

#include <sys/stat.h>

namespace {

std::vector<std::string> entries(int n) {
  std::vector<std::string> list;
  for (int i = 0; i < n; ++i)
    list.push_back(inkpost::makeGalleryEntry(
        "http://blog.example.com/upload/0123456789abcdef0123456789abcdef" + std::to_string(i) + ".jpg", 640 + i % 300,
        480 + i % 200));
  return list;
}

void BM_PageText(benchmark::State& state) {
  const auto list = entries(static_cast<int>(state.range(0)));
  size_t bytes = 0;
  for (auto _ : state) {
    std::string page = inkpost::galleryPageText(list);
    bytes = page.size();
    benchmark::DoNotOptimize(page);
  }
  state.counters["page_KB"] = bytes / 1e3;
}
BENCHMARK(BM_PageText)->Arg(1000)->Unit(benchmark::kMillisecond);

void BM_RebuildGallery(benchmark::State& state) {
  inkpost::test::TempDir dir;
  ::mkdir(dir.file("temp").c_str(), 0755);
  inkpost::setProgramDir(dir.path());
  inkpost::MainWindow w;
  inkpost::ImagePanel& images = w.images();
  images.setGallery(entries(static_cast<int>(state.range(0))));
  inkpost::installGalleryView(images);
  for (auto _ : state) {
    inkpost::RebuildGallery(images);
    state.PauseTiming();
    QCoreApplication::processEvents();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_RebuildGallery)->Arg(1000)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) { return inkpost::bench::runGuiBenchmarks(argc, argv); }
