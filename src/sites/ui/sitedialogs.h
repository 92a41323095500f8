// The three site dialogs of the 网站管理 menu. Each reports its outcomes with
// a notice over itself; add and delete (and modify, so the chooser never
// hands out stale account data) refill the main window's chooser when they
// are destroyed.
#pragma once

#include "sites/siterecord.h"

#include <QDialog>
#include <QPointer>

#include <string>

class QComboBox;
class QGroupBox;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace inkpost {

// How long a failed write's notice (with its reason) stays.
inline constexpr double kStoreFailureSeconds = 2.6;

// The six fields and two buttons shared by the add and modify dialogs.
class SiteFormDialog : public QDialog {
  Q_OBJECT
 public:
  SiteFormDialog(QWidget* parent, QComboBox* chooser, int formLeft);
  ~SiteFormDialog() override;

  QLineEdit* nameEdit;      // 编辑框_网站名称
  QLineEdit* addressEdit;   // 编辑框_网站地址
  QLineEdit* accountEdit;   // 编辑框_帐号
  QLineEdit* passwordEdit;  // 编辑框_密码
  QLineEdit* bdNameEdit;    // 编辑框_百度帐号
  QLineEdit* bdPassEdit;    // 编辑框_百度密码
  QPushButton* button1;     // 按钮1
  QPushButton* button2;     // 按钮2 "重填"

  // The form as a record (ID 0, flags off).
  SiteRecord formRecord() const;
  // The field check; shows its notice and returns false at the first failure.
  bool validate();
  // 重填: empties the four required fields.
  void reset();

 private:
  QPointer<QComboBox> chooser_;
};

// 添加网站, 289 x 181.
class AddSiteDialog : public SiteFormDialog {
  Q_OBJECT
 public:
  AddSiteDialog(QWidget* parent, QComboBox* chooser);
  void add();  // 按钮1 "添加"
};

// 修改网站, 521 x 181, with 列表框1 in 分组框1 "网站列表".
class ModifySiteDialog : public SiteFormDialog {
  Q_OBJECT
 public:
  ModifySiteDialog(QWidget* parent, QComboBox* chooser);
  QGroupBox* listGroup;  // 分组框1
  QListWidget* list;     // 列表框1

  void fillList();
  void showSelected();  // 列表框1 selection changed
  void modify();        // 按钮1 "修改"
};

// 删除网站, 287 x 235: 选择列表框1 in 分组框1, 按钮1 "删除选中", 按钮2 "反选".
class DeleteSitesDialog : public QDialog {
  Q_OBJECT
 public:
  DeleteSitesDialog(QWidget* parent, QComboBox* chooser);
  ~DeleteSitesDialog() override;
  QGroupBox* listGroup;  // 分组框1
  QListWidget* list;     // 选择列表框1
  QPushButton* button1;  // 按钮1 "删除选中"
  QPushButton* button2;  // 按钮2 "反选"

  void fillList();
  void deleteTicked();
  void invert();

 private:
  QPointer<QComboBox> chooser_;
};

// The menu commands: the dialog modally over parent; return when it closes.
void openAddSiteDialog(QWidget* parent, QComboBox* chooser);
void openModifySiteDialog(QWidget* parent, QComboBox* chooser);
void openDeleteSitesDialog(QWidget* parent, QComboBox* chooser);

}  // namespace inkpost
