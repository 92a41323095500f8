// Loads the captcha reader's data once per test process, the way start-up
// does, through a temporary folder. Header-only: for the test executables
// that link the blog library.
#pragma once

#include "blog/captcha.h"
#include "support/tempdir.h"

namespace inkpost::test {

// Callers check CaptchaDataHandle() > 0 afterwards.
inline void ensureCaptchaData() {
  if (CaptchaDataHandle() > 0) return;
  TempDir dir;
  loadCaptchaData(dir.path());
}

}  // namespace inkpost::test
