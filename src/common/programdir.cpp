#include "common/programdir.h"

#include <pwd.h>
#include <unistd.h>

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

// HOME, or the password database's home when HOME is unset or empty.
std::string homeFolder(const char* home) {
  if (home && *home) return home;
  long size = sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buf(size > 0 ? static_cast<size_t>(size) : 16384);
  passwd pw{};
  passwd* found = nullptr;
  if (getpwuid_r(getuid(), &pw, buf.data(), buf.size(), &found) == 0 && found && found->pw_dir) return found->pw_dir;
  return "/tmp";
}

ProgramFolders& slot() {
  static ProgramFolders folders =
      decideProgramFolders(executableDir(), std::getenv("XDG_DATA_HOME"), std::getenv("HOME"));
  return folders;
}

}  // namespace

ProgramFolders decideProgramFolders(const std::string& exeDirIn, const char* xdgDataHome, const char* home) {
  const std::string exeDir = trimmed(exeDirIn);
  ProgramFolders f;
  if (access(exeDir.c_str(), W_OK) == 0 && exists(exeDir + "/data.mdb")) {
    f.data = f.resources = exeDir;
    f.portable = true;
    return f;
  }
  const std::string base =
      (xdgDataHome && xdgDataHome[0] == '/') ? trimmed(xdgDataHome) : trimmed(homeFolder(home)) + "/.local/share";
  f.data = (base == "/" ? "" : base) + "/" + kDataFolderName;
  f.resources = exists(exeDir + "/editor/index.html") ? exeDir : joined(exeDir, INKPOST_RESOURCES_FROM_BIN);
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
