// One row of table web held in memory. Texts are GBK bytes as stored.
#pragma once

#include <string>

namespace inkpost {

struct SiteRecord {
  int id = 0;            // ID, assigned by the database
  std::string webname;   // display name
  std::string weburl;    // blog root, "http://.../"
  std::string admin;     // administrator account
  std::string pass;      // administrator password
  bool ikname = false;   // automatic alias ("1" in the table)
  bool imgname = false;  // automatic image naming ("1" in the table)
  std::string bdname;    // second-service account, may be empty
  std::string bdpass;    // second-service password, may be empty

  bool operator==(const SiteRecord&) const = default;
};

// The per-site option flags the main window's two check boxes carry.
enum class SiteFlag { AutoAlias /* ikname */, AutoName /* imgname */ };

}  // namespace inkpost
