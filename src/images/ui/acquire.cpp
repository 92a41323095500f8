#include "images/ui/acquire.h"

#include "common/ui/gbk.h"
#include "common/ui/toast.h"
#include "common/ui/unit.h"
#include "images/fetch.h"
#include "images/ui/upload.h"
#include "images/upload.h"
#include "net/encoding.h"

#include <QCheckBox>
#include <QFile>
#include <QInputDialog>

#include <algorithm>
#include <cstdio>

namespace inkpost {
namespace {

std::string gbkText(const char* utf8) { return fromUtf8(utf8); }

bool writeBytes(const std::string& nativePath, const std::string& bytes) {
  FILE* f = std::fopen(nativePath.c_str(), "wb");
  if (!f) return false;
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  ok = std::fclose(f) == 0 && ok;
  return ok;
}

// The file's name as the notices show it (GBK; characters GBK cannot hold
// as "?").
std::string displayName(const std::string& nativePath) {
  const size_t slash = nativePath.rfind('/');
  return gbkReplacing(slash == std::string::npos ? nativePath : nativePath.substr(slash + 1), '?');
}

}  // namespace

std::vector<UploadReport> uploadFiles(QWidget& w, const std::vector<std::string>& paths) {
  const StoreAs storeAs =
      unitOf<QCheckBox>(w, "选择框_自动命名")->isChecked() ? StoreAs::ContentName : StoreAs::OwnName;
  std::vector<std::string> files;
  for (const std::string& path : paths)
    if (!path.empty()) files.push_back(path);
  std::vector<UploadReport> reports;
  for (const std::string& path : files) {
    UploadReport report{displayName(path), uploadImage(w, path, storeAs, {}, static_cast<int>(reports.size()) + 1,
                                                       static_cast<int>(files.size()))};
    recordAndShow(w, report.result);
    reports.push_back(std::move(report));
  }
  return reports;
}

void showUploadSummary(QWidget& w, const std::vector<UploadReport>& reports) {
  if (reports.empty()) return;
  const auto failed =
      std::count_if(reports.begin(), reports.end(), [](const UploadReport& r) { return !r.result.ok(); });
  // Long enough to read the failures.
  const double seconds = failed == 0 ? 1.2 : std::min(2.6 + 0.8 * static_cast<double>(failed), 6.0);
  ShowToast(&w, uploadSummary(reports), seconds);
}

void DropFiles(QWidget& w, const std::string& fileList) {
  std::vector<std::string> paths;
  size_t pos = 0;
  while (pos < fileList.size()) {
    size_t end = fileList.find("\r\n", pos);
    if (end == std::string::npos) end = fileList.size();
    paths.push_back(fileList.substr(pos, end - pos));
    pos = end + 2;
  }
  showUploadSummary(w, uploadFiles(w, paths));
}

void DropFiles(QWidget& w, const QStringList& paths) {
  std::vector<std::string> native;
  for (const QString& p : paths) native.push_back(QFile::encodeName(p).toStdString());
  showUploadSummary(w, uploadFiles(w, native));
}

void DropAddresses(QWidget& w, const QStringList& addresses) {
  for (const QString& address : addresses) UploadFromAddress(w, fromQ(address));
}

void UploadFromAddress(QWidget& w) {
  bool ok = false;
  QString address =
      QInputDialog::getText(&w, QStringLiteral("上传图片"), QStringLiteral("输入网络图片地址直接上传！(jpg、gif)"),
                            QLineEdit::Normal, QStringLiteral("http://"), &ok);
  if (!ok) return;
  UploadFromAddress(w, fromQ(address));
}

void UploadFromAddress(QWidget& w, const std::string& address) {
  ShowToast(&w, gbkText("准备上传，请稍后…"), 1.2);
  const std::string staging = stagingFileFor(address);
  std::remove(staging.c_str());
  writeBytes(staging, fetchImage(address));
  // Web images are always content-named. A failed download leaves an empty
  // file, which is not an image: nothing is sent.
  const UploadResult result = uploadImage(w, staging, StoreAs::ContentName);
  if (!result.ok()) {
    ShowToast(&w, gbkText("       上传失败！       "), 1);
    return;
  }
  // The thumbnail shows while the notice is up.
  recordAndShow(w, result);
  ShowToast(&w, gbkText("       上传成功！       "), 1);
}

}  // namespace inkpost
