// main() body for benchmarks that need a QApplication (web views, windows),
// and the event-loop wait they share.
#pragma once

#include "shell/process.h"

#include <benchmark/benchmark.h>
#include <QApplication>
#include <QElapsedTimer>

namespace inkpost::bench {

// Runs the event loop until `done` holds or `ms` have passed, looking again
// every sliceMs at the most.
template <typename F>
bool pumpUntil(F done, int ms, int sliceMs = 20) {
  QElapsedTimer t;
  t.start();
  while (!done()) {
    if (t.elapsed() > ms) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, sliceMs);
  }
  return true;
}

inline int runGuiBenchmarks(int argc, char** argv) {
  inkpost::prepareProcess();
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}

}  // namespace inkpost::bench
