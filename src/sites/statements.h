// Every SQL text the site store runs is built here, from fixed text and
// values. Each value goes between single quotes with its own single quotes
// doubled, so no value can end the literal early.
#pragma once

#include "sites/siterecord.h"

#include <string>
#include <vector>

namespace inkpost::sql {

// The value with every ' doubled (GBK-safe: no GBK trail byte is a quote).
std::string quoted(const std::string& value);

// insert into web(...) values('name','url','account','password','0','0','bdname','bdpass')
std::string insertSite(const SiteRecord& site);

// Update web set webname='..',weburl='..',admin='..',pass='..',bdname='..',bdpass='..' where ID=<id>
std::string updateSite(const SiteRecord& site, int id);

// delete from web where ID =<a> or ID =<b> ... (no ids: the bare head, which
// the database rejects, so deleting nothing reports failure)
std::string deleteSites(const std::vector<int>& ids);

// update web set ikname='1' where ID=<id>, and the '0' and imgname forms.
std::string storeFlag(SiteFlag flag, bool on, int id);

// alter table web add <column> varchar(50)
std::string addColumn(const std::string& column);

// Criteria of FindSite: "ID=<id>" and "weburl='<address>'".
std::string byId(int id);
std::string byAddress(const std::string& address);

}  // namespace inkpost::sql
