// 文章 → 打开博客文章… in the wired window against a loopback sandbox: the
// time from the menu entry until the list shows its first page, painted;
// and from 打开 on an article of 1 MB until its body shows in the editor,
// painted (the opening, the keeping of what the form held, the editor's
// write of the beginning); the counter whole_ms gives the time until the
// last part of the body is in.
#include "blog/openarticle.h"
#include "blog/publish.h"
#include "blog/ui/articleform.h"
#include "blog/ui/editorbody.h"
#include "blog/ui/login.h"
#include "blog/ui/openarticle.h"
#include "common/programdir.h"
#include "common/ui/modal.h"
#include "common/ui/toast.h"
#include "guibench.h"
#include "net/encoding.h"
#include "shell/mainwindow.h"
#include "shell/process.h"
#include "shell/shell.h"
#include "sites/sitestore.h"
#include "sites/ui/sitebar.h"
#include "support/captchadata.h"
#include "support/guiwait.h"
#include "support/sandboxlogin.h"
#include "support/tempdir.h"

#include <benchmark/benchmark.h>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDateTime>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QWebEngineView>

#include <filesystem>
#include <functional>
#include <memory>

namespace {

using namespace inkpost;

bool pumpUntil(const std::function<bool()>& done, int ms) { return bench::pumpUntil(done, ms, 5); }

// About 1 MB of body as an author writes it: paragraphs, images, links.
std::string largeBody() {
  const std::string text = fromUtf8("这是一段用来测试打开速度的正文，包含中文与 ASCII text &amp; 标点。");
  std::string body;
  for (int i = 0; body.size() < (1u << 20); ++i) {
    const std::string n = std::to_string(i);
    body += "<p>" + text + "<a href=\"http://example.org/" + n + ".html\">" + n + "</a></p>\n";
  }
  return body;
}

// The window, logged in to a sandbox holding 100 short articles and, as
// number 1, one of 1 MB.
struct Setup {
  test::TempDir folder;
  test::Sandbox sandbox{test::sandboxOptions()};
  std::unique_ptr<MainWindow> window;
  std::string error;

  Setup() {
    test::ensureCaptchaData();
    std::string cookie = test::sandboxLogin(sandbox);
    PostForm f;
    f.categoryId = "2";
    f.authorId = "1";
    f.level = "4";
    f.title = fromUtf8("一篇很长的文章");
    f.body = largeBody();
    if (postArticle(sandbox.siteUrl(), f, cookie) != kPostDone) error = "cannot store the long article";
    f.body = fromUtf8("<p>短文</p>");
    for (int i = 2; i <= 100; ++i) {
      f.title = fromUtf8("文章") + std::to_string(i);
      (void)postArticle(sandbox.siteUrl(), f, cookie);
    }
    setProgramDir(folder.path());
    setResourceDir(INKPOST_TEST_PROGRAM_DIR);
    std::filesystem::create_directory(folder.file("temp"));
    SiteRecord site;
    site.webname = "sandbox";
    site.weburl = sandbox.siteUrl();
    site.admin = "admin";
    site.pass = "secret";
    if (!createSiteDatabase(folder.file("data.mdb")) || !addOrUpdateSite(folder.file("data.mdb"), site))
      error = "cannot prepare data.mdb";
    window = createMainWindow();
    window->show();
    QComboBox* chooser = window->sites().chooser();
    chooser->setCurrentIndex(0);
    emit chooser->activated(0);
    if (!window->blog().ready()) error = "the login did not go through";
    if (!pumpUntil([&] { return editorReady(window->form().editor()); }, 30000)) error = "no editor page";
  }
};

// Made on first use; gone before the application (main).
std::unique_ptr<Setup>& setupSlot() {
  static std::unique_ptr<Setup> s;
  return s;
}

Setup& setup() {
  if (!setupSlot()) setupSlot() = std::make_unique<Setup>();
  return *setupSlot();
}

// The row titled `title` of the list, or null.
QTreeWidgetItem* row(const ArticleListDialog& d, const QString& title) {
  for (int i = 0; i < d.list()->topLevelItemCount(); ++i)
    if (d.list()->topLevelItem(i)->text(0) == title) return d.list()->topLevelItem(i);
  return nullptr;
}

void BM_CtrlOToFirstPageShown(benchmark::State& state) {
  Setup& s = setup();
  if (!s.error.empty()) {
    state.SkipWithError(s.error.c_str());
    return;
  }
  for (auto _ : state) {
    QElapsedTimer clock;
    qint64 shown = -1;
    ModalSeam seam([&](QDialog& dialog) {
      auto& list = dynamic_cast<ArticleListDialog&>(dialog);
      if (pumpUntil([&] { return list.listed() > 0; }, 10000)) {
        list.list()->repaint();
        shown = clock.nsecsElapsed();
      }
      list.reject();
    });
    clock.start();
    s.window->openArticleAction()->trigger();
    if (shown < 0) {
      state.SkipWithError("the list showed nothing");
      break;
    }
    state.SetIterationTime(static_cast<double>(shown) / 1e9);
  }
}
BENCHMARK(BM_CtrlOToFirstPageShown)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);

void BM_Open1MBArticleIntoTheEditor(benchmark::State& state) {
  Setup& s = setup();
  if (!s.error.empty()) {
    state.SkipWithError(s.error.c_str());
    return;
  }
  QWebEngineView* editor = s.window->form().editor();
  const QString title = QString::fromUtf8("一篇很长的文章");
  double whole = 0;
  int runs = 0;
  for (auto _ : state) {
    // A short new article in the form, as before each opening.
    s.window->newArticleAction()->trigger();
    // The page's write of the long body notes the frame that follows it.
    test::runScript(editor, QStringLiteral("(function(){var i=FCKeditorAPI.GetInstance('txaContent');"
                                           "var set=i.SetHTML;window.benchFrameAt=0;i.SetHTML=function(h){"
                                           "set.call(i,h);if(String(h).length<100000)return;i.SetHTML=set;"
                                           "requestAnimationFrame(function(){"
                                           "window.benchFrameAt=performance.timeOrigin+performance.now();});};"
                                           "return true;})()"));
    QElapsedTimer clock;
    double clickedAt = 0;
    ModalSeam seam([&](QDialog& dialog) {
      auto& list = dynamic_cast<ArticleListDialog&>(dialog);
      list.searchBox()->setText(title);
      pumpUntil([&] { return row(list, title) != nullptr || list.complete(); }, 20000);
      if (QTreeWidgetItem* r = row(list, title)) list.list()->setCurrentItem(r);
      clock.start();
      clickedAt = static_cast<double>(QDateTime::currentMSecsSinceEpoch());
      list.openButton()->click();
    });
    s.window->openArticleAction()->trigger();
    // The body shows with the first frame the page makes after the write:
    // the page notes the wall-clock time of that frame.
    if (!pumpUntil([&] { return test::runScript(editor, QStringLiteral("window.benchFrameAt||0")).toDouble() > 0; },
                   10000) ||
        s.window->form().editingId() != 1) {
      state.SkipWithError("the article did not show in the editor");
      break;
    }
    const double shownMs = test::runScript(editor, QStringLiteral("window.benchFrameAt")).toDouble() - clickedAt;
    state.SetIterationTime(shownMs / 1e3);
    const QString loading = QStringLiteral("FCKeditorAPI.GetInstance('txaContent').Loading()");
    if (!pumpUntil([&] { return !test::runScript(editor, loading).toBool(); }, 20000)) {
      state.SkipWithError("the body never came in whole");
      break;
    }
    whole += static_cast<double>(clock.nsecsElapsed()) / 1e6;
    ++runs;
  }
  state.counters["body_bytes"] = static_cast<double>(largeBody().size());
  if (runs > 0) state.counters["whole_ms"] = whole / runs;
}
BENCHMARK(BM_Open1MBArticleIntoTheEditor)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

int main(int argc, char** argv) {
  inkpost::prepareProcess();
  QApplication app(argc, argv);
  inkpost::installTranslations();
  inkpost::setToastTimeScale(0);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  setupSlot().reset();
  return 0;
}
