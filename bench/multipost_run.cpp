// Publishing to many blogs at once against the loopback sandbox with a
// 300 ms delay on every answer: one blog alone, then fifty blogs four at a
// time (the run against (50 / 4) × the one-blog time, and the memory it
// adds), and the window's answers to a click while such a run goes on.
#include "blog/blogclient.h"
#include "common/programdir.h"
#include "multipost/multipublish.h"
#include "multipost/ui/multipublishwindow.h"
#include "shell/mainwindow.h"
#include "shell/shell.h"
#include "sites/sitestore.h"
#include "support/captchadata.h"
#include "support/hostile_server.h"
#include "support/sandbox.h"
#include "support/sandboxlogin.h"
#include "support/tempdir.h"

#include "guibench.h"

#include <benchmark/benchmark.h>
#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>

#include <sys/stat.h>

#include <chrono>

namespace {

using inkpost::test::Sandbox;
using Clock = std::chrono::steady_clock;

constexpr int kBlogs = 50;
constexpr int kAtATime = 4;
constexpr const char* kDelayMs = "300";

double onePublishSeconds = 0;  // of BM_OneBlog, for the ratio

Sandbox::Options delayed(int sites) {
  Sandbox::Options o = inkpost::test::sandboxOptions({"--delay", kDelayMs});
  o.sites = sites;
  return o;
}

inkpost::MultiArticle article() {
  inkpost::MultiArticle a;
  a.fields.title = "bench";
  a.fields.type = "4";
  a.fields.year = "2026";
  a.fields.month = "12";
  a.fields.day = "9";
  a.fields.time = "9:0:0";
  a.body = "<p>many blogs</p>";
  return a;
}

std::vector<inkpost::MultiTarget> targets(const Sandbox& sb, int n) {
  std::vector<inkpost::MultiTarget> out;
  for (int k = 1; k <= n; ++k) {
    inkpost::SiteRecord site;
    site.id = k;
    site.webname = "blog" + std::to_string(k);
    site.weburl = n == 1 ? sb.siteUrl() : sb.blogUrl(k);
    inkpost::MultiTarget t;
    t.client = std::make_shared<inkpost::BlogClient>(site);
    t.account = {"admin", n == 1 ? sb.password(0) : sb.password(k)};
    out.push_back(std::move(t));
  }
  return out;
}

double publishAll(const Sandbox& sb, int n, const inkpost::test::TempDir& dir) {
  inkpost::MultiPublisher run(targets(sb, n), kAtATime, {}, dir.file("temp/multipost"));
  std::vector<size_t> rows;
  for (int i = 0; i < n; ++i) rows.push_back(static_cast<size_t>(i));
  const auto start = Clock::now();
  run.publish(rows, article());
  run.wait();
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// A fresh blog each round: the login, the edit page and the post, each
// answer 300 ms late.
void BM_OneBlog(benchmark::State& state) {
  inkpost::test::ensureCaptchaData();
  inkpost::test::TempDir dir;
  inkpost::setProgramDir(dir.path());
  mkdir(dir.file("temp").c_str(), 0700);
  double total = 0;
  int rounds = 0;
  for (auto _ : state) {
    Sandbox sb(delayed(0));
    const double s = publishAll(sb, 1, dir);
    state.SetIterationTime(s);
    total += s;
    ++rounds;
  }
  onePublishSeconds = total / rounds;
}
BENCHMARK(BM_OneBlog)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

// Fifty blogs, four at a time: the target is 1.3 × (50 / 4) × one blog.
void BM_FiftyBlogsFourAtATime(benchmark::State& state) {
  inkpost::test::ensureCaptchaData();
  inkpost::test::TempDir dir;
  inkpost::setProgramDir(dir.path());
  mkdir(dir.file("temp").c_str(), 0700);
  double seconds = 0;
  long long added = 0;
  for (auto _ : state) {
    Sandbox sb(delayed(kBlogs));
    inkpost::test::resetPeakResident();
    const long long before = inkpost::test::peakResidentBytes();
    seconds = publishAll(sb, kBlogs, dir);
    added = inkpost::test::peakResidentBytes() - before;
    state.SetIterationTime(seconds);
  }
  const double ideal = static_cast<double>(kBlogs) / kAtATime * onePublishSeconds;
  state.counters["one_blog_s"] = onePublishSeconds;
  state.counters["ratio_to_ideal"] = ideal > 0 ? seconds / ideal : 0;        // target: at most 1.3
  state.counters["peak_added_MB"] = static_cast<double>(added) / (1 << 20);  // target: under 80
}
BENCHMARK(BM_FiftyBlogsFourAtATime)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);

// The 多站发布 window over the program's window while fifty blogs are
// published four at a time: the longest the window thread is busy between
// two events (a click waits at most that long). Target: under 100 ms.
void BM_WindowAnswersDuringARun(benchmark::State& state) {
  inkpost::test::ensureCaptchaData();
  for (auto _ : state) {
    state.PauseTiming();
    inkpost::test::TempDir dir;
    mkdir(dir.file("temp").c_str(), 0700);
    Sandbox sb(delayed(kBlogs));
    inkpost::setProgramDir(dir.path());
    inkpost::setResourceDir(INKPOST_TEST_PROGRAM_DIR);
    if (!inkpost::createSiteDatabase(dir.file("data.mdb"))) {
      state.SkipWithError("cannot prepare data.mdb");
      return;
    }
    (void)inkpost::OpenSiteStore();
    for (int k = 1; k <= kBlogs; ++k) {
      inkpost::SiteRecord s;
      s.webname = "blog" + std::to_string(k);
      s.weburl = sb.blogUrl(k);
      s.admin = "admin";
      s.pass = sb.password(k);
      (void)inkpost::saveNewSite(s);
    }
    inkpost::CloseSiteStore();
    auto w = inkpost::createMainWindow();
    w->show();
    auto* window = inkpost::showMultiPublish(w->clients(), w->form(), w.get());
    window->parallelBox()->setValue(kAtATime);
    window->tickAll(true);
    state.ResumeTiming();
    // The ticks log in to every blog, then the run publishes: a probe every
    // 10 ms measures how late the window thread takes it.
    QElapsedTimer clock;
    clock.start();
    qint64 last = 0, worst = 0;
    QTimer probe;
    probe.setInterval(10);
    QObject::connect(&probe, &QTimer::timeout, [&] {
      const qint64 now = clock.elapsed();
      worst = std::max(worst, now - last);
      last = now;
    });
    probe.start();
    bool started = false;
    while (clock.elapsed() < 180000) {
      QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
      if (!window->running()) {
        if (started) break;
        window->startButton()->click();
        started = true;
      }
    }
    state.counters["worst_answer_ms"] = static_cast<double>(worst);  // target: under 100
    state.counters["seconds"] = clock.elapsed() / 1000.0;
    state.PauseTiming();
    window->close();
    w.reset();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_WindowAnswersDuringARun)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

int main(int argc, char** argv) { return inkpost::bench::runGuiBenchmarks(argc, argv); }
