// The sandbox blog (inkpost-sandbox) started for one test: a real server on
// 127.0.0.1 with its own data folder, stopped (SIGTERM, then waited for) when
// the fixture goes away. Inspection pages are listed in sandbox/blog.h.
// With Options::sites N the server holds N blogs (sandbox/sites.h): blog k
// (1..N) is at blogUrl(k), its password is the given one followed by k, and
// the calls below that take k read its own inspection pages (k 0: the blog
// of a server without sites).
#pragma once

#include "support/tempdir.h"

#include <sys/types.h>
#include <string>
#include <vector>

namespace inkpost::test {

class Sandbox {
 public:
  struct Options {
    std::string user = "admin", password = "secret", base = "/";
    std::vector<std::string> extraArgs;  // e.g. {"--captcha", "fixed:12345"}
    int sites = 0;                       // --sites N; 0: one blog at the base path
    std::vector<std::string> failSites;  // --fail-site values, e.g. {"2", "5:drop"}
  };

  Sandbox();
  explicit Sandbox(Options o);
  ~Sandbox();  // SIGTERM + wait
  Sandbox(const Sandbox&) = delete;
  Sandbox& operator=(const Sandbox&) = delete;

  int port() const { return port_; }
  // http://127.0.0.1:PORT/base (ends with "/"); https:// for a sandbox
  // started with --tls (the inspection requests then go over TLS too).
  std::string siteUrl() const;
  // Blog k's address (siteUrl() + "k/"), its path ("/base/k/") and its
  // password; k 0 gives the single blog's.
  std::string blogUrl(int k) const;
  std::string blogPath(int k) const;
  std::string password(int k) const;
  std::string dataDir() const { return dir_.path() + "/data"; }

  // Body of a plain GET (HTTP/1.0, Connection: close). A path without a
  // leading "/" is taken relative to the base path: get("_sandbox/articles").
  // `cookie`, when given, is sent as the Cookie line. Empty when the server
  // cannot be reached.
  std::string get(const std::string& path, const std::string& cookie = {}) const;
  // Status line and headers of the same request go to *headers.
  std::string get(const std::string& path, const std::string& cookie, std::string* headers) const;

  // A POST with `body` sent as is under `contentType`; otherwise like get().
  std::string post(const std::string& path, const std::string& body, const std::string& cookie = {},
                   const std::string& contentType = "application/x-www-form-urlencoded",
                   std::string* headers = nullptr) const;

  // Conveniences over the inspection pages.
  int articleCount(int k = 0) const;
  std::string articleField(int n, const std::string& field) const;  // n from 1
  std::string articleField(int k, int n, const std::string& field) const;
  // Turns blog k's failure on ("refuse", "drop") or off ("off") while the
  // server runs. True when the server took it.
  bool setFailure(int k, const std::string& mode) const;
  std::string requestLog() const;  // one line a request
  // A request is logged just after its answer went out: waits until `text`
  // occurs `count` times in the log (at most timeoutMs). True when it did.
  bool waitForLog(const std::string& text, size_t count, int timeoutMs = 2000) const;

  bool running() const { return pid_ > 0; }
  void stop();

 private:
  std::string exchange(const std::string& method, const std::string& path, const std::string& body,
                       const std::string& cookie, const std::string& contentType, std::string* headers) const;

  Options opt_;
  TempDir dir_;
  pid_t pid_ = -1;
  int port_ = 0;
  bool secure_ = false;
};

}  // namespace inkpost::test
