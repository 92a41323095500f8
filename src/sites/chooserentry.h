// The text of one site chooser entry: the name, 50 blanks and a tab push the
// rest out of sight; then address, account, password and the two flags
// between the markers "[", "|", "]" and "*".
#pragma once

#include "sites/siterecord.h"

#include <string>

namespace inkpost {

// The values login reads back from an entry. Flags as their stored text.
struct ChooserValues {
  std::string weburl;
  std::string admin;
  std::string pass;
  std::string ikname;
  std::string imgname;

  bool autoAlias() const { return ikname == "1"; }
  bool autoName() const { return imgname == "1"; }
  bool operator==(const ChooserValues&) const = default;
};

// webname + 50 blanks + "\t" + weburl + "[" + admin + "|" + pass + "]" + ikname + "*" + imgname,
// flags written "1" or "0".
std::string SiteChooserEntry(const SiteRecord& site);

// The reverse cut: each value from the first opening marker to the next
// closing marker after it; a value holding a marker therefore comes back
// cut short. Callers that hold the entry's SiteRecord use chooserValues().
ChooserValues ParseChooserEntry(const std::string& entry);

// The values exactly as stored.
ChooserValues chooserValues(const SiteRecord& site);

}  // namespace inkpost
