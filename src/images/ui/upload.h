// The window-side upload: to the chosen site's client, the image column
// disabled for the whole exchange.
#pragma once

#include "images/upload.h"

#include <string>

namespace inkpost {

class ImagePanel;

// Uploads the image at `path` (native) to the chosen site with its client's
// session. During the exchange the image column is disabled, the window
// keeps repainting, shows the wait cursor and the status line
// "正在上传 a.jpg（index/count）…"; all of it is undone whatever happens. A
// session that expired under the upload is renewed quietly and the file
// sent once more; a second refusal says "登录已过期，请重新登录".
[[nodiscard]] UploadResult uploadImage(ImagePanel& images, const std::string& path, StoreAs storeAs,
                                       const std::string& givenName = {}, int index = 1, int count = 1);

// The same, giving only the image address or empty.
std::string UploadImageFile(ImagePanel& images, const std::string& path, const std::string& givenName,
                            bool useGivenName);

// Records a successful upload in the gallery list (with the size measured
// from the bytes sent) and shows the gallery again.
void recordAndShow(ImagePanel& images, const UploadResult& result);

}  // namespace inkpost
