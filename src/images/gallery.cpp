#include "images/gallery.h"

#include "common/privatefile.h"
#include "common/programdir.h"
#include "images/convert.h"
#include "images/upload.h"
#include "net/encoding.h"

#include <charconv>
#include <cstdio>
#include <cstdlib>

namespace inkpost {
namespace {

struct PageTexts {
  std::string head;
  std::string copyMarker;    // "#复制["
  std::string insertMarker;  // "#插入["
  std::string entryA, entryB, entryC, entryD, entryE, entryF;
  PageTexts() {
    head = fromUtf8(
        "<html><head><style></style><script>function dbclick(id){document.getElementById('test').href="
        "document.getElementById(id).href.replace('复制','插入');document.getElementById('test').click()}"
        "</script></head><body bgcolor='#ffffff' leftmargin=2 topmargin=2><a id='test' href='#'></a>");
    copyMarker = fromUtf8("#复制[");
    insertMarker = fromUtf8("#插入[");
    // "<a id='" i "' ondblclick='dbclick(" i ")' href='#复制[" address
    // "]'> <img border='0' width='" w "' height='76' src='" address "' /></a>&nbsp;"
    entryA = "<a id='";
    entryB = "' ondblclick='dbclick(";
    entryC = ")' href='" + copyMarker;
    entryD = "]'> <img border='0' width='";
    entryE = "' height='76' src='";
    entryF = "' /></a>&nbsp;";
  }
};

const PageTexts& pageTexts() {
  static const PageTexts t;
  return t;
}

// Leading decimal integer of a text, as Val reads it: blanks skipped, an
// optional sign, digits up to the first other character; 0 without digits.
int leadingInt(const std::string& s) {
  size_t i = s.find_first_not_of(" \t");
  if (i == std::string::npos) return 0;
  long long v = 0;
  bool negative = false;
  if (s[i] == '+' || s[i] == '-') negative = s[i++] == '-';
  for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
    v = v * 10 + (s[i] - '0');
    if (v > 1000000000LL) break;
  }
  return static_cast<int>(negative ? -v : v);
}

// An attribute value inside quotes: the characters that would end
// the value or open markup are written as references. Ordinary addresses
// hold none of them and pass unchanged.
void appendAttribute(std::string& out, const std::string& value) { out += htmlEscape(value); }

void appendNumber(std::string& out, double v) {
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, v);
  out.append(buf, r.ptr);
}

}  // namespace

GalleryEntry makeGalleryEntry(const std::string& address, int width, int height) {
  return address + "[" + std::to_string(width) + "|" + std::to_string(height);
}

GalleryItem parseGalleryEntry(const GalleryEntry& entry) {
  GalleryItem item;
  // The address is the text before the first "[" (a GBK-aware search: "["
  // can be the second byte of a character), the numbers after it.
  size_t open = std::string::npos;
  for (size_t i = 0; i < entry.size(); ++i) {
    unsigned char c = entry[i];
    if (c == '[') {
      open = i;
      break;
    }
    if (c >= 0x81 && c <= 0xFE) ++i;
  }
  if (open == std::string::npos) {
    item.address = entry;
    return item;
  }
  item.address = entry.substr(0, open);
  std::string rest = entry.substr(open + 1);
  size_t bar = rest.find('|');
  item.width = leadingInt(rest.substr(0, bar));
  if (bar != std::string::npos) item.height = leadingInt(rest.substr(bar + 1));
  return item;
}

void RecordUpload(std::vector<GalleryEntry>& gallery, const std::string& address, const std::string& path) {
  std::string bytes;
  int width = 0, height = 0;
  if (readImageFile(path, bytes)) ImageSize(bytes, width, height);
  gallery.push_back(makeGalleryEntry(address, width, height));
}

std::string galleryPageText(const std::vector<GalleryEntry>& entries) {
  const PageTexts& t = pageTexts();
  std::string page;
  page.reserve(t.head.size() + 16 + entries.size() * 220);
  page += t.head;
  int i = 0;
  for (const GalleryEntry& entry : entries) {
    ++i;
    const GalleryItem item = parseGalleryEntry(entry);
    const std::string id = std::to_string(i);
    page += t.entryA;
    page += id;
    page += t.entryB;
    page += id;
    page += t.entryC;
    appendAttribute(page, item.address);
    page += t.entryD;
    // Thumbnails are 76 pixels high; an image of unknown height gets a
    // square one.
    if (item.height > 0)
      appendNumber(page, 76.0 / item.height * item.width);
    else
      page += "76";
    page += t.entryE;
    appendAttribute(page, item.address);
    page += t.entryF;
  }
  page += "</body></html>";
  return page;
}

std::string galleryInsertElement(const std::string& address) {
  // The address stands unquoted, as the blog's own editor writes it, when
  // nothing in it could end the value or open markup; otherwise it is
  // quoted and escaped.
  std::string src;
  const bool plain = !address.empty() && address.find_first_of(" \t\r\n\f'\"<>=`&") == std::string::npos;
  if (plain) {
    src = address;
  } else {
    src = "\"";
    appendAttribute(src, address);
    src += "\"";
  }
  return "<p><img title=\"\" alt=\"\" src=" + src + " onload=\"ResizeImage(this,520)\" /></p>";
}

std::string galleryPagePath() { return programPath("temp/index.html"); }

bool writeGalleryPage(const std::vector<GalleryEntry>& entries) {
  return replacePrivateFile(galleryPagePath(), galleryPageText(entries));
}

GalleryLink classifyGalleryNavigation(const std::string& target, const std::string& pagePath) {
  const PageTexts& t = pageTexts();
  GalleryLink link;
  if (target == "about:blank" || target == pagePath || target == "file://" + pagePath) {
    link.kind = GalleryLink::Allow;
    return link;
  }
  if (target.find('[') == std::string::npos) return link;
  if (target.find(t.copyMarker) != std::string::npos) {
    link.kind = GalleryLink::Copy;
    link.address = textBetween(target, t.copyMarker, "]");
  } else if (target.find(t.insertMarker) != std::string::npos) {
    link.kind = GalleryLink::Insert;
    link.address = textBetween(target, t.insertMarker, "]");
  }
  return link;
}

}  // namespace inkpost
