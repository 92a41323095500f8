// SaveDraft and RestoreDraft on a real main window: a 1 MB body in the
// editor page and 100 gallery entries. The save includes reading the body
// back from the editor; the restore writes it into the editor again.
#include "blog/ui/editorbody.h"
#include "common/programdir.h"
#include "drafts/ui/drafts.h"
#include "images/gallery.h"
#include "images/ui/gallery.h"
#include "images/ui/imagepanel.h"
#include "net/encoding.h"
#include "shell/mainwindow.h"
#include "shell/process.h"
#include "support/mainunits.h"

#include <benchmark/benchmark.h>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QUrl>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <QtTest/QTest>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>

namespace {

inkpost::MainWindow* window = nullptr;

std::string megabyteBody() {
  const std::string paragraph =
      inkpost::fromUtf8("<p>这是一段用来测试草稿保存速度的正文，含有中文、English words 和数字 12345。</p>\n");
  std::string body;
  while (body.size() < 1024 * 1024) body += paragraph;
  return body;
}

void BM_SaveDraftRing(benchmark::State& state) {
  for (auto _ : state) inkpost::SaveDraft(window->drafts(), true);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * 1024 * 1024);
}

void BM_SaveDraftManual(benchmark::State& state) {
  for (auto _ : state) inkpost::SaveDraft(window->drafts(), false);
}

void BM_RestoreDraft(benchmark::State& state) {
  inkpost::SaveDraft(window->drafts(), true);
  for (auto _ : state) inkpost::RestoreDraft(window->drafts(), 1);
}

// The parts: the editor read and write (the page's own work), the slot
// files alone, the gallery rebuild.
void BM_EditorRead(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(inkpost::editorBody(inkpost::test::units(*window).editorView));
}

void BM_EditorWrite(benchmark::State& state) {
  const std::string body = inkpost::editorBody(inkpost::test::units(*window).editorView);
  for (auto _ : state) inkpost::setEditorBody(inkpost::test::units(*window).editorView, body);
}

void BM_SlotFilesSave(benchmark::State& state) {
  const inkpost::DraftFields fields = inkpost::captureDraft(window->drafts());
  inkpost::DraftStore store(inkpost::draftFolder());
  for (auto _ : state) store.saveRing(fields);
}

// The same without flushing to the disk: what the flushes cost.
void BM_SlotFilesSaveNoSync(benchmark::State& state) {
  const inkpost::DraftFields fields = inkpost::captureDraft(window->drafts());
  inkpost::DraftStore store(inkpost::draftFolder());
  store.syncWrites = false;
  for (auto _ : state) store.saveRing(fields);
}

void BM_SlotFilesLoad(benchmark::State& state) {
  inkpost::DraftStore store(inkpost::draftFolder());
  store.saveRing(inkpost::captureDraft(window->drafts()));
  for (auto _ : state) benchmark::DoNotOptimize(store.load("1"));
}

void BM_RebuildGallery(benchmark::State& state) {
  for (auto _ : state) inkpost::RebuildGallery(window->images());
}

// The recovery write as the window sees it: the processor time of the
// window's thread from starting the write until the article is handed to the
// writer's thread (the editor's own serialisation runs in the page's process
// and the disk work on the writer's thread; neither is counted). The title
// changes every time, so every round writes the 1 MB body.
double threadSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

void BM_RecoveryWriteWindowTime(benchmark::State& state) {
  int round = 0;
  for (auto _ : state) {
    inkpost::test::units(*window).titleEdit->setText(QStringLiteral("recovery %1").arg(++round));
    bool done = false;
    const double start = threadSeconds();
    inkpost::writeRecoverySoon(window->drafts(), [&] { done = true; });
    while (!done) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    state.SetIterationTime(threadSeconds() - start);
    inkpost::flushRecovery(window->drafts());
  }
}

// Closing: the title changed since the last recovery write, the body not.
void BM_CloseTitleChanged(benchmark::State& state) {
  int round = 0;
  for (auto _ : state) {
    inkpost::test::units(*window).titleEdit->setText(QStringLiteral("close %1").arg(++round));
    inkpost::SaveRecoveryOnClose(window->drafts());
  }
}

// Closing right after a word was typed into the 1 MB body: the body is read
// again (the page serialises it anew, bounded by the close's wait).
void BM_CloseAfterTyping(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    bool typed = false;
    inkpost::test::units(*window).editorView->page()->runJavaScript(
        QStringLiteral("FCKeditorAPI.GetInstance('txaContent').InsertHtml('word ');true"),
        [&](const QVariant&) { typed = true; });
    while (!typed) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    state.ResumeTiming();
    inkpost::SaveRecoveryOnClose(window->drafts());
  }
}

BENCHMARK(BM_RecoveryWriteWindowTime)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(20);
BENCHMARK(BM_CloseTitleChanged)->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK(BM_CloseAfterTyping)->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(BM_EditorRead)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EditorWrite)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SlotFilesSave)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SlotFilesSaveNoSync)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SlotFilesLoad)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RebuildGallery)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaveDraftRing)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_SaveDraftManual)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_RestoreDraft)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

int main(int argc, char** argv) {
  inkpost::prepareProcess();
  QApplication app(argc, argv);
  const std::string editorPage = std::string(INKPOST_TEST_PROGRAM_DIR) + "/editor/index.html";
  char tmpl[] = "/tmp/inkpost-bench-XXXXXX";
  const std::string dir = mkdtemp(tmpl);
  std::filesystem::create_directory(dir + "/temp");
  inkpost::setProgramDir(dir);

  inkpost::MainWindow w;
  window = &w;
  w.show();
  inkpost::test::units(w).editorView->load(QUrl::fromLocalFile(QString::fromStdString(editorPage)));
  if (!QTest::qWaitFor([&] { return inkpost::editorReady(inkpost::test::units(w).editorView); }, 60000)) {
    std::fprintf(stderr, "editor page %s not ready\n", editorPage.c_str());
    return 1;
  }
  const std::string body = megabyteBody();
  inkpost::setEditorBody(inkpost::test::units(w).editorView, body);
  const std::string back = inkpost::editorBody(inkpost::test::units(w).editorView);
  std::fprintf(stderr, "body in the editor: %zu bytes\n", back.size());
  for (int i = 0; i < 100; ++i)
    w.images().addToGallery("http://blog.example/upload/2026/12/photo-" + std::to_string(i) + ".jpg[1024|768");
  for (int id : {1, 2, 3}) inkpost::test::units(w).categoryBox->addItem(QString::number(id), id);

  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::filesystem::remove_all(dir);
  return 0;
}
