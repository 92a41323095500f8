// Files the user chose or the program keeps for itself: a capped read of a
// regular file, a private (0600) file written whole or not at all, and a
// private file that grows by whole records.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace inkpost {

// The reason of a failed file call (errno), GBK, for a notice: the common
// ones in Chinese ("没有权限", "磁盘已满", …), others as the system says.
std::string fileErrorText(int error);

struct FileRead {
  enum Status { Ok, Missing, NotAFile, TooLarge, Failed };
  Status status = Failed;
  std::string bytes;  // Ok: the whole content
  std::string error;  // Failed: fileErrorText
};

// The bytes of a regular file of at most `cap` bytes. A FIFO or a device is
// NotAFile (and is never waited on); a symlink is followed.
FileRead readRegularFile(const std::string& path, size_t cap);

// Writes all of `bytes` to `fd` from its current offset, across short writes
// and interruptions; false (errno set) when it cannot.
bool writeAll(int fd, std::string_view bytes);

// Puts `bytes` at `path` as a file only this user may read and write (0600):
// a new file beside it is written, flushed and renamed over `path`, so the
// path holds either the old content or the whole new one. A symlink at
// `path` is refused (never followed nor replaced), as is anything but a
// regular file. `error` (GBK) says why it failed.
bool writePrivateFile(const std::string& path, std::string_view bytes, std::string* error = nullptr);
// The same for a file the program owns outright (the gallery page, staging
// images, captures): whatever entry is at `path`, a link included, is
// replaced by the new file, never written through. A folder there stays.
bool replacePrivateFile(const std::string& path, std::string_view bytes, std::string* error = nullptr);

// Appends `bytes` to the private file at `path` (made 0600 when missing,
// tightened to 0600 when looser; a symlink is refused) in one write. When
// the file does not end with `separator` (a write cut short before), it is
// written first, so the new bytes never continue a broken record. The caller
// serialises appends to one file.
bool appendPrivateFile(const std::string& path, std::string_view bytes, char separator, std::string* error = nullptr);

// The last part of a path (after the last "/").
std::string fileBaseName(const std::string& path);

}  // namespace inkpost
