// The window-side upload: the selected site, the session cookie, the main
// window disabled for the whole exchange.
#pragma once

#include "images/upload.h"

#include <string>

class QWidget;

namespace inkpost {

// Uploads the image at `path` (native) to the site selected in the chooser
// with the login's session cookie. During the exchange the main window is
// disabled but keeps repainting, shows the wait cursor and the status line
// "正在上传 a.jpg（index/count）…"; all of it is undone whatever happens.
UploadResult uploadImage(QWidget& w, const std::string& path, StoreAs storeAs, const std::string& givenName = {},
                         int index = 1, int count = 1);

// The same, giving only the image address or empty.
std::string UploadImageFile(QWidget& w, const std::string& path, const std::string& givenName, bool useGivenName);

// Records a successful upload in the gallery list (with the size measured
// from the bytes sent) and shows the gallery again.
void recordAndShow(QWidget& w, const UploadResult& result);

}  // namespace inkpost
