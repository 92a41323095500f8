// URL splitting and the cookie-text helpers shared by the request routines.
#include <cstdlib>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "net/asciitext.h"
#include "net/gbktext.h"
#include "net/http.h"

namespace inkpost {
namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }

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
    size_t eq = std::string_view(text).substr(0, end).find('=', e.nameBegin);
    e.nameEnd = eq == std::string_view::npos ? e.nameBegin : eq;
    entries.push_back(e);
    if (semi == std::string::npos) break;
    pos = semi + 1;
  }
  return entries;
}

// A cookie name for comparison: ASCII letters folded, the bytes of two-byte
// characters kept as they are.
std::string foldName(std::string_view name) {
  std::string out(name);
  for (size_t i = 0; i < out.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(out[i]);
    if (c >= 0x80) {
      ++i;  // the trail byte of a two-byte character
    } else if (c >= 'A' && c <= 'Z') {
      out[i] = static_cast<char>(c + 32);
    }
  }
  return out;
}

// Drops whole entries until the text is shorter than kCookieTextCap: first
// entries without a name, then cookies the blog session does not need, then
// the session's own, each group from the oldest (leftmost) on.
std::string capCookieText(const std::string& text) {
  const std::vector<Entry> entries = splitEntries(text);
  auto sizeOf = [&](const Entry& e) { return e.end - e.begin + (e.end < text.size() ? 1 : 0); };
  std::vector<int> rank(entries.size());
  for (size_t i = 0; i < entries.size(); ++i) {
    const Entry& e = entries[i];
    if (e.nameEnd == e.nameBegin)
      rank[i] = 0;
    else
      rank[i] = isSessionCookieName(std::string_view(text).substr(e.nameBegin, e.nameEnd - e.nameBegin)) ? 2 : 1;
  }
  std::vector<bool> dropped(entries.size(), false);
  size_t size = text.size();
  for (int r = 0; r <= 2 && size >= kCookieTextCap; ++r) {
    for (size_t i = 0; i < entries.size() && size >= kCookieTextCap; ++i) {
      if (rank[i] != r) continue;
      dropped[i] = true;
      size -= sizeOf(entries[i]);
    }
  }
  std::string out;
  out.reserve(size);
  for (size_t i = 0; i < entries.size(); ++i) {
    if (dropped[i]) continue;
    out.append(text, entries[i].begin, sizeOf(entries[i]));
  }
  // What stands first keeps no leading blank of an entry that went before it.
  size_t lead = out.find_first_not_of(" \t");
  out.erase(0, lead == std::string::npos ? out.size() : lead);
  return out;
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

bool isSessionCookieName(std::string_view name) {
  const std::string low = lowerAscii(std::string(name));
  return low.rfind("aspsessionid", 0) == 0 || low == "username" || low == "password";
}

std::string mergeCookies(const std::string& stored, const std::string& fresh) {
  // The fresh entries by folded name, in order of first appearance; a later
  // entry of the same name wins.
  std::vector<std::pair<std::string, std::string>> incoming;  // folded name, entry text from the name on
  std::unordered_map<std::string, size_t> incomingAt;
  for (const Entry& f : splitEntries(fresh)) {
    std::string_view entryView = std::string_view(fresh).substr(f.begin, f.end - f.begin);
    if (entryView.find('=') == std::string_view::npos || f.nameEnd == f.nameBegin) continue;
    std::string key = foldName(std::string_view(fresh).substr(f.nameBegin, f.nameEnd - f.nameBegin));
    std::string entry = fresh.substr(f.nameBegin, f.end - f.nameBegin);
    auto [it, added] = incomingAt.emplace(key, incoming.size());
    if (added)
      incoming.emplace_back(std::move(key), std::move(entry));
    else
      incoming[it->second].second = std::move(entry);
  }

  // The stored entries in place, each name once; a fresh entry takes the
  // place of the stored entry of its name (what stands before the name, such
  // as a blank, stays).
  std::string out;
  out.reserve(stored.size() + fresh.size());
  std::vector<bool> placed(incoming.size(), false);
  std::unordered_set<std::string> seen;
  for (const Entry& e : splitEntries(stored)) {
    const bool closed = e.end < stored.size();
    if (e.nameEnd > e.nameBegin) {
      std::string key = foldName(std::string_view(stored).substr(e.nameBegin, e.nameEnd - e.nameBegin));
      if (!seen.insert(key).second) continue;  // a later entry of a name already there
      auto it = incomingAt.find(key);
      if (it != incomingAt.end()) {
        out.append(stored, e.begin, e.nameBegin - e.begin);
        out += incoming[it->second].second;
        placed[it->second] = true;
        if (closed) out += ';';
        continue;
      }
    }
    out.append(stored, e.begin, e.end - e.begin);
    if (closed) out += ';';
  }
  for (size_t i = 0; i < incoming.size(); ++i) {
    if (placed[i]) continue;
    // A text that does not end its last entry (callers append " username=..."
    // entries without a closing ";") gets the separator first, so the new
    // entry is not glued onto the last one.
    size_t last = out.find_last_not_of(" \t");
    if (last != std::string::npos && out[last] != ';') out += ';';
    out += incoming[i].second;
    out += ';';
  }
  return out.size() < kCookieTextCap ? out : capCookieText(out);
}

}  // namespace inkpost
