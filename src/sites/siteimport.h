// Importing a CSV site list into the site store, and exporting the store.
// The texts are the notices the 网站管理 commands show (GBK).
#pragma once

#include "sites/sitecsv.h"

#include <string>
#include <string_view>
#include <vector>

namespace inkpost {

struct SiteImport {
  // Set when nothing was imported because of the whole file or the store
  // (not UTF-8, no header, read-only store, …): the notice to show. The
  // store is unchanged then.
  std::string refusal;
  int imported = 0;
  std::vector<SiteCsvSkip> skipped;         // line order
  std::vector<std::string> ignoredColumns;  // header names of no known column

  int duplicates() const;
};

// Reads the file and adds every acceptable row whose address is not listed
// yet, in the store or on an earlier row (hosts compared without case), in
// one transaction; passwords go where typed ones go (sitestore.h).
SiteImport importSiteCsvFile(const std::string& path);
// The same on the file's bytes; `fileName` (GBK) names it in a refusal.
SiteImport importSiteCsv(std::string_view bytes, const std::string& fileName);

// "已导入 192 个网站，跳过 8 行：3 行的网站地址已在列表中，5 行内容有误。"
std::string siteImportSummary(const SiteImport& result);
// One line a skipped row: "第 7 行：网站地址必需以 / 结尾（http://a）".
std::vector<std::string> siteImportDetails(const SiteImport& result);

struct SiteExport {
  bool ok = false;
  int sites = 0;
  std::string notice;  // the outcome, success or failure
};

// Writes every site, passwords included, as siteCsvText to `path`: 0600,
// whole or not at all, never through a symlink (common/privatefile.h).
// An empty list is not written.
SiteExport exportSiteCsvFile(const std::string& path);

}  // namespace inkpost
