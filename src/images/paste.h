// Pictures pasted from the clipboard (a screenshot, an image copied in a
// browser or a drawing program): the format they are uploaded in.
#pragma once

#include <cstddef>

namespace inkpost {

enum class PasteFormat { Png, Jpeg };

// PNG keeps screenshots and drawings exact and small. A photo compresses
// badly in it (more than a byte a pixel) and goes as JPEG, unless it has
// transparency, which JPEG cannot hold.
PasteFormat pasteFormat(size_t pngBytes, int width, int height, bool hasAlpha);

// JPEG quality of pasted photos.
inline constexpr int kPasteJpegQuality = 90;

}  // namespace inkpost
