// Pasting a picture: Ctrl+V (or Shift+Insert, or 粘贴图片 in the context
// menu) in the editor or on the drop box uploads the image on the clipboard
// and inserts it into the article at the caret. A paste without an image
// in the editor stays the editor's own.
#pragma once

#include <functional>

namespace inkpost {

class ImagePanel;

// Uploads the clipboard's image (PNG, or JPEG for a photo) and inserts it
// at the editor's caret, with a notice either way. False (and nothing
// done) when the clipboard holds no image.
bool PasteImage(ImagePanel& images);

// Hooks the paste keys and context menus of 互联网浏览器1 and
// 分组框_上传图片; they run `paste` (PasteImage, or a guarded call of it).
void installImagePaste(ImagePanel& images, std::function<bool(ImagePanel&)> paste);

}  // namespace inkpost
