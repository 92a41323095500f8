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

// Every byte as %XX, for a form value.
inline std::string formEncoded(const std::string& text) {
  static const char* const kHex = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : text) out += {'%', kHex[c >> 4], kHex[c & 15]};
  return out;
}

// Blog k of a sandbox with sites (0: the only blog).
inline std::string sandboxLogin(const Sandbox& blog, int k = 0) {
  const std::string at = blog.blogPath(k);
  std::string headers;
  blog.get(at + "login.asp", {}, &headers);
  std::string cookie;
  size_t pos = 0;
  while ((pos = headers.find("Set-Cookie: ", pos)) != std::string::npos) {
    pos += 12;
    size_t end = headers.find_first_of(";\r\n", pos);
    cookie += headers.substr(pos, end - pos) + ";";
  }
  blog.get(at + "function/c_validcode.asp?name=loginvalid", cookie);  // binds the code to the session
  blog.post(at + "cmd.asp?act=verify",
            "edtUserName=admin&edtPassWord=" + formEncoded(blog.password(k)) +
                "&edtSaveDate=365&edtCheckOut=" + std::string(kSandboxCaptcha),
            cookie);
  return cookie;
}

}  // namespace inkpost::test
