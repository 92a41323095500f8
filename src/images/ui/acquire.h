// The two window sources of uploads: files dropped on 分组框_上传图片 and
// an image fetched from a web address (按钮_链接上传).
#pragma once

#include "images/upload.h"

#include <QStringList>

#include <string>
#include <vector>

class QWidget;

namespace inkpost {

// Uploads every file in the order given (native paths); successful ones
// are recorded in the gallery, the others skipped. Only images are sent.
std::vector<UploadReport> uploadFiles(QWidget& w, const std::vector<std::string>& paths);
// One notice for a batch: how many were uploaded, each failure and why.
void showUploadSummary(QWidget& w, const std::vector<UploadReport>& reports);

// Uploads every dropped file in the order given, then shows one summary
// notice. fileList holds the native paths separated by CR LF.
void DropFiles(QWidget& w, const std::string& fileList);
void DropFiles(QWidget& w, const QStringList& paths);

// Web addresses dropped on the window (images dragged from a web page):
// each goes through the address upload, in order.
void DropAddresses(QWidget& w, const QStringList& addresses);

// Click handler of 按钮_链接上传: asks for an address, fetches it and
// uploads it content-named.
void UploadFromAddress(QWidget& window);
// The same after the address has been asked for (the input box left out).
void UploadFromAddress(QWidget& window, const std::string& address);

}  // namespace inkpost
