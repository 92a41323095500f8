// The recognising half of the captcha reader: a decoded picture cut into
// one small grey patch per character, and the classifier that names each
// patch.
//
// Two kinds of pictures are told apart by their colours:
// - two colours (the blog engine's own captcha): the characters sit one in
//   each fifth of the width; each fifth, widened a little on both sides, is
//   one patch, however noisy.
// - more colours (captchas drawn with a font in several colours): noise dots
//   without like-coloured neighbours go, connected like-coloured pieces of
//   ink are the characters, a piece much wider than the others is cut in
//   two; each piece is one patch.
// A patch is kGlyphWidth x kGlyphHeight values from 0 (background) to 1
// (ink), the share of ink under each cell.
//
// The classifier is a small neural network (one hidden layer of rectified
// units, softmax over the ten digits and "no character"), trained offline
// by tools/captcha-train on pictures the sandbox's drawing code makes.
#pragma once

#include "blog/captcha_image.h"

#include <string>
#include <vector>

namespace inkpost {

inline constexpr int kGlyphWidth = 16;
inline constexpr int kGlyphHeight = 20;
inline constexpr int kGlyphInputs = kGlyphWidth * kGlyphHeight;
// Classes 0..9 are the digits; this one is a patch without a character.
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

using GlyphPatch = std::vector<float>;  // kGlyphInputs values, row by row

// The patches of a picture in reading order (empty when it shows nothing).
std::vector<GlyphPatch> captchaGlyphs(const RgbImage& image, const GlyphCleaning& cleaning = {});

// The classifier's weights.
struct GlyphModel {
  int inputs = 0, hidden = 0, classes = 0;
  std::vector<float> w1, b1;  // hidden x inputs, hidden
  std::vector<float> w2, b2;  // classes x hidden, classes

  // The file form: "ICM1", the three sizes as 32-bit little-endian numbers,
  // then every weight as a 32-bit little-endian float in the order above.
  bool parse(const std::string& bytes);
  std::string serialize() const;
  bool usable() const { return inputs == kGlyphInputs && classes == kGlyphClasses && hidden > 0; }

  // The class of a patch and its probability.
  int classify(const GlyphPatch& patch, float* probability = nullptr) const;
  // Hidden activations and class probabilities (for training).
  void forward(const float* input, float* hiddenOut, float* probs) const;
};

}  // namespace inkpost
