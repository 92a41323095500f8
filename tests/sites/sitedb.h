// Keyed site databases in temporary folders for the site store tests.
#pragma once

#include "sites/sitestore.h"
#include "support/tempdir.h"

#include <sqlcipher/sqlite3.h>

#include <string>
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
