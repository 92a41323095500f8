// Any bytes as a site list: reading never fails hard, every row it accepts
// is a site the dialogs would accept, and writing those rows gives a file
// that reads back to the same rows.
#include "sites/siteaddress.h"
#include "sites/sitecsv.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace inkpost;
  const SiteCsv csv = readSiteCsv(std::string_view(reinterpret_cast<const char*>(data), size));
  if (csv.error != SiteCsvError::None) return 0;
  std::vector<SiteRecord> sites;
  for (const SiteCsvRow& row : csv.rows) {
    const SiteRecord& s = row.site;
    if (s.webname.empty() || s.admin.empty() || s.pass.empty() || siteAddressProblem(s.weburl) != AddressProblem::None)
      std::abort();
    sites.push_back(s);
  }
  if (sites.empty()) return 0;
  const std::string text = siteCsvText(sites);
  if (text.empty()) std::abort();
  const SiteCsv back = readSiteCsv(text);
  if (back.error != SiteCsvError::None || !back.skipped.empty() || back.rows.size() != sites.size()) std::abort();
  for (size_t i = 0; i < sites.size(); ++i)
    if (!(back.rows[i].site == sites[i])) std::abort();
  return 0;
}
