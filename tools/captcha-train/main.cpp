// inkpost-captcha-train: trains the captcha reader's character classifier
// on pictures drawn by the sandbox's captcha code and writes the model file
// (src/blog/captcha_model.bin). The pictures go through the reader's own
// decoding and cutting, so the classifier sees exactly what it will read.
//
//   inkpost-captcha-train --out FILE [--captchas N] [--hidden H] [--seed S] [--check N]
//
// Same seed, same sizes, same machine type: same model. Training pictures
// come from seeds S, S+1, ...; the closing check uses seed 900000000 + S and
// up, which no test or benchmark uses either.
#include "blog/captcha_glyphs.h"
#include "blog/captcha_image.h"
#include "sandbox/captcha_image.h"
#include "sandbox/engine_captcha.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace {

using inkpost::GlyphModel;
using inkpost::GlyphPatch;

const char* kHelp =
    "usage: inkpost-captcha-train --out FILE [options]\n"
    "  --out FILE       model file to write\n"
    "  --captchas N     training pictures (default 300000)\n"
    "  --hidden H       hidden units (default 128)\n"
    "  --seed S         random seed (default 1)\n"
    "  --check N        pictures of each kind for the closing check (default 2000)\n";

// One training picture: its patches and their classes (nothing when the
// picture did not cut into five patches).
enum class Kind { EngineDefault, EngineSpread, Bmp };

bool sample(Kind kind, std::mt19937& rng, std::vector<GlyphPatch>& patches, std::vector<int>& classes,
            bool withBlanks) {
  using namespace inkpost::sandbox;
  std::string code = randomCaptchaCode(rng);
  std::string shown = code;
  std::string bytes;
  if (kind == Kind::Bmp) {
    bytes = renderCaptchaBmp(code, rng);
  } else {
    if (withBlanks)
      for (char& c : shown)
        if (std::uniform_int_distribution<int>(0, 24)(rng) == 0) c = ' ';
    EngineCaptchaStyle style = kind == Kind::EngineSpread ? spreadCaptchaStyle(rng) : EngineCaptchaStyle{};
    bytes = renderEngineCaptcha(shown, style, rng);
  }
  inkpost::RgbImage image;
  if (!inkpost::decodeCaptchaImage(bytes, image)) return false;
  patches = inkpost::captchaGlyphs(image);
  if (patches.size() != 5) return false;
  classes.clear();
  for (char c : shown) classes.push_back(c == ' ' ? inkpost::kNoGlyph : c - '0');
  return true;
}

Kind pickKind(std::mt19937& rng) {
  const int r = std::uniform_int_distribution<int>(0, 99)(rng);
  return r < 45 ? Kind::EngineDefault : r < 85 ? Kind::EngineSpread : Kind::Bmp;
}

struct Trainer {
  GlyphModel& m;
  std::vector<float> v1, vb1, v2, vb2;  // momentum
  std::vector<float> g1, gb1, g2, gb2;  // gradients of the current batch
  std::vector<float> hidden, probs, dHidden;
  explicit Trainer(GlyphModel& model) : m(model) {
    v1.assign(m.w1.size(), 0), vb1.assign(m.b1.size(), 0), v2.assign(m.w2.size(), 0), vb2.assign(m.b2.size(), 0);
    g1 = v1, gb1 = vb1, g2 = v2, gb2 = vb2;
    hidden.resize(static_cast<size_t>(m.hidden));
    probs.resize(static_cast<size_t>(m.classes));
    dHidden.resize(static_cast<size_t>(m.hidden));
  }
  void add(const GlyphPatch& x, int label) {
    m.forward(x.data(), hidden.data(), probs.data());
    const size_t H = static_cast<size_t>(m.hidden), I = static_cast<size_t>(m.inputs);
    std::fill(dHidden.begin(), dHidden.end(), 0.0f);
    for (size_t k = 0; k < static_cast<size_t>(m.classes); ++k) {
      const float d = probs[k] - (static_cast<int>(k) == label ? 1.0f : 0.0f);
      gb2[k] += d;
      float* grow = &g2[k * H];
      const float* wrow = &m.w2[k * H];
      for (size_t j = 0; j < H; ++j) {
        grow[j] += d * hidden[j];
        dHidden[j] += d * wrow[j];
      }
    }
    for (size_t j = 0; j < H; ++j) {
      if (hidden[j] <= 0) continue;
      const float d = dHidden[j];
      gb1[j] += d;
      float* grow = &g1[j * I];
      for (size_t i = 0; i < I; ++i) grow[i] += d * x[i];
    }
  }
  void step(float rate, int batch) {
    const float scale = rate / static_cast<float>(batch);
    auto apply = [&](std::vector<float>& w, std::vector<float>& v, std::vector<float>& g, float decay) {
      for (size_t i = 0; i < w.size(); ++i) {
        v[i] = 0.9f * v[i] - scale * (g[i] + decay * w[i]);
        w[i] += v[i];
        g[i] = 0;
      }
    };
    apply(m.w1, v1, g1, 1e-4f);
    apply(m.b1, vb1, gb1, 0);
    apply(m.w2, v2, g2, 1e-4f);
    apply(m.b2, vb2, gb2, 0);
  }
};

// Share of pictures of one kind read exactly, from seed `seed` on.
double exactShare(const GlyphModel& m, Kind kind, int count, unsigned seed) {
  std::mt19937 rng(seed);
  int exact = 0, total = 0;
  std::vector<GlyphPatch> patches;
  std::vector<int> classes;
  while (total < count) {
    ++total;
    if (!sample(kind, rng, patches, classes, false)) continue;
    bool all = true;
    for (size_t i = 0; i < 5 && all; ++i) all = m.classify(patches[i]) == classes[i];
    exact += all;
  }
  return 100.0 * exact / count;
}

}  // namespace

int main(int argc, char** argv) {
  std::string out;
  long captchas = 300000;
  int hidden = 128, check = 2000;
  unsigned seed = 1;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) {
        std::fprintf(stderr, "%s needs a value\n", a.c_str());
        std::exit(2);
      }
      return argv[++i];
    };
    if (a == "--out")
      out = value();
    else if (a == "--captchas")
      captchas = std::atol(value().c_str());
    else if (a == "--hidden")
      hidden = std::atoi(value().c_str());
    else if (a == "--seed")
      seed = static_cast<unsigned>(std::strtoul(value().c_str(), nullptr, 10));
    else if (a == "--check")
      check = std::atoi(value().c_str());
    else {
      std::fputs(kHelp, a == "--help" ? stdout : stderr);
      return a == "--help" ? 0 : 2;
    }
  }
  if (out.empty() || captchas <= 0 || hidden <= 0) {
    std::fputs(kHelp, stderr);
    return 2;
  }

  GlyphModel m;
  m.inputs = inkpost::kGlyphInputs;
  m.hidden = hidden;
  m.classes = inkpost::kGlyphClasses;
  std::mt19937 init(seed);
  std::normal_distribution<float> n1(0.0f, std::sqrt(2.0f / static_cast<float>(m.inputs)));
  std::normal_distribution<float> n2(0.0f, std::sqrt(2.0f / static_cast<float>(m.hidden)));
  m.w1.resize(static_cast<size_t>(m.hidden * m.inputs));
  for (float& w : m.w1) w = n1(init);
  m.b1.assign(static_cast<size_t>(m.hidden), 0.0f);
  m.w2.resize(static_cast<size_t>(m.classes * m.hidden));
  for (float& w : m.w2) w = n2(init);
  m.b2.assign(static_cast<size_t>(m.classes), 0.0f);

  Trainer t(m);
  std::mt19937 rng(seed + 1);
  const auto start = std::chrono::steady_clock::now();
  std::vector<GlyphPatch> patches;
  std::vector<int> classes;
  constexpr int kBatch = 4;  // pictures per step
  long used = 0;
  for (long n = 0; n < captchas; n += kBatch) {
    int glyphs = 0;
    for (int b = 0; b < kBatch; ++b) {
      if (!sample(pickKind(rng), rng, patches, classes, true)) continue;
      for (size_t i = 0; i < 5; ++i) t.add(patches[i], classes[i]);
      glyphs += 5;
      ++used;
    }
    if (glyphs == 0) continue;
    // Cosine decay of the learning rate over the run.
    const double progress = static_cast<double>(n) / static_cast<double>(captchas);
    const float rate = static_cast<float>(0.002 + 0.048 * 0.5 * (1 + std::cos(progress * 3.14159265358979)));
    t.step(rate, glyphs);
    if ((n / kBatch) % 10000 == 0)
      std::fprintf(stderr, "%ld pictures, rate %.4f, %.0f s\n", n, rate,
                   std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  std::fprintf(stderr, "trained on %ld pictures in %.0f s\n", used,
               std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());

  std::ofstream file(out, std::ios::binary | std::ios::trunc);
  const std::string bytes = m.serialize();
  file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!file) {
    std::fprintf(stderr, "cannot write %s\n", out.c_str());
    return 1;
  }
  std::printf("model: %s (%zu bytes)\n", out.c_str(), bytes.size());
  if (check > 0) {
    std::printf("exact reads, engine defaults: %.2f %%\n", exactShare(m, Kind::EngineDefault, check, 900000000 + seed));
    std::printf("exact reads, engine spread:   %.2f %%\n", exactShare(m, Kind::EngineSpread, check, 900100000 + seed));
    std::printf("exact reads, bmp style:       %.2f %%\n", exactShare(m, Kind::Bmp, check, 900200000 + seed));
  }
  return 0;
}
