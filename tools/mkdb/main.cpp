// inkpost-mkdb <path>: creates the keyed, empty site database (table web)
// unless the file already exists and opens.
// inkpost-mkdb <path> --add-site NAME URL ACCOUNT PASSWORD [BDNAME BDPASS]:
// also adds that site (with the cross-posting account, when given) unless its
// address is listed; a row of the same name gets the new address instead
// (for a local server whose port changes per run).
// Arguments are UTF-8 (the terminal's); the file holds GBK.
#include "net/encoding.h"
#include "sites/sitestore.h"

#include <cstdio>
#include <cstring>
#include <string>

int main(int argc, char** argv) {
  const bool add = (argc == 7 || argc == 9) && std::strcmp(argv[2], "--add-site") == 0;
  if (argc != 2 && !add) {
    std::fprintf(stderr,
                 "usage: %s <data.mdb>\n"
                 "       %s <data.mdb> --add-site NAME URL ACCOUNT PASSWORD [BDNAME BDPASS]\n",
                 argv[0], argv[0]);
    return 2;
  }
  const std::string path = argv[1];
  std::string error;
  if (!inkpost::createSiteDatabase(path, &error)) {
    std::fprintf(stderr, "inkpost-mkdb: %s: %s\n", path.c_str(), error.c_str());
    return 1;
  }
  if (add) {
    inkpost::SiteRecord site;
    site.webname = inkpost::fromUtf8(argv[3]);
    site.weburl = inkpost::fromUtf8(argv[4]);
    site.admin = inkpost::fromUtf8(argv[5]);
    site.pass = inkpost::fromUtf8(argv[6]);
    if (argc == 9) {
      site.bdname = inkpost::fromUtf8(argv[7]);
      site.bdpass = inkpost::fromUtf8(argv[8]);
    }
    if (!inkpost::addOrUpdateSite(path, site, &error)) {
      std::fprintf(stderr, "inkpost-mkdb: %s: %s\n", path.c_str(), error.c_str());
      return 1;
    }
  }
  return 0;
}
