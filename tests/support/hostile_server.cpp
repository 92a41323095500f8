#include "support/hostile_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <fstream>

namespace inkpost::test {

HostileServer::HostileServer(Behaviour behaviour) : behaviour_(std::move(behaviour)) {
  listenFd_ = ::socket(AF_INET, SOCK_STREAM, 0);
  int one = 1;
  ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(listenFd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  ::listen(listenFd_, 64);
  socklen_t len = sizeof addr;
  ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&addr), &len);
  port_ = ntohs(addr.sin_port);
  acceptThread_ = std::thread([this] { acceptLoop(); });
}

HostileServer::~HostileServer() {
  stop_ = true;
  ::shutdown(listenFd_, SHUT_RDWR);
  ::close(listenFd_);
  acceptThread_.join();
  std::lock_guard<std::mutex> lock(mutex_);
  for (std::thread& t : workers_) t.join();
}

std::string HostileServer::url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + path;
}

void HostileServer::acceptLoop() {
  while (!stop_) {
    pollfd p{listenFd_, POLLIN, 0};
    if (::poll(&p, 1, 50) <= 0) continue;
    int fd = ::accept(listenFd_, nullptr, nullptr);
    if (fd < 0) continue;
    int index = connections_++;
    std::lock_guard<std::mutex> lock(mutex_);
    workers_.emplace_back([this, fd, index] { serve(fd, index); });
  }
}

void HostileServer::serve(int fd, int index) {
  Connection c;
  c.index = index;
  // The request's header block (the body, if any, is not read).
  char buf[4096];
  while (c.request.find("\r\n\r\n") == std::string::npos && !stop_) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 50) <= 0) continue;
    ssize_t n = ::recv(fd, buf, sizeof buf, 0);
    if (n <= 0) break;
    c.request.append(buf, static_cast<size_t>(n));
  }
  bool gone = false;
  c.send = [&](const std::string& bytes) {
    size_t sent = 0;
    while (!gone && !stop_ && sent < bytes.size()) {
      pollfd p{fd, POLLOUT, 0};
      if (::poll(&p, 1, 50) <= 0) continue;
      ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
      if (n <= 0)
        gone = true;
      else
        sent += static_cast<size_t>(n);
    }
    return !gone && !stop_;
  };
  c.pause = [&](int ms) {
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!stop_ && std::chrono::steady_clock::now() < until) {
      // A client that hung up shows as a readable socket with nothing to read.
      pollfd p{fd, POLLIN, 0};
      if (::poll(&p, 1, 10) > 0 && ::recv(fd, buf, sizeof buf, MSG_DONTWAIT) == 0) {
        gone = true;
        return false;
      }
    }
    return !stop_ && !gone;
  };
  if (!stop_) behaviour_(c);
  ::close(fd);
}

const std::string& fillerBlock() {
  static const std::string block(64 * 1024, 'x');
  return block;
}

long long peakResidentBytes() {
  std::ifstream in("/proc/self/status");
  std::string line;
  while (std::getline(in, line))
    if (line.rfind("VmHWM:", 0) == 0) return std::stoll(line.substr(6)) * 1024;
  return 0;
}

void resetPeakResident() {
  std::ofstream out("/proc/self/clear_refs");
  out << "5";
}

}  // namespace inkpost::test
