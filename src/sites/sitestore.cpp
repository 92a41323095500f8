#include "sites/sitestore.h"

#include "common/programdir.h"
#include "net/encoding.h"
#include "sites/secrets.h"
#include "sites/siteform.h"
#include "sites/statements.h"

#include <sqlcipher/sqlite3.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <memory>
#include <set>

namespace inkpost {
namespace {

sqlite3*& connection() {
  static sqlite3* db = nullptr;
  return db;
}

bool gReadOnly = false;
std::string gLastPath;
// The result code of the last statement that failed (-1: no connection;
// kKeyringNoAnswer: a row was not saved because the keyring did not answer).
int gLastFailure = SQLITE_OK;
constexpr int kKeyringNoAnswer = -2;
constexpr char kNoAnswerText[] = "系统密钥环没有响应，网站没有保存（密码不会因此写进数据库文件），请稍后再试";

// What the secret notices have to tell; each kind is told once per run.
enum class SecretNotice {
  SavedInFile,         // no keyring runs: the password went into the file
  SavedLocked,         // the keyring is locked: the same, until it is unlocked
  NotSavedNoAnswer,    // the keyring did not answer: the row was not saved
  Unreadable,          // the keyring holds no such secret (or none runs)
  UnreadableLocked,    // the keyring is locked
  UnreadableNoAnswer,  // the keyring did not answer
  Moved,               // passwords of the file went into the keyring
};
std::vector<SecretNotice> gPending;
std::set<SecretNotice> gTold;
int gMoved = 0;

void noteSecret(SecretNotice n) {
  if (!gTold.count(n) && std::find(gPending.begin(), gPending.end(), n) == gPending.end()) gPending.push_back(n);
}

// A row that was not written after all: the notices noted since `from` that
// say its password went into the file are not true, and are withdrawn.
void withdrawSavedNotices(size_t from) {
  gPending.erase(
      std::remove_if(gPending.begin() + static_cast<std::ptrdiff_t>(from), gPending.end(),
                     [](SecretNotice n) { return n == SecretNotice::SavedInFile || n == SecretNotice::SavedLocked; }),
      gPending.end());
}

// References a look-up could not read because the keyring was locked or did
// not answer: the row keeps them, whatever the form left empty.
std::set<std::string> gUnavailable;

// A password column as the user knows it: a reference is looked up; one
// the keyring cannot give now reads as empty ("unavailable").
std::string resolvedPassword(const std::string& column) {
  if (!isSecretReference(column)) return column;
  Keyring why = Keyring::Ready;
  if (auto secret = lookupSecret(column, &why)) return *secret;
  if (why == Keyring::Locked || why == Keyring::NotAnswering) {
    gUnavailable.insert(column);
    noteSecret(why == Keyring::Locked ? SecretNotice::UnreadableLocked : SecretNotice::UnreadableNoAnswer);
  } else {
    noteSecret(SecretNotice::Unreadable);
  }
  return {};
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
SiteRecord readRawRow(sqlite3_stmt* s) {
  SiteRecord r;
  const int n = sqlite3_column_count(s);
  for (int i = 0; i < n; ++i) {
    const char* name = sqlite3_column_name(s, i);
    if (!name) continue;
    if (!std::strcmp(name, "ID"))
      r.id = sqlite3_column_int(s, i);
    else if (!std::strcmp(name, "webname"))
      r.webname = columnText(s, i);
    else if (!std::strcmp(name, "weburl"))
      r.weburl = columnText(s, i);
    else if (!std::strcmp(name, "admin"))
      r.admin = columnText(s, i);
    else if (!std::strcmp(name, "pass"))
      r.pass = columnText(s, i);
    else if (!std::strcmp(name, "ikname"))
      r.ikname = columnText(s, i) == "1";
    else if (!std::strcmp(name, "imgname"))
      r.imgname = columnText(s, i) == "1";
    else if (!std::strcmp(name, "bdname"))
      r.bdname = columnText(s, i);
    else if (!std::strcmp(name, "bdpass"))
      r.bdpass = columnText(s, i);
  }
  return r;
}

// A row as read, with its passwords fetched from where they are kept.
SiteRecord withPasswords(SiteRecord r) {
  r.pass = resolvedPassword(r.pass);
  r.bdpass = resolvedPassword(r.bdpass);
  return r;
}

SiteRecord readRow(sqlite3_stmt* s) { return withPasswords(readRawRow(s)); }

// Opens an existing file with the key. The key is only checked by the first
// read, so the schema is read here; a file another program holds is waited
// for up to kSiteStoreBusyMs. `result` gets the code of the failing step.
Db openKeyed(const std::string& path, bool create, int* result = nullptr, bool readOnly = false) {
  int ignored = 0;
  int& rc = result ? *result : ignored;
  sqlite3* raw = nullptr;
  int flags = readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0);
  rc = sqlite3_open_v2(path.c_str(), &raw, flags, nullptr);
  Db db(raw);
  if (rc != SQLITE_OK) return nullptr;
  sqlite3_busy_timeout(raw, kSiteStoreBusyMs);
  rc = sqlite3_key(raw, kSiteStorePassword, static_cast<int>(std::strlen(kSiteStorePassword)));
  if (rc != SQLITE_OK) return nullptr;
  rc = sqlite3_exec(raw, "select count(*) from sqlite_master", nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) return nullptr;
  return db;
}

enum class Check { Sound, Damaged, Busy };

// PRAGMA quick_check: every page readable and well formed.
Check quickCheck(sqlite3* db) {
  Stmt s = prepareOne(db, "PRAGMA quick_check");
  if (!s) return sqlite3_errcode(db) == SQLITE_BUSY ? Check::Busy : Check::Damaged;
  int rc = sqlite3_step(s.get());
  if (rc == SQLITE_BUSY || rc == SQLITE_LOCKED) return Check::Busy;
  if (rc != SQLITE_ROW || columnText(s.get(), 0) != "ok") return Check::Damaged;
  return sqlite3_step(s.get()) == SQLITE_DONE ? Check::Sound : Check::Damaged;
}

// The first row that satisfies the criterion, passwords as stored.
std::optional<SiteRecord> findRaw(const std::string& criterion) {
  Stmt s = prepareOne(connection(), "select * from web where " + criterion + " order by ID limit 1");
  if (!s || sqlite3_step(s.get()) != SQLITE_ROW) return std::nullopt;
  return readRawRow(s.get());
}

// Puts the row's passwords into the secret service when one runs; the row
// then holds their references, which `fresh` lists too. Without a keyring,
// or with a locked one, they stay in the row (the keyed file). False when
// the keyring did not answer: a password never goes into the file for that,
// and the row must not be saved.
bool keepSecrets(SiteRecord& row, std::vector<std::string>& fresh) {
  bool answered = true;
  auto keep = [&](std::string& password, const char* kind) {
    if (password.empty() || isSecretReference(password) || !answered) return;
    const std::string label = "inkpost-client: " + toUtf8(row.webname) + " (" + kind + ")";
    Keyring why = Keyring::Ready;
    if (auto reference = storeSecret(label, password, &why)) {
      password = *reference;
      fresh.push_back(*reference);
    } else if (why == Keyring::NotAnswering) {
      answered = false;
      noteSecret(SecretNotice::NotSavedNoAnswer);
    } else {
      noteSecret(why == Keyring::Locked ? SecretNotice::SavedLocked : SecretNotice::SavedInFile);
    }
  };
  keep(row.pass, "blog");
  keep(row.bdpass, "second service");
  return answered;
}

// A password the form left empty because the keyring could not give it
// keeps its reference.
void keepUnavailable(std::string& password, const std::string& oldColumn) {
  if (password.empty() && gUnavailable.count(oldColumn)) password = oldColumn;
}

bool hasWebTable(sqlite3* db) {
  Stmt s = prepareOne(db, "select * from web limit 0");
  return s && sqlite3_step(s.get()) == SQLITE_DONE;
}

void setError(std::string* error, const std::string& text) {
  if (error) *error = text;
}

}  // namespace

bool siteStoreUsable(SiteStoreOpen result) {
  return result == SiteStoreOpen::Ok || result == SiteStoreOpen::Created || result == SiteStoreOpen::Damaged;
}

std::string siteStoreOpenMessage(SiteStoreOpen result) {
  switch (result) {
    case SiteStoreOpen::Ok:
      return {};
    case SiteStoreOpen::Created:
      return fromUtf8("没有找到网站数据库，已新建一个空的：") + fromUtf8(gLastPath) +
             fromUtf8("\n请从“网站管理”菜单添加网站。");
    case SiteStoreOpen::Damaged:
      return fromUtf8("网站数据库已损坏：") + fromUtf8(gLastPath) +
             fromUtf8("\n已按只读方式打开：能读出的网站照常可用，但不能添加、修改或删除。请用备份替换这个文件。");
    case SiteStoreOpen::Busy:
      return fromUtf8("数据库被其他程序占用：") + fromUtf8(gLastPath) +
             fromUtf8("\n请关闭正在使用它的程序，然后重新启动本程序。");
    case SiteStoreOpen::ConnectFailed:
      return fromUtf8("连接数据库失败_ON.1！");
    case SiteStoreOpen::TableFailed:
      return fromUtf8("连接数据库失败_ON.2！");
  }
  return {};
}

SiteStoreOpen OpenSiteStore() { return OpenSiteStore(programPath("data.mdb")); }

SiteStoreOpen OpenSiteStore(const std::string& path) {
  CloseSiteStore();
  gLastPath = path;
  bool created = false;
  std::error_code ec;
  if (!std::filesystem::exists(path, ec) && !ec) {
    // A user who removed the file has no tool to make a new one.
    if (!createSiteDatabase(path)) return SiteStoreOpen::ConnectFailed;
    created = true;
  }
  int rc = SQLITE_OK;
  Db db = openKeyed(path, false, &rc);
  if (!db) return rc == SQLITE_BUSY || rc == SQLITE_LOCKED ? SiteStoreOpen::Busy : SiteStoreOpen::ConnectFailed;
  switch (quickCheck(db.get())) {
    case Check::Busy:
      return SiteStoreOpen::Busy;
    case Check::Damaged: {
      db.reset();
      Db readOnly = openKeyed(path, false, &rc, true);
      if (!readOnly) return SiteStoreOpen::ConnectFailed;
      gReadOnly = true;
      connection() = readOnly.release();
      return SiteStoreOpen::Damaged;
    }
    case Check::Sound:
      break;
  }
  if (!hasWebTable(db.get())) return SiteStoreOpen::TableFailed;
  connection() = db.release();
  return created ? SiteStoreOpen::Created : SiteStoreOpen::Ok;
}

void CloseSiteStore() {
  if (connection()) sqlite3_close_v2(connection());
  connection() = nullptr;
  gReadOnly = false;
}

bool siteStoreIsOpen() { return connection() != nullptr; }

bool siteStoreIsReadOnly() { return connection() != nullptr && gReadOnly; }

bool saveNewSite(const SiteRecord& site) {
  SiteRecord row = site;
  std::vector<std::string> fresh;
  const size_t noted = gPending.size();
  if (!keepSecrets(row, fresh))
    gLastFailure = kKeyringNoAnswer;
  else if (ExecuteSiteStatement(sql::insertSite(row)))
    return true;
  for (const std::string& r : fresh) clearSecret(r);
  withdrawSavedNotices(noted);
  return false;
}

std::vector<bool> saveNewSites(const std::vector<SiteRecord>& sites) {
  std::vector<bool> saved(sites.size(), false);
  std::vector<std::vector<std::string>> fresh(sites.size());
  auto forget = [&](size_t i) {
    for (const std::string& r : fresh[i]) clearSecret(r);
    saved[i] = false;
  };
  const bool transaction = ExecuteSiteStatement("begin immediate");
  for (size_t i = 0; i < sites.size(); ++i) {
    SiteRecord row = sites[i];
    // The keyring did not answer: the password must not go into the file.
    if (!keepSecrets(row, fresh[i])) {
      forget(i);
      continue;
    }
    saved[i] = ExecuteSiteStatement(sql::insertSite(row));
    if (saved[i]) continue;
    forget(i);
    // Some failures (a full disk) roll the whole transaction back: what it
    // held is gone, so nothing counts as stored and the rest is not tried.
    if (transaction && sqlite3_get_autocommit(connection())) {
      for (size_t k = 0; k < i; ++k) forget(k);
      return saved;
    }
  }
  if (transaction && !ExecuteSiteStatement("commit")) {
    ExecuteSiteStatement("rollback");
    for (size_t i = 0; i < sites.size(); ++i) forget(i);
  }
  return saved;
}

bool saveSite(const SiteRecord& site, int id) {
  const std::optional<SiteRecord> old = findRaw(sql::byId(id));
  SiteRecord row = site;
  if (old) {
    keepUnavailable(row.pass, old->pass);
    keepUnavailable(row.bdpass, old->bdpass);
  }
  std::vector<std::string> fresh;
  const size_t noted = gPending.size();
  const bool kept = keepSecrets(row, fresh);
  if (!kept) gLastFailure = kKeyringNoAnswer;
  if (!kept || !ExecuteSiteStatement(sql::updateSite(row, id)) || sqlite3_changes(connection()) == 0) {
    for (const std::string& r : fresh) clearSecret(r);
    withdrawSavedNotices(noted);
    return false;
  }
  if (old) {
    if (old->pass != row.pass) clearSecret(old->pass);
    if (old->bdpass != row.bdpass) clearSecret(old->bdpass);
  }
  return true;
}

int movePasswordsIntoKeyring() {
  if (!connection() || siteStoreIsReadOnly()) return 0;
  std::vector<SiteRecord> rows;
  {
    Stmt s = prepareOne(connection(), "select * from web order by ID");
    while (s && sqlite3_step(s.get()) == SQLITE_ROW) rows.push_back(readRawRow(s.get()));
  }
  auto inFile = [](const std::string& column) { return !column.empty() && !isSecretReference(column); };
  int moved = 0;
  for (SiteRecord& row : rows) {
    if (!inFile(row.pass) && !inFile(row.bdpass)) continue;
    if (keyringState() != Keyring::Ready) break;  // asked only when a row needs it
    const int before = (inFile(row.pass) ? 1 : 0) + (inFile(row.bdpass) ? 1 : 0);
    std::vector<std::string> fresh;
    if (!keepSecrets(row, fresh)) break;
    if (fresh.size() != static_cast<size_t>(before) || !ExecuteSiteStatement(sql::updateSite(row, row.id))) {
      for (const std::string& r : fresh) clearSecret(r);
      continue;
    }
    moved += before;
  }
  if (moved > 0) {
    gMoved = moved;
    noteSecret(SecretNotice::Moved);
  }
  return moved;
}

bool removeSites(const std::vector<int>& ids) {
  std::vector<SiteRecord> old;
  for (int id : ids)
    if (auto row = findRaw(sql::byId(id))) old.push_back(*row);
  if (!ExecuteSiteStatement(sql::deleteSites(ids))) return false;
  for (const SiteRecord& row : old) {
    clearSecret(row.pass);
    clearSecret(row.bdpass);
  }
  return true;
}

std::string takeSecretNotice() {
  std::string out;
  for (const SecretNotice n : gPending) {
    gTold.insert(n);
    if (!out.empty()) out += "\n";
    switch (n) {
      case SecretNotice::SavedInFile:
        out += fromUtf8("没有运行中的系统密钥环，密码已保存在本机的网站数据库中");
        break;
      case SecretNotice::SavedLocked:
        out +=
            fromUtf8("系统密钥环已锁定，密码暂时保存在本机的网站数据库中；解锁密钥环后再启动本程序，密码会移入密钥环");
        break;
      case SecretNotice::NotSavedNoAnswer:
        out += fromUtf8(kNoAnswerText);
        break;
      case SecretNotice::Unreadable:
        out += fromUtf8("无法从系统密钥环读取已保存的密码，请在“修改网站”中重新填写");
        break;
      case SecretNotice::UnreadableLocked:
        out += fromUtf8("系统密钥环已锁定，已保存的密码暂时无法读取；请解锁密钥环后重新启动本程序");
        break;
      case SecretNotice::UnreadableNoAnswer:
        out += fromUtf8("系统密钥环没有响应，已保存的密码暂时无法读取；密钥环恢复后请重新启动本程序");
        break;
      case SecretNotice::Moved:
        out += fromUtf8("已把网站数据库中的") + std::to_string(gMoved) + fromUtf8("个密码移入系统密钥环");
        break;
    }
  }
  gPending.clear();
  // A save refused for want of an answer is told every time.
  gTold.erase(SecretNotice::NotSavedNoAnswer);
  return out;
}

std::vector<SiteRecord> listSites() {
  std::vector<SiteRecord> out;
  Stmt s = prepareOne(connection(), "select * from web order by ID");
  if (!s) return out;
  while (sqlite3_step(s.get()) == SQLITE_ROW) out.push_back(readRow(s.get()));
  return out;
}

std::vector<std::string> listSiteAddresses() {
  std::vector<std::string> out;
  Stmt s = prepareOne(connection(), "select weburl from web order by ID");
  if (!s) return out;
  while (sqlite3_step(s.get()) == SQLITE_ROW) out.push_back(columnText(s.get(), 0));
  return out;
}

std::optional<SiteRecord> FindSite(const std::string& criterion) {
  Stmt s = prepareOne(connection(), "select * from web where " + criterion + " order by ID limit 1");
  if (!s || sqlite3_step(s.get()) != SQLITE_ROW) return std::nullopt;
  return readRow(s.get());
}

bool ExecuteSiteStatement(const std::string& statement) {
  Stmt s = prepareOne(connection(), statement);
  if (!s) {
    gLastFailure = connection() ? sqlite3_errcode(connection()) : -1;
    return false;
  }
  int rc;
  while ((rc = sqlite3_step(s.get())) == SQLITE_ROW) {
  }
  if (rc != SQLITE_DONE) gLastFailure = rc;
  return rc == SQLITE_DONE;
}

std::optional<SiteRecord> findSiteByAddress(const std::string& url) {
  const std::string key = siteAddressKey(url);
  Stmt s = prepareOne(connection(), "select * from web order by ID");
  if (!s) return std::nullopt;
  // Only the row found asks the keyring for its passwords.
  while (sqlite3_step(s.get()) == SQLITE_ROW) {
    SiteRecord r = readRawRow(s.get());
    if (siteAddressKey(r.weburl) == key) return withPasswords(std::move(r));
  }
  return std::nullopt;
}

std::string siteStoreWriteProblem() {
  if (gLastFailure == kKeyringNoAnswer) {
    // Told here, so not again among the secret notices.
    gPending.erase(std::remove(gPending.begin(), gPending.end(), SecretNotice::NotSavedNoAnswer), gPending.end());
    return fromUtf8(kNoAnswerText);
  }
  const std::string file = fromUtf8(gLastPath);
  if (!siteStoreIsOpen())
    return fromUtf8("网站数据库没有打开：") + file + fromUtf8("\n请重新启动程序；仍不行时，请检查这个文件。");
  if (gReadOnly)
    return fromUtf8("网站数据库已损坏，只能读取，不能添加、修改或删除：") + file +
           fromUtf8("\n请用备份替换这个文件，然后重新启动程序。");
  switch (gLastFailure & 0xff) {
    case SQLITE_READONLY:
      return fromUtf8("网站数据库文件不能写入（只读）：") + file + fromUtf8("\n请检查这个文件和所在文件夹的权限。");
    case SQLITE_FULL:
      return fromUtf8("磁盘已满，网站数据库无法写入：") + file + fromUtf8("\n请腾出磁盘空间后再试。");
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
      return fromUtf8("网站数据库已损坏：") + file + fromUtf8("\n请用备份替换这个文件，然后重新启动程序。");
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      return fromUtf8("数据库被其他程序占用：") + file + fromUtf8("\n请关闭正在使用它的程序后再试。");
    case SQLITE_IOERR:
    case SQLITE_CANTOPEN:
    case SQLITE_PERM:
      return fromUtf8("读写网站数据库时出错：") + file + fromUtf8("\n请检查磁盘和这个文件的权限。");
    default:
      return fromUtf8("网站数据库写入失败：") +
             fromUtf8(sqlite3_errstr(gLastFailure < 0 ? SQLITE_ERROR : gLastFailure));
  }
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
