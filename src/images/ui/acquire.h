// The two window sources of uploads: files dropped on 分组框_上传图片 and
// an image fetched from a web address (按钮_链接上传).
#pragma once

#include "images/upload.h"

#include <QStringList>

#include <string>
#include <vector>

namespace inkpost {

class ImagePanel;

// Uploads every file in the order given (native paths); successful ones
// are recorded in the gallery, the others skipped. Only images are sent.
std::vector<UploadReport> uploadFiles(ImagePanel& images, const std::vector<std::string>& paths);
// One notice for a batch: how many were uploaded, each failure and why.
void showUploadSummary(ImagePanel& images, const std::vector<UploadReport>& reports);

// Uploads every dropped file in the order given, then shows one summary
// notice. fileList holds the native paths separated by CR LF.
void DropFiles(ImagePanel& images, const std::string& fileList);
void DropFiles(ImagePanel& images, const QStringList& paths);

// Web addresses dropped on the window (images dragged from a web page):
// each goes through the address upload, in order.
void DropAddresses(ImagePanel& images, const QStringList& addresses);

// Click handler of 按钮_链接上传: asks for an address, fetches it and
// uploads it content-named.
void UploadFromAddress(ImagePanel& images);
// The same after the address has been asked for (the input box left out).
void UploadFromAddress(ImagePanel& images, const std::string& address);

}  // namespace inkpost
