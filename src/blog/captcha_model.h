// The trained classifier the program carries (src/blog/captcha_model.bin,
// made by tools/captcha-train), built into the library. Empty when the build
// had no model file.
#pragma once

#include <string>

namespace inkpost {

const std::string& captchaModelBytes();

}  // namespace inkpost
