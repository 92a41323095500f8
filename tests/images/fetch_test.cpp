// The plain GET behind uploads from a web address.
#include "images/fetch.h"

#include "support/capture_server.h"

#include <gtest/gtest.h>

#include <chrono>

namespace inkpost {
namespace {

using test::CaptureServer;

std::string answer(const std::string& status, const std::string& body, const std::string& extra = {}) {
  return "HTTP/1.1 " + status + "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n" + extra +
         "Connection: close\r\n\r\n" + body;
}

TEST(FetchImage, PlainGetWithoutCookie) {
  CaptureServer server(answer("200 OK", std::string("GIF89a\0\x01", 8)));
  EXPECT_EQ(fetchImage(server.url("/a b.gif")), std::string("GIF89a\0\x01", 8));
  const auto lines = test::requestHeaderLines(server.lastRequest());
  EXPECT_EQ(lines[0], "GET /a%20b.gif HTTP/1.1");
  for (const auto& l : lines) EXPECT_NE(l.rfind("Cookie:", 0), 0u) << l;
}

TEST(FetchImage, ErrorStatusTruncatedBodyAndRefusalGiveNothing) {
  CaptureServer server(answer("404 Not Found", "no such image"));
  EXPECT_EQ(fetchImage(server.url("/x.jpg")), "");
  server.setResponse("HTTP/1.1 200 OK\r\nContent-Length: 1000\r\nConnection: close\r\n\r\nonly a little");
  EXPECT_EQ(fetchImage(server.url("/x.jpg")), "");
  server.setResponse("garbage that is not HTTP");
  EXPECT_EQ(fetchImage(server.url("/x.jpg")), "");
  int port;
  {
    CaptureServer gone;
    port = gone.port();
  }
  EXPECT_EQ(fetchImage("http://127.0.0.1:" + std::to_string(port) + "/x.jpg"), "");
  EXPECT_EQ(fetchImage(""), "");
  EXPECT_EQ(fetchImage("http://"), "");
}

TEST(FetchImage, OnlyWebAddressesAreFetched) {
  EXPECT_EQ(fetchImage("file:///etc/hostname"), "");
  CaptureServer server(answer("302 Found", "", "Location: file:///etc/hostname\r\n"));
  EXPECT_EQ(fetchImage(server.url("/x.jpg")), "");
}

TEST(FetchImage, StalledServerEndsWithinTheTimeBudget) {
  CaptureServer server(answer("200 OK", "late"));
  server.setStallMs(5000);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(fetchImage(server.url("/x.jpg"), 1), "");
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
}

}  // namespace
}  // namespace inkpost
