// Signs in to a sandbox blog started with a fixed captcha and returns the
// session cookie text ("name=value;").
#pragma once

#include "support/sandbox.h"

#include <string>

namespace inkpost::test {

inline const char* const kSandboxCaptcha = "12345";

inline Sandbox::Options sandboxOptions() {
  Sandbox::Options o;
  o.extraArgs = {"--captcha", std::string("fixed:") + kSandboxCaptcha};
  return o;
}

inline std::string sandboxLogin(const Sandbox& blog) {
  std::string headers;
  blog.get("login.asp", {}, &headers);
  std::string cookie;
  size_t pos = 0;
  while ((pos = headers.find("Set-Cookie: ", pos)) != std::string::npos) {
    pos += 12;
    size_t end = headers.find_first_of(";\r\n", pos);
    cookie += headers.substr(pos, end - pos) + ";";
  }
  blog.get("function/c_validcode.asp?name=loginvalid", cookie);
  blog.post("cmd.asp?act=verify",
            "edtUserName=admin&edtPassWord=secret&edtSaveDate=1&edtCheckOut=" + std::string(kSandboxCaptcha), cookie);
  return cookie;
}

}  // namespace inkpost::test
