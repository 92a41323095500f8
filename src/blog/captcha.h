// The login captcha reader: recognition data loaded from a data file (the
// "cds" file written at start-up), tolerant decoding of the captcha image,
// and a trained network that reads the characters (see captcha_line.h).
//
// Data file: a text block of "key=value" lines (unknown keys ignored, "#"
// starts a comment), a NUL byte, then the network (LineModel's file form):
//   inkpost-cds 2            first line, the format tag
//   length=5                 characters of a complete code
//   reads=6                  image reads per login attempt
//   sure=90                  per cent of confidence a read needs before the
//                            login submits it rather than reads a fresh image
//   timeout=5                seconds a captcha fetch may take
//   max_side=1000            larger pictures are refused before decoding
//   dark=160                 many-coloured captchas: luminance below which a pixel is ink
//   like=64                  largest channel difference of like-coloured pixels
//   neighbours=2             like-coloured ink neighbours an ink pixel needs
//   min_height=9             ink pieces lower than this are noise
//   min_pixels=12            ink pieces smaller than this are noise
#pragma once

#include "blog/captcha_line.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace inkpost {

struct CaptchaSettings {
  int length = 5;
  int reads = 6;
  int sure = 90;
  int timeout = 5;
  int maxSide = 1000;
  GlyphCleaning cleaning;
};

// Parses the text part of a data block; false when it does not carry the
// format tag.
bool parseCaptchaSettings(const std::string& block, CaptchaSettings& out);

// The recognition data the program carries (settings and model), and the
// filler of the same size written over the data file after loading.
const std::string& captchaDataBlock();
const std::string& captchaFillerBlock();

// Loads a data file. Returns a handle (> 0), or 0 when the file cannot be
// read, is not a data file or carries no usable model.
std::int32_t LoadCdsFromFile(const std::string& path);

// The settings behind a handle (defaults for an unknown handle).
CaptchaSettings captchaSettings(std::int32_t handle);

// One GET of the captcha image at `url` through WinHttpEngine with the
// handle's fetch timeout, `cookies` sent as the Cookie header (the image's
// own cookies are not kept). The bytes as served; empty when none came.
std::string fetchCaptchaImage(std::int32_t handle, const std::string& url, const std::string& cookies);

// Fetches the captcha image at `url` (GET through WinHttpEngine, `cookies`
// sent as the Cookie header so the image belongs to that server session) and
// writes the recognised characters into `buffer` as a zero-terminated text
// of at most size - 1 bytes. Returns the number of characters written; -2
// when no image came back (buffer then ""), -1 when the image could not be
// read or the handle is unknown (buffer then "").
int GetVcodeFromURL(std::int32_t handle, const std::string& url, char* buffer, std::size_t size,
                    const std::string& cookies = {});

// Recognises an image already in memory (the engine's GIF, and BMP, PNG,
// JPEG, ...). The size in the image's header is checked before anything is
// decoded. Empty when nothing could be read. `confidence`, when given,
// receives how sure the reader is of the code (0..1; 0 for nothing read).
std::string readCaptchaImage(std::int32_t handle, const std::string& imageBytes, float* confidence = nullptr);

// True when the handle can read (its data is loaded and holds a model).
bool warmUpCaptchaReader(std::int32_t handle);

// The handle start-up loaded (0 until then, and when loading failed).
std::int32_t& CaptchaDataHandle();

// The start-up step: writes the data block to dir/inkpost.cds, loads it into
// CaptchaDataHandle, writes the filler block over the file and deletes it.
void loadCaptchaData(const std::string& dir);

// The data file's name in the program folder.
inline constexpr const char* kCaptchaDataFile = "inkpost.cds";

}  // namespace inkpost
