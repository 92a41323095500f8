// A raw HTTP server on 127.0.0.1 for tests: it records the exact bytes of
// every request it receives (the header block, then Content-Length bytes of
// body) and answers each one with canned bytes, then closes the connection.
// Each connection is served on its own thread, so a stalled answer does not
// hold up the next request.
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace inkpost::test {

class CaptureServer {
 public:
  explicit CaptureServer(
      std::string cannedResponse = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\nConnection: close\r\n\r\nok");
  ~CaptureServer();
  CaptureServer(const CaptureServer&) = delete;
  CaptureServer& operator=(const CaptureServer&) = delete;

  int port() const { return port_; }
  // "http://127.0.0.1:PORT" + path
  std::string url(const std::string& path = "/") const;

  // The bytes sent back to every later request.
  void setResponse(std::string bytes);
  // A per-request answer computed from the raw request; replaces the canned bytes.
  void setResponder(std::function<std::string(const std::string& request)> f);
  // Waits this long after reading a request before answering.
  void setStallMs(int ms);
  // Sends the first `afterBytes` bytes of the answer, waits `ms`, then sends
  // the rest (a server that stalls in the middle of the body).
  void setMidStall(size_t afterBytes, int ms);
  // Sends the answer in pieces of chunkBytes with msBetween pauses (a slow
  // but never silent server), starting after the first part of a mid stall
  // when one is set. 0 bytes switches it off.
  void setTrickle(size_t chunkBytes, int msBetween);

  std::vector<std::string> requests() const;
  std::string lastRequest() const;
  bool waitForRequests(size_t n, int timeoutMs) const;
  // Connections accepted so far (also those that sent nothing).
  int connectionCount() const { return connections_.load(); }

 private:
  void acceptLoop();
  void serve(int fd);
  // Sleeps up to ms, returns early when the server stops.
  void pause(int ms);

  int listenFd_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<int> connections_{0};
  std::thread acceptThread_;

  mutable std::mutex mutex_;
  mutable std::condition_variable cv_;
  std::string response_;
  std::function<std::string(const std::string&)> responder_;
  int stallMs_ = 0;
  size_t midStallAfter_ = 0;
  int midStallMs_ = 0;
  size_t trickleBytes_ = 0;
  int trickleMs_ = 0;
  std::vector<std::string> requests_;
  struct Worker {
    std::thread thread;
    std::shared_ptr<std::atomic<bool>> done;
  };
  std::vector<Worker> workers_;
  std::vector<int> openFds_;
};

// The body of a raw request: everything after the blank line.
std::string requestBody(const std::string& rawRequest);
// The request line and header lines, in order, without their CRLF.
std::vector<std::string> requestHeaderLines(const std::string& rawRequest);

// "HTTP/1.1 200 OK", then `extraHeaders` (each line ending in CRLF), the
// Content-Length of `body` and "Connection: close", then the body.
std::string okResponse(const std::string& body, const std::string& extraHeaders = {});

// A port on 127.0.0.1 nobody listens on.
int closedPort();

}  // namespace inkpost::test
