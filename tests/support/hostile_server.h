// A hostile HTTP server on 127.0.0.1 for tests: each connection is handed to
// a behaviour that writes whatever it likes, as slowly or as long as it
// likes, until the client goes away or the server stops.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace inkpost::test {

class HostileServer {
 public:
  // What one connection gets. `send` writes bytes and returns false once the
  // client has gone (or the server stops); `pause` sleeps and returns false
  // when the server stops. `request` is the raw request header block.
  struct Connection {
    std::function<bool(const std::string& bytes)> send;
    std::function<bool(int ms)> pause;
    std::string request;
    int index;  // 0 for the first connection
  };
  using Behaviour = std::function<void(Connection&)>;

  explicit HostileServer(Behaviour behaviour);
  ~HostileServer();
  HostileServer(const HostileServer&) = delete;
  HostileServer& operator=(const HostileServer&) = delete;

  int port() const { return port_; }
  std::string url(const std::string& path = "/") const;
  int connections() const { return connections_.load(); }

 private:
  void acceptLoop();
  void serve(int fd, int index);

  Behaviour behaviour_;
  int listenFd_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<int> connections_{0};
  std::thread acceptThread_;
  std::mutex mutex_;
  std::vector<std::thread> workers_;
};

// The bytes of a 64 KiB block of filler.
const std::string& fillerBlock();

// The peak resident memory of this process since the last reset, in bytes,
// and the reset (Linux: /proc/self/status VmHWM, /proc/self/clear_refs).
long long peakResidentBytes();
void resetPeakResident();

}  // namespace inkpost::test
