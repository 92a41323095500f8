// Captcha pictures written to a folder by a generator (inkpost-captcha-gen,
// or the second renderer tools/captcha-render2/render2.py), read back with
// their codes. Header-only: the including target defines INKPOST_PYTHON3
// (empty without python3) and INKPOST_SOURCE_DIR.
#pragma once

#include "support/program.h"
#include "support/tempdir.h"

#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace inkpost::test {

using CaptchaFiles = std::vector<std::pair<std::string, std::string>>;  // image bytes, code

// The pictures listed in dir/codes.txt ("FILE CODE ..." a line), in order.
inline CaptchaFiles captchaFilesIn(const std::string& dir) {
  CaptchaFiles out;
  std::ifstream codes(dir + "/codes.txt");
  std::string line;
  while (std::getline(codes, line)) {
    std::istringstream fields(line);
    std::string name, code;
    fields >> name >> code;
    out.emplace_back(readFile(dir + "/" + name), code);
  }
  return out;
}

// Runs `command` with " --out DIR" added and reads what it wrote; *output
// gets what it printed when it fails (no pictures then).
inline CaptchaFiles generatedCaptchas(const std::string& command, std::string* output = nullptr) {
  TempDir dir;
  int status = -1;
  const std::string printed = shellOutput(command + " --out '" + dir.path() + "' 2>&1", &status);
  if (status != 0) {
    if (output) *output = printed;
    return {};
  }
  return captchaFilesIn(dir.path());
}

// The second renderer run with `options` (e.g. "--count 300 --seed 5 --spread").
inline CaptchaFiles secondRendererCaptchas(const std::string& options, std::string* output = nullptr) {
  return generatedCaptchas(
      std::string(INKPOST_PYTHON3) + " '" + INKPOST_SOURCE_DIR + "/tools/captcha-render2/render2.py' " + options,
      output);
}

}  // namespace inkpost::test
