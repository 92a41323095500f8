// The fetching half of the captcha reader: one GET of the image through the
// request-object routine, with the caller's session cookie.
#include "blog/captcha.h"

#include "net/http.h"

#include <cstring>

namespace inkpost {

std::string fetchCaptchaImage(std::int32_t handle, const std::string& url, const std::string& cookies) {
  const CaptchaSettings s = captchaSettings(handle);
  std::string responseHeaders;
  std::string cookieCopy = cookies;  // the image's own cookies are not kept
  return WinHttpEngine(url, "GET", "", "", "", "", "", s.timeout, responseHeaders, &cookieCopy, true,
                       kCaptchaAnswerCap);
}

int GetVcodeFromURL(std::int32_t handle, const std::string& url, char* buffer, std::size_t size,
                    const std::string& cookies) {
  if (buffer && size > 0) buffer[0] = '\0';
  if (!buffer || size == 0) return -1;
  const std::string image = fetchCaptchaImage(handle, url, cookies);
  if (image.empty()) return -2;
  std::string code = readCaptchaImage(handle, image);
  if (code.empty()) return -1;
  if (code.size() > size - 1) code.resize(size - 1);
  std::memcpy(buffer, code.c_str(), code.size() + 1);
  return static_cast<int>(code.size());
}

}  // namespace inkpost
