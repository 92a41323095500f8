// The login captcha as the blog engine's own script draws it: five digits
// drawn as bent polylines, one per fifth of the width, strokes grown right
// and down, a share of all pixels flipped; written by hand as a two-colour
// GIF89a whose codes are never compressed (a clear code after every 126
// pixels) and whose last data sub-block carries a length byte computed from
// the pixel count instead of from the bytes that follow.
//
// The blog owner's settings (size, noise rate, angle, margins) are the
// fields of EngineCaptchaStyle; the defaults are the engine's.
#pragma once

#include <array>
#include <cstdint>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace inkpost::sandbox {

struct EngineCaptchaStyle {
  int width = 60;
  int height = 20;
  double noiseMin = 6.0;   // per cent of all pixels flipped, a random rate per image
  double noiseMax = 10.0;  //   between these two
  double angle = 7.0;      // largest turn of a segment, in degrees, either way
  double margin = 5.0;     // largest random margin inside a cell, per cent of its width / the height
};

// The points of each digit in per cent of its box (x, y; 1 to 100, y
// downwards), as the engine's script lists them.
using DigitPolyline = std::vector<std::pair<int, int>>;
const std::array<DigitPolyline, 10>& engineDigitShapes();

// A blog owner's choice from the range of settings seen on real blogs:
// sizes from about 45x15 to 120x40, noise 2 to 16 %, turns up to 12 degrees,
// margins up to 12 %. Used to train and test readers on more than the defaults.
EngineCaptchaStyle spreadCaptchaStyle(std::mt19937& rng);

// Applies one of the settings options "size", "noise", "angle", "margin"
// (given without their leading dashes and any prefix) to the style. Returns
// false for another name; `error` is then empty, or says what is wrong with
// the value of a known name.
bool applyCaptchaOption(const std::string& name, const std::string& value, EngineCaptchaStyle& style,
                        std::string& error);

// Parses "WxH" into the style; false for anything else or a side outside 10..1000.
bool parseCaptchaSize(const std::string& text, EngineCaptchaStyle& style);
// Parses "P" or "MIN-MAX" (per cent, 0..50) into the noise range.
bool parseCaptchaNoise(const std::string& text, EngineCaptchaStyle& style);

// The picture of `digits` (each '0'..'9'; anything else leaves its cell
// blank): width x height pixels, 1 = ink, 0 = background.
std::vector<std::uint8_t> drawEngineCaptcha(const std::string& digits, const EngineCaptchaStyle& style,
                                            std::mt19937& rng);

// The GIF bytes of such a picture with the two colours of the engine: a
// light background (each channel 255 minus a random value below 64) and its
// complement as ink.
std::string encodeEngineGif(const std::vector<std::uint8_t>& pixels, int width, int height, std::mt19937& rng);

// Both steps: what the blog answers for one captcha.
std::string renderEngineCaptcha(const std::string& digits, const EngineCaptchaStyle& style, std::mt19937& rng);

}  // namespace inkpost::sandbox
