// The 网站管理 commands 导入网站… and 导出网站…: a file dialog, the
// confirmation before passwords leave the store, and the outcome.
#pragma once

#include "common/ui/busy.h"

#include <QDialog>
#include <QString>

#include <functional>
#include <string>
#include <vector>

class QLabel;
class QPlainTextEdit;

namespace inkpost {

// 导入网站…: picks a CSV file, imports it (sites/siteimport.h) and shows one
// summary, the skipped lines listed with their reasons. `sitesChanged` runs
// when at least one site was added (the lead's chooser refill).
void ImportSites(QWidget* parent, StatusLine status, const std::function<void()>& sitesChanged);

// 导出网站…: says that the file will hold every password and asks to go on
// (OK / Cancel), picks where to save, writes the file and tells the outcome.
// With no site in the store it says so and asks nothing.
void ExportSites(QWidget* parent, StatusLine status);

// The file dialog both commands use. A test sets one that answers with a
// path without showing anything; an empty answer is a cancel. An empty
// function puts the file dialog back.
using SiteFilePicker = std::function<QString(QWidget* parent, bool forSaving)>;
void setSiteFilePicker(SiteFilePicker picker);

// The import summary, objectName "导入结果", caption "导入网站": the summary
// line, and the skipped lines in a list that scrolls.
class ImportSummaryDialog : public QDialog {
  Q_OBJECT
 public:
  ImportSummaryDialog(QWidget* parent, const std::string& gbkSummary, const std::vector<std::string>& gbkDetails);
  QLabel* summary;          // 标签_导入结果
  QPlainTextEdit* details;  // 列表_跳过的行 (hidden when nothing was skipped)
};

}  // namespace inkpost
