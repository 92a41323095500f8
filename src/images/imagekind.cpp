#include "images/imagekind.h"

namespace inkpost {
namespace {

bool startsWith(std::string_view bytes, std::string_view magic) {
  return bytes.size() >= magic.size() && bytes.compare(0, magic.size(), magic) == 0;
}

}  // namespace

ImageKind imageKind(std::string_view bytes) {
  using namespace std::string_view_literals;
  if (startsWith(bytes, "GIF87a"sv) || startsWith(bytes, "GIF89a"sv)) return ImageKind::Gif;
  if (startsWith(bytes, "\xFF\xD8\xFF"sv)) return ImageKind::Jpeg;
  if (startsWith(bytes, "\x89PNG\r\n\x1A\n"sv)) return ImageKind::Png;
  // "BM", then the file header (size, two reserved words, pixel offset) and
  // an information header whose size is one of the known ones.
  if (startsWith(bytes, "BM"sv) && bytes.size() >= 18) {
    const auto b = [&](size_t i) { return static_cast<unsigned>(static_cast<unsigned char>(bytes[i])); };
    const unsigned infoSize = b(14) | b(15) << 8 | b(16) << 16 | b(17) << 24;
    if (infoSize == 12 || infoSize == 16 || infoSize == 40 || infoSize == 52 || infoSize == 56 || infoSize == 64 ||
        infoSize == 108 || infoSize == 124)
      return ImageKind::Bmp;
  }
  if (bytes.size() >= 12 && startsWith(bytes, "RIFF"sv) && bytes.compare(8, 4, "WEBP"sv) == 0) return ImageKind::Webp;
  return ImageKind::None;
}

const char* imageKindName(ImageKind kind) {
  switch (kind) {
    case ImageKind::Gif:
      return "GIF";
    case ImageKind::Jpeg:
      return "JPEG";
    case ImageKind::Png:
      return "PNG";
    case ImageKind::Bmp:
      return "BMP";
    case ImageKind::Webp:
      return "WebP";
    case ImageKind::None:
      break;
  }
  return "";
}

}  // namespace inkpost
