#include "support/capture_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <stdexcept>

namespace inkpost::test {
namespace {

constexpr int kPollMs = 20;

std::string lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// Content-Length of a header block, 0 when absent.
size_t contentLength(const std::string& head) {
  std::string low = lower(head);
  size_t pos = 0;
  while ((pos = low.find("\r\ncontent-length:", pos)) != std::string::npos) {
    pos += 17;
    while (pos < low.size() && (low[pos] == ' ' || low[pos] == '\t')) ++pos;
    return static_cast<size_t>(std::strtoull(low.c_str() + pos, nullptr, 10));
  }
  return 0;
}

}  // namespace

CaptureServer::CaptureServer(std::string cannedResponse) : response_(std::move(cannedResponse)) {
  listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listenFd_ < 0) throw std::runtime_error("capture server: socket failed");
  int one = 1;
  ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = 0;
  if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(listenFd_, 128) != 0) {
    ::close(listenFd_);
    throw std::runtime_error("capture server: bind/listen failed");
  }
  socklen_t len = sizeof addr;
  ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&addr), &len);
  port_ = ntohs(addr.sin_port);
  acceptThread_ = std::thread([this] { acceptLoop(); });
}

CaptureServer::~CaptureServer() {
  {
    // Under the lock, so a worker about to pause cannot miss the wake-up.
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  cv_.notify_all();
  if (acceptThread_.joinable()) acceptThread_.join();
  std::vector<Worker> workers;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    workers.swap(workers_);
  }
  for (auto& w : workers) w.thread.join();
  ::close(listenFd_);
}

std::string CaptureServer::url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + path;
}

void CaptureServer::setResponse(std::string bytes) {
  std::lock_guard<std::mutex> lock(mutex_);
  response_ = std::move(bytes);
  responder_ = nullptr;
}

void CaptureServer::setResponder(std::function<std::string(const std::string&)> f) {
  std::lock_guard<std::mutex> lock(mutex_);
  responder_ = std::move(f);
}

void CaptureServer::setStallMs(int ms) {
  std::lock_guard<std::mutex> lock(mutex_);
  stallMs_ = ms;
}

void CaptureServer::setMidStall(size_t afterBytes, int ms) {
  std::lock_guard<std::mutex> lock(mutex_);
  midStallAfter_ = afterBytes;
  midStallMs_ = ms;
}

void CaptureServer::setTrickle(size_t chunkBytes, int msBetween) {
  std::lock_guard<std::mutex> lock(mutex_);
  trickleBytes_ = chunkBytes;
  trickleMs_ = msBetween;
}

std::vector<std::string> CaptureServer::requests() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return requests_;
}

std::string CaptureServer::lastRequest() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return requests_.empty() ? std::string() : requests_.back();
}

bool CaptureServer::waitForRequests(size_t n, int timeoutMs) const {
  std::unique_lock<std::mutex> lock(mutex_);
  return cv_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return requests_.size() >= n; });
}

void CaptureServer::pause(int ms) {
  if (ms <= 0) return;
  std::unique_lock<std::mutex> lock(mutex_);
  cv_.wait_for(lock, std::chrono::milliseconds(ms), [&] { return stop_.load(); });
}

void CaptureServer::acceptLoop() {
  while (!stop_) {
    pollfd p{listenFd_, POLLIN, 0};
    if (::poll(&p, 1, kPollMs) <= 0) continue;
    int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    ++connections_;
    std::lock_guard<std::mutex> lock(mutex_);
    // Join the workers that have finished, so long runs do not pile up threads.
    for (auto it = workers_.begin(); it != workers_.end();) {
      if (it->done->load()) {
        it->thread.join();
        it = workers_.erase(it);
      } else {
        ++it;
      }
    }
    auto done = std::make_shared<std::atomic<bool>>(false);
    workers_.push_back({std::thread([this, fd, done] {
                          serve(fd);
                          *done = true;
                        }),
                        done});
  }
}

void CaptureServer::serve(int fd) {
  std::string data;
  size_t need = std::string::npos;  // total request size once the head is complete
  char buf[65536];
  bool complete = false;
  while (!stop_) {
    pollfd p{fd, POLLIN, 0};
    int pr = ::poll(&p, 1, kPollMs);
    if (pr < 0) break;
    if (pr == 0) continue;
    ssize_t n = ::recv(fd, buf, sizeof buf, 0);
    if (n <= 0) break;
    data.append(buf, static_cast<size_t>(n));
    if (need == std::string::npos) {
      size_t end = data.find("\r\n\r\n");
      if (end != std::string::npos) need = end + 4 + contentLength(data.substr(0, end + 2));
    }
    if (need != std::string::npos && data.size() >= need) {
      complete = true;
      break;
    }
  }
  if (!data.empty()) {
    std::lock_guard<std::mutex> lock(mutex_);
    requests_.push_back(data);
  }
  cv_.notify_all();
  if (complete && !stop_) {
    std::string answer;
    int stall, midMs, trickleMs;
    size_t midAfter, trickleBytes;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stall = stallMs_;
      midAfter = midStallAfter_;
      midMs = midStallMs_;
      trickleBytes = trickleBytes_;
      trickleMs = trickleMs_;
    }
    // The responder runs without the lock so it may call back into the server.
    std::function<std::string(const std::string&)> responder;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      responder = responder_;
      answer = response_;
    }
    if (responder) answer = responder(data);
    pause(stall);
    size_t sent = 0;
    auto sendUpTo = [&](size_t end) {
      while (sent < end && !stop_) {
        ssize_t n = ::send(fd, answer.data() + sent, end - sent, MSG_NOSIGNAL);
        if (n <= 0) return false;
        sent += static_cast<size_t>(n);
      }
      return sent == end;
    };
    bool ok = true;
    if (midMs > 0 && midAfter < answer.size()) {
      ok = sendUpTo(midAfter);  // a trickle starts after this first part
      if (ok) pause(midMs);
    }
    while (ok && trickleBytes > 0 && sent < answer.size() && !stop_) {
      ok = sendUpTo(std::min(answer.size(), sent + trickleBytes));
      if (ok && sent < answer.size()) pause(trickleMs);
    }
    if (ok) sendUpTo(answer.size());
    ::shutdown(fd, SHUT_WR);
    // Let the client read everything before the socket goes away.
    for (int i = 0; i < 50 && !stop_; ++i) {
      pollfd p{fd, POLLIN, 0};
      if (::poll(&p, 1, kPollMs) > 0 && ::recv(fd, buf, sizeof buf, 0) <= 0) break;
    }
  }
  ::close(fd);
}

std::string requestBody(const std::string& rawRequest) {
  size_t end = rawRequest.find("\r\n\r\n");
  return end == std::string::npos ? std::string() : rawRequest.substr(end + 4);
}

std::vector<std::string> requestHeaderLines(const std::string& rawRequest) {
  std::vector<std::string> lines;
  size_t end = rawRequest.find("\r\n\r\n");
  std::string head = rawRequest.substr(0, end);
  size_t pos = 0;
  while (pos <= head.size()) {
    size_t eol = head.find("\r\n", pos);
    if (eol == std::string::npos) eol = head.size();
    if (eol > pos) lines.push_back(head.substr(pos, eol - pos));
    pos = eol + 2;
  }
  return lines;
}

std::string okResponse(const std::string& body, const std::string& extraHeaders) {
  return "HTTP/1.1 200 OK\r\n" + extraHeaders + "Content-Length: " + std::to_string(body.size()) +
         "\r\nConnection: close\r\n\r\n" + body;
}

int closedPort() {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  socklen_t len = sizeof addr;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  ::close(fd);
  return ntohs(addr.sin_port);
}

}  // namespace inkpost::test
