#include "common/privatefile.h"

#include "net/encoding.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace inkpost {
namespace {

constexpr mode_t kPrivateMode = 0600;

void setError(std::string* error, int code) {
  if (error) *error = fileErrorText(code);
}

std::string folderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// A symlink or a non-regular entry at `path` (nothing there is fine).
int refusedEntry(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) return errno == ENOENT ? 0 : errno;
  if (S_ISLNK(st.st_mode)) return ELOOP;
  if (S_ISDIR(st.st_mode)) return EISDIR;
  if (!S_ISREG(st.st_mode)) return EINVAL;
  return 0;
}

}  // namespace

bool writeAll(int fd, std::string_view bytes) {
  const char* p = bytes.data();
  size_t left = bytes.size();
  while (left > 0) {
    const ssize_t n = ::write(fd, p, left);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) {
      errno = EIO;
      return false;
    }
    p += n;
    left -= static_cast<size_t>(n);
  }
  return true;
}

std::string fileErrorText(int error) {
  switch (error) {
    case EACCES:
    case EPERM:
      return fromUtf8("没有权限");
    case ENOENT:
      return fromUtf8("文件或文件夹不存在");
    case ENOSPC:
    case EDQUOT:
      return fromUtf8("磁盘已满");
    case EROFS:
      return fromUtf8("磁盘是只读的");
    case EISDIR:
      return fromUtf8("这是一个文件夹");
    case ELOOP:
      return fromUtf8("这是一个符号链接，为安全起见不写入");
    case EINVAL:
      return fromUtf8("这不是普通文件");
    case ENAMETOOLONG:
      return fromUtf8("文件名太长");
    default:
      return fromUtf8(std::strerror(error));
  }
}

std::string fileBaseName(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

FileRead readRegularFile(const std::string& path, size_t cap) {
  FileRead r;
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    r.status = errno == ENOENT ? FileRead::Missing : FileRead::Failed;
    r.error = fileErrorText(errno);
    return r;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    r.status = FileRead::NotAFile;
    r.error = fileErrorText(EINVAL);
    return r;
  }
  if (static_cast<unsigned long long>(st.st_size) > cap) {
    ::close(fd);
    r.status = FileRead::TooLarge;
    return r;
  }
  r.bytes.reserve(static_cast<size_t>(st.st_size));
  char buf[65536];
  for (;;) {
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      r.error = fileErrorText(errno);
      r.bytes.clear();
      ::close(fd);
      return r;
    }
    if (n == 0) break;
    r.bytes.append(buf, static_cast<size_t>(n));
    if (r.bytes.size() > cap) {  // grew while being read
      ::close(fd);
      r.bytes.clear();
      r.status = FileRead::TooLarge;
      return r;
    }
  }
  ::close(fd);
  r.status = FileRead::Ok;
  return r;
}

bool writePrivateFile(const std::string& path, std::string_view bytes, std::string* error) {
  if (const int refused = refusedEntry(path)) {
    setError(error, refused);
    return false;
  }
  return replacePrivateFile(path, bytes, error);
}

bool replacePrivateFile(const std::string& path, std::string_view bytes, std::string* error) {
  struct stat st {};
  if (path.empty() || path.back() == '/' || (::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode))) {
    setError(error, EISDIR);
    return false;
  }
  // The new file beside the old one (same file system, so the rename is
  // atomic); mkstemp makes it 0600 and never opens an existing entry.
  std::string temp = folderOf(path) + "/." + fileBaseName(path) + ".XXXXXX";
  const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) {
    setError(error, errno);
    return false;
  }
  bool ok = ::fchmod(fd, kPrivateMode) == 0 && writeAll(fd, bytes) && ::fsync(fd) == 0;
  int code = ok ? 0 : errno;
  if (::close(fd) != 0 && ok) ok = false, code = errno;
  // rename() replaces the entry itself: a symlink put at `path` since the
  // check above is replaced, not followed.
  if (ok && ::rename(temp.c_str(), path.c_str()) != 0) ok = false, code = errno;
  if (!ok) {
    ::unlink(temp.c_str());
    setError(error, code);
    return false;
  }
  const int dir = ::open(folderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
  return true;
}

bool appendPrivateFile(const std::string& path, std::string_view bytes, char separator, std::string* error) {
  const int fd = ::open(path.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, kPrivateMode);
  if (fd < 0) {
    setError(error, errno);
    return false;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    setError(error, EINVAL);
    return false;
  }
  if ((st.st_mode & 07777) != kPrivateMode) ::fchmod(fd, kPrivateMode);
  std::string out;
  char last = separator;
  if (st.st_size > 0 && ::pread(fd, &last, 1, st.st_size - 1) != 1) last = separator;
  if (last != separator) out += separator;
  out.append(bytes);
  const bool ok = writeAll(fd, out);
  const int code = errno;
  ::close(fd);
  if (!ok) setError(error, code);
  return ok;
}

}  // namespace inkpost
