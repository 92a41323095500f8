// The plain GET behind uploads from a web address.
#include "images/fetch.h"

#include "net/cancel.h"
#include "net/encoding.h"
#include "support/capture_server.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace inkpost {
namespace {

using test::CaptureServer;

std::string answer(const std::string& status, const std::string& body, const std::string& extra = {}) {
  return "HTTP/1.1 " + status + "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n" + extra +
         "Connection: close\r\n\r\n" + body;
}

TEST(FetchImage, PlainGetWithoutCookie) {
  CaptureServer server(answer("200 OK", std::string("GIF89a\0\x01", 8)));
  EXPECT_EQ(fetchImageFrom(server.url("/a b.gif")).bytes, std::string("GIF89a\0\x01", 8));
  const auto lines = test::requestHeaderLines(server.lastRequest());
  EXPECT_EQ(lines[0], "GET /a%20b.gif HTTP/1.1");
  for (const auto& l : lines) EXPECT_NE(l.rfind("Cookie:", 0), 0u) << l;
}

TEST(FetchImage, ErrorStatusTruncatedBodyAndRefusalGiveNothing) {
  CaptureServer server(answer("404 Not Found", "no such image"));
  EXPECT_FALSE(fetchImageFrom(server.url("/x.jpg")).ok());
  server.setResponse("HTTP/1.1 200 OK\r\nContent-Length: 1000\r\nConnection: close\r\n\r\nonly a little");
  EXPECT_FALSE(fetchImageFrom(server.url("/x.jpg")).ok());
  server.setResponse("garbage that is not HTTP");
  EXPECT_FALSE(fetchImageFrom(server.url("/x.jpg")).ok());
  int port;
  {
    CaptureServer gone;
    port = gone.port();
  }
  EXPECT_FALSE(fetchImageFrom("http://127.0.0.1:" + std::to_string(port) + "/x.jpg").ok());
  EXPECT_FALSE(fetchImageFrom("").ok());
  EXPECT_FALSE(fetchImageFrom("http://").ok());
}

TEST(FetchImage, OnlyWebAddressesAreFetched) {
  EXPECT_FALSE(fetchImageFrom("file:///etc/hostname").ok());
  CaptureServer server(answer("302 Found", "", "Location: file:///etc/hostname\r\n"));
  EXPECT_FALSE(fetchImageFrom(server.url("/x.jpg")).ok());
}

TEST(FetchImage, StalledServerEndsWithinTheTimeBudget) {
  CaptureServer server(answer("200 OK", "late"));
  server.setStallMs(5000);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(fetchImageFrom(server.url("/x.jpg"), 1).ok());
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));

  // A cancel from another thread ends the wait long before the 20 s budget.
  server.setStallMs(15000);
  std::atomic<bool> cancel{false};
  std::string got = "unset";
  const auto begun = std::chrono::steady_clock::now();
  std::thread worker([&] {
    CancelScope scope(&cancel);
    got = fetchImageFrom(server.url("/x.jpg")).bytes;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  cancel = true;
  worker.join();
  EXPECT_EQ(got, "");
  EXPECT_LT(std::chrono::steady_clock::now() - begun, std::chrono::seconds(3));
}

// What came instead of an image, told apart.
TEST(FetchImageFrom, TellsAnImageFromWhatCameInstead) {
  const std::string gif("GIF89a\x01\0\x01\0\0\0\0;", 13);
  CaptureServer server(answer("200 OK", gif));
  FetchedImage f = fetchImageFrom(server.url("/a.gif"));
  EXPECT_EQ(f.outcome, FetchOutcome::Image);
  EXPECT_EQ(f.kind, ImageKind::Gif);
  EXPECT_EQ(f.bytes, gif);

  for (const char* address : {"abc", "ftp://127.0.0.1/a.jpg", "http://", "  https:///x", "file:///etc/hostname"})
    EXPECT_EQ(fetchImageFrom(address).outcome, FetchOutcome::NotAnAddress) << address;

  server.setResponse(answer("404 Not Found", gif));
  f = fetchImageFrom(server.url("/x.jpg"));
  EXPECT_EQ(f.outcome, FetchOutcome::HttpError);
  EXPECT_EQ(f.status, 404);
  EXPECT_TRUE(f.bytes.empty());

  server.setResponse(answer("200 OK", "<html>a page</html>", "Content-Type: text/html; charset=utf-8\r\n"));
  f = fetchImageFrom(server.url("/x.jpg"));
  EXPECT_EQ(f.outcome, FetchOutcome::NotAnImage);
  EXPECT_TRUE(f.webPage);
  server.setResponse(answer("200 OK", "\r\n  <!DOCTYPE html>"));
  EXPECT_TRUE(fetchImageFrom(server.url("/x.jpg")).webPage);
  server.setResponse(answer("200 OK", "plain words"));
  f = fetchImageFrom(server.url("/x.jpg"));
  EXPECT_EQ(f.outcome, FetchOutcome::NotAnImage);
  EXPECT_FALSE(f.webPage);
  EXPECT_TRUE(f.bytes.empty());
}

TEST(FetchImageFrom, NoAnswerSaysWhy) {
  const auto reason = [](const std::string& address, int seconds = 20) {
    const FetchedImage f = fetchImageFrom(address, seconds);
    EXPECT_EQ(f.outcome, FetchOutcome::NoAnswer) << address;
    return f.reason;
  };
  EXPECT_EQ(reason("http://127.0.0.1:" + std::to_string(test::closedPort()) + "/a.jpg"),
            fromUtf8("连接被拒绝，或网络不通"));
  CaptureServer server("HTTP/1.1 200 OK\r\nContent-Length: 1000\r\nConnection: close\r\n\r\nonly a little");
  EXPECT_EQ(reason(server.url("/x.jpg")), fromUtf8("网站没有给出完整的回答"));
  server.setResponse("garbage that is not HTTP");
  EXPECT_EQ(reason(server.url("/x.jpg")), fromUtf8("网站的回答无法识别"));
  server.setResponse(answer("302 Found", "", "Location: file:///etc/hostname\r\n"));
  EXPECT_EQ(reason(server.url("/x.jpg")), fromUtf8("网站把地址转到了不能下载的地方"));
  server.setResponse(answer("200 OK", "late"));
  server.setStallMs(3000);
  EXPECT_EQ(reason(server.url("/x.jpg"), 1), fromUtf8("网站在 1 秒内没有把图片传完"));
}

}  // namespace
}  // namespace inkpost
