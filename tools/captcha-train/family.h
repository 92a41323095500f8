// A wide family of drawings of the blog engine's captcha, for training the
// reader on more than one renderer's habits. Each picture gets its own
// settings and its own reading of the engine's rules: sizes from about 46x15
// to 124x42; strokes 1 to 3 pixels thick, grown towards any side; digit
// boxes shifted, scaled and sheared, their points jittered; segment turns up
// to 12 degrees with the error carried in different ways; lines stepped,
// rounded or truncated; noise of 0 to 15 % as flips, specks or short lines;
// two colours of any contrast either way round.
#pragma once

#include "blog/captcha_image.h"

#include <random>
#include <string>

namespace inkpost::train {

// The picture of `shown` (five characters, '0'..'9', anything else leaves
// its cell blank).
RgbImage drawFamilyCaptcha(const std::string& shown, std::mt19937& rng);

}  // namespace inkpost::train
