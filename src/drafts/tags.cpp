#include "drafts/tags.h"
#include "net/encoding.h"
#include "net/formcode.h"

#include <algorithm>

namespace inkpost {
namespace {

void dropTrailingComma(std::string& s) {
  if (!s.empty() && s.back() == ',') s.pop_back();
}

void dropLeadingComma(std::string& s) {
  if (!s.empty() && s.front() == ',') s.erase(0, 1);
}

bool leadByte(unsigned char c) { return c >= 0x81 && c <= 0xFE; }

// r moved sideways as little as it takes to lie within the screen's columns.
ScreenRect withinColumns(ScreenRect r, const ScreenRect& screen) {
  if (r.right() > screen.right()) r.x = screen.right() - r.width;
  if (r.x < screen.x) r.x = screen.x;
  return r;
}

}  // namespace

std::string chosenTagsOf(std::string_view box) {
  std::string s(box);
  if (s.empty() || s.back() != ',') s += ',';
  if (s.front() != ',') s.insert(s.begin(), ',');
  return s;
}

bool tagChosen(std::string_view chosen, std::string_view tag) {
  // "," is never the second byte of a GBK character, so the byte search
  // cannot start inside one.
  return chosen.find("," + std::string(tag) + ",") != std::string_view::npos;
}

std::string addTag(std::string_view box, std::string_view tag) {
  std::string s(box);
  dropTrailingComma(s);
  dropLeadingComma(s);
  s += ",";
  s += tag;
  dropTrailingComma(s);
  dropLeadingComma(s);
  return s;
}

std::string removeTag(std::string_view box, std::string_view tag) {
  std::string s(box);
  if (s.empty() || s.back() != ',') s += ',';
  if (s.front() != ',') s.insert(s.begin(), ',');
  // One left-to-right pass: a match consumes its closing comma, so of two
  // adjacent duplicates only the first is removed.
  const std::string needle = "," + std::string(tag) + ",";
  std::string out;
  size_t pos = 0;
  for (;;) {
    size_t at = s.find(needle, pos);
    if (at == std::string::npos) break;
    out.append(s, pos, at - pos);
    out += ',';
    pos = at + needle.size();
  }
  out.append(s, pos, std::string::npos);
  dropTrailingComma(out);
  dropLeadingComma(out);
  return out;
}

std::string tagHtmlText(std::string_view text) { return htmlEscape(text); }

std::string tagScriptLiteral(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out = "'";
  for (size_t i = 0; i < text.size(); ++i) {
    unsigned char c = text[i];
    if (leadByte(c) && i + 1 < text.size()) {  // a trail byte may be "\"
      out += text.substr(i, 2);
      ++i;
      continue;
    }
    if (c == '\\' || c == '\'' || c == '"') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20 || c == 0x7F || c == '<' || c == '>') {
      out += "\\x";
      out += kHex[c >> 4];
      out += kHex[c & 15];
    } else {
      out += static_cast<char>(c);
    }
  }
  out += "'";
  return out;
}

std::string tagsPage(const std::vector<std::string>& tags, std::string_view chosen, std::string_view note) {
  std::string page =
      "<html><head><style>body,td,th { font-size: 14px;}a:link { color: #000000; text-decoration: none;}"
      "a:visited { text-decoration: none; color: #000000;}a:hover { text-decoration: none; color: #FF0000;}"
      "a:active { text-decoration: none; color: #000000;} .yes {background-color:#A6A6D2}"
      ".no {background-color:#FFFFFF}</style></head><body bgcolor='#ffffff' leftmargin=0 topmargin=0>";
  if (!note.empty()) page += "<p id='note' style='color:#808080;margin:6px'>" + tagHtmlText(note) + "</p>";
  for (const std::string& t : tags) {
    const std::string shown = tagHtmlText(t);
    page += tagChosen(chosen, t) ? "<span class='yes' id='" : "<span class='no' id='";
    page += shown;
    page += "'>&nbsp;<a href='#";
    page += formEncode(t);
    page += "'>";
    page += shown;
    page += "</a>&nbsp;</span>";
  }
  page += "</body></html>";
  return page;
}

std::string tagFromAddress(std::string_view address) {
  size_t hash = address.find('#');
  if (hash == std::string_view::npos) return {};
  return formDecode(address.substr(hash + 1));
}

std::string tagClassScript(std::string_view tag, bool chosen) {
  return "document.getElementById(" + tagScriptLiteral(tag) + ").className=" + (chosen ? "'yes'" : "'no'");
}

const std::string& tagsBeforeLoginNote() {
  static const std::string text = fromUtf8("选择网站并登录后，这里会列出博客已有的标签。");
  return text;
}

ScreenRect tagsWindowPlace(const ScreenRect& box, const ScreenRect& keepClear, const ScreenRect& window,
                           const ScreenRect& screen, int width, int height) {
  const ScreenRect under = withinColumns({box.x + 2, box.bottom(), width, height}, screen);
  if (under.bottom() <= screen.bottom() && !under.intersects(keepClear)) return under;
  const int besideX = box.right() + 2;
  const int roomInWindow = std::min(window.right(), screen.right()) - besideX;
  const int room = roomInWindow >= kTagsWindowMinWidth ? roomInWindow : screen.right() - besideX;
  if (room >= kTagsWindowMinWidth) {
    ScreenRect beside{besideX, box.y, std::min(width, room), height};
    if (beside.bottom() > screen.bottom()) beside.y = std::max(screen.y, screen.bottom() - height);
    if (!beside.intersects(keepClear)) return beside;
  }
  const ScreenRect below =
      withinColumns({box.x + 2, std::max(box.bottom(), keepClear.bottom()), width, height}, screen);
  if (below.bottom() <= screen.bottom()) return below;
  return withinColumns({box.x + 2, std::max(screen.y, box.y - height), width, height}, screen);
}

}  // namespace inkpost
