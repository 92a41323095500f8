// Signs in to a sandbox blog started with a fixed captcha, the way the
// login page's form does it by hand, and returns the session cookie text
// ("name=value;").
#pragma once

#include "support/sandbox.h"

#include <string>
#include <vector>

namespace inkpost::test {

inline const char* const kSandboxCaptcha = "12345";

// Options for a sandbox whose captcha is always kSandboxCaptcha; `extra`
// arguments follow.
inline Sandbox::Options sandboxOptions(const std::vector<std::string>& extra = {}) {
  Sandbox::Options o;
  o.extraArgs = {"--captcha", std::string("fixed:") + kSandboxCaptcha};
  o.extraArgs.insert(o.extraArgs.end(), extra.begin(), extra.end());
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
  blog.get("function/c_validcode.asp?name=loginvalid", cookie);  // binds the code to the session
  blog.post("cmd.asp?act=verify",
            "edtUserName=admin&edtPassWord=secret&edtSaveDate=365&edtCheckOut=" + std::string(kSandboxCaptcha), cookie);
  return cookie;
}

}  // namespace inkpost::test
