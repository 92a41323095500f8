// What an image file holds, judged by its first bytes, whatever its name
// says. Only these kinds are uploaded.
#pragma once

#include <string_view>

namespace inkpost {

enum class ImageKind { None, Gif, Jpeg, Png, Bmp, Webp };

ImageKind imageKind(std::string_view bytes);

// "GIF", "JPEG", ... ; "" for None.
const char* imageKindName(ImageKind kind);

}  // namespace inkpost
