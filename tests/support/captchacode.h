// What a person would read off the sandbox's captcha: the code the sandbox
// bound to the session of the latest captcha request (its Cookie line is in
// the request log).
#pragma once

#include "support/sandbox.h"

#include <string>

namespace inkpost::test {

// The Cookie line of the latest logged captcha request; empty when none.
inline std::string lastCaptchaCookie(const Sandbox& sb) {
  const std::string log = sb.requestLog();
  const size_t at = log.rfind("c_validcode.asp");
  if (at == std::string::npos) return {};
  const size_t open = log.find("cookie=[", at);
  const size_t end = log.find('\n', at);
  if (open == std::string::npos || (end != std::string::npos && open > end)) return {};
  const size_t close = log.find(']', open);
  return log.substr(open + 8, close - open - 8);
}

// The code the blog now expects from that session.
inline std::string expectedCaptchaCode(const Sandbox& sb) {
  sb.waitForLog("c_validcode.asp", 1);
  return sb.get("_sandbox/captcha", lastCaptchaCookie(sb));
}

inline size_t countOf(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t p = text.find(what); p != std::string::npos; p = text.find(what, p + 1)) ++n;
  return n;
}

}  // namespace inkpost::test
