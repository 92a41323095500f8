// main() body for benchmarks that need a QApplication (web views, windows).
#pragma once

#include "shell/process.h"

#include <benchmark/benchmark.h>
#include <QApplication>

namespace inkpost::bench {

inline int runGuiBenchmarks(int argc, char** argv) {
  inkpost::prepareProcess();
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}

}  // namespace inkpost::bench
