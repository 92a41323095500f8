#include "sites/ui/sitechooser.h"

#include "common/ui/gbk.h"
#include "common/ui/toast.h"
#include "sites/sitestore.h"

#include <QComboBox>
#include <QSignalBlocker>
#include <QStandardItemModel>

namespace inkpost {

namespace {

int resolve(const QComboBox* chooser, int index) { return index == -2 ? chooser->currentIndex() : index; }

}  // namespace

void FillSiteChooser(QComboBox* chooser) {
  if (!chooser) return;
  const int chosen = chooserSiteId(chooser);
  QSignalBlocker block(chooser);
  chooser->clear();
  const std::vector<SiteRecord> sites = listSites();
  if (auto* model = qobject_cast<QStandardItemModel*>(chooser->model())) {
    // One append of all rows: far cheaper than addItem per row.
    QList<QStandardItem*> items;
    items.reserve(static_cast<qsizetype>(sites.size()));
    for (const SiteRecord& s : sites) {
      auto* item = new QStandardItem(toQ(s.webname));
      item->setData(toQ(SiteChooserEntry(s)), kSiteEntryRole);
      item->setData(s.id, kSiteIdRole);
      item->setData(QVariant::fromValue(s), kSiteRecordRole);
      items.append(item);
    }
    model->invisibleRootItem()->appendRows(items);
  } else {
    for (const SiteRecord& s : sites) {
      chooser->addItem(toQ(s.webname), s.id);
      chooser->setItemData(chooser->count() - 1, toQ(SiteChooserEntry(s)), kSiteEntryRole);
      chooser->setItemData(chooser->count() - 1, QVariant::fromValue(s), kSiteRecordRole);
    }
  }
  const int kept = chosen < 0 ? -1 : chooser->findData(chosen, kSiteIdRole);
  chooser->setCurrentIndex(kept);
  block.unblock();
  if (chosen >= 0 && kept < 0) emit chooser->currentIndexChanged(-1);
  // Where the passwords went (or could not be read from), told once.
  const std::string notice = takeSecretNotice();
  if (!notice.empty()) ShowToast(chooser->window(), notice, 2.6, true, 0);
}

int chooserSiteId(const QComboBox* chooser, int index) {
  if (!chooser) return -1;
  index = resolve(chooser, index);
  if (index < 0 || index >= chooser->count()) return -1;
  QVariant v = chooser->itemData(index, kSiteIdRole);
  bool ok = false;
  int id = v.toInt(&ok);
  return ok ? id : -1;
}

std::optional<SiteRecord> chooserSite(const QComboBox* chooser, int index) {
  if (!chooser) return std::nullopt;
  index = resolve(chooser, index);
  if (index < 0 || index >= chooser->count()) return std::nullopt;
  QVariant v = chooser->itemData(index, kSiteRecordRole);
  if (!v.canConvert<SiteRecord>()) return std::nullopt;
  return v.value<SiteRecord>();
}

ChooserValues chooserEntryValues(const QComboBox* chooser, int index) {
  if (!chooser) return {};
  index = resolve(chooser, index);
  if (index < 0 || index >= chooser->count()) return {};
  if (auto site = chooserSite(chooser, index)) return chooserValues(*site);
  const QVariant entry = chooser->itemData(index, kSiteEntryRole);
  return ParseChooserEntry(fromQ(entry.isValid() ? entry.toString() : chooser->itemText(index)));
}

void StoreSiteFlag(QComboBox* chooser, SiteFlag flag, bool on) {
  const int id = chooserSiteId(chooser);
  if (!StoreSiteFlag(flag, on, id) || id < 0) return;
  const int index = chooser->currentIndex();
  if (auto site = chooserSite(chooser, index)) {
    (flag == SiteFlag::AutoAlias ? site->ikname : site->imgname) = on;
    QSignalBlocker block(chooser);
    chooser->setItemData(index, toQ(SiteChooserEntry(*site)), kSiteEntryRole);
    chooser->setItemData(index, QVariant::fromValue(*site), kSiteRecordRole);
  }
}

}  // namespace inkpost
