// Small ASCII-only text helpers shared by the request routines and their
// callers: header names, hosts, cookie attributes, command lines.
#pragma once

#include <string>

namespace inkpost {

// ASCII letters in lower case; every other byte unchanged.
inline std::string lowerAscii(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  return s;
}

// Without leading and trailing blanks, tabs, CRs and LFs.
inline std::string trimBlanks(const std::string& s) {
  size_t a = s.find_first_not_of(" \t\r\n");
  if (a == std::string::npos) return {};
  size_t b = s.find_last_not_of(" \t\r\n");
  return s.substr(a, b - a + 1);
}

}  // namespace inkpost
