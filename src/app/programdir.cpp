#include "app/programdir.h"

#include <unistd.h>

#include <climits>

namespace inkpost {
namespace {

std::string executableDir() {
  char buf[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return ".";
  std::string path(buf, static_cast<size_t>(n));
  auto slash = path.rfind('/');
  return slash == std::string::npos ? "." : path.substr(0, slash);
}

std::string& dirSlot() {
  static std::string dir = executableDir();
  return dir;
}

}  // namespace

const std::string& programDir() { return dirSlot(); }

void setProgramDir(std::string dir) {
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  dirSlot() = std::move(dir);
}

std::string programPath(const std::string& relative) { return programDir() + "/" + relative; }

}  // namespace inkpost
