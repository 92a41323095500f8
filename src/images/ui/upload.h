// The window-side upload: the selected site, the session cookie, the main
// window disabled for the whole exchange.
#pragma once

#include "images/upload.h"

#include <string>

namespace inkpost {

class MainWindow;

// Uploads the image at `path` (native) to the site selected in the chooser
// with the login's session cookie. The main window is disabled during the
// exchange and enabled again whatever happens.
UploadResult uploadImage(MainWindow& w, const std::string& path, StoreAs storeAs, const std::string& givenName = {});

// The same, giving only the image address or empty.
std::string UploadImageFile(MainWindow& w, const std::string& path, const std::string& givenName,
                            bool useGivenName);

// Records a successful upload in the gallery list (with the size measured
// from the bytes sent) and shows the gallery again.
void recordAndShow(MainWindow& w, const UploadResult& result);

}  // namespace inkpost
