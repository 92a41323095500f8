// The gallery viewer 超文本浏览框_图片上传: shows the page built from
// blogSession().gallery; a click on a thumbnail copies its address, a double click
// appends the image to the article body.
#pragma once

#include "images/gallery.h"

#include <QString>

#include <functional>
#include <string>

class QWidget;

namespace inkpost {

// Prepares the viewer once (the page object that hands navigations and link
// clicks to the handler below). Safe to call again; RebuildGallery calls it.
void installGalleryView(QWidget& window);

// The viewer's before-navigation handler (bound by the binding table to
// GalleryNavigating). It is asked synchronously about the gallery page
// itself and about:blank; every other navigation, and every click on one of
// the page's links, is cancelled at once and handed to the handler right
// after (its answer is then moot). Without a handler the viewer only loads
// the gallery page.
void setGalleryHandler(QWidget& window, std::function<bool(const QString& target)> handler);

// Writes temp/index.html from blogSession().gallery and shows it in the viewer.
void RebuildGallery(QWidget& window);

// The viewer's before-navigation decision for `target` (the address it is
// about to open, fragment raw): true allows, false cancels. Copy links put
// the address on the clipboard; insert links append the image to the
// article body and rebuild the gallery.
bool GalleryNavigating(QWidget& window, const QString& target);

}  // namespace inkpost
