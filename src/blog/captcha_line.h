// The recognising half of the captcha reader: a decoded picture turned into
// one small grey image of its ink (the "line"), and the network that reads
// the five characters off that line at once, each with its probability.
//
// The ink is told apart from the background by the picture's colours:
// - two colours (the blog engine's own captcha): the background is the
//   colour that holds most of the picture's outer frame (the engine keeps a
//   border free of strokes), whatever the contrast or which one is darker;
//   the other colour is ink, noise included.
// - more colours (captchas drawn with a font in several colours): dark
//   pixels with enough like-coloured dark neighbours are ink; pieces of ink
//   too small or too low to be a character are dropped.
// The whole picture is then scaled to kLineWidth x kLineHeight cells, each
// the share of ink under it (0 background .. 1 ink).
//
// The network (trained offline by tools/captcha-train/train.py on pictures
// of many drawings of the engine's captcha) is a stack of 3x3 convolutions
// with rectified outputs, then one small classifier shared by the five
// positions: position i looks at the columns of the feature map around the
// i-th fifth of the width and gives the ten digits and "no character".
#pragma once

#include "blog/captcha_image.h"

#include <array>
#include <string>
#include <vector>

namespace inkpost {

inline constexpr int kLineWidth = 80;
inline constexpr int kLineHeight = 32;
// Characters of a code, one per fifth of the picture.
inline constexpr int kLinePositions = 5;
// Classes 0..9 are the digits; this one is a position without a character.
inline constexpr int kNoGlyph = 10;
inline constexpr int kGlyphClasses = 11;

// How the many-coloured kind is cleaned.
struct GlyphCleaning {
  int dark = 160;      // luminance below which a pixel is ink
  int like = 64;       // largest channel difference of like-coloured pixels
  int neighbours = 2;  // like-coloured ink neighbours an ink pixel needs
  int minHeight = 9;   // ink pieces lower than this are noise
  int minPixels = 12;  // ink pieces smaller than this are noise
};

using LineInput = std::vector<float>;  // kLineHeight x kLineWidth values, row by row

// The ink of a picture as the network's input; empty when the picture shows
// nothing (one colour, or no pixels).
LineInput captchaLine(const RgbImage& image, const GlyphCleaning& cleaning = {});

// What the network makes of one line: per position the likeliest class and
// its probability.
struct LineRead {
  std::array<int, kLinePositions> classes{};
  std::array<float, kLinePositions> probabilities{};
};

// The network's weights.
struct LineModel {
  struct Conv {
    int in = 0, out = 0, stride = 1;
    std::vector<float> w, b;  // out x in x 3 x 3, out
  };
  std::vector<Conv> convs;
  int window = 0;  // feature columns each position sees
  int hidden = 0, classes = 0;
  std::vector<float> w1, b1;  // hidden x (channels * feature rows * window), hidden
  std::vector<float> w2, b2;  // classes x hidden, classes

  // The file form: "ICN1", then as 32-bit little-endian numbers the input
  // height and width, the number of convolutions and for each its input
  // channels, output channels and stride, then the window, hidden units and
  // classes; then every weight as a 32-bit little-endian float: each
  // convolution's weights and biases in order, then w1, b1, w2, b2.
  bool parse(const std::string& bytes);
  std::string serialize() const;
  bool usable() const { return !convs.empty() && classes == kGlyphClasses && hidden > 0; }

  LineRead read(const LineInput& line) const;
};

// A read: the code (digits only; a position read as "no character" gives
// none) and how sure the network is of it (the product of the five
// positions' probabilities, 0..1).
struct CaptchaRead {
  std::string code;
  float confidence = 0;
};

CaptchaRead readCaptchaPicture(const LineModel& model, const RgbImage& image, const GlyphCleaning& cleaning = {});

}  // namespace inkpost
