// 文章 → 发布记录: the publish record in a window, newest first, with a site
// filter and an outcome filter.
#pragma once

#include "blog/publishrecord.h"

#include <QDialog>

#include <string>
#include <vector>

class QComboBox;
class QLabel;
class QPushButton;
class QTableView;

namespace inkpost {

class PublishRecordModel;

// objectName "发布记录", caption "发布记录"; not modal, resizable.
class PublishRecordWindow : public QDialog {
  Q_OBJECT
 public:
  explicit PublishRecordWindow(QWidget* parent, const std::string& path = PublishRecord::defaultPath());

  QComboBox* siteFilter;      // 组合框_网站筛选: "全部网站", then every site in the record
  QComboBox* outcomeFilter;   // 组合框_结果筛选: "全部结果", "成功", "失败", "结果不明", "已取消"
  QTableView* table;          // 表格_发布记录: 时间, 网站, 标题, 步骤, 结果, 原因
  QLabel* countLabel;         // 标签_记录数: how many are shown, damaged lines, a read error
  QPushButton* reloadButton;  // 按钮_刷新

  // Reads the file again; the filters stay as chosen.
  void reload();
  const std::string& path() const { return record_.path(); }

 private:
  void applyFilters();
  void fillSiteFilter();

  PublishRecord record_;
  PublishRecordRead all_;
  PublishRecordModel* model_;
};

// Opens the window over `parent` (one at a time: an open one is read again
// and brought to the front) and returns it; it deletes itself when closed.
PublishRecordWindow* showPublishRecord(QWidget* parent, const std::string& path = PublishRecord::defaultPath());

}  // namespace inkpost
