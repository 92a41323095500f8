// Image conversion and measuring, in memory, through QImage.
#pragma once

#include <string>
#include <string_view>

namespace inkpost {

// Format codes of ConvertImage.
enum ImageFormat { kImageBmp = 1, kImageJpeg = 2, kImageGif = 3, kImageTiff = 4, kImagePng = 5 };

// Re-encodes any decodable image into the format `formatCode`, default
// encoder settings. When outPath (GBK) is not blank the result is also
// written there. False (outBytes empty) when the bytes cannot be decoded,
// the format is unknown or cannot be written here, or the file write fails.
bool ConvertImage(std::string_view bytes, int formatCode, const std::string& outPath, std::string& outBytes);

// Pixel size of an image held in memory; 0 when it cannot be decoded.
// A BMP is read from its own header; other formats give the size of the
// decoded image (read from their header when the decoder allows).
int ImageWidth(std::string_view bytes);
int ImageHeight(std::string_view bytes);
// Both at once (one header read).
void ImageSize(std::string_view bytes, int& width, int& height);

// The size as the header gives it, never decoding the pixels (for images
// about to be uploaded, which may be huge or damaged); false and 0 when the
// header does not tell.
bool ImageSizeFromHeader(std::string_view bytes, int& width, int& height);

// The measuring done the long way: decode, convert to BMP, read the header.
void ImageSizeByConversion(std::string_view bytes, int& width, int& height);

// Content-derived name: MD5 of the bytes as 32 lower-case hex digits.
std::string contentName(std::string_view bytes);

}  // namespace inkpost
