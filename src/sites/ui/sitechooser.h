// The main window's site chooser 组合框_网站名称: each entry shows the site's
// name only, carries the row ID as its item value and keeps the
// SiteChooserEntry text and the row's SiteRecord beside it, so no address or
// password ever shows and the values that leave the chooser are the stored
// ones even when a value holds one of the entry's marker characters.
#pragma once

#include "sites/chooserentry.h"
#include "sites/siterecord.h"

#include <QMetaType>

#include <optional>

class QComboBox;

Q_DECLARE_METATYPE(inkpost::SiteRecord)

namespace inkpost {

// Item data roles of a chooser entry.
inline constexpr int kSiteIdRole = Qt::UserRole;          // int ID
inline constexpr int kSiteRecordRole = Qt::UserRole + 1;  // SiteRecord
inline constexpr int kSiteEntryRole = Qt::UserRole + 2;   // SiteChooserEntry text

// Rebuilds the chooser from table web in table order. The site chosen
// before stays chosen and no selection signal is emitted; when that site is
// gone, nothing is chosen and the change is signalled (index -1). At start
// nothing is chosen.
void FillSiteChooser(QComboBox* chooser);

// The ID of the entry at `index` (default: the current one); -1 when there is
// no such entry.
int chooserSiteId(const QComboBox* chooser, int index = -2);

// The row kept with the entry at `index` (default: the current one).
std::optional<SiteRecord> chooserSite(const QComboBox* chooser, int index = -2);

// Address, account, password and flags of the entry at `index` (default: the
// current one), exactly as stored; an entry without a kept record is read
// back from its text. Empty values when there is no such entry.
ChooserValues chooserEntryValues(const QComboBox* chooser, int index = -2);

// A click on one of the main window's option boxes: stores the flag for the
// chooser's current site (none selected: no row changes) and keeps the
// entry in step with the table.
void StoreSiteFlag(QComboBox* chooser, SiteFlag flag, bool on);

}  // namespace inkpost
