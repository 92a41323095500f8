// The site store's steps in start-up and the database upgrade command, with
// their message boxes.
#pragma once

class QWidget;

namespace inkpost {

// OpenSiteStore on <programDir>/data.mdb; a failure shows its message in a
// message box (caption "提示") over parent and returns false.
bool openSiteStoreReporting(QWidget* parent);

// 数据库升级: asks first (OK/Cancel), then adds the missing columns and
// tells the outcome (caption "信息：").
void runDatabaseUpgrade(QWidget* parent);

}  // namespace inkpost
