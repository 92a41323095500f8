// SaveDraft and RestoreDraft on a real main window: a 1 MB body in the
// editor page and 100 gallery entries. The save includes reading the body
// back from the editor; the restore writes it into the editor again.
#include "app/programdir.h"
#include "app/ui/mainwindow.h"
#include "app/ui/process.h"
#include "blog/ui/editorbody.h"
#include "drafts/ui/drafts.h"
#include "images/gallery.h"
#include "images/ui/gallery.h"
#include "net/encoding.h"

#include <QApplication>
#include <QComboBox>
#include <QUrl>
#include <QWebEngineView>
#include <QtTest/QTest>
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
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
  for (auto _ : state) inkpost::SaveDraft(*window, true);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * 1024 * 1024);
}

void BM_SaveDraftManual(benchmark::State& state) {
  for (auto _ : state) inkpost::SaveDraft(*window, false);
}

void BM_RestoreDraft(benchmark::State& state) {
  inkpost::SaveDraft(*window, true);
  for (auto _ : state) inkpost::RestoreDraft(*window, 1);
}

// The parts: the editor read and write (the page's own work), the slot
// files alone, the gallery rebuild.
void BM_EditorRead(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(inkpost::editorBody(window->editorView));
}

void BM_EditorWrite(benchmark::State& state) {
  const std::string body = inkpost::editorBody(window->editorView);
  for (auto _ : state) inkpost::setEditorBody(window->editorView, body);
}

void BM_SlotFilesSave(benchmark::State& state) {
  const inkpost::DraftFields fields = inkpost::captureDraft(*window);
  inkpost::DraftStore store(inkpost::draftFolder());
  for (auto _ : state) store.saveRing(fields);
}

// The same without flushing to the disk: what the flushes cost.
void BM_SlotFilesSaveNoSync(benchmark::State& state) {
  const inkpost::DraftFields fields = inkpost::captureDraft(*window);
  inkpost::DraftStore store(inkpost::draftFolder());
  store.syncWrites = false;
  for (auto _ : state) store.saveRing(fields);
}

void BM_SlotFilesLoad(benchmark::State& state) {
  inkpost::DraftStore store(inkpost::draftFolder());
  store.saveRing(inkpost::captureDraft(*window));
  for (auto _ : state) benchmark::DoNotOptimize(store.load("1"));
}

void BM_RebuildGallery(benchmark::State& state) {
  for (auto _ : state) inkpost::RebuildGallery(*window);
}

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
  w.editorView->load(QUrl::fromLocalFile(QString::fromStdString(editorPage)));
  if (!QTest::qWaitFor([&] { return inkpost::editorReady(w.editorView); }, 60000)) {
    std::fprintf(stderr, "editor page %s not ready\n", editorPage.c_str());
    return 1;
  }
  const std::string body = megabyteBody();
  inkpost::setEditorBody(w.editorView, body);
  const std::string back = inkpost::editorBody(w.editorView);
  std::fprintf(stderr, "body in the editor: %zu bytes\n", back.size());
  for (int i = 0; i < 100; ++i)
    inkpost::galleryList().push_back("http://blog.example/upload/2026/12/photo-" + std::to_string(i) +
                                     ".jpg[1024|768");
  for (int id : {1, 2, 3}) w.categoryBox->addItem(QString::number(id), id);

  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::filesystem::remove_all(dir);
  return 0;
}
