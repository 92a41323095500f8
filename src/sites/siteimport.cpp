#include "sites/siteimport.h"

#include "common/privatefile.h"
#include "net/encoding.h"
#include "sites/siteaddress.h"
#include "sites/sitestore.h"

#include <algorithm>
#include <map>

namespace inkpost {
namespace {

std::string gbk(const char* utf8) { return fromUtf8(utf8); }

std::string quotedName(const std::string& path) { return gbk("“") + fromUtf8(fileBaseName(path)) + gbk("”"); }

std::string storeRefusal(const char* action) {
  if (!siteStoreIsOpen()) return gbk("网站数据库没有打开，不能") + gbk(action) + gbk("网站。请重新启动程序后再试。");
  if (siteStoreIsReadOnly())
    return gbk("网站数据库已损坏，只能读取，不能") + gbk(action) + gbk("网站。请用备份替换 data.mdb 后再试。");
  return {};
}

SiteImport refused(std::string text) {
  SiteImport out;
  out.refusal = std::move(text);
  return out;
}

}  // namespace

int SiteImport::duplicates() const {
  return static_cast<int>(
      std::count_if(skipped.begin(), skipped.end(), [](const SiteCsvSkip& s) { return s.duplicate; }));
}

SiteImport importSiteCsv(std::string_view bytes, const std::string& fileName) {
  if (std::string why = storeRefusal("导入"); !why.empty()) return refused(why);
  SiteCsv csv = readSiteCsv(bytes);
  if (csv.error != SiteCsvError::None) return refused(siteCsvErrorText(csv, fileName));

  SiteImport out;
  out.ignoredColumns = std::move(csv.ignoredColumns);
  out.skipped = std::move(csv.skipped);
  // Key -> the line that brought it (0: already in the store).
  std::map<std::string, int> listed;
  for (const std::string& address : listSiteAddresses()) listed.emplace(siteAddressKey(address), 0);
  std::vector<SiteRecord> fresh;
  std::vector<int> freshLines;
  for (SiteCsvRow& row : csv.rows) {
    const auto [it, isNew] = listed.emplace(siteAddressKey(row.site.weburl), row.line);
    if (!isNew) {
      const std::string shown = gbk("（") + row.site.weburl + gbk("）");
      out.skipped.push_back({row.line,
                             it->second == 0
                                 ? gbk("网站地址已在网站列表中") + shown
                                 : gbk("与第 ") + std::to_string(it->second) + gbk(" 行的网站地址相同") + shown,
                             true});
      continue;
    }
    fresh.push_back(std::move(row.site));
    freshLines.push_back(row.line);
  }
  const std::vector<bool> saved = saveNewSites(fresh);
  for (size_t i = 0; i < fresh.size(); ++i) {
    if (saved[i])
      ++out.imported;
    else
      out.skipped.push_back({freshLines[i], gbk("保存到网站数据库时失败")});
  }
  std::stable_sort(out.skipped.begin(), out.skipped.end(),
                   [](const SiteCsvSkip& a, const SiteCsvSkip& b) { return a.line < b.line; });
  return out;
}

SiteImport importSiteCsvFile(const std::string& path) {
  if (std::string why = storeRefusal("导入"); !why.empty()) return refused(why);
  FileRead file = readRegularFile(path, kSiteCsvMaxBytes);
  SiteCsv error;
  switch (file.status) {
    case FileRead::Ok:
      return importSiteCsv(file.bytes, fromUtf8(fileBaseName(path)));
    case FileRead::NotAFile:
      error.error = SiteCsvError::NotAFile;
      break;
    case FileRead::TooLarge:
      error.error = SiteCsvError::TooLarge;
      break;
    case FileRead::Missing:
    case FileRead::Failed:
      error.error = SiteCsvError::Unreadable;
      error.errorDetail = file.error;
      break;
  }
  return refused(siteCsvErrorText(error, fromUtf8(fileBaseName(path))));
}

std::string siteImportSummary(const SiteImport& r) {
  if (!r.refusal.empty()) return r.refusal;
  std::string out = r.imported > 0 ? gbk("已导入 ") + std::to_string(r.imported) + gbk(" 个网站") : gbk("没有导入网站");
  if (!r.skipped.empty()) {
    const int dup = r.duplicates();
    const int bad = static_cast<int>(r.skipped.size()) - dup;
    out += gbk("，跳过 ") + std::to_string(r.skipped.size()) + gbk(" 行：");
    if (dup) out += std::to_string(dup) + gbk(" 行的网站地址已在列表中");
    if (dup && bad) out += gbk("，");
    if (bad) out += std::to_string(bad) + gbk(" 行内容有误");
  }
  out += gbk("。");
  if (!r.ignoredColumns.empty()) {
    out += gbk("\n以下各列不认识，没有导入：");
    for (size_t i = 0; i < r.ignoredColumns.size(); ++i) out += (i ? gbk("、") : "") + r.ignoredColumns[i];
    out += gbk("。");
  }
  return out;
}

std::vector<std::string> siteImportDetails(const SiteImport& r) {
  std::vector<std::string> out;
  out.reserve(r.skipped.size());
  for (const SiteCsvSkip& s : r.skipped) out.push_back(gbk("第 ") + std::to_string(s.line) + gbk(" 行：") + s.reason);
  return out;
}

SiteExport exportSiteCsvFile(const std::string& path) {
  SiteExport out;
  // A damaged store opened read-only still exports what it can read.
  if (!siteStoreIsOpen()) {
    out.notice = storeRefusal("导出");
    return out;
  }
  const std::vector<SiteRecord> sites = listSites();
  if (sites.empty()) {
    out.notice = gbk("网站列表是空的，没有可导出的网站。");
    return out;
  }
  std::string problem;
  const std::string text = siteCsvText(sites, &problem);
  if (text.empty()) {
    out.notice = gbk("没有导出：") + problem;
    return out;
  }
  std::string error;
  if (!writePrivateFile(path, text, &error)) {
    out.notice = gbk("导出失败：无法写入") + quotedName(path) + gbk("（") + error + gbk("）。请另选一个位置。");
    return out;
  }
  out.ok = true;
  out.sites = static_cast<int>(sites.size());
  out.notice = gbk("已导出 ") + std::to_string(out.sites) + gbk(" 个网站到") + quotedName(path) +
               gbk("。\n这个文件含有各网站的密码，只有你自己能读取，请妥善保管。");
  const auto lost = std::count_if(sites.begin(), sites.end(), [](const SiteRecord& s) { return s.pass.empty(); });
  if (lost > 0)
    out.notice += gbk("\n其中 ") + std::to_string(lost) +
                  gbk(" 个网站的密码无法从系统密钥环读出，文件中为空；请在“修改网站”中重新填写后再导出。");
  return out;
}

}  // namespace inkpost
