// URL splitting and the cookie-text helpers shared by the request routines.
#include <cstdlib>
#include <string_view>
#include <vector>

#include "net/asciitext.h"
#include "net/gbktext.h"
#include "net/http.h"

namespace inkpost {
namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }

// Equal texts, ASCII letters folded; bytes of two-byte characters compare exactly.
bool equalsFold(std::string_view a, std::string_view b) {
  return a.size() == b.size() && (a.empty() || gbkFind(a, b, 0, false) == 0);
}

// One entry of a cookie text: [begin, end) without the closing ";", and the
// name that starts after any leading blanks.
struct Entry {
  size_t begin, end, nameBegin, nameEnd;
};

std::vector<Entry> splitEntries(const std::string& text) {
  std::vector<Entry> entries;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t semi = text.find(';', pos);
    size_t end = semi == std::string::npos ? text.size() : semi;
    Entry e{pos, end, pos, pos};
    while (e.nameBegin < end && isBlank(text[e.nameBegin])) ++e.nameBegin;
    size_t eq = text.find('=', e.nameBegin);
    e.nameEnd = (eq == std::string::npos || eq > end) ? e.nameBegin : eq;
    entries.push_back(e);
    if (semi == std::string::npos) break;
    pos = semi + 1;
  }
  return entries;
}

}  // namespace

std::string urlHost(const std::string& url, bool keepPort) {
  std::string low = lowerAscii(url);
  size_t start = 0;
  if (low.rfind("http://", 0) == 0)
    start = 7;
  else if (low.rfind("https://", 0) == 0)
    start = 8;
  size_t slash = low.find('/', start);
  std::string host = low.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
  if (!keepPort) {
    size_t colon = host.find(':');
    if (colon != std::string::npos) host.resize(colon);
  }
  return host;
}

std::string urlPath(const std::string& url) {
  std::string low = lowerAscii(url);
  size_t start = low.rfind("http://", 0) == 0 ? 7 : low.rfind("https://", 0) == 0 ? 8 : 0;
  std::string host = urlHost(url);
  size_t at = gbkFind(url, host, start, false);
  if (at == std::string::npos) at = start;
  size_t slash = url.find('/', at + host.size());
  return slash == std::string::npos ? std::string("/") : url.substr(slash);
}

int urlPort(const std::string& url) {
  std::string host = urlHost(url, true);
  size_t colon = host.find(':');
  if (colon != std::string::npos) {
    std::string digits = host.substr(colon + 1);
    for (char c : digits)
      if (c < '0' || c > '9') return 0;
    if (digits.empty() || digits.size() > 5) return 0;
    return std::atoi(digits.c_str());
  }
  return lowerAscii(url).find("https") != std::string::npos ? 443 : 80;
}

std::string setCookieValue(const std::string& line) {
  size_t semi = line.find(';');
  if (semi != std::string::npos) return line.substr(0, semi);
  size_t a = line.find_first_not_of(" \t");
  if (a == std::string::npos) return {};
  size_t b = line.find_last_not_of(" \t\r\n");
  return line.substr(a, b - a + 1);
}

std::string mergeCookies(std::string stored, const std::string& fresh) {
  for (const Entry& f : splitEntries(fresh)) {
    std::string_view entryView = std::string_view(fresh).substr(f.begin, f.end - f.begin);
    if (entryView.find('=') == std::string_view::npos) continue;
    std::string_view name = std::string_view(fresh).substr(f.nameBegin, f.nameEnd - f.nameBegin);
    if (name.empty()) continue;
    // The entry from its name on: replacements start at a stored name too.
    std::string entry = fresh.substr(f.nameBegin, f.end - f.nameBegin);
    // The first stored entry of that name decides the old text.
    std::vector<Entry> have = splitEntries(stored);
    const Entry* found = nullptr;
    for (const Entry& e : have) {
      if (e.nameEnd > e.nameBegin &&
          equalsFold(std::string_view(stored).substr(e.nameBegin, e.nameEnd - e.nameBegin), name)) {
        found = &e;
        break;
      }
    }
    if (!found) {
      // A text that does not end its last entry (callers append " username=..."
      // entries without a closing ";") gets the separator first, so the new
      // entry is not glued onto the last one.
      size_t last = stored.find_last_not_of(" \t");
      if (last != std::string::npos && stored[last] != ';') stored += ';';
      stored += entry;
      stored += ';';
      continue;
    }
    std::string old = stored.substr(found->nameBegin, found->end - found->nameBegin);
    // Every whole entry holding that same old text (case ignored) takes the new one.
    std::string out;
    size_t copied = 0;
    for (const Entry& e : have) {
      if (equalsFold(std::string_view(stored).substr(e.nameBegin, e.end - e.nameBegin), old)) {
        out.append(stored, copied, e.nameBegin - copied);
        out += entry;
        copied = e.end;
      }
    }
    out.append(stored, copied, std::string::npos);
    stored.swap(out);
  }
  return stored;
}

}  // namespace inkpost
