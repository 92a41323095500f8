// The login captcha of the sandbox blog: five digits drawn in a bold font, each in its own dark colour and with its own
// vertical offset, over a light speckled background with scattered noise dots. Written as a 24-bit BMP, the format the
// blog engine serves.
#pragma once

#include <random>
#include <string>

namespace inkpost::sandbox {

inline constexpr int kCaptchaWidth = 100;
inline constexpr int kCaptchaHeight = 30;

// Digits are drawn from this TrueType font (bold, without anti-aliasing);
// when it cannot be loaded, or the path is empty, from a built-in 5x7 font.
inline constexpr const char* kDefaultCaptchaFont = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf";
void setCaptchaFont(const std::string& path);

// Five random digits.
std::string randomCaptchaCode(std::mt19937& rng);

// The image of `digits` (any count of '0'..'9'; other characters are left
// blank), as the bytes of a BMP file.
std::string renderCaptchaBmp(const std::string& digits, std::mt19937& rng);

}  // namespace inkpost::sandbox
