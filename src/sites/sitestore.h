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
  Created,        // the file was missing and has been made, empty and keyed (a notice)
  Damaged,        // the integrity check failed: open read-only, "网站数据库已损坏：<path>"
  Busy,           // another program holds it past the busy wait: "数据库被其他程序占用"
  ConnectFailed,  // wrong key, not a database, cannot be made: "连接数据库失败_ON.1！"
  TableFailed,    // the file opens but table web cannot be read: "连接数据库失败_ON.2！"
};

// How long opening waits for another program that holds the file locked.
inline constexpr int kSiteStoreBusyMs = 5000;

// The store can be used after this result (Ok, Created; Damaged read-only).
bool siteStoreUsable(SiteStoreOpen result);

// The message for an open, GBK; empty for Ok. The damaged, busy and created
// messages name the file of the last open.
std::string siteStoreOpenMessage(SiteStoreOpen result);

// Opens <programDir>/data.mdb (or `path`), creating it empty and keyed when
// it is missing. Runs the quick integrity check: a damaged file is opened
// read-only so nothing writes into it. Waits up to kSiteStoreBusyMs for a
// file another program holds. Closes a connection that is still open first.
[[nodiscard]] SiteStoreOpen OpenSiteStore();
[[nodiscard]] SiteStoreOpen OpenSiteStore(const std::string& path);
void CloseSiteStore();
bool siteStoreIsOpen();
// The open store refuses every write (it was found damaged).
bool siteStoreIsReadOnly();

// Every row in table order (by ID). Empty when the store is closed.
std::vector<SiteRecord> listSites();
// The address of every row, in table order, without reading any password.
std::vector<std::string> listSiteAddresses();

// The first row, in table order, that satisfies the criterion text
// (sql::byId, sql::byAddress); nothing when none does or the text is bad.
std::optional<SiteRecord> FindSite(const std::string& criterion);

// The first row, in table order, whose address is the same site's
// (siteAddressKey: scheme and host compared without case).
std::optional<SiteRecord> findSiteByAddress(const std::string& url);

// Runs exactly one statement; false on any failure (also when the text holds
// more than one statement, or the store is closed).
bool ExecuteSiteStatement(const std::string& statement);

// Why the last statement that failed could not be run, for the user (GBK),
// naming the file and what to do: the store is closed, was opened read-only
// because it is damaged, the file cannot be written (read-only), the disk is
// full, the file is damaged or held by another program, or the database's
// own words; or a site save was refused because the keyring did not answer
// (that secret notice is then told here, not by takeSecretNotice).
std::string siteStoreWriteProblem();

// ---- Site rows with their passwords -----------------------------------------
// The two passwords of a row go into the desktop's secret service when one
// runs (the row holds a reference, sites/secrets.h); otherwise into the
// keyed file as before. Rows of either kind read back the same: listSites and
// FindSite give the passwords themselves.

// Inserts the site as a new row; false when the statement fails.
[[nodiscard]] bool saveNewSite(const SiteRecord& site);
// Inserts the sites as new rows, all in one transaction (an import of
// hundreds is one write, not hundreds); the passwords go where saveNewSite
// puts them. Element i of the result tells whether site i is stored.
std::vector<bool> saveNewSites(const std::vector<SiteRecord>& sites);
// Replaces name, address, account and the passwords of row `id`.
[[nodiscard]] bool saveSite(const SiteRecord& site, int id);
// Deletes the rows and the secrets they name; false when nothing was deleted.
[[nodiscard]] bool removeSites(const std::vector<int>& ids);

// A row whose password the keyring cannot give now (locked, not answering)
// reads with that password empty; saving it with the field left empty keeps
// the stored password. A save while the keyring does not answer fails (the
// password never goes into the file for that reason).

// Moves passwords kept in the keyed file (rows saved while no keyring ran,
// or while it was locked) into the keyring when it is Ready; the rows then
// hold references. The number moved (a notice says so).
int movePasswordsIntoKeyring();

// The notices (GBK, one a line) that are due: where a password was saved
// (no keyring, a locked one), a save refused because the keyring did not
// answer, passwords that cannot be read now (and why), passwords moved into
// the keyring. Each kind is told once per run (a refused save every time).
// Empty when there is nothing to tell.
std::string takeSecretNotice();

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
[[nodiscard]] bool createSiteDatabase(const std::string& path, std::string* error = nullptr);

// Adds a site to the database at `path` unless a row with that address
// exists; when a row with the same name exists, its address, account and
// password are replaced instead (a local server that changes port keeps one
// row). Independent of the process-wide connection.
[[nodiscard]] bool addOrUpdateSite(const std::string& path, const SiteRecord& site, std::string* error = nullptr);

}  // namespace inkpost
