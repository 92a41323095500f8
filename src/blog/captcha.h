// The login captcha reader: recognition settings loaded from a small data
// file (the "cds" file written at start-up), a cleaning pass over the image
// and Tesseract for the digits.
//
// Data file: a text block of "key=value" lines (unknown keys ignored, "#"
// starts a comment), padded to its fixed size with NUL bytes:
//   inkpost-cds 1            first line, the format tag
//   whitelist=0123456789     characters the reader may return
//   length=5                 characters of a complete code
//   dark=160                 luminance below which a pixel is ink
//   like=64                  largest channel difference of like-coloured pixels
//   neighbours=2             like-coloured ink neighbours an ink pixel needs
//   min_height=9             ink components lower than this are noise
//   min_pixels=12            ink components smaller than this are noise
//   gap=4                    blank columns between pasted glyphs (before scaling)
//   scale=2                  upscaling of the cleaned image
//   border=10                white border around it (after scaling)
//   smooth=3                 half size of the box blur that softens the outlines
//   psm=8                    Tesseract page segmentation mode
//   language=eng             Tesseract language
//   reads=6                  image reads per login attempt
//   timeout=5                seconds a captcha fetch may take
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace inkpost {

struct CaptchaSettings {
  std::string whitelist = "0123456789";
  int length = 5;
  int dark = 160;
  int like = 64;
  int neighbours = 2;
  int minHeight = 9;
  int minPixels = 12;
  int gap = 4;
  int scale = 2;
  int border = 10;
  int smooth = 3;
  int psm = 8;
  std::string language = "eng";
  int reads = 6;
  int timeout = 5;
};

// Parses a data block; false when it does not carry the format tag.
bool parseCaptchaSettings(const std::string& block, CaptchaSettings& out);

// The recognition data the program carries and the filler written over the
// data file after loading; both kCaptchaDataSize bytes.
inline constexpr std::size_t kCaptchaDataSize = 3208;
const std::string& captchaDataBlock();
const std::string& captchaFillerBlock();

// Loads the settings of a data file. Returns a handle (> 0), or 0 when the
// file cannot be read or is not a data file. Tesseract itself starts on the
// handle's first read.
std::int32_t LoadCdsFromFile(const std::string& path);

// The settings behind a handle (defaults for an unknown handle).
CaptchaSettings captchaSettings(std::int32_t handle);

// Fetches the captcha image at `url` (GET through WinHttpEngine, `cookies`
// sent as the Cookie header so the image belongs to that server session) and
// writes the recognised characters into `buffer` as a zero-terminated text
// of at most size - 1 bytes. Returns the number of characters written; -2
// when no image came back (buffer then ""), -1 when the image could not be
// read or the handle is unknown (buffer then "").
int GetVcodeFromURL(std::int32_t handle, const std::string& url, char* buffer, std::size_t size,
                    const std::string& cookies = {});

// Recognises an image already in memory (BMP, GIF, PNG, JPEG). Empty when
// nothing could be read.
std::string readCaptchaImage(std::int32_t handle, const std::string& imageBytes);

// Starts Tesseract for the handle now instead of on its first read.
bool warmUpCaptchaReader(std::int32_t handle);

// The handle start-up loaded (0 until then, and when loading failed).
std::int32_t& CaptchaDataHandle();

// The start-up step: writes the data block to dir/inkpost.cds, loads it into
// CaptchaDataHandle, writes the filler block over the file and deletes it.
void loadCaptchaData(const std::string& dir);

// The data file's name in the program folder.
inline constexpr const char* kCaptchaDataFile = "inkpost.cds";

}  // namespace inkpost
