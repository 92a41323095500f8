// The site store: the one process-wide connection to the keyed data.mdb in
// the program directory, and every read and write on its table web.
#pragma once

#include "sites/siterecord.h"

#include <optional>
#include <string>
#include <vector>

namespace inkpost {

// The database password the file is keyed with.
inline constexpr const char* kSiteStorePassword = "k3#b8%t1&w5(r2%n9*h6";

enum class SiteStoreOpen {
  Ok,
  ConnectFailed,  // missing file, wrong key, not a database: "连接数据库失败_ON.1！"
  TableFailed,    // the file opens but table web cannot be read: "连接数据库失败_ON.2！"
};

// The message for a failed open, GBK; empty for Ok.
std::string siteStoreOpenMessage(SiteStoreOpen result);

// Opens <programDir>/data.mdb (or `path`). Never creates a file. Closes a
// connection that is still open first.
SiteStoreOpen OpenSiteStore();
SiteStoreOpen OpenSiteStore(const std::string& path);
void CloseSiteStore();
bool siteStoreIsOpen();

// Every row in table order (by ID). Empty when the store is closed.
std::vector<SiteRecord> listSites();

// The first row, in table order, that satisfies the criterion text
// (sql::byId, sql::byAddress); nothing when none does or the text is bad.
std::optional<SiteRecord> FindSite(const std::string& criterion);

// Runs exactly one statement; false on any failure (also when the text holds
// more than one statement, or the store is closed).
bool ExecuteSiteStatement(const std::string& statement);

// Stores one option flag of the site with the given ID (-1: no site, the
// statement names no row). Callers do not report the outcome; true when the
// statement ran.
bool StoreSiteFlag(SiteFlag flag, bool on, int id);

// Column names of table web in table order, as the table declares them.
std::vector<std::string> siteColumns();

enum class SiteUpgrade { Current, Upgraded, Failed };

// Adds the missing bdname / bdpass columns (in that order); each failed
// statement counts, and what was added stays.
SiteUpgrade upgradeSiteStore();

// ---- The database file itself (build tool, tests) ---------------------------

// Creates a keyed database with an empty table web (all nine columns).
// Leaves an existing file alone: true when it opens with the key and holds
// table web. `error` gets a short English reason on failure.
bool createSiteDatabase(const std::string& path, std::string* error = nullptr);

// Adds a site to the database at `path` unless a row with that address
// exists; when a row with the same name exists, its address, account and
// password are replaced instead (a local server that changes port keeps one
// row). Independent of the process-wide connection.
bool addOrUpdateSite(const std::string& path, const SiteRecord& site, std::string* error = nullptr);

}  // namespace inkpost
