#include "blog/editpage.h"

#include "net/encoding.h"
#include "net/gbktext.h"
#include "net/http.h"

namespace inkpost {
namespace {

// The number at the start of a text: digits up to the first non-digit.
int leadingNumber(const std::string& text) {
  long long n = 0;
  for (char c : text) {
    if (c < '0' || c > '9') break;
    n = n * 10 + (c - '0');
    if (n > 2147483647LL) return 0;  // not a value any list item carries
  }
  return static_cast<int>(n);
}

std::vector<PageOption> options(std::string_view page, std::string_view blockStart) {
  std::vector<PageOption> out;
  const std::string block = textBetween(page, blockStart, "</select>");
  for (const std::string& item : collectAll(block, "<option ", "</option>", true, false, false)) {
    PageOption o;
    o.name = textBetween(item, ">", "<");
    if (o.name.empty()) continue;
    o.value = leadingNumber(textBetween(item, "<option value=\"", "\""));
    o.selected = gbkFind(item, " selected=", 0, true) != std::string::npos;
    out.push_back(std::move(o));
  }
  return out;
}

}  // namespace

std::vector<std::string> collectAll(std::string_view text, std::string_view left, std::string_view right,
                                    bool includeMarkers, bool caseSensitive, bool firstOnly) {
  std::vector<std::string> out;
  if (left.empty() || right.empty()) return out;
  std::string work(text);
  for (;;) {
    const size_t from = gbkFind(work, left, 0, caseSensitive);
    if (from == std::string::npos) break;
    const size_t to = gbkFind(work, right, from + left.size(), caseSensitive);
    if (to == std::string::npos) break;
    out.push_back(textBetween(work, left, right, includeMarkers, caseSensitive));
    const std::string piece = std::string(left) + work.substr(from + left.size(), to - from - left.size()) +
                              std::string(right);
    std::string rest;
    if (firstOnly) {
      const size_t at = gbkFind(work, piece, 0, true);
      rest = at == std::string::npos ? work : work.substr(0, at) + work.substr(at + piece.size());
    } else {
      rest = gbkReplaceAll(work, piece, "");
    }
    // A match whose markers differ in case from the given ones is not found
    // by the exact removal: cut it out where it stands, so the loop always
    // moves on.
    if (rest.size() == work.size()) rest = work.substr(0, from) + work.substr(to + right.size());
    work = std::move(rest);
  }
  return out;
}

EditPage parseEditPage(std::string_view page) {
  static const std::string kCategories = fromUtf8("<p>分类:");
  static const std::string kAuthors = fromUtf8("<p>用户:");
  EditPage p;
  p.categories = options(page, kCategories);
  p.authors = options(page, kAuthors);
  const std::string tagBlock = textBetween(page, "<ul id=\"ulTag\" style=\"display:none;\">", "</ul></p>");
  p.tags = collectAll(tagBlock, "<a href='#'>", "</a>", false, false, false);
  return p;
}

std::string fetchEditPage(const std::string& site, std::string& sessionCookie) {
  std::string headers, responseHeaders;
  std::string body = HttpEngine(site + kEditPage, "GET", "", "", "", "", headers, "", kEditPageBudgetSeconds,
                                responseHeaders, sessionCookie, true);
  return fromUtf8(body);
}

}  // namespace inkpost
