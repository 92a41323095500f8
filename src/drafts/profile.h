// A small reader and writer of profile (INI) files with the semantics of the
// classic profile-string functions: bytes in and out unchanged (the files are
// GBK), "[section]" headers, "key=value" lines, section and key names matched
// without regard to ASCII case, blanks around names and values ignored, the
// first of repeated keys wins. A missing file, section or key reads as the
// empty text. Unlike the classic reader, values come back whole, however long.
#pragma once

#include <string>
#include <string_view>

namespace inkpost::profile {

// A missing file, a directory or any other entry that is no readable
// regular file reads as empty.
std::string readString(const std::string& path, std::string_view section, std::string_view key);
// The same lookup in a file's text already read.
std::string valueIn(std::string_view text, std::string_view section, std::string_view key);

// Sets one key: replaces its line when the key exists, otherwise appends it
// at the end of its section (the section is appended to the file when
// missing, the file is created when missing; its folder is not). Line breaks
// inside the value are written as blanks so they cannot end the line. The
// whole file is rewritten on every call; false when it cannot be written.
bool writeString(const std::string& path, std::string_view section, std::string_view key, std::string_view value);

}  // namespace inkpost::profile
