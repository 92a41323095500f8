// inkpost-captcha-gen: writes N captchas, drawn by the sandbox blog's own
// code, and their codes to a folder. The same seed gives the same files.
//
//   inkpost-captcha-gen --out DIR [--count N] [--seed S] [--style engine|bmp]
//                       [--size WxH] [--noise P|MIN-MAX] [--angle DEG] [--margin P] [--spread]
//
// DIR/NNNNN.gif (or .bmp) are the images; DIR/codes.txt has one line per
// image: file name, a blank, the five digits. With --spread every image gets
// its own engine settings from the range blog owners use, and codes.txt adds
// them after the code (WxH noise-min noise-max angle margin).
#include "sandbox/captcha_image.h"
#include "sandbox/engine_captcha.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

namespace {

const char* kHelp =
    "usage: inkpost-captcha-gen --out DIR [options]\n"
    "  --out DIR          folder to write into (created)\n"
    "  --count N          number of captchas (default 100)\n"
    "  --seed S           random seed (default 1)\n"
    "  --style S          engine (default) | bmp\n"
    "  --size WxH         engine picture size (default 60x20)\n"
    "  --noise P          engine noise, per cent of pixels flipped: P or MIN-MAX (default 6-10)\n"
    "  --angle DEG        engine stroke turn, degrees either way (default 7)\n"
    "  --margin P         engine random margin, per cent (default 5)\n"
    "  --spread           each engine image with its own settings from the usual range\n";

[[noreturn]] void usage(const std::string& error) {
  std::fprintf(stderr, "inkpost-captcha-gen: %s\n\n%s", error.c_str(), kHelp);
  std::exit(2);
}

}  // namespace

int main(int argc, char** argv) {
  using namespace inkpost::sandbox;
  std::string out, style = "engine";
  long count = 100;
  unsigned long seed = 1;
  bool spread = false;
  EngineCaptchaStyle engine;
  // Options come in pairs "--name value", except --spread and --help.
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--help" || a == "-h") {
      std::fputs(kHelp, stdout);
      return 0;
    }
    if (a == "--spread") {
      spread = true;
      continue;
    }
    if (a.rfind("--", 0) != 0 || i + 1 >= argc)
      usage(a.rfind("--", 0) == 0 ? a + " needs a value" : "unknown option " + a);
    const std::string name = a.substr(2), v = argv[++i];
    std::string error;
    if (name == "out")
      out = v;
    else if (name == "count")
      count = std::atol(v.c_str());
    else if (name == "seed")
      seed = std::strtoul(v.c_str(), nullptr, 10);
    else if (name == "style")
      style = v;
    else if (!applyCaptchaOption(name, v, engine, error))
      usage(error.empty() ? "unknown option " + a : "--" + error);
  }
  if (out.empty()) usage("--out is required");
  if (count < 0) usage("--count wants a number from 0");
  if (style != "engine" && style != "bmp") usage("unknown style " + style);

  std::error_code ec;
  std::filesystem::create_directories(out, ec);
  std::ofstream codes(std::filesystem::path(out) / "codes.txt", std::ios::trunc);
  if (!codes) {
    std::fprintf(stderr, "inkpost-captcha-gen: cannot write into %s\n", out.c_str());
    return 1;
  }
  std::mt19937 rng(static_cast<std::mt19937::result_type>(seed));
  for (long n = 1; n <= count; ++n) {
    const std::string code = randomCaptchaCode(rng);
    char name[32];
    std::snprintf(name, sizeof name, "%05ld.%s", n, style == "bmp" ? "bmp" : "gif");
    std::string bytes, settings;
    if (style == "bmp") {
      bytes = renderCaptchaBmp(code, rng);
    } else {
      EngineCaptchaStyle s = spread ? spreadCaptchaStyle(rng) : engine;
      bytes = renderEngineCaptcha(code, s, rng);
      if (spread) {
        char buf[96];
        std::snprintf(buf, sizeof buf, " %dx%d %.2f %.2f %.2f %.2f", s.width, s.height, s.noiseMin, s.noiseMax, s.angle,
                      s.margin);
        settings = buf;
      }
    }
    std::ofstream file(std::filesystem::path(out) / name, std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!file) {
      std::fprintf(stderr, "inkpost-captcha-gen: cannot write %s\n", name);
      return 1;
    }
    codes << name << ' ' << code << settings << '\n';
  }
  return codes ? 0 : 1;
}
