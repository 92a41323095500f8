// A small web server on 127.0.0.1 for the image GUI tests (images to fetch,
// thumbnails to show). Routes are added before start().
#pragma once

#include <httplib.h>

#include <chrono>
#include <string>
#include <thread>

namespace inkpost::test {

class WebHost {
 public:
  httplib::Server& server() { return svr_; }
  void start() {
    port_ = svr_.bind_to_any_port("127.0.0.1");
    thread_ = std::thread([this] { svr_.listen_after_bind(); });
    while (!svr_.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  ~WebHost() {
    svr_.stop();
    if (thread_.joinable()) thread_.join();
  }
  std::string url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(port_) + path; }

 private:
  httplib::Server svr_;
  int port_ = 0;
  std::thread thread_;
};

}  // namespace inkpost::test
