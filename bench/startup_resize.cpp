// A resize of the maximised main window, editor page loaded: the time from
// the new size until the layout has placed every unit and the whole window,
// the editor's page included, has been painted.
#include "blog/ui/editorbody.h"
#include "common/programdir.h"
#include "guibench.h"
#include "shell/mainwindow.h"
#include "shell/process.h"
#include "shell/shell.h"
#include "startbench.h"
#include "support/mainunits.h"
#include "support/tempdir.h"

#include <benchmark/benchmark.h>
#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QPixmap>
#include <QScreen>
#include <QWebEngineView>

namespace {

using inkpost::bench::pumpUntil;

void BM_ResizeMaximisedWindow(benchmark::State& state) {
  inkpost::test::TempDir folder;
  // A site table, so that start-up has nothing to ask.
  if (!inkpost::bench::prepareSites(folder, 3)) {
    state.SkipWithError("cannot prepare data.mdb");
    return;
  }
  inkpost::setProgramDir(folder.path());
  inkpost::setResourceDir(INKPOST_TEST_PROGRAM_DIR);
  auto w = inkpost::createMainWindow();
  const QRect screen = w->screen()->availableGeometry();
  w->setGeometry(screen);
  w->show();
  QWebEngineView* editor = inkpost::test::units(*w).editorView;
  if (!pumpUntil([&] { return inkpost::editorReady(editor); }, 30000)) {
    state.SkipWithError("the editor page did not load");
    return;
  }
  pumpUntil([] { return false; }, 300);
  bool small = false;
  for (auto _ : state) {
    small = !small;
    const QRect target = small ? screen.adjusted(0, 0, -160, -90) : screen;
    QElapsedTimer t;
    t.start();
    w->setGeometry(target);
    // The layout has given the editor its new size, then the whole window,
    // the editor's page included, is painted into a picture.
    pumpUntil([&] { return w->size() == target.size() && editor->width() > target.width() - 300; }, 5000);
    const QPixmap picture = w->grab();
    benchmark::DoNotOptimize(picture.cacheKey());
    state.SetIterationTime(static_cast<double>(t.nsecsElapsed()) / 1e9);
  }
}
BENCHMARK(BM_ResizeMaximisedWindow)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);

}  // namespace

int main(int argc, char** argv) {
  inkpost::prepareProcess();
  QApplication app(argc, argv);
  inkpost::installTranslations();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
