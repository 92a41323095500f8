#include "sites/statements.h"

namespace inkpost::sql {

std::string quoted(const std::string& value) {
  std::string out;
  out.reserve(value.size());
  for (char c : value) {
    out += c;
    if (c == '\'') out += '\'';
  }
  return out;
}

std::string insertSite(const SiteRecord& s) {
  return "insert into web(webname,weburl,admin,pass,ikname,imgname,bdname,bdpass) values('" + quoted(s.webname) +
         "','" + quoted(s.weburl) + "','" + quoted(s.admin) + "','" + quoted(s.pass) + "','0','0','" +
         quoted(s.bdname) + "','" + quoted(s.bdpass) + "')";
}

std::string updateSite(const SiteRecord& s, int id) {
  return "Update web set webname='" + quoted(s.webname) + "',weburl='" + quoted(s.weburl) + "',admin='" +
         quoted(s.admin) + "',pass='" + quoted(s.pass) + "',bdname='" + quoted(s.bdname) + "',bdpass='" +
         quoted(s.bdpass) + "' where ID=" + std::to_string(id);
}

std::string deleteSites(const std::vector<int>& ids) {
  std::string out = "delete from web where ";
  for (size_t i = 0; i < ids.size(); ++i) {
    if (i) out += " or ";
    out += "ID =" + std::to_string(ids[i]);
  }
  return out;
}

std::string storeFlag(SiteFlag flag, bool on, int id) {
  return std::string("update web set ") + (flag == SiteFlag::AutoAlias ? "ikname" : "imgname") + "='" +
         (on ? "1" : "0") + "' where ID=" + std::to_string(id);
}

std::string addColumn(const std::string& column) { return "alter table web add " + column + " varchar(50)"; }

std::string byId(int id) { return "ID=" + std::to_string(id); }

std::string byAddress(const std::string& address) { return "weburl='" + quoted(address) + "'"; }

}  // namespace inkpost::sql
