#include "sites/ui/sitemenu.h"

#include "common/ui/gbk.h"
#include "common/ui/modal.h"
#include "sites/sitestore.h"

#include <QMessageBox>

namespace inkpost {
namespace {

void inform(QWidget* parent, const QString& caption, const QString& text) {
  QMessageBox box(QMessageBox::Information, caption, text, QMessageBox::Ok, parent);
  runModal(box);
}

}  // namespace

bool openSiteStoreReporting(QWidget* parent) {
  SiteStoreOpen result = OpenSiteStore();
  if (result == SiteStoreOpen::Ok) return true;
  inform(parent, QStringLiteral("提示"), toQ(siteStoreOpenMessage(result)));
  return siteStoreUsable(result);
}

void runDatabaseUpgrade(QWidget* parent) {
  QMessageBox ask(QMessageBox::Question, QStringLiteral("data.mdb 升级"),
                  QStringLiteral("升级前请先备份原有数据库文件，是否立即升级？"), QMessageBox::Ok | QMessageBox::Cancel,
                  parent);
  if (runModal(ask) != QMessageBox::Ok) return;
  const QString caption = QStringLiteral("信息：");
  switch (upgradeSiteStore()) {
    case SiteUpgrade::Current:
      inform(parent, caption, QStringLiteral("数据库结构已为最新！"));
      break;
    case SiteUpgrade::Upgraded:
      inform(parent, caption, QStringLiteral("升级成功！"));
      break;
    case SiteUpgrade::Failed:
      inform(parent, caption, QStringLiteral("升级失败！"));
      break;
  }
}

}  // namespace inkpost
