#include "images/upload.h"

#include "imagedata.h"
#include "net/encoding.h"
#include "net/http.h"
#include "support/capture_server.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>
#include <zlib.h>

namespace inkpost {
namespace {

using test::CaptureServer;
using test::gbk;

const std::string kDelimiter = "-----------------------------4827543632391";

std::string answer(const std::string& utf8Body) {
  return test::okResponse(utf8Body, "Content-Type: text/html; charset=utf-8\r\n");
}

std::string successAnswer(const std::string& address) {
  return answer("<html><body>已上传文件:<a href=\"" + address + "\">" + address + "</a></body></html>");
}

std::string headerValue(const std::vector<std::string>& lines, const std::string& name) {
  for (const std::string& l : lines)
    if (l.compare(0, name.size() + 1, name + ":") == 0) return l.substr(name.size() + 1);
  return "<absent>";
}

TEST(UploadNames, DerivedFromThePath) {
  UploadNames n = uploadNames("/home/u/pics/photo.jpg", "", false);
  EXPECT_EQ(n.fileName, "photo.jpg");
  EXPECT_EQ(n.extension, ".jpg");
  EXPECT_EQ(n.storeName, "photo");
  EXPECT_EQ(n.mimeType, "image/jpeg");

  n = uploadNames("/home/u/pics/photo.jpg", "abc", true);
  EXPECT_EQ(n.fileName, "photo.jpg");
  EXPECT_EQ(n.storeName, "abc");

  EXPECT_EQ(uploadNames("a.gif", "", false).mimeType, "image/gif");
  EXPECT_EQ(uploadNames("a.jpeg", "", false).mimeType, "image/jpeg");
  EXPECT_EQ(uploadNames("a.jpe", "", false).mimeType, "image/jpeg");
  for (const char* other : {"a.JPG", "a.png", "a.bmp", "a", "a.GIF"}) EXPECT_EQ(uploadNames(other, "", false).mimeType, "") << other;

  // Every occurrence of the extension goes, exact case only.
  EXPECT_EQ(uploadNames("/p/x.jpg.jpg", "", false).storeName, "x");
  EXPECT_EQ(uploadNames("/p/x.JPG.jpg", "", false).storeName, "x.JPG");
  // No extension; a dot in a folder name is not one.
  n = uploadNames("/p/dir.d/photo", "", false);
  EXPECT_EQ(n.fileName, "photo");
  EXPECT_EQ(n.extension, "");
  EXPECT_EQ(n.storeName, "photo");
  // A GBK name whose second byte is "/" stays whole... (0x2F is never a
  // trailing byte) and one whose second byte is "." neither.
  n = uploadNames(gbk("/p/图片 1.jpg"), "", false);
  EXPECT_EQ(n.fileName, gbk("图片 1.jpg"));
  EXPECT_EQ(n.storeName, gbk("图片 1"));
}

TEST(UploadForm, PartHeaderTrailerAndHeaderBlock) {
  EXPECT_EQ(std::string(kUploadBoundary), "---------------------------4827543632391");
  EXPECT_EQ(uploadPartHeader("photo.jpg", "image/jpeg"),
            kDelimiter + "\r\nContent-Disposition: form-data; name=\"edtFileLoad\"; filename=\"photo.jpg\"\r\n"
                         "Content-Type: image/jpeg\r\n\r\n");
  EXPECT_EQ(uploadPartHeader("photo.JPG", ""),
            kDelimiter + "\r\nContent-Disposition: form-data; name=\"edtFileLoad\"; filename=\"photo.JPG\"\r\n"
                         "Content-Type: \r\n\r\n");
  EXPECT_EQ(toUtf8(uploadTrailer()),
            "\r\n" + kDelimiter + "\r\nContent-Disposition: form-data; name=\"B1\"\r\n\r\n提交\r\n" + kDelimiter + "--");
  EXPECT_EQ(uploadRequestHeaders(),
            "Accept: text/html,application/xhtml+xml,application/xml;q=0.9,*/*;q=0.8\r\n"
            "Accept-Encoding: gzip, deflate\r\n"
            "Accept-Language: zh-cn,zh;q=0.8,en-us;q=0.5,en;q=0.3\r\n"
            "Connection: keep-alive\r\n"
            "Content-Type: multipart/form-data; boundary=---------------------------4827543632391");
  // Only the texts are converted; file bytes pass unchanged.
  const std::string bytes("\x00\xff\xfe\r\n\x80", 6);
  EXPECT_EQ(uploadBody(gbk("照片.jpg"), "image/jpeg", bytes),
            toUtf8(uploadPartHeader(gbk("照片.jpg"), "image/jpeg")) + bytes + toUtf8(uploadTrailer()));
  EXPECT_NE(uploadBody(gbk("照片.jpg"), "image/jpeg", bytes).find("filename=\"照片.jpg\""), std::string::npos);
}

TEST(UploadAnswer, DuplicateSuccessAndFailures) {
  const UploadNames n = uploadNames("/p/photo.jpg", "abc", true);
  const std::string site = "http://blog.example/";
  EXPECT_EQ(uploadAnswerAddress(gbk("<p>错误原因:文件已存在，请先删除</p>"), site, n), "http://blog.example/upload/abc.jpg");
  EXPECT_EQ(uploadAnswerAddress(gbk("x 已上传文件:<a href=\"http://blog.example/upload/abc.jpg\">y"), site, n),
            "http://blog.example/upload/abc.jpg");
  // Marker searches ignore case.
  EXPECT_EQ(uploadAnswerAddress(gbk("已上传文件:<A HREF=\"http://b/upload/x.jpg\">"), site, n), "http://b/upload/x.jpg");
  EXPECT_EQ(uploadAnswerAddress(gbk("已上传文件:<a href=\"https://b/upload/x.jpg\">"), site, n), "https://b/upload/x.jpg");
  EXPECT_EQ(uploadAnswerAddress(gbk("已上传文件:<a href=\"upload/abc.jpg\">"), site, n), "");
  EXPECT_EQ(uploadAnswerAddress(gbk("<form action=login.asp>请登录</form>"), site, n), "");
  EXPECT_EQ(uploadAnswerAddress("", site, n), "");
  EXPECT_EQ(uploadAnswerAddress(gbk("已上传文件:<a href=\"http://b/upload/x.jpg"), site, n), "");
}

class UploadToCaptureServer : public ::testing::Test {
 protected:
  std::string site() const { return server.url("/blog/"); }
  std::string file(const std::string& name, const std::string& bytes) {
    test::writeFile(dir.file(name), bytes);
    return fromUtf8(dir.file(name));
  }
  CaptureServer server;
  test::TempDir dir;
};

TEST_F(UploadToCaptureServer, SendsTheFormByteForByte) {
  const std::string image = test::makeGif(3, 2) + std::string("\r\n\0\x80", 4);
  server.setResponse(successAnswer(server.url("/blog/upload/photo.gif")));
  const std::string path = file("photo.gif", image);
  EXPECT_EQ(UploadImageFile(site(), "a=1;b=2;", path, "", false), server.url("/blog/upload/photo.gif"));

  ASSERT_EQ(server.requests().size(), 1u);
  const std::string raw = server.lastRequest();
  const auto lines = test::requestHeaderLines(raw);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines[0], "POST /blog/cmd.asp?act=FileUpload&reload=1&filename=photo.gif HTTP/1.1");
  EXPECT_EQ(headerValue(lines, "Accept"), " text/html,application/xhtml+xml,application/xml;q=0.9,*/*;q=0.8");
  EXPECT_EQ(headerValue(lines, "Accept-Encoding"), " gzip, deflate");
  EXPECT_EQ(headerValue(lines, "Accept-Language"), " zh-cn,zh;q=0.8,en-us;q=0.5,en;q=0.3");
  EXPECT_EQ(headerValue(lines, "Connection"), " keep-alive");
  EXPECT_EQ(headerValue(lines, "Content-Type"),
            " multipart/form-data; boundary=---------------------------4827543632391");
  EXPECT_EQ(headerValue(lines, "Cookie"), " a=1;b=2;");

  const std::string expected = kDelimiter +
                               "\r\nContent-Disposition: form-data; name=\"edtFileLoad\"; filename=\"photo.gif\"\r\n"
                               "Content-Type: image/gif\r\n\r\n" +
                               image + "\r\n" + kDelimiter +
                               "\r\nContent-Disposition: form-data; name=\"B1\"\r\n\r\n提交\r\n" + kDelimiter + "--";
  EXPECT_EQ(test::requestBody(raw), expected);
  EXPECT_EQ(headerValue(lines, "Content-Length"), " " + std::to_string(expected.size()));
}

TEST_F(UploadToCaptureServer, GivenNameGoesIntoTheQueryAndTheFileNameIntoThePart) {
  server.setResponse(successAnswer("http://b/upload/abc.jpg"));
  EXPECT_EQ(UploadImageFile(site(), "", file("photo.jpg", "x"), "abc", true), "http://b/upload/abc.jpg");
  const std::string raw = server.lastRequest();
  EXPECT_EQ(test::requestHeaderLines(raw)[0], "POST /blog/cmd.asp?act=FileUpload&reload=1&filename=abc.jpg HTTP/1.1");
  EXPECT_NE(test::requestBody(raw).find("filename=\"photo.jpg\"\r\nContent-Type: image/jpeg\r\n\r\nx\r\n"), std::string::npos);
}

TEST_F(UploadToCaptureServer, BlanksAndChineseNamesGoRawIntoTheQuery) {
  server.setResponse(successAnswer("http://b/upload/x.jpg"));
  const std::string path = file("my photo 图片.jpg", "x");
  EXPECT_EQ(UploadImageFile(site(), "", path, "", false), "http://b/upload/x.jpg");
  const std::string raw = server.lastRequest();
  EXPECT_EQ(test::requestHeaderLines(raw)[0],
            "POST /blog/cmd.asp?act=FileUpload&reload=1&filename=" + gbk("my photo 图片") + ".jpg HTTP/1.1");
  EXPECT_NE(test::requestBody(raw).find("filename=\"my photo 图片.jpg\""), std::string::npos);
}

TEST_F(UploadToCaptureServer, UnknownExtensionSendsAnEmptyContentTypeLine) {
  server.setResponse(successAnswer("http://b/upload/photo.JPG"));
  EXPECT_EQ(UploadImageFile(site(), "", file("photo.JPG", "x"), "", false), "http://b/upload/photo.JPG");
  EXPECT_NE(test::requestBody(server.lastRequest()).find("filename=\"photo.JPG\"\r\nContent-Type: \r\n\r\nx"),
            std::string::npos);
}

TEST_F(UploadToCaptureServer, DuplicateAnswerYieldsTheStoredAddress) {
  server.setResponse(answer("<p>错误原因:文件已存在，请先删除</p>"));
  EXPECT_EQ(UploadImageFile(site(), "", file("photo.jpg", "x"), "d41d8", true), site() + "upload/d41d8.jpg");
}

TEST_F(UploadToCaptureServer, RelativeLinkLoginPageAndEmptyAnswerFail) {
  const std::string path = file("photo.jpg", "x");
  server.setResponse(answer("已上传文件:<a href=\"upload/photo.jpg\">"));
  EXPECT_EQ(UploadImageFile(site(), "", path, "", false), "");
  server.setResponse(answer("<html>请先登录 <form action='cmd.asp?act=verify'></form></html>"));
  EXPECT_EQ(UploadImageFile(site(), "", path, "", false), "");
  server.setResponse("HTTP/1.1 500 Internal Server Error\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
  EXPECT_EQ(UploadImageFile(site(), "", path, "", false), "");
  server.setResponse("");  // connection closed without a word
  EXPECT_EQ(UploadImageFile(site(), "", path, "", false), "");
}

TEST_F(UploadToCaptureServer, UnreadableFileIsNotSent) {
  EXPECT_EQ(UploadImageFile(site(), "", fromUtf8(dir.file("missing.jpg")), "", false), "");
  EXPECT_EQ(UploadImageFile(site(), "", fromUtf8(dir.path()), "", false), "");  // a folder
  EXPECT_EQ(server.connectionCount(), 0);
}

TEST_F(UploadToCaptureServer, EmptyFileIsStillSent) {
  server.setResponse(successAnswer("http://b/upload/e.jpg"));
  EXPECT_EQ(UploadImageFile(site(), "", file("e.jpg", ""), "", false), "http://b/upload/e.jpg");
  EXPECT_NE(test::requestBody(server.lastRequest()).find("image/jpeg\r\n\r\n\r\n" + kDelimiter), std::string::npos);
}

std::string gzipped(const std::string& text) {
  z_stream z{};
  deflateInit2(&z, 6, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY);
  std::string out(deflateBound(&z, text.size()) + 32, '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
  z.avail_in = static_cast<uInt>(text.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

TEST_F(UploadToCaptureServer, CompressedAnswersAreReadToo) {
  const std::string path = file("photo.jpg", "x");
  const std::string page = gzipped("<p>已上传文件:<a href=\"http://b/upload/photo.jpg\">photo.jpg</a></p>");
  server.setResponse("HTTP/1.1 200 OK\r\nContent-Encoding: gzip\r\nContent-Length: " + std::to_string(page.size()) +
                     "\r\nConnection: close\r\n\r\n" + page);
  EXPECT_EQ(UploadImageFile(site(), "", path, "", false), "http://b/upload/photo.jpg");
  // A body that claims to be compressed but is not is read as it stands.
  const std::string plain = "<p>错误原因:文件已存在，请先删除</p>";
  server.setResponse("HTTP/1.1 200 OK\r\nContent-Encoding: gzip\r\nContent-Length: " + std::to_string(plain.size()) +
                     "\r\nConnection: close\r\n\r\n" + plain);
  EXPECT_EQ(UploadImageFile(site(), "", path, "", false), site() + "upload/photo.jpg");
  // Garbage under gzip: no address.
  server.setResponse("HTTP/1.1 200 OK\r\nContent-Encoding: gzip\r\nContent-Length: 4\r\nConnection: close\r\n\r\n\x1f\x8b\x08\x00");
  EXPECT_EQ(UploadImageFile(site(), "", path, "", false), "");
}

TEST(UploadWithoutServer, NoSiteAndServerDownGiveEmpty) {
  test::TempDir dir;
  test::writeFile(dir.file("a.jpg"), "x");
  EXPECT_EQ(UploadImageFile("", "", dir.file("a.jpg"), "", false), "");
  int port;
  {
    CaptureServer gone;
    port = gone.port();
  }
  EXPECT_EQ(UploadImageFile("http://127.0.0.1:" + std::to_string(port) + "/", "", dir.file("a.jpg"), "", false, 2), "");
}

}  // namespace
}  // namespace inkpost

namespace inkpost {
namespace {

// A blog on shared hosting may think for many seconds before it answers an
// upload; the upload waits for it (it used to give up after 5 s).
TEST_F(UploadToCaptureServer, SlowBlogIsWaitedFor) {
  server.setResponse(successAnswer(server.url("/blog/upload/slow.gif")));
  server.setStallMs(6500);
  EXPECT_EQ(UploadImageFile(site(), "", file("slow.gif", test::makeGif(2, 2)), "", false),
            server.url("/blog/upload/slow.gif"));
}

// An answer over the cap is a failed upload, however it ends.
TEST_F(UploadToCaptureServer, OversizedAnswerIsAFailure) {
  server.setResponse(answer(std::string(kPostAnswerCap + 10, ' ') + "已上传文件:<a href=\"x\">x</a>"));
  EXPECT_EQ(UploadImageFile(site(), "", file("big.gif", test::makeGif(2, 2)), "", false), "");
}

}  // namespace
}  // namespace inkpost
