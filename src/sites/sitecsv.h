// Site lists as CSV files (RFC 4180): UTF-8, a header line naming the
// columns, one site a row. Reading checks every row the way the site dialogs
// check a typed site; writing gives the file reading takes back.
#pragma once

#include "sites/siterecord.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace inkpost {

// Files past these are refused whole.
inline constexpr size_t kSiteCsvMaxBytes = 8u << 20;
inline constexpr size_t kSiteCsvMaxRows = 10000;

// What keeps a whole file from being read; nothing is imported then.
enum class SiteCsvError {
  None,
  Unreadable,      // the file cannot be opened or read (errorDetail: why)
  NotAFile,        // a folder, a device, a pipe
  Empty,           // no bytes, or only blanks and line breaks
  TooLarge,        // over kSiteCsvMaxBytes
  NotUtf8,         // errorLine: the first line with a malformed byte (UTF-16 too)
  NotText,         // errorLine: a line with a NUL byte
  NoHeader,        // the first line lacks one of the four needed columns
  RepeatedColumn,  // errorDetail: the column the header names twice
  UnclosedQuote,   // errorLine: where the quoted field that never ends starts
  NoRows,          // a header and nothing else
  TooManyRows,     // over kSiteCsvMaxRows sites
};

struct SiteCsvRow {
  int line = 0;  // where the row starts in the file, 1 = the header
  SiteRecord site;
};

struct SiteCsvSkip {
  int line = 0;
  std::string reason;  // GBK, e.g. "网站地址必需以 / 结尾（ftp://a/）"
  bool duplicate = false;
};

struct SiteCsv {
  SiteCsvError error = SiteCsvError::None;
  int errorLine = 0;
  std::string errorDetail;                  // GBK
  std::vector<SiteCsvRow> rows;             // the acceptable rows, GBK, file order
  std::vector<SiteCsvSkip> skipped;         // the rows that are not, file order
  std::vector<std::string> ignoredColumns;  // header names of no known column, GBK
};

// Reads the bytes of a CSV file (a UTF-8 byte order mark allowed). The
// header names the columns in Chinese or English, in any order:
// 网站名称/name, 网站地址/address (url), 帐号/account (user), 密码/password,
// and the optional 百度帐号/crosspost account and 百度密码/crosspost password.
// Rows that are blank throughout are passed over; a row with an empty name,
// address, account or password, a bad address, text GBK cannot hold, more
// values than the header has columns, or text after a closing quote is
// skipped with its reason. Duplicates are left to the caller.
SiteCsv readSiteCsv(std::string_view bytes);

// The file reading takes: a byte order mark (spreadsheets then read it as
// UTF-8), the header "网站名称,网站地址,帐号,密码,百度帐号,百度密码" and one
// row a site, CRLF line ends, fields quoted where they need it. Empty when a
// value cannot be written as UTF-8; `problem` (GBK) then names the site.
std::string siteCsvText(const std::vector<SiteRecord>& sites, std::string* problem = nullptr);

// The notice of a file that could not be read (GBK), naming the file by
// `fileName` (GBK). Empty for SiteCsvError::None.
std::string siteCsvErrorText(const SiteCsv& csv, const std::string& fileName);

}  // namespace inkpost
