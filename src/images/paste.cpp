#include "images/paste.h"

namespace inkpost {

PasteFormat pasteFormat(size_t pngBytes, int width, int height, bool hasAlpha) {
  if (hasAlpha || width <= 0 || height <= 0) return PasteFormat::Png;
  const double pixels = static_cast<double>(width) * static_cast<double>(height);
  return static_cast<double>(pngBytes) > pixels ? PasteFormat::Jpeg : PasteFormat::Png;
}

}  // namespace inkpost
