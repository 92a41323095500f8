#include "shell/openinbrowser.h"

#include "net/asciitext.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <sys/stat.h>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>

extern char** environ;

namespace inkpost {
namespace {

struct BrowserState {
  std::vector<std::string> command;
  CommandRunner runner = runCommand;
};

BrowserState& browser() {
  static BrowserState s;
  return s;
}

std::vector<std::string> splitColon(const std::string& s) {
  std::vector<std::string> out;
  std::stringstream in(s);
  std::string part;
  while (std::getline(in, part, ':'))
    if (!part.empty()) out.push_back(part);
  return out;
}

bool isFile(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::vector<char*> cArgv(std::vector<std::string>& args) {
  std::vector<char*> out;
  for (auto& a : args) out.push_back(a.data());
  out.push_back(nullptr);
  return out;
}

}  // namespace

std::string runCommand(const std::vector<std::string>& argv) {
  if (argv.empty()) return {};
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return {};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  std::vector<std::string> args = argv;
  std::vector<char*> cargs = cArgv(args);
  pid_t pid = 0;
  int rc = posix_spawnp(&pid, cargs[0], &actions, nullptr, cargs.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(fds[1]);
  std::string out;
  if (rc == 0) {
    char buf[4096];
    ssize_t n;
    while ((n = read(fds[0], buf, sizeof buf)) > 0 || (n < 0 && errno == EINTR))
      if (n > 0) out.append(buf, static_cast<size_t>(n));
  }
  close(fds[0]);
  if (rc != 0) return {};
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return {};
  return out;
}

std::vector<std::string> desktopExec(const std::string& text) {
  std::istringstream in(text);
  std::string line, exec;
  bool inEntry = false;
  while (std::getline(in, line)) {
    line = trimBlanks(line);
    if (line.empty() || line[0] == '#') continue;
    if (line[0] == '[') {
      inEntry = line == "[Desktop Entry]";
      continue;
    }
    if (!inEntry || line.compare(0, 4, "Exec") != 0) continue;
    std::string rest = trimBlanks(line.substr(4));
    if (rest.empty() || rest[0] != '=') continue;  // Exec[xx]= or ExecFoo=
    exec = trimBlanks(rest.substr(1));
    break;
  }
  std::vector<std::string> args;
  std::string cur;
  bool have = false, quoted = false;
  for (size_t i = 0; i < exec.size(); ++i) {
    char c = exec[i];
    if (quoted) {
      if (c == '"')
        quoted = false;
      else if (c == '\\' && i + 1 < exec.size())
        cur += exec[++i];
      else
        cur += c;
    } else if (c == '"') {
      quoted = have = true;
    } else if (c == ' ' || c == '\t') {
      if (have) args.push_back(cur);
      cur.clear();
      have = false;
    } else if (c == '%' && i + 1 < exec.size() && exec[i + 1] == '%') {
      cur += '%';
      ++i;
      have = true;
    } else {
      cur += c;
      have = true;
    }
  }
  if (have) args.push_back(cur);
  return args;
}

std::string findDesktopFile(const std::string& id) {
  if (id.empty() || id.find('/') != std::string::npos) return {};
  std::vector<std::string> dirs;
  const char* home = std::getenv("HOME");
  const char* dataHome = std::getenv("XDG_DATA_HOME");
  if (dataHome && *dataHome)
    dirs.push_back(dataHome);
  else if (home && *home)
    dirs.push_back(std::string(home) + "/.local/share");
  const char* dataDirs = std::getenv("XDG_DATA_DIRS");
  for (const std::string& d : splitColon(dataDirs && *dataDirs ? dataDirs : "/usr/local/share:/usr/share"))
    dirs.push_back(d);
  for (const std::string& d : dirs) {
    std::string base = d + "/applications/";
    if (isFile(base + id)) return base + id;
    // "vendor-app.desktop" may live at vendor/app.desktop
    std::string sub = id;
    for (size_t p = sub.find('-'); p != std::string::npos; p = sub.find('-', p + 1)) {
      std::string candidate = sub;
      candidate[p] = '/';
      if (isFile(base + candidate)) return base + candidate;
    }
  }
  return {};
}

std::vector<std::string> lookUpBrowserCommand(const CommandRunner& run) {
  const std::vector<std::vector<std::string>> queries = {
      {"xdg-settings", "get", "default-web-browser"},
      {"xdg-mime", "query", "default", "x-scheme-handler/http"},
  };
  for (const auto& q : queries) {
    std::string id = trimBlanks(run(q));
    if (id.empty()) continue;
    std::string path = findDesktopFile(id);
    if (path.empty()) continue;
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    std::vector<std::string> cmd = desktopExec(text.str());
    if (!cmd.empty()) return cmd;
  }
  return {};
}

std::vector<std::string> browserCommandFor(const std::vector<std::string>& command, const std::string& address) {
  std::vector<std::string> out;
  bool placed = false;
  for (const std::string& arg : command) {
    if (arg == "%u" || arg == "%U" || arg == "%f" || arg == "%F") {
      if (!placed) out.push_back(address);
      placed = true;
      continue;
    }
    if (arg.size() == 2 && arg[0] == '%') continue;  // %i %c %k and friends
    out.push_back(arg);
  }
  if (!placed) out.push_back(address);
  return out;
}

const std::vector<std::string>& cachedBrowserCommand() { return browser().command; }

void resetBrowserCommand(CommandRunner runner) {
  browser().command.clear();
  browser().runner = std::move(runner);
}

bool startDetached(const std::vector<std::string>& argv) {
  if (argv.empty()) return false;
  // A short-lived shell puts the program in the background and exits, so the
  // program is never our child and needs no reaping.
  std::vector<std::string> args = {"/bin/sh", "-c", "\"$@\" </dev/null >/dev/null 2>&1 &", "sh"};
  args.insert(args.end(), argv.begin(), argv.end());
  std::vector<char*> cargs = cArgv(args);
  pid_t pid = 0;
  if (posix_spawn(&pid, "/bin/sh", nullptr, nullptr, cargs.data(), environ) != 0) return false;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void OpenInBrowser(const std::string& address) {
  BrowserState& s = browser();
  if (s.command.empty()) s.command = lookUpBrowserCommand(s.runner);
  if (s.command.empty()) return;
  startDetached(browserCommandFor(s.command, address));
}

}  // namespace inkpost
