// Measuring a large JPEG: the header route used for gallery entries against
// the full decode-and-convert route it must agree with.
#include "images/convert.h"

#include <QBuffer>
#include <QImage>

#include <benchmark/benchmark.h>

namespace {

const std::string& bigJpeg() {
  static const std::string bytes = [] {
    QImage image(4000, 3000, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y) {
      auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
      for (int x = 0; x < image.width(); ++x) {
        // A photograph-like mix of gradient and noise, so the file has a
        // realistic size.
        uint32_t n = static_cast<uint32_t>(x) * 2654435761u ^ static_cast<uint32_t>(y) * 2246822519u;
        n ^= n >> 13;
        line[x] =
            qRgb((x / 16 + (n & 63)) & 255, (y / 12 + ((n >> 8) & 63)) & 255, ((x + y) / 28 + ((n >> 16) & 63)) & 255);
      }
    }
    QByteArray out;
    QBuffer buffer(&out);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG", 85);
    return std::string(out.constData(), static_cast<size_t>(out.size()));
  }();
  return bytes;
}

void BM_WidthAndHeight(benchmark::State& state) {
  const std::string& jpeg = bigJpeg();
  int cw = 0, ch = 0;
  inkpost::ImageSizeByConversion(jpeg, cw, ch);
  for (auto _ : state) {
    int w = inkpost::ImageWidth(jpeg);
    int h = inkpost::ImageHeight(jpeg);
    benchmark::DoNotOptimize(w);
    benchmark::DoNotOptimize(h);
    if (w != cw || h != ch || w != 4000 || h != 3000) {
      state.SkipWithError("header route disagrees with the conversion route");
      break;
    }
  }
  state.counters["file_MB"] = jpeg.size() / 1e6;
}
BENCHMARK(BM_WidthAndHeight)->Unit(benchmark::kMillisecond);

void BM_WidthAndHeightByConversion(benchmark::State& state) {
  const std::string& jpeg = bigJpeg();
  for (auto _ : state) {
    int w = 0, h = 0;
    inkpost::ImageSizeByConversion(jpeg, w, h);
    benchmark::DoNotOptimize(w);
    if (w != 4000 || h != 3000) {
      state.SkipWithError("conversion route gave a wrong size");
      break;
    }
  }
}
BENCHMARK(BM_WidthAndHeightByConversion)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
