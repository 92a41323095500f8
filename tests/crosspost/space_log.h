// Reads back the requests the sandbox's second-service doubles recorded in
// <dataDir>/space-requests/ (one file a request: request line, header
// lines, blank line, body), and the hex form the doubles give accounts.
// Header-only: both cross-post test executables use it.
#pragma once

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

namespace inkpost::test {

struct SpaceRequest {
  std::string method, target;
  std::map<std::string, std::string> headers;  // names in lower case
  std::string body;

  std::string header(const std::string& lowerName) const {
    auto it = headers.find(lowerName);
    return it == headers.end() ? std::string() : it->second;
  }
  std::string host() const {
    std::string h = header("host");
    return h.substr(0, h.find(':'));
  }
};

// Lower-case hex of every byte: the form in which the doubles put an
// account into the tokens and cookies they hand out.
inline std::string hexOf(const std::string& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) {
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

inline std::vector<SpaceRequest> spaceRequests(const std::string& dataDir) {
  namespace fs = std::filesystem;
  std::vector<fs::path> files;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(fs::path(dataDir) / "space-requests", ec))
    files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  std::vector<SpaceRequest> out;
  for (const auto& file : files) {
    std::ifstream in(file, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    SpaceRequest r;
    size_t end = text.find("\r\n\r\n");
    std::string head = text.substr(0, end);
    r.body = end == std::string::npos ? std::string() : text.substr(end + 4);
    size_t pos = 0;
    bool first = true;
    while (pos <= head.size()) {
      size_t eol = head.find("\r\n", pos);
      if (eol == std::string::npos) eol = head.size();
      std::string line = head.substr(pos, eol - pos);
      if (first) {
        size_t blank = line.find(' ');
        r.method = line.substr(0, blank);
        r.target = blank == std::string::npos ? std::string() : line.substr(blank + 1);
        first = false;
      } else if (size_t colon = line.find(": "); colon != std::string::npos) {
        std::string name = line.substr(0, colon);
        for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        r.headers[name] = line.substr(colon + 2);
      }
      pos = eol + 2;
    }
    out.push_back(std::move(r));
  }
  return out;
}

}  // namespace inkpost::test
