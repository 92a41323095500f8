#include "blog/editpage.h"

#include "net/encoding.h"
#include "net/gbktext.h"
#include "net/http.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <deque>
#include <functional>
#include <vector>

namespace inkpost {
namespace {

// ASCII letters folded; the bytes of a two-byte GBK character never are.
char foldedAt(std::string_view text, size_t i, bool& trail) {
  const unsigned char c = static_cast<unsigned char>(text[i]);
  if (trail) {
    trail = false;
    return static_cast<char>(c);
  }
  if (gbkLead(c)) {
    trail = i + 1 < text.size();
    return static_cast<char>(c);
  }
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : static_cast<char>(c);
}

// The hash of a piece with every ASCII capital lowered, eight bytes at a
// time. Trail bytes of GBK characters are lowered too: pieces that are equal
// with them kept (foldedEqual) still hash alike, and the rare other
// collision is sorted out by foldedEqual.
uint64_t lowerWord(uint64_t w) {
  constexpr uint64_t kOnes = 0x0101010101010101ull, kHigh = 0x8080808080808080ull;
  const uint64_t low7 = w & ~kHigh;
  const uint64_t atLeastA = low7 + (0x80 - 'A') * kOnes;
  const uint64_t aboveZ = low7 + (0x80 - 'Z' - 1) * kOnes;
  const uint64_t capital = atLeastA & ~aboveZ & ~w & kHigh;
  return w | (capital >> 2);
}

size_t foldedHash(std::string_view text) {
  uint64_t h = text.size() * 0x9E3779B97F4A7C15ull;
  size_t i = 0;
  for (; i + 8 <= text.size(); i += 8) {
    uint64_t w;
    std::memcpy(&w, text.data() + i, 8);
    h = (h ^ lowerWord(w)) * 0xFF51AFD7ED558CCDull;
    h ^= h >> 32;
  }
  if (i < text.size()) {
    uint64_t w = 0;
    std::memcpy(&w, text.data() + i, text.size() - i);
    h = (h ^ lowerWord(w)) * 0xFF51AFD7ED558CCDull;
    h ^= h >> 32;
  }
  return static_cast<size_t>(h);
}

bool foldedEqual(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  bool ta = false, tb = false;
  for (size_t i = 0; i < a.size(); ++i)
    if (foldedAt(a, i, ta) != foldedAt(b, i, tb)) return false;
  return true;
}

// The pieces listed so far, as views: an open-addressing table of their
// hashes (one cache line touched per look-up on a page of 100,000 options,
// where a node-based set touches two). With `fold`, pieces that differ only
// in the case of ASCII letters are the same piece.
class PieceSet {
 public:
  explicit PieceSet(bool fold) : fold_(fold) {}
  bool contains(std::string_view piece) const {
    if (keys_.empty()) return false;
    const size_t h = hash(piece);
    for (size_t i = h & mask_;; i = (i + 1) & mask_) {
      const Slot& s = slots_[i];
      if (!s.used) return false;
      if (s.hash == h && (fold_ ? foldedEqual(keys_[s.key], piece) : keys_[s.key] == piece)) return true;
    }
  }
  void insert(std::string_view piece) {
    if ((keys_.size() + 1) * 2 > slots_.size()) grow();
    keys_.push_back(piece);
    place(hash(piece), static_cast<uint32_t>(keys_.size() - 1));
  }

 private:
  size_t hash(std::string_view piece) const { return fold_ ? foldedHash(piece) : std::hash<std::string_view>{}(piece); }
  bool fold_;
  struct Slot {
    size_t hash = 0;
    uint32_t key = 0;
    bool used = false;
  };
  void place(size_t h, uint32_t key) {
    size_t i = h & mask_;
    while (slots_[i].used) i = (i + 1) & mask_;
    slots_[i] = {h, key, true};
  }
  void grow() {
    std::vector<Slot> old = std::move(slots_);
    slots_.assign(std::max<size_t>(64, old.size() * 2), Slot{});
    mask_ = slots_.size() - 1;
    for (const Slot& s : old)
      if (s.used) place(s.hash, s.key);
  }
  std::vector<std::string_view> keys_;
  std::vector<Slot> slots_;
  size_t mask_ = 0;
};

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

// textBetween(page, start, end) as a view: a block of a large page is not copied.
std::string_view blockOf(std::string_view page, std::string_view start, std::string_view end) {
  const size_t a = gbkFind(page, start, 0, false);
  if (a == std::string_view::npos) return {};
  const size_t b = gbkFind(page, end, a + start.size(), false);
  if (b == std::string_view::npos) return {};
  return page.substr(a + start.size(), b - a - start.size());
}

std::vector<PageOption> options(std::string_view page, std::string_view blockStart) {
  std::vector<PageOption> out;
  const std::string_view block = blockOf(page, blockStart, "</select>");
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
  // One pass from left to right: each search resumes where the last piece
  // ended, which is a character boundary whenever the marker is made of
  // whole characters (markers always are; a broken one costs a walk from
  // the top instead).
  auto finder = [&](std::string_view marker) {
    return [whole = gbkWholeCharacters(marker), marker, text, caseSensitive](size_t from) {
      return whole ? gbkFindFrom(text, marker, from, caseSensitive) : gbkFind(text, marker, from, caseSensitive);
    };
  };
  const auto findLeft = finder(left);
  const auto findRight = finder(right);
  // The pieces listed so far, with the given markers: a later copy of one of
  // them is not listed again (in any case of its letters when case is
  // ignored, as the markers are found). A key is a view of the text where
  // the markers stand there in the given case (nearly always), else a copy.
  PieceSet listed(!caseSensitive);
  std::deque<std::string> copiedKeys;
  size_t pos = 0;
  for (;;) {
    const size_t from = findLeft(pos);
    if (from == std::string_view::npos) break;
    const size_t inner = from + left.size();
    const size_t to = findRight(inner);
    if (to == std::string_view::npos) break;
    pos = to + right.size();
    const std::string_view span = text.substr(from, pos - from);
    if (!firstOnly && listed.contains(span)) continue;
    const std::string_view between = text.substr(inner, to - inner);
    if (includeMarkers) {
      std::string piece;
      piece.reserve(left.size() + between.size() + right.size());
      out.push_back(std::move(piece.append(left).append(between).append(right)));
    } else {
      out.emplace_back(between);
    }
    if (firstOnly) continue;
    if (span.starts_with(left) && span.ends_with(right)) {
      listed.insert(span);
    } else {
      copiedKeys.push_back(std::string(left).append(between).append(right));
      listed.insert(copiedKeys.back());
    }
  }
  return out;
}

EditPage parseEditPage(std::string_view page) {
  static const std::string kCategories = fromUtf8("<p>分类:");
  static const std::string kAuthors = fromUtf8("<p>用户:");
  EditPage p;
  p.categories = options(page, kCategories);
  p.authors = options(page, kAuthors);
  const std::string_view tagBlock = blockOf(page, "<ul id=\"ulTag\" style=\"display:none;\">", "</ul></p>");
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
