// A copy of inkpost-client (or any program) started for one test with a
// controlled environment: HOME, TMPDIR and the XDG folders are the test's,
// faults are reported on standard error, and Chromium's remote debugging
// port tells what the embedded pages show. Ended (SIGTERM, then SIGKILL)
// when the object goes away.
#pragma once

#include <sys/types.h>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace inkpost::test {

class StartedProgram {
 public:
  // `env`: variables to set (an empty value unsets the variable). HOME,
  // TMPDIR and the XDG_* folders are unset unless given here.
  StartedProgram(const std::string& exe, const std::map<std::string, std::string>& env,
                 const std::vector<std::string>& args = {});
  ~StartedProgram();
  StartedProgram(const StartedProgram&) = delete;
  StartedProgram& operator=(const StartedProgram&) = delete;

  pid_t pid() const { return pid_; }
  int debugPort() const { return debugPort_; }
  // The exit code once the program has ended within `ms`; nothing while it
  // still runs.
  std::optional<int> waitExit(int ms);
  // Standard error so far.
  std::string errorOutput() const;

  // {url, title} of each page the browser engine shows (empty when the
  // debugging port does not answer).
  std::vector<std::pair<std::string, std::string>> pages() const;
  // The X window id of a mapped top-level window of this display whose name
  // starts with `title`; 0 when there is none.
  static unsigned long viewableWindow(const std::string& title);

 private:
  pid_t pid_ = -1;
  int debugPort_ = 0;
  std::string errFile_;
  std::optional<int> exit_;
};

// A free TCP port on 127.0.0.1 (free when asked).
int freePort();
// Standard output of a shell command; `status` gets its exit status.
std::string shellOutput(const std::string& command, int* status = nullptr);
// Every path under `dir` (relative, sorted), folders included.
std::vector<std::string> treeOf(const std::string& dir);
// Permission bits of a path; -1 when it is missing.
int modeOf(const std::string& path);

}  // namespace inkpost::test
