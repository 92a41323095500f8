#include "images/ui/acquire.h"

#include "app/ui/gbk.h"
#include "app/ui/unit.h"
#include "app/ui/toast.h"
#include "images/convert.h"
#include "images/fetch.h"
#include "images/gallery.h"
#include "images/ui/gallery.h"
#include "images/ui/upload.h"
#include "images/upload.h"
#include "net/encoding.h"

#include <QCheckBox>
#include <QInputDialog>

#include <cstdio>

namespace inkpost {
namespace {

std::string gbkText(const char* utf8) { return fromUtf8(utf8); }

// A native (UTF-8) path as the GBK text the upload routine takes.
std::string gbkPath(const std::string& native) { return fromUtf8(native); }

bool writeBytes(const std::string& nativePath, const std::string& bytes) {
  FILE* f = std::fopen(nativePath.c_str(), "wb");
  if (!f) return false;
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  ok = std::fclose(f) == 0 && ok;
  return ok;
}

void dropOne(QWidget& w, const std::string& path, bool autoName) {
  std::string address;
  if (autoName) {
    std::string bytes;
    if (!readImageFile(path, bytes)) return;  // nothing to send
    address = UploadImageFile(w, path, contentName(bytes), true);
  } else {
    address = UploadImageFile(w, path, "", false);
  }
  if (address.empty()) return;
  RecordUpload(address, path);
  RebuildGallery(w);
}

}  // namespace

void DropFiles(QWidget& w, const std::string& fileList) {
  const bool autoName = unitOf<QCheckBox>(w, "选择框_自动命名")->isChecked();
  size_t pos = 0;
  while (pos < fileList.size()) {
    size_t end = fileList.find("\r\n", pos);
    if (end == std::string::npos) end = fileList.size();
    std::string path = fileList.substr(pos, end - pos);
    pos = end + 2;
    if (!path.empty()) dropOne(w, path, autoName);
  }
}

void DropFiles(QWidget& w, const QStringList& paths) {
  std::string list;
  for (const QString& p : paths) {
    list += fromQ(p);
    list += "\r\n";
  }
  DropFiles(w, list);
}

void UploadFromAddress(QWidget& w) {
  bool ok = false;
  QString address = QInputDialog::getText(&w, QStringLiteral("上传图片"), QStringLiteral("输入网络图片地址直接上传！(jpg、gif)"),
                                          QLineEdit::Normal, QStringLiteral("http://"), &ok);
  if (!ok) return;
  UploadFromAddress(w, fromQ(address));
}

void UploadFromAddress(QWidget& w, const std::string& address) {
  ShowToast(&w, gbkText("准备上传，请销后…"), 1.2);
  const std::string staging = stagingFileFor(address);
  std::remove(staging.c_str());
  const std::string bytes = fetchImage(address);
  writeBytes(staging, bytes);

  std::string uploaded;
  std::string stored;
  // A failed download leaves an empty file: there is nothing to upload.
  if (readImageFile(gbkPath(staging), stored) && !stored.empty())
    uploaded = UploadImageFile(w, gbkPath(staging), contentName(stored), true);
  if (uploaded.empty()) {
    ShowToast(&w, gbkText("       上传失败！       "), 1);
    return;
  }
  RecordUpload(uploaded, gbkPath(staging));
  ShowToast(&w, gbkText("       上传成功！       "), 1);
  RebuildGallery(w);
}

}  // namespace inkpost
