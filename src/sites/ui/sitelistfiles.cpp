#include "sites/ui/sitelistfiles.h"

#include "common/ui/busy.h"
#include "common/ui/gbk.h"
#include "common/ui/modal.h"
#include "net/encoding.h"
#include "sites/siteimport.h"
#include "sites/sitestore.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QVBoxLayout>

#include <memory>
#include <optional>

namespace inkpost {
namespace {

SiteFilePicker& picker() {
  static SiteFilePicker p;
  return p;
}

QString fileDialog(QWidget* parent, bool forSaving) {
  QFileDialog dialog(parent, forSaving ? QStringLiteral("导出网站") : QStringLiteral("导入网站"), QDir::homePath(),
                     QStringLiteral("CSV 文件 (*.csv);;所有文件 (*)"));
  if (forSaving) {
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("csv"));
    dialog.selectFile(QStringLiteral("网站列表.csv"));
  } else {
    dialog.setFileMode(QFileDialog::ExistingFile);
  }
  if (runModal(dialog) != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  return dialog.selectedFiles().first();
}

QString pickFile(QWidget* parent, bool forSaving) {
  return picker() ? picker()(parent, forSaving) : fileDialog(parent, forSaving);
}

std::string nativePath(const QString& path) { return QFile::encodeName(path).toStdString(); }

// The status line and wait cursor while the store works (a window without a
// status line, or none, shows only the cursor).
std::optional<BusyScope> busy(StatusLine status, const char* utf8) {
  return std::optional<BusyScope>(std::in_place, status, fromUtf8(utf8));
}

void tell(QWidget* parent, QMessageBox::Icon icon, const std::string& gbkText) {
  QMessageBox box(icon, QStringLiteral("导出网站"), toQ(gbkText), QMessageBox::Ok, parent);
  runModal(box);
}

}  // namespace

void setSiteFilePicker(SiteFilePicker p) { picker() = std::move(p); }

ImportSummaryDialog::ImportSummaryDialog(QWidget* parent, const std::string& gbkSummary,
                                         const std::vector<std::string>& gbkDetails)
    : QDialog(parent) {
  setObjectName(QStringLiteral("导入结果"));
  setWindowTitle(QStringLiteral("导入网站"));
  auto* layout = new QVBoxLayout(this);
  summary = new QLabel(toQ(gbkSummary), this);
  summary->setObjectName(QStringLiteral("标签_导入结果"));
  summary->setWordWrap(true);
  summary->setTextInteractionFlags(Qt::TextSelectableByMouse);
  layout->addWidget(summary);
  details = new QPlainTextEdit(this);
  details->setObjectName(QStringLiteral("列表_跳过的行"));
  details->setReadOnly(true);
  details->setLineWrapMode(QPlainTextEdit::NoWrap);
  QStringList lines;
  for (const std::string& d : gbkDetails) lines << toQ(d);
  details->setPlainText(lines.join(QLatin1Char('\n')));
  details->setVisible(!gbkDetails.empty());
  layout->addWidget(details, 1);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  layout->addWidget(buttons);
  resize(gbkDetails.empty() ? QSize(420, 120) : QSize(560, 380));
}

void ImportSites(QWidget* parent, StatusLine status, const std::function<void()>& sitesChanged) {
  const QString path = pickFile(parent, false);
  if (path.isEmpty()) return;
  SiteImport result;
  {
    auto scope = busy(status, "正在导入网站…");
    result = importSiteCsvFile(nativePath(path));
  }
  if (result.imported > 0 && sitesChanged) sitesChanged();
  ImportSummaryDialog dialog(parent, siteImportSummary(result), siteImportDetails(result));
  runModal(dialog);
}

void ExportSites(QWidget* parent, StatusLine status) {
  if (siteStoreIsOpen() && listSiteAddresses().empty()) {
    tell(parent, QMessageBox::Information, fromUtf8("网站列表是空的，没有可导出的网站。"));
    return;
  }
  QMessageBox ask(QMessageBox::Warning, QStringLiteral("导出网站"),
                  QStringLiteral("导出的文件里有每个网站的帐号和密码（没有加密），拿到这个文件的人都能登录你的博客。\n"
                                 "文件只有你自己能读取；请妥善保管，不要发给别人。\n\n是否继续导出？"),
                  QMessageBox::Ok | QMessageBox::Cancel, parent);
  ask.setDefaultButton(QMessageBox::Cancel);
  if (runModal(ask) != QMessageBox::Ok) return;
  const QString path = pickFile(parent, true);
  if (path.isEmpty()) return;
  SiteExport result;
  {
    auto scope = busy(status, "正在导出网站…");
    result = exportSiteCsvFile(nativePath(path));
  }
  tell(parent, result.ok ? QMessageBox::Information : QMessageBox::Warning, result.notice);
}

}  // namespace inkpost
