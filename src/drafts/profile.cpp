#include "drafts/profile.h"

#include "net/gbktext.h"

#include <fstream>
#include <iterator>
#include <vector>

namespace inkpost::profile {
namespace {

std::string_view trim(std::string_view s) {
  auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (!s.empty() && blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && blank(s.back())) s.remove_suffix(1);
  return s;
}

// ASCII case-insensitive comparison that steps over two-byte GBK characters
// as whole units, so a trail byte is never folded.
bool sameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    unsigned char x = a[i], y = b[i];
    if (gbkLead(x) && i + 1 < a.size()) {
      if (x != y || a[i + 1] != b[i + 1]) return false;
      ++i;
      continue;
    }
    if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

std::vector<std::string_view> splitLines(std::string_view text) {
  std::vector<std::string_view> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

// "[name]" (blanks allowed around it and inside the brackets) -> true, name.
bool sectionHeader(std::string_view line, std::string_view& name) {
  line = trim(line);
  if (line.empty() || line.front() != '[') return false;
  size_t close = line.find(']');
  if (close == std::string_view::npos) return false;
  name = trim(line.substr(1, close - 1));
  return true;
}

// "key=value" -> true, key, value (both trimmed). Comment lines never match.
bool keyLine(std::string_view line, std::string_view& key, std::string_view& value) {
  std::string_view t = trim(line);
  if (t.empty() || t.front() == ';') return false;
  size_t eq = t.find('=');
  if (eq == std::string_view::npos) return false;
  key = trim(t.substr(0, eq));
  value = trim(t.substr(eq + 1));
  return true;
}

bool readAll(const std::string& path, std::string& out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return true;
}

}  // namespace

std::string readString(const std::string& path, std::string_view section, std::string_view key) {
  std::string text;
  if (!readAll(path, text)) return {};
  bool inSection = false;
  for (std::string_view line : splitLines(text)) {
    std::string_view name, k, v;
    if (sectionHeader(line, name)) {
      inSection = sameName(name, section);
    } else if (inSection && keyLine(line, k, v) && sameName(k, key)) {
      return std::string(v);
    }
  }
  return {};
}

bool writeString(const std::string& path, std::string_view section, std::string_view key, std::string_view value) {
  std::string text;
  readAll(path, text);
  std::vector<std::string_view> lines = splitLines(text);

  std::string cleanValue(value);
  for (char& c : cleanValue)
    if (c == '\r' || c == '\n') c = ' ';
  std::string newLine = std::string(key) + "=" + cleanValue;

  // Find the section, the key inside it, and the last key line of it.
  long sectionLine = -1, keyAt = -1, lastKeyLine = -1;
  for (size_t i = 0; i < lines.size(); ++i) {
    std::string_view name, k, v;
    if (sectionHeader(lines[i], name)) {
      if (sectionLine >= 0) break;
      if (sameName(name, section)) sectionLine = static_cast<long>(i);
    } else if (sectionLine >= 0 && keyLine(lines[i], k, v)) {
      lastKeyLine = static_cast<long>(i);
      if (sameName(k, key)) {
        keyAt = static_cast<long>(i);
        break;
      }
    }
  }

  std::vector<std::string> out(lines.begin(), lines.end());
  if (keyAt >= 0) {
    out[static_cast<size_t>(keyAt)] = newLine;
  } else if (sectionLine >= 0) {
    long after = lastKeyLine >= 0 ? lastKeyLine : sectionLine;
    out.insert(out.begin() + after + 1, newLine);
  } else {
    out.push_back("[" + std::string(section) + "]");
    out.push_back(newLine);
  }

  std::string result;
  for (const std::string& line : out) result += line + "\r\n";
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  if (!file) return false;
  file.write(result.data(), static_cast<std::streamsize>(result.size()));
  file.close();
  return static_cast<bool>(file);
}

}  // namespace inkpost::profile
