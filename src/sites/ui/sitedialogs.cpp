#include "sites/ui/sitedialogs.h"

#include "common/ui/gbk.h"
#include "common/ui/modal.h"
#include "common/ui/toast.h"
#include "common/ui/unit.h"
#include "net/encoding.h"
#include "sites/siteform.h"
#include "sites/sitestore.h"
#include "sites/statements.h"
#include "sites/ui/sitechooser.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>

namespace inkpost {
namespace {

void toast(QWidget* over, const char* utf8, double seconds) { ShowToast(over, fromUtf8(utf8), seconds); }

// A failed write, with why: the keyring did not answer, or why the store
// could not take it. Other secret notices wait for the chooser's refill.
void failure(QWidget* over, const char* utf8) {
  ShowToast(over, fromUtf8(utf8) + "\n" + siteStoreWriteProblem(), kStoreFailureSeconds);
}

QLineEdit* field(QWidget* parent, const char* name, const char* label, int x, int y) {
  auto* l = new QLabel(QString::fromUtf8(label), parent);
  l->setGeometry(x, y, 66, 20);
  l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  return unit<QLineEdit>(parent, name, x + 68, y, 198, 20);
}

void fillSiteList(QListWidget* list, bool checkable) {
  list->clear();
  for (const SiteRecord& s : listSites()) {
    auto* item = new QListWidgetItem(toQ(s.webname), list);
    item->setData(Qt::UserRole, s.id);
    if (checkable) {
      item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
      item->setCheckState(Qt::Unchecked);
    }
  }
}

}  // namespace

SiteFormDialog::SiteFormDialog(QWidget* parent, QComboBox* chooser, int left) : QDialog(parent), chooser_(chooser) {
  setAttribute(Qt::WA_DeleteOnClose, false);
  nameEdit = field(this, "编辑框_网站名称", "网站名称：", left, 8);
  addressEdit = field(this, "编辑框_网站地址", "网站地址：", left, 32);
  accountEdit = field(this, "编辑框_帐号", "帐号：", left, 56);
  passwordEdit = field(this, "编辑框_密码", "密码：", left, 80);
  bdNameEdit = field(this, "编辑框_百度帐号", "百度帐号：", left, 104);
  bdPassEdit = field(this, "编辑框_百度密码", "百度密码：", left, 128);
  passwordEdit->setEchoMode(QLineEdit::Password);
  bdPassEdit->setEchoMode(QLineEdit::Password);
  button1 = unit<QPushButton>(this, "按钮1", left + 68, 154, 90, 24);
  button2 = unit<QPushButton>(this, "按钮2", left + 176, 154, 90, 24);
  button2->setText(QStringLiteral("重填"));
  // Return in any field submits (添加 or 修改).
  button1->setDefault(true);
  button2->setAutoDefault(false);
  connect(button2, &QPushButton::clicked, this, [this] { reset(); });
}

SiteFormDialog::~SiteFormDialog() {
  if (chooser_) FillSiteChooser(chooser_);
}

SiteRecord SiteFormDialog::formRecord() const {
  SiteRecord r;
  r.webname = fromQ(nameEdit->text());
  r.weburl = fromQ(addressEdit->text());
  r.admin = fromQ(accountEdit->text());
  r.pass = fromQ(passwordEdit->text());
  r.bdname = fromQ(bdNameEdit->text());
  r.bdpass = fromQ(bdPassEdit->text());
  return r;
}

bool SiteFormDialog::validate() {
  const std::string problem = siteFormProblem(formRecord());
  if (problem.empty()) return true;
  ShowToast(this, problem, 1.5);
  return false;
}

void SiteFormDialog::reset() {
  passwordEdit->clear();
  accountEdit->clear();
  addressEdit->clear();
  nameEdit->clear();
}

AddSiteDialog::AddSiteDialog(QWidget* parent, QComboBox* chooser) : SiteFormDialog(parent, chooser, 6) {
  setObjectName(QStringLiteral("添加网站"));
  setWindowTitle(QStringLiteral("添加网站"));
  button1->setText(QStringLiteral("添加"));
  connect(button1, &QPushButton::clicked, this, [this] { add(); });
  setFixedSize(289, 181);
}

void AddSiteDialog::add() {
  if (!validate()) return;
  const SiteRecord r = formRecord();
  if (findSiteByAddress(r.weburl)) {
    toast(this, "该网站已存在！", 1.0);
    return;
  }
  if (saveNewSite(r))
    toast(this, "添加网站成功！", 1.0);
  else
    failure(this, "添加网站失败！");
}

ModifySiteDialog::ModifySiteDialog(QWidget* parent, QComboBox* chooser) : SiteFormDialog(parent, chooser, 236) {
  setObjectName(QStringLiteral("修改网站"));
  setWindowTitle(QStringLiteral("修改网站"));
  button1->setText(QStringLiteral("修改"));
  listGroup = unit<QGroupBox>(this, "分组框1", 6, 2, 222, 174);
  listGroup->setTitle(QStringLiteral("网站列表"));
  list = unit<QListWidget>(listGroup, "列表框1", 6, 18, 210, 150);
  connect(list, &QListWidget::currentRowChanged, this, [this](int) { showSelected(); });
  connect(button1, &QPushButton::clicked, this, [this] { modify(); });
  fillList();
  setFixedSize(521, 181);
}

void ModifySiteDialog::fillList() { fillSiteList(list, false); }

void ModifySiteDialog::showSelected() {
  QListWidgetItem* item = list->currentItem();
  if (!item) return;
  auto site = FindSite(sql::byId(item->data(Qt::UserRole).toInt()));
  if (!site) return;
  nameEdit->setText(toQ(site->webname));
  addressEdit->setText(toQ(site->weburl));
  accountEdit->setText(toQ(site->admin));
  passwordEdit->setText(toQ(site->pass));
  bdNameEdit->setText(toQ(site->bdname));
  bdPassEdit->setText(toQ(site->bdpass));
}

void ModifySiteDialog::modify() {
  if (!validate()) return;
  QListWidgetItem* item = list->currentItem();
  // No entry selected names no row: report failure rather than success.
  if (!item || !item->isSelected()) {
    toast(this, "  修改失败！  ", 1.0);
    return;
  }
  const int id = item->data(Qt::UserRole).toInt();
  if (saveSite(formRecord(), id)) {
    item->setText(nameEdit->text());  // the list shows the name as stored now
    toast(this, "  修改成功！  ", 1.0);
  } else {
    failure(this, "  修改失败！  ");
  }
}

DeleteSitesDialog::DeleteSitesDialog(QWidget* parent, QComboBox* chooser) : QDialog(parent), chooser_(chooser) {
  setObjectName(QStringLiteral("删除网站"));
  setWindowTitle(QStringLiteral("删除网站"));
  listGroup = unit<QGroupBox>(this, "分组框1", 6, 2, 275, 192);
  listGroup->setTitle(QStringLiteral("网站列表"));
  list = unit<QListWidget>(listGroup, "选择列表框1", 6, 18, 263, 168);
  button1 = unit<QPushButton>(this, "按钮1", 40, 202, 96, 26);
  button1->setText(QStringLiteral("删除选中"));
  button2 = unit<QPushButton>(this, "按钮2", 152, 202, 96, 26);
  button2->setText(QStringLiteral("反选"));
  button1->setAutoDefault(false);
  button2->setAutoDefault(false);
  connect(button1, &QPushButton::clicked, this, [this] { deleteTicked(); });
  connect(button2, &QPushButton::clicked, this, [this] { invert(); });
  fillList();
  setFixedSize(287, 235);
}

DeleteSitesDialog::~DeleteSitesDialog() {
  if (chooser_) FillSiteChooser(chooser_);
}

void DeleteSitesDialog::fillList() { fillSiteList(list, true); }

void DeleteSitesDialog::invert() {
  for (int i = 0; i < list->count(); ++i) {
    QListWidgetItem* item = list->item(i);
    item->setCheckState(item->checkState() == Qt::Checked ? Qt::Unchecked : Qt::Checked);
  }
}

void DeleteSitesDialog::deleteTicked() {
  std::vector<int> ids;
  for (int i = 0; i < list->count(); ++i)
    if (list->item(i)->checkState() == Qt::Checked) ids.push_back(list->item(i)->data(Qt::UserRole).toInt());
  if (ids.empty()) {
    toast(this, "请先勾选要删除的网站", 1.2);
    return;
  }
  // Deleting cannot be undone: asked first.
  QMessageBox ask(QMessageBox::Question, QStringLiteral("删除网站"),
                  QStringLiteral("确定删除选中的 %1 个网站？").arg(ids.size()), QMessageBox::Ok | QMessageBox::Cancel,
                  this);
  ask.setDefaultButton(QMessageBox::Cancel);
  if (runModal(ask) != QMessageBox::Ok) return;
  if (removeSites(ids))
    toast(this, "删除成功！", 0.8);
  else
    failure(this, "删除失败！");
  fillList();
}

void openAddSiteDialog(QWidget* parent, QComboBox* chooser) {
  AddSiteDialog d(parent, chooser);
  runModal(d);
}

void openModifySiteDialog(QWidget* parent, QComboBox* chooser) {
  ModifySiteDialog d(parent, chooser);
  runModal(d);
}

void openDeleteSitesDialog(QWidget* parent, QComboBox* chooser) {
  DeleteSitesDialog d(parent, chooser);
  runModal(d);
}

}  // namespace inkpost
