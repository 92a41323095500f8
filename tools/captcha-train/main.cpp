// inkpost-captcha-train: the C++ half of training the captcha reader.
//
//   inkpost-captcha-train samples --count N --seed S [--mix KIND:SHARE,...]
//       writes N training pictures to standard output, each as the reader's
//       own input (kLineHeight x kLineWidth bytes, ink share x 255, row by
//       row) followed by five class bytes (0..9, 10 for a blank position).
//       Kinds: family (tools/captcha-train/family.cpp), default and spread
//       (the sandbox's drawing with its default / spread settings), bmp (the
//       sandbox's older many-coloured BMP). The pictures go through the
//       reader's own decoding and ink finding, so the network learns exactly
//       what it will read.
//   inkpost-captcha-train check --model FILE [--count N] [--seed S] [--dir DIR]...
//       reads N fresh pictures of each kind (and every picture listed in
//       DIR/codes.txt) with the model and prints the exact-read shares and
//       how they split by the read's confidence.
//
// The same seed gives the same pictures (train.py picks the seeds).
#include "family.h"

#include "blog/captcha_image.h"
#include "blog/captcha_line.h"
#include "sandbox/captcha_image.h"
#include "sandbox/engine_captcha.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

using inkpost::CaptchaRead;
using inkpost::LineModel;
using inkpost::RgbImage;

const char* kHelp =
    "usage: inkpost-captcha-train samples --count N --seed S [--mix KIND:SHARE,...]\n"
    "       inkpost-captcha-train check --model FILE [--count N] [--seed S] [--dir DIR]...\n"
    "  kinds: family, default, spread, bmp (default mix family:90,bmp:10)\n";

[[noreturn]] void usage(const std::string& error) {
  std::fprintf(stderr, "inkpost-captcha-train: %s\n\n%s", error.c_str(), kHelp);
  std::exit(2);
}

const std::vector<std::string> kKinds = {"family", "default", "spread", "bmp"};

// One picture of a kind; `shown` is its code with ' ' for blank positions.
bool picture(const std::string& kind, const std::string& shown, std::mt19937& rng, RgbImage& image) {
  using namespace inkpost::sandbox;
  if (kind == "family") {
    image = inkpost::train::drawFamilyCaptcha(shown, rng);
    return true;
  }
  std::string bytes;
  if (kind == "bmp")
    bytes = renderCaptchaBmp(shown, rng);
  else
    bytes = renderEngineCaptcha(shown, kind == "spread" ? spreadCaptchaStyle(rng) : EngineCaptchaStyle{}, rng);
  return inkpost::decodeCaptchaImage(bytes, image);
}

int samples(long count, unsigned seed, const std::map<std::string, int>& mix) {
  std::mt19937 rng(seed);
  int total = 0;
  for (const auto& [kind, share] : mix) total += share;
  std::string record;
  for (long n = 0; n < count;) {
    int pick = std::uniform_int_distribution<int>(0, total - 1)(rng);
    std::string kind;
    for (const auto& [k, share] : mix)
      if (kind.empty() && (pick -= share) < 0) kind = k;
    std::string shown = inkpost::sandbox::randomCaptchaCode(rng);
    // Some blank positions, and now and then a picture without any digit.
    const bool empty = std::uniform_int_distribution<int>(0, 199)(rng) == 0;
    for (char& c : shown)
      if (empty || std::uniform_int_distribution<int>(0, 49)(rng) == 0) c = ' ';
    RgbImage image;
    if (!picture(kind, shown, rng, image)) continue;
    const inkpost::LineInput line = inkpost::captchaLine(image);
    if (line.empty()) continue;
    record.clear();
    for (float v : line) record += static_cast<char>(std::lround(std::min(1.0f, std::max(0.0f, v)) * 255));
    for (char c : shown) record += static_cast<char>(c == ' ' ? inkpost::kNoGlyph : c - '0');
    if (std::fwrite(record.data(), 1, record.size(), stdout) != record.size()) return 1;
    ++n;
  }
  return std::fflush(stdout) == 0 ? 0 : 1;
}

// Exact reads of a set, and how they split by confidence.
struct Tally {
  int total = 0, exact = 0;
  std::vector<int> sure, sureExact;  // per threshold
  double seconds = 0;
  static constexpr int kThresholds[] = {10, 30, 50, 70, 90};
  Tally() : sure(5, 0), sureExact(5, 0) {}
  void add(const CaptchaRead& r, const std::string& truth, double s) {
    ++total;
    exact += r.code == truth;
    seconds += s;
    for (size_t t = 0; t < 5; ++t)
      if (r.confidence * 100 >= kThresholds[t]) {
        ++sure[t];
        sureExact[t] += r.code == truth;
      }
  }
  void print(const std::string& name) const {
    std::printf("%-28s %5d read, %6.2f %% exact, %.2f ms a read\n", name.c_str(), total,
                total ? 100.0 * exact / total : 0.0, total ? 1000 * seconds / total : 0.0);
    for (size_t t = 0; t < 5; ++t)
      std::printf("    sure >= %2d %%: %6.2f %% of reads, %6.2f %% of those exact\n", kThresholds[t],
                  total ? 100.0 * sure[t] / total : 0.0, sure[t] ? 100.0 * sureExact[t] / sure[t] : 0.0);
  }
};

CaptchaRead timedRead(const LineModel& model, const std::string& bytes, double& seconds) {
  const auto start = std::chrono::steady_clock::now();
  RgbImage image;
  CaptchaRead r;
  if (inkpost::decodeCaptchaImage(bytes, image)) r = inkpost::readCaptchaPicture(model, image);
  seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return r;
}

int check(const std::string& modelFile, long count, unsigned seed, const std::vector<std::string>& dirs) {
  std::ifstream in(modelFile, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  LineModel model;
  if (!model.parse(bytes)) {
    std::fprintf(stderr, "inkpost-captcha-train: %s is no usable model\n", modelFile.c_str());
    return 1;
  }
  std::printf("model %s: %zu bytes\n", modelFile.c_str(), bytes.size());
  for (const std::string& kind : kKinds) {
    std::mt19937 rng(seed);
    Tally tally;
    for (long n = 0; n < count; ++n) {
      const std::string code = inkpost::sandbox::randomCaptchaCode(rng);
      RgbImage image;
      if (!picture(kind, code, rng, image)) continue;
      const auto start = std::chrono::steady_clock::now();
      const CaptchaRead r = inkpost::readCaptchaPicture(model, image);
      tally.add(r, code, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    tally.print(kind);
  }
  for (const std::string& dir : dirs) {
    std::ifstream codes(std::filesystem::path(dir) / "codes.txt");
    std::string line;
    Tally tally;
    while (std::getline(codes, line)) {
      std::istringstream fields(line);
      std::string name, code;
      fields >> name >> code;
      std::ifstream file(std::filesystem::path(dir) / name, std::ios::binary);
      const std::string image((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
      double seconds = 0;
      const CaptchaRead r = timedRead(model, image, seconds);
      tally.add(r, code, seconds);
    }
    tally.print(dir);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) usage("samples or check?");
  const std::string mode = argv[1];
  long count = 1000;
  unsigned seed = 1;
  std::string model, mixText = "family:90,bmp:10";
  std::vector<std::string> dirs;
  for (int i = 2; i < argc; ++i) {
    const std::string a = argv[i];
    if (i + 1 >= argc) usage(a + " needs a value");
    const std::string v = argv[++i];
    if (a == "--count")
      count = std::atol(v.c_str());
    else if (a == "--seed")
      seed = static_cast<unsigned>(std::strtoul(v.c_str(), nullptr, 10));
    else if (a == "--mix")
      mixText = v;
    else if (a == "--model")
      model = v;
    else if (a == "--dir")
      dirs.push_back(v);
    else
      usage("unknown option " + a);
  }
  if (count < 0) usage("--count wants a number from 0");
  if (mode == "samples") {
    std::map<std::string, int> mix;
    std::istringstream parts(mixText);
    std::string part;
    while (std::getline(parts, part, ',')) {
      const size_t colon = part.find(':');
      const std::string kind = part.substr(0, colon);
      const int share = colon == std::string::npos ? 1 : std::atoi(part.c_str() + colon + 1);
      if (std::find(kKinds.begin(), kKinds.end(), kind) == kKinds.end()) usage("unknown kind " + kind);
      if (share > 0) mix[kind] = share;
    }
    if (mix.empty()) usage("--mix names no kind");
    return samples(count, seed, mix);
  }
  if (mode == "check") {
    if (model.empty()) usage("--model is required");
    return check(model, count, seed, dirs);
  }
  usage("unknown mode " + mode);
}
