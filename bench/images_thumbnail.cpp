// From the upload's answer to the thumbnail on screen: the gallery page is
// rewritten and shown again, and the new image loads from the sandbox blog
// on the loopback. The time until its natural width is above 0.
#include "../tests/images/imagedata.h"
#include "common/programdir.h"
#include "guibench.h"
#include "images/gallery.h"
#include "images/ui/gallery.h"
#include "images/ui/imagepanel.h"
#include "images/ui/upload.h"
#include "images/upload.h"
#include "shell/mainwindow.h"
#include "support/sandboxlogin.h"
#include "support/tempdir.h"

#include <benchmark/benchmark.h>
#include <QElapsedTimer>
#include <QTest>
#include <QVariant>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <sys/stat.h>
#include <memory>

namespace {

// Natural width of the last thumbnail once the page shows `count` of them
// and that one has finished loading; -1 before.
int lastThumbnailWidth(QWebEngineView* view, int count) {
  auto result = std::make_shared<int>(-2);
  view->page()->runJavaScript(
      QStringLiteral("(function(){var l=document.querySelectorAll('img');if(l.length!=%1)return -1;"
                     "var i=l[l.length-1];return i.complete?i.naturalWidth:-1;})()")
          .arg(count),
      [result](const QVariant& v) { *result = v.toInt(); });
  while (*result == -2) QTest::qWait(1);
  return *result;
}

void BM_ThumbnailAfterAnswer(benchmark::State& state) {
  inkpost::test::TempDir dir;
  ::mkdir(dir.file("temp").c_str(), 0755);
  inkpost::setProgramDir(dir.path());
  inkpost::test::Sandbox blog(inkpost::test::sandboxOptions());
  const std::string cookie = inkpost::test::sandboxLogin(blog);
  inkpost::MainWindow w;
  w.show();
  inkpost::ImagePanel& images = w.images();
  inkpost::installGalleryView(images);
  double worstMs = 0;
  int n = 0;
  for (auto _ : state) {
    state.PauseTiming();
    const std::string path = dir.file("p" + std::to_string(n++) + ".jpg");
    inkpost::test::writeFile(path, inkpost::test::makeJpeg(640 + n, 480));
    const inkpost::UploadResult r = inkpost::uploadImage(blog.siteUrl(), cookie, path, inkpost::StoreAs::OwnName);
    if (!r.ok()) {
      state.SkipWithError("upload failed");
      break;
    }
    QElapsedTimer t;
    t.start();
    state.ResumeTiming();
    // The answer is in: record, rebuild, wait for the picture.
    inkpost::recordAndShow(images, r);
    while (lastThumbnailWidth(images.galleryView(), n) <= 0) QTest::qWait(2);
    state.PauseTiming();
    worstMs = std::max(worstMs, static_cast<double>(t.elapsed()));
    state.ResumeTiming();
  }
  state.counters["worst_ms"] = worstMs;
}
BENCHMARK(BM_ThumbnailAfterAnswer)->Unit(benchmark::kMillisecond)->Iterations(10)->UseRealTime();

}  // namespace

int main(int argc, char** argv) { return inkpost::bench::runGuiBenchmarks(argc, argv); }
