// Upload of a 20 MB image to the sandbox blog on the loopback: throughput,
// and the upload's peak memory above what the process held before, as a
// multiple of the file size.
#include "images/upload.h"
#include "support/capture_server.h"
#include "support/sandboxlogin.h"
#include "support/tempdir.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <random>

namespace {

// A kB figure from /proc/self/status ("VmHWM", "VmRSS").
long statusKb(const char* key) {
  std::ifstream f("/proc/self/status");
  std::string line;
  while (std::getline(f, line))
    if (line.rfind(key, 0) == 0) return std::atol(line.c_str() + std::strlen(key) + 1);
  return -1;
}

// Resets the peak resident size to the current one.
bool resetPeak() {
  FILE* f = std::fopen("/proc/self/clear_refs", "w");
  if (!f) return false;
  bool ok = std::fputs("5", f) >= 0;
  return std::fclose(f) == 0 && ok;
}

constexpr size_t kSize = 20u << 20;

void writeBigFile(const inkpost::test::TempDir& dir) {
  {
    std::string bytes(kSize, '\0');
    std::mt19937 rng(7);
    for (size_t i = 0; i < kSize; i += 4) {
      uint32_t v = rng();
      std::memcpy(&bytes[i], &v, 4);
    }
    bytes[0] = '\xff';
    bytes[1] = '\xd8';
    bytes[2] = '\xff';  // a JPEG marker: the upload sends images only
    std::ofstream(dir.file("big.jpg"), std::ios::binary)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }
}

void BM_Upload20MB(benchmark::State& state) {
  inkpost::test::TempDir dir;
  writeBigFile(dir);
  inkpost::test::Sandbox blog(inkpost::test::sandboxOptions());
  const std::string cookie = inkpost::test::sandboxLogin(blog);
  double worstPeak = 0;
  int n = 0;
  for (auto _ : state) {
    state.PauseTiming();
    const bool peakOk = resetPeak();
    const long before = statusKb("VmRSS:");
    const std::string name = "big" + std::to_string(n++);
    state.ResumeTiming();
    const std::string address = inkpost::UploadImageFile(blog.siteUrl(), cookie, dir.file("big.jpg"), name, true);
    state.PauseTiming();
    if (address.empty()) {
      state.SkipWithError("upload failed");
      break;
    }
    if (peakOk) worstPeak = std::max(worstPeak, (statusKb("VmHWM:") - before) * 1024.0 / kSize);
    std::remove((blog.dataDir() + "/upload/" + name + ".jpg").c_str());
    state.ResumeTiming();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kSize));
  state.counters["peak_x_file"] = worstPeak;
}
BENCHMARK(BM_Upload20MB)->Unit(benchmark::kMillisecond)->Iterations(6)->UseRealTime();

// The same upload to a raw server that only reads the bytes: the client's
// own share of the time.
void BM_Upload20MBRawServer(benchmark::State& state) {
  inkpost::test::TempDir dir;
  writeBigFile(dir);
  const std::string page =
      "\xe5\xb7\xb2\xe4\xb8\x8a\xe4\xbc\xa0\xe6\x96\x87\xe4\xbb\xb6:<a href=\"http://b/upload/big.jpg\">x</a>";
  inkpost::test::CaptureServer server("HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(page.size()) +
                                      "\r\nConnection: close\r\n\r\n" + page);
  for (auto _ : state) {
    if (inkpost::UploadImageFile(server.url("/"), "s=1;", dir.file("big.jpg"), "big", true).empty()) {
      state.SkipWithError("upload failed");
      break;
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kSize));
}
BENCHMARK(BM_Upload20MBRawServer)->Unit(benchmark::kMillisecond)->Iterations(4)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
