// The window-side upload: the selected site, the session cookie, the main
// window disabled for the whole exchange.
#pragma once

#include "images/upload.h"

#include <string>

class QWidget;

namespace inkpost {


// Uploads the file at `path` (GBK) to the site selected in the chooser with
// the login's session cookie. The main window is disabled during the
// exchange and enabled again whatever happens. Returns the image address or
// empty.
std::string UploadImageFile(QWidget& window, const std::string& path, const std::string& givenName,
                            bool useGivenName);

}  // namespace inkpost
