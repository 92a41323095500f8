// The two window sources of uploads: files dropped on 分组框_上传图片 and
// an image fetched from a web address (按钮_链接上传).
#pragma once

#include <QStringList>

#include <string>

class QWidget;

namespace inkpost {


// Uploads every dropped file in the order given; successful ones are
// recorded in the gallery. Nothing is shown to the user. fileList holds the
// GBK paths separated by CR LF.
void DropFiles(QWidget& window, const std::string& fileList);
void DropFiles(QWidget& window, const QStringList& paths);

// Click handler of 按钮_链接上传: asks for an address, fetches it and
// uploads it content-named.
void UploadFromAddress(QWidget& window);
// The same after the address has been asked for (the input box left out).
void UploadFromAddress(QWidget& window, const std::string& address);

}  // namespace inkpost
