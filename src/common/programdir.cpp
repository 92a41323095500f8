#include "common/programdir.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <vector>

#ifndef INKPOST_RESOURCES_FROM_BIN
#define INKPOST_RESOURCES_FROM_BIN "../share/inkpost-client"
#endif

namespace inkpost {
namespace {

constexpr const char* kDataFolderName = "inkpost-client";

std::string executableDir() {
  char buf[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return ".";
  std::string path(buf, static_cast<size_t>(n));
  auto slash = path.rfind('/');
  if (slash == 0) return "/";
  return slash == std::string::npos ? "." : path.substr(0, slash);
}

std::string trimmed(std::string dir) {
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  return dir;
}

// `base` + "/" + `relative`, with the leading "../" steps taken.
std::string joined(std::string base, std::string relative) {
  while (relative.rfind("../", 0) == 0) {
    const auto slash = base.rfind('/');
    if (slash == std::string::npos) break;
    base = slash == 0 ? "" : base.substr(0, slash);
    relative.erase(0, 3);
  }
  return base + "/" + relative;
}

bool exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

// HOME, or the password database's home when HOME is unset or empty; empty
// when neither names one (a shared folder such as /tmp is never a stand-in).
std::string homeFolder(const char* home) {
  if (home && *home) return home;
  long size = sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buf(size > 0 ? static_cast<size_t>(size) : 16384);
  passwd pw{};
  passwd* found = nullptr;
  if (getpwuid_r(getuid(), &pw, buf.data(), buf.size(), &found) == 0 && found && found->pw_dir &&
      found->pw_dir[0] == '/')
    return found->pw_dir;
  return {};
}

ProgramFolders& slot() {
  static ProgramFolders folders =
      decideProgramFolders(executableDir(), std::getenv("XDG_DATA_HOME"), std::getenv("HOME"));
  return folders;
}

}  // namespace

Ownership ownershipOf(const std::string& path, bool folder) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return Ownership::Missing;
  if (folder ? !S_ISDIR(st.st_mode) : !S_ISREG(st.st_mode)) return Ownership::WrongKind;
  return st.st_uid == geteuid() ? Ownership::Ours : Ownership::Foreign;
}

namespace {

// A folder of this user's, no link, closed to others (tightened when it is
// ours but open); made when missing.
bool privateFolderAt(const std::string& path) {
  if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return false;
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != geteuid()) return false;
  return (st.st_mode & 077) == 0 || ::chmod(path.c_str(), 0700) == 0;
}

}  // namespace

std::string privateSocketFolder() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime && runtime[0] == '/') {
    struct stat st {};
    if (::stat(runtime, &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == geteuid() && (st.st_mode & 077) == 0) {
      const std::string folder = trimmed(runtime) + "/" + kDataFolderName;
      if (privateFolderAt(folder)) return folder;
    }
  }
  const std::string folder = "/tmp/" + std::string(kDataFolderName) + "-" + std::to_string(geteuid());
  return privateFolderAt(folder) ? folder : std::string();
}

ProgramFolders decideProgramFolders(const std::string& exeDirIn, const char* xdgDataHome, const char* home) {
  const std::string exeDir = trimmed(exeDirIn);
  ProgramFolders f;
  if (access(exeDir.c_str(), W_OK) == 0 && exists(exeDir + "/data.mdb") &&
      ownershipOf(exeDir, true) == Ownership::Ours && ownershipOf(exeDir + "/data.mdb", false) == Ownership::Ours) {
    f.data = f.resources = exeDir;
    f.portable = true;
    return f;
  }
  f.resources = exists(exeDir + "/editor/index.html") ? exeDir : joined(exeDir, INKPOST_RESOURCES_FROM_BIN);
  std::string base;
  if (xdgDataHome && xdgDataHome[0] == '/') {
    base = trimmed(xdgDataHome);
  } else {
    const std::string homeDir = homeFolder(home);
    if (homeDir.empty()) return f;  // no data folder: start-up refuses to go on
    base = trimmed(homeDir) + "/.local/share";
  }
  f.data = (base == "/" ? "" : base) + "/" + kDataFolderName;
  return f;
}

const ProgramFolders& programFolders() { return slot(); }

const std::string& programDir() { return slot().data; }
const std::string& resourceDir() { return slot().resources; }

void setProgramDir(std::string dir) {
  dir = trimmed(std::move(dir));
  slot().data = dir;
  slot().resources = dir;
  slot().portable = true;
}

void setResourceDir(std::string dir) { slot().resources = trimmed(std::move(dir)); }

std::string programPath(const std::string& relative) { return programDir() + "/" + relative; }
std::string resourcePath(const std::string& relative) { return resourceDir() + "/" + relative; }

}  // namespace inkpost
