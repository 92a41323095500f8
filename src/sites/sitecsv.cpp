#include "sites/sitecsv.h"

#include "net/encoding.h"
#include "net/utf8text.h"
#include "sites/siteaddress.h"

#include <array>
#include <cstdio>
#include <optional>

namespace inkpost {
namespace {

// ---- RFC 4180 records ---------------------------------------------------------

struct CsvRecord {
  int line = 0;
  std::vector<std::string> fields;
  bool strayText = false;  // text between a closing quote and the next comma
};

struct CsvParse {
  std::vector<CsvRecord> records;
  int unclosedLine = 0;  // the record whose quoted field never ends
};

bool endsField(char c) { return c == ',' || c == '\r' || c == '\n'; }

// Records of UTF-8 text. Lines end in CRLF, LF or CR; a quoted field may hold
// commas, line breaks and doubled quotes. A quote inside an unquoted field is
// kept as it is.
CsvParse parseCsv(std::string_view text) {
  CsvParse out;
  const size_t n = text.size();
  size_t i = 0;
  int line = 1;
  while (i < n) {
    CsvRecord rec;
    rec.line = line;
    for (;;) {
      std::string field;
      if (i < n && text[i] == '"') {
        bool closed = false;
        for (++i; i < n; ++i) {
          const char c = text[i];
          if (c == '"') {
            if (i + 1 < n && text[i + 1] == '"') {
              field += '"';
              ++i;
              continue;
            }
            ++i;
            closed = true;
            break;
          }
          if (c == '\n' || (c == '\r' && (i + 1 >= n || text[i + 1] != '\n'))) ++line;
          field += c;
        }
        if (!closed) {
          out.unclosedLine = rec.line;
          return out;
        }
        for (; i < n && !endsField(text[i]); ++i) {
          rec.strayText = true;
          field += text[i];
        }
      } else {
        const size_t start = i;
        while (i < n && !endsField(text[i])) ++i;
        field.assign(text.substr(start, i - start));
      }
      rec.fields.push_back(std::move(field));
      if (i < n && text[i] == ',') {
        ++i;
        continue;
      }
      break;
    }
    if (i < n) {
      if (text[i] == '\r' && i + 1 < n && text[i + 1] == '\n') ++i;
      ++i;
      ++line;
    }
    out.records.push_back(std::move(rec));
  }
  return out;
}

bool blank(const CsvRecord& rec) {
  for (const std::string& f : rec.fields)
    if (!f.empty()) return false;
  return !rec.strayText;
}

// The line of the byte at `offset`, counting CRLF, LF and CR as one break.
int lineOf(std::string_view text, size_t offset) {
  int line = 1;
  for (size_t i = 0; i < offset && i < text.size(); ++i)
    if (text[i] == '\n' || (text[i] == '\r' && (i + 1 >= text.size() || text[i + 1] != '\n'))) ++line;
  return line;
}

// ---- The header -------------------------------------------------------------

enum Column { kName, kAddress, kAccount, kPassword, kCrossAccount, kCrossPassword, kColumns };

// The columns' names as written in a file this program writes.
constexpr std::array<const char*, kColumns> kColumnNames = {"网站名称", "网站地址", "帐号",
                                                            "密码",     "百度帐号", "百度密码"};

// A header name as compared: ASCII letters in lower case; blanks, "_", "-",
// ".", ":" and the full-width colon and blank left out.
std::string headerKey(std::string_view utf8) {
  std::string out;
  for (size_t i = 0; i < utf8.size(); ++i) {
    const char c = utf8[i];
    if (c == ' ' || c == '\t' || c == '_' || c == '-' || c == '.' || c == ':') continue;
    if (utf8.substr(i).starts_with("\xEF\xBC\x9A") || utf8.substr(i).starts_with("\xE3\x80\x80")) {
      i += 2;
      continue;
    }
    out += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  }
  return out;
}

std::optional<Column> columnOf(std::string_view headerName) {
  struct Alias {
    Column column;
    std::array<const char*, 12> keys;
  };
  static const Alias aliases[] = {
      {kName,
       {"网站名称", "网站名", "名称", "站点名称", "博客名称", "博客名", "name", "sitename", "webname", "blogname"}},
      {kAddress,
       {"网站地址", "地址", "网址", "站点地址", "博客地址", "address", "url", "siteurl", "weburl", "siteaddress",
        "blogurl", "link"}},
      {kAccount,
       {"帐号", "账号", "用户名", "管理员帐号", "管理员账号", "登录名", "account", "user", "username", "login",
        "admin"}},
      {kPassword, {"密码", "管理员密码", "登录密码", "password", "pass", "pwd", "passwd"}},
      {kCrossAccount,
       {"百度帐号", "百度账号", "同步帐号", "同步账号", "crosspostaccount", "crosspostuser", "crosspostusername",
        "bdname"}},
      {kCrossPassword, {"百度密码", "同步密码", "crosspostpassword", "crosspostpass", "bdpass"}},
  };
  const std::string key = headerKey(headerName);
  for (const Alias& a : aliases)
    for (const char* k : a.keys)
      if (k && key == k) return a.column;
  return std::nullopt;
}

// ---- Rows -------------------------------------------------------------------

// The first character of a UTF-8 value that GBK cannot hold, as "U+1F600"
// (a notice in GBK cannot show it); empty when GBK holds the whole value.
std::string firstCharOutsideGbk(std::string_view utf8) {
  if (utf8.empty() || toUtf8(fromUtf8(utf8)) == utf8) return {};
  uint32_t cp = 0;
  for (size_t i = 0; i < utf8.size();) {
    const size_t len = utf8CharLength(utf8, i, cp);
    if (len == 0) break;  // not reached: the file was checked to be UTF-8
    const std::string_view one = utf8.substr(i, len);
    if (toUtf8(fromUtf8(one)) != one) {
      char code[16];
      std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(cp));
      return code;
    }
    i += len;
  }
  return "?";  // not reached: GBK maps character by character
}

std::string gbk(const char* utf8) { return fromUtf8(utf8); }

// Why a row cannot be a site (GBK), empty when it can; `site` gets its values.
std::string judgeRow(const CsvRecord& rec, const std::array<int, kColumns>& at, size_t headerSize, SiteRecord& site) {
  std::array<std::string, kColumns> v;
  for (int c = 0; c < kColumns; ++c)
    if (at[c] >= 0 && static_cast<size_t>(at[c]) < rec.fields.size()) v[c] = rec.fields[at[c]];
  size_t extra = 0;
  for (size_t j = headerSize; j < rec.fields.size(); ++j)
    if (!rec.fields[j].empty()) ++extra;
  if (extra) return gbk("比标题行多出 ") + std::to_string(extra) + gbk(" 个值（值里有逗号时要用双引号把整个值括起来）");
  if (rec.strayText) return gbk("引号后面还有字符（值里的双引号要写成两个）");
  std::string empty;
  for (int c : {kName, kAddress, kAccount, kPassword})
    if (v[c].empty()) empty += (empty.empty() ? "" : gbk("、")) + gbk(kColumnNames[c]);
  if (!empty.empty()) return empty + gbk("为空");
  if (const AddressProblem p = siteAddressProblem(v[kAddress]); p != AddressProblem::None)
    return addressProblemText(p) + gbk("（") + fromUtf8(v[kAddress]) + gbk("）");
  for (int c = 0; c < kColumns; ++c)
    if (const std::string odd = firstCharOutsideGbk(v[c]); !odd.empty())
      return gbk(kColumnNames[c]) + gbk("里有本程序无法保存的字符（") + odd + gbk("）");
  site.webname = fromUtf8(v[kName]);
  site.weburl = fromUtf8(v[kAddress]);
  site.admin = fromUtf8(v[kAccount]);
  site.pass = fromUtf8(v[kPassword]);
  site.bdname = fromUtf8(v[kCrossAccount]);
  site.bdpass = fromUtf8(v[kCrossPassword]);
  return {};
}

SiteCsv failed(SiteCsvError error, int line = 0, std::string detail = {}) {
  SiteCsv out;
  out.error = error;
  out.errorLine = line;
  out.errorDetail = std::move(detail);
  return out;
}

// ---- Writing ----------------------------------------------------------------

void appendField(std::string& out, const std::string& utf8) {
  const bool quote = utf8.find_first_of(",\"\r\n") != std::string::npos ||
                     (!utf8.empty() && (utf8.front() == ' ' || utf8.back() == ' ' || utf8.front() == '\t'));
  if (!quote) {
    out += utf8;
    return;
  }
  out += '"';
  for (char c : utf8) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
}

}  // namespace

SiteCsv readSiteCsv(std::string_view bytes) {
  if (bytes.starts_with("\xFF\xFE") || bytes.starts_with("\xFE\xFF")) return failed(SiteCsvError::NotUtf8, 1);
  if (bytes.starts_with("\xEF\xBB\xBF")) bytes.remove_prefix(3);
  if (bytes.find_first_not_of(" \t\r\n") == std::string_view::npos) return failed(SiteCsvError::Empty);
  if (const size_t bad = utf8FirstMalformed(bytes); bad != std::string_view::npos)
    return failed(SiteCsvError::NotUtf8, lineOf(bytes, bad));
  if (const size_t nul = bytes.find('\0'); nul != std::string_view::npos)
    return failed(SiteCsvError::NotText, lineOf(bytes, nul));

  const CsvParse parsed = parseCsv(bytes);
  if (parsed.unclosedLine) return failed(SiteCsvError::UnclosedQuote, parsed.unclosedLine);
  size_t first = 0;
  while (first < parsed.records.size() && blank(parsed.records[first])) ++first;
  if (first == parsed.records.size()) return failed(SiteCsvError::Empty);

  SiteCsv out;
  const CsvRecord& header = parsed.records[first];
  std::array<int, kColumns> at;
  at.fill(-1);
  for (size_t j = 0; j < header.fields.size(); ++j) {
    const std::optional<Column> c = columnOf(header.fields[j]);
    if (!c) {
      const std::string& name = header.fields[j];
      const size_t from = name.find_first_not_of(" \t"), to = name.find_last_not_of(" \t");
      if (from != std::string::npos) out.ignoredColumns.push_back(fromUtf8(name.substr(from, to - from + 1)));
      continue;
    }
    if (at[*c] >= 0) return failed(SiteCsvError::RepeatedColumn, header.line, gbk(kColumnNames[*c]));
    at[*c] = static_cast<int>(j);
  }
  for (int c : {kName, kAddress, kAccount, kPassword})
    if (at[c] < 0) return failed(SiteCsvError::NoHeader, header.line);

  size_t rows = 0;
  for (size_t r = first + 1; r < parsed.records.size(); ++r) {
    const CsvRecord& rec = parsed.records[r];
    if (blank(rec)) continue;
    if (++rows > kSiteCsvMaxRows) return failed(SiteCsvError::TooManyRows);
    SiteRecord site;
    std::string why = judgeRow(rec, at, header.fields.size(), site);
    if (why.empty())
      out.rows.push_back({rec.line, std::move(site)});
    else
      out.skipped.push_back({rec.line, std::move(why)});
  }
  if (rows == 0) return failed(SiteCsvError::NoRows);
  return out;
}

std::string siteCsvText(const std::vector<SiteRecord>& sites, std::string* problem) {
  std::string out = "\xEF\xBB\xBF";
  for (int c = 0; c < kColumns; ++c) {
    if (c) out += ',';
    out += kColumnNames[c];
  }
  out += "\r\n";
  for (const SiteRecord& s : sites) {
    const std::array<const std::string*, kColumns> values = {&s.webname, &s.weburl, &s.admin,
                                                             &s.pass,    &s.bdname, &s.bdpass};
    for (int c = 0; c < kColumns; ++c) {
      const std::string utf8 = toUtf8(*values[c]);
      if (utf8.empty() && !values[c]->empty()) {
        if (problem)
          *problem = gbk("网站“") + s.webname + gbk("”的") + gbk(kColumnNames[c]) +
                     gbk("不是有效的文字，无法写成 UTF-8。请在“修改网站”中重新填写后再导出。");
        return {};
      }
      if (c) out += ',';
      appendField(out, utf8);
    }
    out += "\r\n";
  }
  return out;
}

std::string siteCsvErrorText(const SiteCsv& csv, const std::string& fileName) {
  const std::string file = gbk("“") + fileName + gbk("”");
  const std::string line = std::to_string(csv.errorLine);
  const std::string nothing = gbk("没有导入任何网站。");
  switch (csv.error) {
    case SiteCsvError::None:
      return {};
    case SiteCsvError::Unreadable:
      return gbk("无法读取文件") + file + gbk("：") + csv.errorDetail + gbk("。") + nothing;
    case SiteCsvError::NotAFile:
      return file + gbk("不是普通文件。") + nothing + gbk("请选择一个 CSV 文件。");
    case SiteCsvError::Empty:
      return gbk("文件") + file + gbk("是空的。") + nothing;
    case SiteCsvError::TooLarge:
      return gbk("文件") + file + gbk("超过 ") + std::to_string(kSiteCsvMaxBytes >> 20) + gbk(" MB，不像网站列表。") +
             nothing;
    case SiteCsvError::NotUtf8:
      return gbk("文件") + file + gbk("不是 UTF-8 编码（第 ") + line + gbk(" 行有无法识别的字节）。") + nothing +
             gbk("请在表格程序中另存为“CSV UTF-8”格式后再导入。");
    case SiteCsvError::NotText:
      return gbk("文件") + file + gbk("的第 ") + line + gbk(" 行有空字符，不是文本文件。") + nothing;
    case SiteCsvError::NoHeader:
      return gbk("文件") + file + gbk("的第一行不是标题行。") + nothing +
             gbk("第一行要写明各列：网站名称、网站地址、帐号、密码（必需），百度帐号、百度密码（可选），"
                 "顺序不限；也可用英文 name、address、account、password。");
    case SiteCsvError::RepeatedColumn:
      return gbk("文件") + file + gbk("的标题行有两列都是“") + csv.errorDetail + gbk("”。") + nothing;
    case SiteCsvError::UnclosedQuote:
      return gbk("文件") + file + gbk("第 ") + line + gbk(" 行的引号没有闭合，文件可能不完整。") + nothing;
    case SiteCsvError::NoRows:
      return gbk("文件") + file + gbk("只有标题行，没有网站。");
    case SiteCsvError::TooManyRows:
      return gbk("文件") + file + gbk("中的网站超过 ") + std::to_string(kSiteCsvMaxRows) + gbk(" 个。") + nothing +
             gbk("请分成几个文件导入。");
  }
  return {};
}

}  // namespace inkpost
