// Decoding of captcha images, tolerant of the way blog engines write them.
//
// The engine's own captcha is a hand-written GIF whose last data sub-block
// carries a wrong length byte; strict decoders give up on it. The GIF reader
// here follows the LZW codes and stops at the end code, trusting the
// sub-block lengths only as long as they lead to a complete picture. Other
// formats (BMP, PNG, JPEG, ...) go through QImage. Every image's size is
// read from its header first, and a picture larger than the caller allows
// is refused without being decoded.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace inkpost {

// A decoded picture: width * height pixels, row by row, as 0xRRGGBB.
struct RgbImage {
  int width = 0;
  int height = 0;
  std::vector<std::uint32_t> pixels;
};

// The picture size from the file's header alone (nothing is decoded).
// False when the bytes are no image format that can be read.
bool captchaImageSize(const std::string& bytes, int& width, int& height);

// The size of a GIF from its header: the logical screen, or the first
// image when that reaches further. False for anything that is not a GIF.
bool gifImageSize(const std::string& bytes, int& width, int& height);

// A GIF's first image on its logical screen (transparency ignored). False
// when the header is not a GIF, a side exceeds maxSide, or no pixel could be
// decoded; missing pixels at the end of a cut-short image stay background.
bool decodeGif(const std::string& bytes, RgbImage& out, int maxSide = 1000);

// Any readable image: GIFs through decodeGif, the rest through QImage.
// False (out left empty) when the size in the header exceeds maxSide either
// way, before anything is decoded, or when decoding fails.
bool decodeCaptchaImage(const std::string& bytes, RgbImage& out, int maxSide = 1000);

}  // namespace inkpost
