#include "images/ui/acquire.h"

#include "blog/ui/login.h"
#include "common/privatefile.h"
#include "common/ui/busy.h"
#include "common/ui/gbk.h"
#include "common/ui/modal.h"
#include "common/ui/toast.h"
#include "common/ui/wait.h"
#include "images/fetch.h"
#include "images/ui/imagepanel.h"
#include "images/ui/upload.h"
#include "images/upload.h"
#include "net/encoding.h"

#include <QFile>
#include <QInputDialog>

#include <cstdio>

namespace inkpost {
namespace {

std::string gbkText(const char* utf8) { return fromUtf8(utf8); }

// Long enough to read what went wrong and what to do.
constexpr double kAddressFailureSeconds = 2.6;

bool writeBytes(const std::string& nativePath, const std::string& bytes) {
  return replacePrivateFile(nativePath, bytes);
}

// The file's name as the notices show it (GBK; characters GBK cannot hold
// as their references, which the notice shows as the characters).
std::string displayName(const std::string& nativePath) {
  const size_t slash = nativePath.rfind('/');
  return gbkWithCharRefs(slash == std::string::npos ? nativePath : nativePath.substr(slash + 1));
}

}  // namespace

std::vector<UploadReport> uploadFiles(ImagePanel& images, const std::vector<std::string>& paths) {
  const StoreAs storeAs = images.autoName() ? StoreAs::ContentName : StoreAs::OwnName;
  std::vector<std::string> files;
  for (const std::string& path : paths)
    if (!path.empty()) files.push_back(path);
  std::vector<UploadReport> reports;
  for (const std::string& path : files) {
    UploadReport report{displayName(path), uploadImage(images, path, storeAs, {}, static_cast<int>(reports.size()) + 1,
                                                       static_cast<int>(files.size()))};
    recordAndShow(images, report.result);
    reports.push_back(std::move(report));
  }
  return reports;
}

void showUploadSummary(ImagePanel& images, const std::vector<UploadReport>& reports) {
  if (reports.empty()) return;
  // Long enough to read the failures and the reused or renamed files.
  ShowToast(images.window(), uploadSummary(reports), uploadSummarySeconds(reports));
}

void DropFiles(ImagePanel& images, const std::string& fileList) {
  std::vector<std::string> paths;
  size_t pos = 0;
  while (pos < fileList.size()) {
    size_t end = fileList.find("\r\n", pos);
    if (end == std::string::npos) end = fileList.size();
    paths.push_back(fileList.substr(pos, end - pos));
    pos = end + 2;
  }
  showUploadSummary(images, uploadFiles(images, paths));
}

void DropFiles(ImagePanel& images, const QStringList& paths) {
  std::vector<std::string> native;
  for (const QString& p : paths) native.push_back(QFile::encodeName(p).toStdString());
  showUploadSummary(images, uploadFiles(images, native));
}

void DropAddresses(ImagePanel& images, const QStringList& addresses) {
  for (const QString& address : addresses) UploadFromAddress(images, fromQ(address));
}

void UploadFromAddress(ImagePanel& images) {
  QInputDialog ask(images.window());
  ask.setWindowTitle(QStringLiteral("上传图片"));
  ask.setLabelText(QStringLiteral("输入网络图片地址直接上传！(gif、jpg、png、bmp、webp)"));
  ask.setTextValue(QStringLiteral("http://"));
  if (runModal(ask) != QDialog::Accepted) return;
  UploadFromAddress(images, fromQ(ask.textValue()));
}

void UploadFromAddress(ImagePanel& images, const std::string& address) {
  ShowToast(images.window(), gbkText("准备上传，请稍后…"), 1.2);
  const std::string staging = stagingFileFor(address);
  std::remove(staging.c_str());
  FetchedImage fetched;
  {
    // The window keeps repainting while the picture comes.
    BusyScope busy(images.blog().status(), gbkText("正在下载图片…"));
    runOffWindowThread([&] { fetched = fetchImageFrom(address); });
  }
  if (!fetched.ok()) {
    ShowToast(images.window(), fetchFailureText(fetched), kAddressFailureSeconds);
    return;
  }
  if (!writeBytes(staging, fetched.bytes)) {
    ShowToast(images.window(), gbkText("上传失败：图片无法存入 temp 文件夹。请检查数据文件夹是否可写。"),
              kAddressFailureSeconds);
    return;
  }
  // Web images are always content-named. The staging file has done its
  // work once the upload is over, whatever came of it.
  const UploadResult result = uploadImage(images, staging, StoreAs::ContentName);
  std::remove(staging.c_str());
  if (!result.ok()) {
    ShowToast(images.window(), gbkText("上传失败：") + uploadFailureText(result), kAddressFailureSeconds);
    return;
  }
  // The thumbnail shows while the notice is up.
  recordAndShow(images, result);
  const std::string note = sameNameNote(result);
  if (note.empty())
    ShowToast(images.window(), gbkText("       上传成功！       "), 1);
  else
    ShowToast(images.window(), gbkText("上传成功！") + "\n" + note, 2.0);
}

}  // namespace inkpost
