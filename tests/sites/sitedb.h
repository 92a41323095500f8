// Keyed site databases in temporary folders for the site store tests.
#pragma once

#include "sites/sitestore.h"
#include "support/tempdir.h"

#include <sqlcipher/sqlite3.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace inkpost::test {

// Runs statements on a database file with the given key (creating it when
// missing), outside the store's own connection.
inline bool rawExec(const std::string& path, const std::string& key, const std::vector<std::string>& statements) {
  sqlite3* db = nullptr;
  bool ok = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) == SQLITE_OK;
  if (ok && !key.empty()) ok = sqlite3_key(db, key.data(), static_cast<int>(key.size())) == SQLITE_OK;
  for (const std::string& s : statements)
    if (ok) ok = sqlite3_exec(db, s.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
  sqlite3_close_v2(db);
  return ok;
}

// A fresh, empty, keyed data.mdb in its own temporary folder, opened as the
// process-wide store for the test's lifetime.
class OpenStore {
 public:
  OpenStore() : path_(dir_.file("data.mdb")) {
    created_ = createSiteDatabase(path_) && OpenSiteStore(path_) == SiteStoreOpen::Ok;
  }
  ~OpenStore() { CloseSiteStore(); }
  bool ok() const { return created_; }
  const std::string& path() const { return path_; }
  const TempDir& dir() const { return dir_; }

 private:
  TempDir dir_;
  std::string path_;
  bool created_ = false;
};

// The raw column values of row `id` as the file holds them.
inline std::pair<std::string, std::string> rawPasswords(const std::string& path, int id) {
  sqlite3* db = nullptr;
  std::pair<std::string, std::string> out;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK &&
      sqlite3_key(db, kSiteStorePassword, static_cast<int>(std::strlen(kSiteStorePassword))) == SQLITE_OK) {
    sqlite3_stmt* s = nullptr;
    const std::string q = "select pass, bdpass from web where ID=" + std::to_string(id);
    if (sqlite3_prepare_v2(db, q.c_str(), -1, &s, nullptr) == SQLITE_OK && sqlite3_step(s) == SQLITE_ROW) {
      auto text = [&](int i) {
        const unsigned char* t = sqlite3_column_text(s, i);
        return t ? std::string(reinterpret_cast<const char*>(t)) : std::string();
      };
      out = {text(0), text(1)};
    }
    sqlite3_finalize(s);
  }
  sqlite3_close_v2(db);
  return out;
}

inline SiteRecord site(const std::string& name, const std::string& url, const std::string& admin = "admin",
                       const std::string& pass = "secret") {
  SiteRecord r;
  r.webname = name;
  r.weburl = url;
  r.admin = admin;
  r.pass = pass;
  return r;
}

}  // namespace inkpost::test
