// How long a body the editor page really takes: a body of N MB written with
// setEditorBody and read back with editorBody, under a display (Xvfb).
// Counter `whole` is 1 when the body came back byte for byte; the time is
// the write and the read together. kEditorBodyMax (blog/editortext.h) is
// set from these figures; far larger bodies (some 100 MB) come back empty.
#include "blog/editortext.h"
#include "blog/ui/editorbody.h"
#include "common/programdir.h"
#include "guibench.h"
#include "net/encoding.h"
#include "shell/process.h"

#include <benchmark/benchmark.h>
#include <QApplication>
#include <QElapsedTimer>
#include <QWebEngineView>

#include <memory>
#include <string>

namespace {

bool waitReady(QWebEngineView* view, int timeoutMs) {
  QElapsedTimer t;
  t.start();
  while (t.elapsed() < timeoutMs) {
    if (inkpost::editorReady(view)) return true;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  }
  return false;
}

// Paragraphs of Chinese text with some markup, `mb` megabytes of GBK.
std::string bodyOf(size_t mb) {
  const std::string paragraph = "<p>" + inkpost::fromUtf8("这是一段用来测量编辑器能载入多长正文的文字，") +
                                "<b>bold</b> text " + inkpost::fromUtf8("和一些标点。") + "</p>";
  std::string body;
  body.reserve(mb << 20);
  while (body.size() + paragraph.size() <= (mb << 20)) body += paragraph;
  return body;
}

void BM_EditorBodyRoundTrip(benchmark::State& state) {
  const size_t mb = static_cast<size_t>(state.range(0));
  const std::string body = bodyOf(mb);
  QWebEngineView view;
  view.resize(800, 500);
  view.show();
  inkpost::loadEditorPage(&view);
  if (!waitReady(&view, 60000)) {
    state.SkipWithError("editor page not ready");
    return;
  }
  bool whole = true;
  for (auto _ : state) {
    inkpost::setEditorBody(&view, body);
    const std::optional<std::string> back = inkpost::editorBodyWithin(&view, 300000);
    whole = whole && back && *back == body;
  }
  state.counters["MB"] = static_cast<double>(mb);
  state.counters["whole"] = whole ? 1 : 0;
}
BENCHMARK(BM_EditorBodyRoundTrip)
    ->Arg(1)
    ->Arg(static_cast<int64_t>(inkpost::kEditorBodyMax >> 20))
    ->Arg(32)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

}  // namespace

int main(int argc, char** argv) {
  inkpost::setProgramDir(INKPOST_TEST_PROGRAM_DIR);
  return inkpost::bench::runGuiBenchmarks(argc, argv);
}
