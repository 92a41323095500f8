// Cost of a fault report: the module snapshot, and naming a call stack whose
// frames lie in large shared libraries (each name is a scan of that
// library's dynamic symbol table).
#include "fault/faultguard.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

namespace {

std::vector<uintptr_t> sampleChain() {
  std::vector<uintptr_t> chain;
  // Addresses inside libstdc++ and libc, and inside this program.
  chain.push_back(reinterpret_cast<uintptr_t>(&std::terminate) + 4);
  chain.push_back(reinterpret_cast<uintptr_t>(&std::set_terminate) + 8);
  chain.push_back(reinterpret_cast<uintptr_t>(&qsort) + 16);
  chain.push_back(reinterpret_cast<uintptr_t>(&sampleChain) + 12);
  while (chain.size() < 32) chain.push_back(chain[chain.size() % 4] + chain.size());
  return chain;
}

void BM_ModuleSnapshot(benchmark::State& state) {
  for (auto _ : state) {
    inkpost::ModuleList modules;
    modules.snapshot();
    benchmark::DoNotOptimize(modules.items().size());
  }
}
BENCHMARK(BM_ModuleSnapshot);

void BM_CallStack32Frames(benchmark::State& state) {
  std::vector<uintptr_t> chain = sampleChain();
  inkpost::ModuleList modules;
  modules.snapshot();
  for (auto _ : state) {
    inkpost::FaultText text = inkpost::BuildCallStack(chain, modules);
    benchmark::DoNotOptimize(text.data());
  }
}
BENCHMARK(BM_CallStack32Frames);

void BM_FaultReport(benchmark::State& state) {
  std::vector<uintptr_t> chain = sampleChain();
  inkpost::FaultSnapshot s;
  s.code = 0xC0000005;
  s.address = chain[3];
  s.parameterCount = 2;
  s.parameters[0] = 1;
  s.parameters[1] = 0x20;
  for (size_t i = 0; i < chain.size(); ++i) s.chain[i] = chain[i];
  s.chainLength = chain.size();
  for (auto _ : state) {
    inkpost::FaultText text = inkpost::BuildFaultReport(s);
    benchmark::DoNotOptimize(text.data());
  }
}
BENCHMARK(BM_FaultReport);

}  // namespace

BENCHMARK_MAIN();
