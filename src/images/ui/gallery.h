// The gallery viewer 超文本浏览框_图片上传: shows the page built from the
// image panel's gallery list; a click on a thumbnail copies its address, a
// double click inserts the image into the article at the caret.
#pragma once

#include "images/gallery.h"

#include <QString>

#include <functional>
#include <string>

namespace inkpost {

class ImagePanel;

// Prepares the viewer once (the page object that hands navigations and link
// clicks to the handler below). Safe to call again; RebuildGallery calls it.
void installGalleryView(ImagePanel& images);

// The viewer's before-navigation handler (bound by the binding table to
// GalleryNavigating). It is asked synchronously about the gallery page
// itself and about:blank; every other navigation, and every click on one of
// the page's links, is cancelled at once and handed to the handler right
// after (its answer is then moot). Without a handler the viewer only loads
// the gallery page.
void setGalleryHandler(ImagePanel& images, std::function<bool(const QString& target)> handler);

// Writes temp/index.html from the panel's gallery list and shows it in the viewer.
void RebuildGallery(ImagePanel& images);

// The viewer's before-navigation decision for `target` (the address it is
// about to open, fragment raw): true allows, false cancels. Copy links put
// the address on the clipboard; insert links append the image to the
// article body and rebuild the gallery.
bool GalleryNavigating(ImagePanel& images, const QString& target);

}  // namespace inkpost
