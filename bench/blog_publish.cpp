// Preparing the post of a large article: a 1 MB body holding 5,000 images
// and links. Client side (root replacement, intro, form encoding) on its own,
// and with the body read from the real editor page first; plus the time from
// loading the editor page to its first possible write.
#include "blog/publish.h"
#include "blog/ui/editorbody.h"
#include "blog/ui/publish.h"
#include "common/programdir.h"
#include "net/encoding.h"
#include "shell/process.h"
#include "support/guiwait.h"

#include <benchmark/benchmark.h>
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <QWebEngineView>

#include <memory>
#include <string>

namespace {

using namespace inkpost;
using inkpost::test::spin;

const std::string kSite = "http://127.0.0.1:8080/blog/";

// About 1 MB: 5,000 paragraphs, each with an image under the editor root, a
// link elsewhere and Chinese text.
std::string largeBody(const std::string& root) {
  const std::string text = fromUtf8("这是一段用来测试发布速度的正文，包含中文与 ASCII text, 还有标点。");
  std::string body;
  for (int i = 0; i < 5000; ++i) {
    const std::string n = std::to_string(i);
    body += "<p>" + text + "<img src=\"" + root + "upload/" + n + ".jpg\" alt=\"\" />" +
            "<a href=\"http://example.org/post/" + n + ".html\" target=\"_blank\">" + fromUtf8("链接") + n +
            "</a></p>\n";
  }
  return body;
}

bool waitReady(QWebEngineView* view, int timeoutMs) {
  QElapsedTimer t;
  t.start();
  while (t.elapsed() < timeoutMs) {
    if (editorReady(view)) return true;
    spin(5);
  }
  return false;
}

void BM_PrepareClientSide(benchmark::State& state) {
  const std::string root = "file:///opt/inkpost/editor/";
  const std::string body = largeBody(root);
  state.counters["body_bytes"] = static_cast<double>(body.size());
  for (auto _ : state) {
    PostForm form;
    form.title = fromUtf8("标题");
    form.time = "9:5:3";
    completeArticle(form, body, root, kSite);
    benchmark::DoNotOptimize(articleFormBody(form));
  }
}
BENCHMARK(BM_PrepareClientSide)->Unit(benchmark::kMillisecond);

struct Editor {
  std::unique_ptr<QWebEngineView> view;
  std::string root;
};

std::unique_ptr<Editor> sharedEditor;

Editor& editor() {
  if (!sharedEditor) {
    sharedEditor = std::make_unique<Editor>();
    sharedEditor->view = std::make_unique<QWebEngineView>();
    sharedEditor->view->resize(900, 600);
    sharedEditor->view->show();
    loadEditorPage(sharedEditor->view.get());
    waitReady(sharedEditor->view.get(), 30000);
    sharedEditor->root = editorRootAddress(sharedEditor->view.get());
  }
  return *sharedEditor;
}

void runScript(QWebEngineView* view, const QString& script) {
  QEventLoop loop;
  view->page()->runJavaScript(script, [&](const QVariant&) { loop.quit(); });
  loop.exec();
}

// The body as the editor holds it after a user's edit: every read
// serialises the editor's document anew.
void BM_PrepareWithEditorRead(benchmark::State& state) {
  Editor& e = editor();
  if (e.root.empty()) {
    state.SkipWithError("editor page not ready");
    return;
  }
  setEditorBody(e.view.get(), largeBody(e.root));
  size_t bytes = 0;
  int edit = 0;
  for (auto _ : state) {
    state.PauseTiming();
    runScript(e.view.get(), QStringLiteral("tinymce.activeEditor.getBody().appendChild("
                                           "document.createTextNode('edit %1'))")
                                .arg(++edit));
    state.ResumeTiming();
    PostForm form;
    const std::string read = editorBody(e.view.get());
    bytes = read.size();
    completeArticle(form, read, e.root, kSite);
    benchmark::DoNotOptimize(articleFormBody(form));
  }
  state.counters["body_bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_PrepareWithEditorRead)->Unit(benchmark::kMillisecond)->Iterations(10);

// The same when the user paused before publishing (as a click on the
// button takes): the serialisation made while the page was idle is used.
void BM_PrepareWithEditorReadAfterPause(benchmark::State& state) {
  Editor& e = editor();
  if (e.root.empty()) {
    state.SkipWithError("editor page not ready");
    return;
  }
  setEditorBody(e.view.get(), largeBody(e.root));
  int edit = 0;
  for (auto _ : state) {
    state.PauseTiming();
    runScript(e.view.get(), QStringLiteral("tinymce.activeEditor.getBody().appendChild("
                                           "document.createTextNode('pause %1'))")
                                .arg(++edit));
    spin(3000);
    state.ResumeTiming();
    PostForm form;
    completeArticle(form, editorBody(e.view.get()), e.root, kSite);
    benchmark::DoNotOptimize(articleFormBody(form));
  }
}
BENCHMARK(BM_PrepareWithEditorReadAfterPause)->Unit(benchmark::kMillisecond)->Iterations(5);

// The same, right after the client wrote the body (a restored draft).
void BM_PrepareWithEditorReadOfWrittenBody(benchmark::State& state) {
  Editor& e = editor();
  if (e.root.empty()) {
    state.SkipWithError("editor page not ready");
    return;
  }
  const std::string body = largeBody(e.root);
  setEditorBody(e.view.get(), body);
  for (auto _ : state) {
    PostForm form;
    completeArticle(form, editorBody(e.view.get()), e.root, kSite);
    benchmark::DoNotOptimize(articleFormBody(form));
  }
}
BENCHMARK(BM_PrepareWithEditorReadOfWrittenBody)->Unit(benchmark::kMillisecond)->Iterations(10);

// A fresh view: from load() to the first write the editor accepts.
void BM_EditorPageReady(benchmark::State& state) {
  for (auto _ : state) {
    QWebEngineView view;
    view.resize(900, 600);
    view.show();
    QElapsedTimer t;
    t.start();
    loadEditorPage(&view);
    if (!waitReady(&view, 30000)) {
      state.SkipWithError("editor page not ready");
      return;
    }
    state.SetIterationTime(t.elapsed() / 1000.0);
  }
}
BENCHMARK(BM_EditorPageReady)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(5);

}  // namespace

int main(int argc, char** argv) {
  inkpost::prepareProcess();
  QApplication app(argc, argv);
  inkpost::setProgramDir(INKPOST_TEST_PROGRAM_DIR);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  sharedEditor.reset();
  return 0;
}
