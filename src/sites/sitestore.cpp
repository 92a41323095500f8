#include "sites/sitestore.h"

#include "app/programdir.h"
#include "net/encoding.h"
#include "sites/statements.h"

#include <sqlcipher/sqlite3.h>

#include <cctype>
#include <cstring>
#include <filesystem>
#include <memory>

namespace inkpost {
namespace {

sqlite3*& connection() {
  static sqlite3* db = nullptr;
  return db;
}

struct StmtDeleter {
  void operator()(sqlite3_stmt* s) const { sqlite3_finalize(s); }
};
using Stmt = std::unique_ptr<sqlite3_stmt, StmtDeleter>;

struct DbDeleter {
  void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
using Db = std::unique_ptr<sqlite3, DbDeleter>;

// Prepares exactly one statement; anything but blanks after it fails.
Stmt prepareOne(sqlite3* db, const std::string& text) {
  if (!db) return nullptr;
  sqlite3_stmt* raw = nullptr;
  const char* tail = nullptr;
  if (sqlite3_prepare_v2(db, text.c_str(), static_cast<int>(text.size()), &raw, &tail) != SQLITE_OK) {
    sqlite3_finalize(raw);
    return nullptr;
  }
  Stmt stmt(raw);
  if (!stmt) return nullptr;  // blank text
  for (const char* p = tail; p && *p; ++p)
    if (!std::isspace(static_cast<unsigned char>(*p))) return nullptr;
  return stmt;
}

std::string columnText(sqlite3_stmt* s, int i) {
  const unsigned char* t = sqlite3_column_text(s, i);
  if (!t) return {};
  return std::string(reinterpret_cast<const char*>(t), static_cast<size_t>(sqlite3_column_bytes(s, i)));
}

// Reads the current row by column name; columns an older table lacks stay empty.
SiteRecord readRow(sqlite3_stmt* s) {
  SiteRecord r;
  const int n = sqlite3_column_count(s);
  for (int i = 0; i < n; ++i) {
    const char* name = sqlite3_column_name(s, i);
    if (!name) continue;
    if (!std::strcmp(name, "ID")) r.id = sqlite3_column_int(s, i);
    else if (!std::strcmp(name, "webname")) r.webname = columnText(s, i);
    else if (!std::strcmp(name, "weburl")) r.weburl = columnText(s, i);
    else if (!std::strcmp(name, "admin")) r.admin = columnText(s, i);
    else if (!std::strcmp(name, "pass")) r.pass = columnText(s, i);
    else if (!std::strcmp(name, "ikname")) r.ikname = columnText(s, i) == "1";
    else if (!std::strcmp(name, "imgname")) r.imgname = columnText(s, i) == "1";
    else if (!std::strcmp(name, "bdname")) r.bdname = columnText(s, i);
    else if (!std::strcmp(name, "bdpass")) r.bdpass = columnText(s, i);
  }
  return r;
}

// Opens an existing file with the key. The key is only checked by the first
// read, so the schema is read here.
Db openKeyed(const std::string& path, bool create) {
  sqlite3* raw = nullptr;
  int flags = SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0);
  int rc = sqlite3_open_v2(path.c_str(), &raw, flags, nullptr);
  Db db(raw);
  if (rc != SQLITE_OK) return nullptr;
  if (sqlite3_key(raw, kSiteStorePassword, static_cast<int>(std::strlen(kSiteStorePassword))) != SQLITE_OK)
    return nullptr;
  if (sqlite3_exec(raw, "select count(*) from sqlite_master", nullptr, nullptr, nullptr) != SQLITE_OK)
    return nullptr;
  return db;
}

bool hasWebTable(sqlite3* db) {
  Stmt s = prepareOne(db, "select * from web limit 0");
  return s && sqlite3_step(s.get()) == SQLITE_DONE;
}

void setError(std::string* error, const std::string& text) {
  if (error) *error = text;
}

}  // namespace

std::string siteStoreOpenMessage(SiteStoreOpen result) {
  switch (result) {
    case SiteStoreOpen::Ok: return {};
    case SiteStoreOpen::ConnectFailed: return fromUtf8("连接数据库失败_ON.1！");
    case SiteStoreOpen::TableFailed: return fromUtf8("连接数据库失败_ON.2！");
  }
  return {};
}

SiteStoreOpen OpenSiteStore() { return OpenSiteStore(programPath("data.mdb")); }

SiteStoreOpen OpenSiteStore(const std::string& path) {
  CloseSiteStore();
  Db db = openKeyed(path, false);
  if (!db) return SiteStoreOpen::ConnectFailed;
  if (!hasWebTable(db.get())) return SiteStoreOpen::TableFailed;
  connection() = db.release();
  return SiteStoreOpen::Ok;
}

void CloseSiteStore() {
  if (connection()) sqlite3_close_v2(connection());
  connection() = nullptr;
}

bool siteStoreIsOpen() { return connection() != nullptr; }

std::vector<SiteRecord> listSites() {
  std::vector<SiteRecord> out;
  Stmt s = prepareOne(connection(), "select * from web order by ID");
  if (!s) return out;
  while (sqlite3_step(s.get()) == SQLITE_ROW) out.push_back(readRow(s.get()));
  return out;
}

std::optional<SiteRecord> FindSite(const std::string& criterion) {
  Stmt s = prepareOne(connection(), "select * from web where " + criterion + " order by ID limit 1");
  if (!s || sqlite3_step(s.get()) != SQLITE_ROW) return std::nullopt;
  return readRow(s.get());
}

bool ExecuteSiteStatement(const std::string& statement) {
  Stmt s = prepareOne(connection(), statement);
  if (!s) return false;
  int rc;
  while ((rc = sqlite3_step(s.get())) == SQLITE_ROW) {
  }
  return rc == SQLITE_DONE;
}

bool StoreSiteFlag(SiteFlag flag, bool on, int id) { return ExecuteSiteStatement(sql::storeFlag(flag, on, id)); }

std::vector<std::string> siteColumns() {
  std::vector<std::string> out;
  Stmt s = prepareOne(connection(), "PRAGMA table_info(web)");
  if (!s) return out;
  while (sqlite3_step(s.get()) == SQLITE_ROW) out.push_back(columnText(s.get(), 1));
  return out;
}

SiteUpgrade upgradeSiteStore() {
  bool hasName = false, hasPass = false;
  for (const std::string& c : siteColumns()) {
    if (c == "bdname") hasName = true;
    if (c == "bdpass") hasPass = true;
  }
  if (hasName && hasPass) return SiteUpgrade::Current;
  int failures = 0;
  if (!hasName) {
    ++failures;
    if (ExecuteSiteStatement(sql::addColumn("bdname"))) --failures;
  }
  if (!hasPass) {
    ++failures;
    if (ExecuteSiteStatement(sql::addColumn("bdpass"))) --failures;
  }
  return failures == 0 ? SiteUpgrade::Upgraded : SiteUpgrade::Failed;
}

bool createSiteDatabase(const std::string& path, std::string* error) {
  std::error_code ec;
  const bool existed = std::filesystem::exists(path, ec);
  Db db = openKeyed(path, !existed);
  if (!db) {
    setError(error, existed ? "exists but does not open with the database password" : "cannot create the file");
    return false;
  }
  if (existed) {
    if (hasWebTable(db.get())) return true;
    // An empty file (or an empty keyed database) gets the table; anything
    // that holds other tables is not ours to touch.
    Stmt any = prepareOne(db.get(), "select count(*) from sqlite_master");
    if (!any || sqlite3_step(any.get()) != SQLITE_ROW || sqlite3_column_int(any.get(), 0) != 0) {
      setError(error, "exists but holds no table web");
      return false;
    }
  }
  const char* schema =
      "create table web(ID INTEGER PRIMARY KEY AUTOINCREMENT, webname text, weburl text, admin text, "
      "pass text, ikname text, imgname text, bdname varchar(50), bdpass varchar(50))";
  char* msg = nullptr;
  if (sqlite3_exec(db.get(), schema, nullptr, nullptr, &msg) != SQLITE_OK) {
    setError(error, msg ? msg : "cannot create table web");
    sqlite3_free(msg);
    db.reset();
    if (!existed) std::filesystem::remove(path, ec);
    return false;
  }
  return true;
}

bool addOrUpdateSite(const std::string& path, const SiteRecord& site, std::string* error) {
  Db db = openKeyed(path, false);
  if (!db || !hasWebTable(db.get())) {
    setError(error, "cannot open the site database");
    return false;
  }
  auto run = [&](const std::string& text) {
    Stmt s = prepareOne(db.get(), text);
    return s && sqlite3_step(s.get()) == SQLITE_DONE;
  };
  auto firstId = [&](const std::string& criterion) {
    Stmt s = prepareOne(db.get(), "select ID from web where " + criterion + " order by ID limit 1");
    return (s && sqlite3_step(s.get()) == SQLITE_ROW) ? sqlite3_column_int(s.get(), 0) : -1;
  };
  if (firstId(sql::byAddress(site.weburl)) >= 0) return true;
  int named = firstId("webname='" + sql::quoted(site.webname) + "'");
  SiteRecord row = site;
  bool ok = false;
  if (named >= 0) {
    if (auto old = [&]() -> std::optional<SiteRecord> {
          Stmt s = prepareOne(db.get(), "select * from web where " + sql::byId(named));
          if (!s || sqlite3_step(s.get()) != SQLITE_ROW) return std::nullopt;
          return readRow(s.get());
        }()) {
      if (row.bdname.empty()) row.bdname = old->bdname;
      if (row.bdpass.empty()) row.bdpass = old->bdpass;
    }
    ok = run(sql::updateSite(row, named));
  } else {
    ok = run(sql::insertSite(row));
  }
  if (!ok) setError(error, sqlite3_errmsg(db.get()));
  return ok;
}

}  // namespace inkpost
