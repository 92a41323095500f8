#include "support/program.h"

#include "support/tempdir.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <thread>

extern char** environ;

namespace inkpost::test {
namespace {

bool ownedByTest(const std::string& name) {
  static const char* const kNames[] = {"HOME",           "TMPDIR",         "XDG_DATA_HOME",  "XDG_CONFIG_HOME",
                                       "XDG_CACHE_HOME", "XDG_STATE_HOME", "XDG_RUNTIME_DIR"};
  return std::any_of(std::begin(kNames), std::end(kNames), [&](const char* n) { return name == n; });
}

// The JSON string value after `"key": "` starting at `from`; empty when none.
std::string jsonString(const std::string& text, const std::string& key, size_t from, size_t to) {
  const std::string open = "\"" + key + "\": \"";
  size_t p = text.find(open, from);
  if (p == std::string::npos || p >= to) return {};
  p += open.size();
  std::string out;
  for (; p < text.size() && text[p] != '"'; ++p) {
    if (text[p] == '\\' && p + 1 < text.size()) ++p;
    out += text[p];
  }
  return out;
}

}  // namespace

StartedProgram::StartedProgram(const std::string& exe, const std::map<std::string, std::string>& env,
                               const std::vector<std::string>& args) {
  debugPort_ = freePort();
  char tmpl[] = "/tmp/inkpost-program-stderr-XXXXXX";
  int fd = mkstemp(tmpl);
  errFile_ = tmpl;
  std::vector<std::string> vars;
  for (char** e = environ; *e; ++e) {
    const std::string kv = *e;
    const std::string name = kv.substr(0, kv.find('='));
    if (ownedByTest(name) || env.count(name)) continue;
    vars.push_back(kv);
  }
  std::map<std::string, std::string> all = {
      {"INKPOST_FAULT_REPORT", "stderr"},
      {"QTWEBENGINE_DISABLE_SANDBOX", "1"},
      {"QTWEBENGINE_REMOTE_DEBUGGING", "127.0.0.1:" + std::to_string(debugPort_)},
  };
  for (const auto& [k, v] : env) all[k] = v;
  for (const auto& [k, v] : all)
    if (!v.empty()) vars.push_back(k + "=" + v);
  std::vector<std::string> argv = {exe};
  argv.insert(argv.end(), args.begin(), args.end());

  pid_ = fork();
  if (pid_ == 0) {
    dup2(fd, 2);
    int devnull = open("/dev/null", O_RDWR);
    dup2(devnull, 0);
    dup2(devnull, 1);
    setpgid(0, 0);  // its own group: the browser engine's helpers end with it
    std::vector<char*> cargv, cenv;
    for (auto& a : argv) cargv.push_back(a.data());
    cargv.push_back(nullptr);
    for (auto& v : vars) cenv.push_back(v.data());
    cenv.push_back(nullptr);
    execve(exe.c_str(), cargv.data(), cenv.data());
    _exit(127);
  }
  close(fd);
}

StartedProgram::~StartedProgram() {
  if (pid_ > 0 && !exit_) {
    kill(-pid_, SIGTERM);
    if (!waitExit(10000)) {
      kill(-pid_, SIGKILL);
      waitExit(10000);
    }
  }
  // Helpers of the group that outlived the program.
  if (pid_ > 0) kill(-pid_, SIGKILL);
  std::remove(errFile_.c_str());
}

std::optional<int> StartedProgram::waitExit(int ms) {
  if (exit_) return exit_;
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  for (;;) {
    int status = 0;
    pid_t r = waitpid(pid_, &status, WNOHANG);
    if (r == pid_) {
      exit_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      return exit_;
    }
    if (r < 0 || std::chrono::steady_clock::now() >= end) return std::nullopt;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

std::string StartedProgram::errorOutput() const { return readFile(errFile_); }

std::vector<std::pair<std::string, std::string>> StartedProgram::pages() const {
  std::vector<std::pair<std::string, std::string>> out;
  int s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(debugPort_));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  timeval tv{5, 0};
  setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  if (connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    close(s);
    return out;
  }
  const std::string req = "GET /json/list HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
  if (send(s, req.data(), req.size(), MSG_NOSIGNAL) < 0) {
    close(s);
    return out;
  }
  // Read up to the end of the body (the server may keep the connection).
  std::string text;
  char buf[4096];
  for (ssize_t n; (n = recv(s, buf, sizeof buf, 0)) > 0;) {
    text.append(buf, static_cast<size_t>(n));
    const size_t head = text.find("\r\n\r\n");
    if (head == std::string::npos) continue;
    const size_t cl = text.find("Content-Length:");
    if (cl != std::string::npos && cl < head &&
        text.size() - head - 4 >= std::strtoul(text.c_str() + cl + 15, nullptr, 10))
      break;
  }
  close(s);
  // One object per page: {... "title": "...", "type": "page", "url": "..." }
  for (size_t start = text.find('{'); start != std::string::npos; start = text.find('{', start + 1)) {
    const size_t end = text.find('}', start);
    if (end == std::string::npos) break;
    out.emplace_back(jsonString(text, "url", start, end), jsonString(text, "title", start, end));
    start = end;
  }
  return out;
}

unsigned long StartedProgram::viewableWindow(const std::string& title) {
  // xwininfo lists each window as: 0x600007 "title": ("class" "Class")  880x680+0+0  +0+0
  const std::string tree = shellOutput("xwininfo -root -tree 2>/dev/null");
  size_t pos = 0;
  while ((pos = tree.find("\"" + title, pos)) != std::string::npos) {
    const size_t lineStart = tree.rfind('\n', pos) + 1;
    const unsigned long id = std::strtoul(tree.c_str() + lineStart, nullptr, 16);
    const std::string info = shellOutput("xwininfo -id " + std::to_string(id) + " 2>/dev/null");
    if (id && info.find("Map State: IsViewable") != std::string::npos) return id;
    pos += title.size();
  }
  return 0;
}

int freePort() {
  int s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
  socklen_t len = sizeof a;
  getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
  close(s);
  return ntohs(a.sin_port);
}

std::string shellOutput(const std::string& command, int* status) {
  std::string out;
  FILE* p = popen(command.c_str(), "r");
  if (!p) return out;
  char buf[4096];
  for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
  int rc = pclose(p);
  if (status) *status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
  return out;
}

std::vector<std::string> treeOf(const std::string& dir) {
  std::vector<std::string> out;
  std::function<void(const std::string&)> walk = [&](const std::string& rel) {
    DIR* d = opendir((dir + rel).c_str());
    if (!d) return;
    while (dirent* e = readdir(d)) {
      if (!std::strcmp(e->d_name, ".") || !std::strcmp(e->d_name, "..")) continue;
      const std::string child = rel + "/" + e->d_name;
      out.push_back(child.substr(1));
      struct stat st {};
      if (lstat((dir + child).c_str(), &st) == 0 && S_ISDIR(st.st_mode)) walk(child);
    }
    closedir(d);
  };
  walk("");
  std::sort(out.begin(), out.end());
  return out;
}

int modeOf(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 ? static_cast<int>(st.st_mode & 07777) : -1;
}

}  // namespace inkpost::test
