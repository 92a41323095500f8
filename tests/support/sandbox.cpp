#include "support/sandbox.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <thread>

namespace inkpost::test {
namespace {

// Reads the sandbox's first stdout line, waiting at most `ms`.
std::string readFirstLine(int fd, int ms) {
  std::string line;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (line.find('\n') == std::string::npos) {
    int left = static_cast<int>(
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count());
    if (left <= 0) break;
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, left) <= 0) break;
    char buf[256];
    ssize_t n = read(fd, buf, sizeof buf);
    if (n <= 0) break;
    line.append(buf, static_cast<size_t>(n));
  }
  return line.substr(0, line.find('\n'));
}

}  // namespace

Sandbox::Sandbox() : Sandbox(Options{}) {}

Sandbox::Sandbox(Options o) : opt_(std::move(o)) {
  if (opt_.base.empty() || opt_.base.front() != '/') opt_.base = "/" + opt_.base;
  if (opt_.base.back() != '/') opt_.base += '/';
  std::vector<std::string> args = {INKPOST_SANDBOX_EXE,
                                   "--port",
                                   "0",
                                   "--data",
                                   dataDir(),
                                   "--user",
                                   opt_.user,
                                   "--password",
                                   opt_.password,
                                   "--base",
                                   opt_.base,
                                   "--log",
                                   dir_.file("sandbox.log")};
  if (opt_.sites > 0) args.insert(args.end(), {"--sites", std::to_string(opt_.sites)});
  for (const auto& f : opt_.failSites) args.insert(args.end(), {"--fail-site", f});
  args.insert(args.end(), opt_.extraArgs.begin(), opt_.extraArgs.end());
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);

  int out[2];
  if (pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  pid_ = fork();
  if (pid_ < 0) throw std::runtime_error("fork failed");
  if (pid_ == 0) {
    dup2(out[1], STDOUT_FILENO);
    // The sandbox stays quiet on the test's own output unless it fails.
    execv(argv[0], argv.data());
    const char msg[] = "cannot start inkpost-sandbox\n";
    ssize_t ignored = write(STDERR_FILENO, msg, sizeof msg - 1);
    (void)ignored;
    _exit(127);
  }
  close(out[1]);
  std::string line = readFirstLine(out[0], 10000);
  close(out[0]);
  const std::string prefix = "listening on http://127.0.0.1:";
  const std::string securePrefix = "listening on https://127.0.0.1:";
  secure_ = line.rfind(securePrefix, 0) == 0;
  if (line.rfind(prefix, 0) != 0 && !secure_) {
    stop();
    throw std::runtime_error("sandbox did not start: " + line);
  }
  port_ = std::atoi(line.c_str() + (secure_ ? securePrefix : prefix).size());
}

Sandbox::~Sandbox() { stop(); }

void Sandbox::stop() {
  if (pid_ <= 0) return;
  kill(pid_, SIGTERM);
  int status = 0;
  for (int i = 0; i < 500; ++i) {  // up to 5 s, then kill outright
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  kill(pid_, SIGKILL);
  waitpid(pid_, &status, 0);
  pid_ = -1;
}

std::string Sandbox::siteUrl() const {
  return (secure_ ? "https://127.0.0.1:" : "http://127.0.0.1:") + std::to_string(port_) + opt_.base;
}

std::string Sandbox::blogUrl(int k) const { return "http://127.0.0.1:" + std::to_string(port_) + blogPath(k); }

std::string Sandbox::blogPath(int k) const { return k <= 0 ? opt_.base : opt_.base + std::to_string(k) + "/"; }

std::string Sandbox::password(int k) const { return k <= 0 ? opt_.password : opt_.password + std::to_string(k); }

std::string Sandbox::get(const std::string& path, const std::string& cookie) const {
  return get(path, cookie, nullptr);
}

std::string Sandbox::get(const std::string& path, const std::string& cookie, std::string* headers) const {
  return exchange("GET", path, {}, cookie, {}, headers);
}

std::string Sandbox::post(const std::string& path, const std::string& body, const std::string& cookie,
                          const std::string& contentType, std::string* headers) const {
  return exchange("POST", path, body, cookie, contentType, headers);
}

std::string Sandbox::exchange(const std::string& method, const std::string& path, const std::string& body,
                              const std::string& cookie, const std::string& contentType, std::string* headers) const {
  if (headers) headers->clear();
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return {};
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(port_));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    close(fd);
    return {};
  }
  std::string target = !path.empty() && path[0] == '/' ? path : opt_.base + path;
  std::string req =
      method + " " + target + " HTTP/1.0\r\nHost: 127.0.0.1:" + std::to_string(port_) + "\r\nConnection: close\r\n";
  if (!cookie.empty()) req += "Cookie: " + cookie + "\r\n";
  if (method == "POST")
    req += "Content-Type: " + contentType + "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n";
  req += "\r\n" + body;
  // A secure sandbox is inspected over TLS too (its certificate is the
  // test's own business: not checked here).
  std::unique_ptr<SSL_CTX, decltype(&SSL_CTX_free)> ctx(secure_ ? SSL_CTX_new(TLS_client_method()) : nullptr,
                                                        SSL_CTX_free);
  std::unique_ptr<SSL, decltype(&SSL_free)> tls(ctx ? SSL_new(ctx.get()) : nullptr, SSL_free);
  if (secure_ && (!tls || !SSL_set_fd(tls.get(), fd) || SSL_connect(tls.get()) != 1)) {
    close(fd);
    return {};
  }
  for (size_t sent = 0; sent < req.size();) {
    const ssize_t n = tls ? SSL_write(tls.get(), req.data() + sent, static_cast<int>(req.size() - sent))
                          : send(fd, req.data() + sent, req.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) break;
    sent += static_cast<size_t>(n);
  }
  std::string answer;
  char buf[8192];
  for (;;) {
    if (!tls || SSL_pending(tls.get()) == 0) {
      pollfd p{fd, POLLIN, 0};
      if (poll(&p, 1, 10000) <= 0) break;
    }
    const ssize_t n = tls ? SSL_read(tls.get(), buf, sizeof buf) : recv(fd, buf, sizeof buf, 0);
    if (n <= 0) break;
    answer.append(buf, static_cast<size_t>(n));
  }
  tls.reset();
  close(fd);
  size_t split = answer.find("\r\n\r\n");
  if (split == std::string::npos) return {};
  if (headers) *headers = answer.substr(0, split + 2);
  return answer.substr(split + 4);
}

int Sandbox::articleCount(int k) const { return std::atoi(get(blogPath(k) + "_sandbox/articles/count").c_str()); }

std::string Sandbox::articleField(int n, const std::string& field) const { return articleField(0, n, field); }

std::string Sandbox::articleField(int k, int n, const std::string& field) const {
  std::string headers;
  std::string body = get(blogPath(k) + "_sandbox/articles/" + std::to_string(n) + "/" + field, {}, &headers);
  return headers.find(" 200 ") != std::string::npos ? body : std::string();
}

bool Sandbox::setFailure(int k, const std::string& mode) const {
  return get("_sandbox/fail?site=" + std::to_string(k <= 0 ? 1 : k) + "&mode=" + mode) == "ok";
}

std::string Sandbox::requestLog() const { return readFile(dir_.file("sandbox.log")); }

}  // namespace inkpost::test

namespace inkpost::test {

bool Sandbox::waitForLog(const std::string& text, size_t count, int timeoutMs) const {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    const std::string log = requestLog();
    size_t n = 0;
    for (size_t p = log.find(text); p != std::string::npos; p = log.find(text, p + 1)) ++n;
    if (n >= count) return n == count;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

}  // namespace inkpost::test
