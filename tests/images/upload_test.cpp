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

TEST(UploadNames, NoNameLeadsOutOfTheUploadFolder) {
  // A Linux file name may hold "\\": a blog on Windows reads it as a path.
  UploadNames n = uploadNames("/home/u/..\\..\\default.jpg", StoreAs::OwnName);
  EXPECT_EQ(n.storeName, ".._.._default");
  EXPECT_EQ(n.fileName, ".._.._default.jpg");
  EXPECT_EQ(n.mimeType, "image/jpeg");
  n = uploadNames("/home/u/a.\\..\\x", StoreAs::OwnName);
  EXPECT_EQ(n.extension, "._x");
  EXPECT_EQ(uploadNames("/p/a.jpg", StoreAs::GivenName, "c:\\w/x|y*?<>\"\n").storeName, "c__w_x_y______");
  // A GBK character whose second byte is 0x5C stays whole.
  const std::string trail5c = std::string("\x81\x5C");
  EXPECT_EQ(safeUploadName(trail5c + "\\"), trail5c + "_");
  EXPECT_EQ(safeUploadName(fromUtf8("图片")), fromUtf8("图片"));
}

TEST(UploadNames, DerivedFromThePath) {
  UploadNames n = uploadNames("/home/u/pics/photo.jpg", StoreAs::OwnName);
  EXPECT_EQ(n.fileName, "photo.jpg");
  EXPECT_EQ(n.extension, ".jpg");
  EXPECT_EQ(n.storeName, "photo");
  EXPECT_EQ(n.mimeType, "image/jpeg");

  n = uploadNames("/home/u/pics/photo.jpg", StoreAs::GivenName, "abc");
  EXPECT_EQ(n.fileName, "photo.jpg");
  EXPECT_EQ(n.storeName, "abc");
  n = uploadNames("/home/u/pics/photo.jpg", StoreAs::ContentName, "", "abc");
  EXPECT_EQ(n.storeName, md5Hex("abc"));

  EXPECT_EQ(uploadNames("a.gif", StoreAs::OwnName).mimeType, "image/gif");
  EXPECT_EQ(uploadNames("a.jpeg", StoreAs::OwnName).mimeType, "image/jpeg");
  EXPECT_EQ(uploadNames("a.jpe", StoreAs::OwnName).mimeType, "image/jpeg");
  for (const char* other : {"a.JPG", "a.png", "a.bmp", "a", "a.GIF"})
    EXPECT_EQ(uploadNames(other, StoreAs::OwnName).mimeType, "") << other;

  // Every occurrence of the extension goes, exact case only.
  EXPECT_EQ(uploadNames("/p/x.jpg.jpg", StoreAs::OwnName).storeName, "x");
  EXPECT_EQ(uploadNames("/p/x.JPG.jpg", StoreAs::OwnName).storeName, "x.JPG");
  // No extension; a dot in a folder name is not one.
  n = uploadNames("/p/dir.d/photo", StoreAs::OwnName);
  EXPECT_EQ(n.fileName, "photo");
  EXPECT_EQ(n.extension, "");
  EXPECT_EQ(n.storeName, "photo");
  // Paths are native (UTF-8); the store name is GBK.
  n = uploadNames("/p/图片 1.jpg", StoreAs::OwnName);
  EXPECT_EQ(n.fileName, "图片 1.jpg");
  EXPECT_EQ(n.storeName, gbk("图片 1"));
  // A name GBK cannot hold is stored under the content name, extension kept.
  n = uploadNames("/p/사진 😀.png", StoreAs::OwnName, "", "bytes");
  EXPECT_EQ(n.fileName, "사진 😀.png");
  EXPECT_EQ(n.storeName, md5Hex("bytes"));
  EXPECT_EQ(n.extension, ".png");
  // Not even UTF-8 (a name written by another system): the same.
  n = uploadNames("/p/\xD5\xD5.jpg", StoreAs::OwnName, "", "bytes");
  EXPECT_EQ(n.storeName, md5Hex("bytes"));
  EXPECT_EQ(n.extension, ".jpg");
}

TEST(UploadNames, GbkFormsOfNativeNames) {
  EXPECT_TRUE(gbkHolds("photo 图片.jpg"));
  EXPECT_FALSE(gbkHolds("사진.jpg"));
  EXPECT_FALSE(gbkHolds("a😀.jpg"));
  EXPECT_FALSE(gbkHolds("\xff.jpg"));
  EXPECT_EQ(gbkReplacing("图片😀x.jpg"), gbk("图片_x.jpg"));
  EXPECT_EQ(gbkReplacing("\xff\xfe.jpg", '?'), "??.jpg");
}

TEST(UploadQuery, BytesThatMeanSomethingInARequestLineAreEncoded) {
  EXPECT_EQ(uploadQueryName("photo.jpg"), "photo.jpg");
  EXPECT_EQ(uploadQueryName("a b#c%d&e+f.jpg"), "a%20b%23c%25d%26e%2Bf.jpg");
  EXPECT_EQ(uploadQueryName(std::string("a\r\n\t\x7f\0.jpg", 10)), "a%0D%0A%09%7F%00.jpg");
  // GBK bytes stay raw, "=", "?" and "/" too.
  EXPECT_EQ(uploadQueryName(gbk("图片=?/.jpg")), gbk("图片=?/.jpg"));
  const UploadNames n = uploadNames("/p/my photo #1 100% & more+.jpg", StoreAs::OwnName);
  EXPECT_EQ(uploadUrl("http://b/", n),
            "http://b/cmd.asp?act=FileUpload&reload=1&filename=my%20photo%20%231%20100%25%20%26%20more%2B.jpg");
}

TEST(UploadForm, PartHeaderTrailerAndHeaderBlock) {
  EXPECT_EQ(std::string(kUploadBoundary), "---------------------------4827543632391");
  EXPECT_EQ(uploadPartHeader("photo.jpg", "image/jpeg"),
            kDelimiter +
                "\r\nContent-Disposition: form-data; name=\"edtFileLoad\"; filename=\"photo.jpg\"\r\n"
                "Content-Type: image/jpeg\r\n\r\n");
  EXPECT_EQ(uploadPartHeader("photo.JPG", ""),
            kDelimiter +
                "\r\nContent-Disposition: form-data; name=\"edtFileLoad\"; filename=\"photo.JPG\"\r\n"
                "Content-Type: \r\n\r\n");
  EXPECT_EQ(
      toUtf8(uploadTrailer()),
      "\r\n" + kDelimiter + "\r\nContent-Disposition: form-data; name=\"B1\"\r\n\r\n提交\r\n" + kDelimiter + "--");
  EXPECT_EQ(uploadRequestHeaders(),
            "Accept: text/html,application/xhtml+xml,application/xml;q=0.9,*/*;q=0.8\r\n"
            "Accept-Encoding: gzip, deflate\r\n"
            "Accept-Language: zh-cn,zh;q=0.8,en-us;q=0.5,en;q=0.3\r\n"
            "Connection: keep-alive\r\n"
            "Content-Type: multipart/form-data; boundary=---------------------------4827543632391");
  // Only the texts are converted; file bytes pass unchanged.
  const std::string bytes("\x00\xff\xfe\r\n\x80", 6);
  EXPECT_EQ(uploadBody("照片.jpg", "image/jpeg", bytes),
            toUtf8(uploadPartHeader(gbk("照片.jpg"), "image/jpeg")) + bytes + toUtf8(uploadTrailer()));
  EXPECT_NE(uploadBody("照片.jpg", "image/jpeg", bytes).find("filename=\"照片.jpg\""), std::string::npos);
}

TEST(UploadAnswer, DuplicateSuccessAndFailures) {
  const UploadNames n = uploadNames("/p/photo.jpg", StoreAs::GivenName, "abc");
  const std::string site = "http://blog.example/";
  EXPECT_EQ(uploadAnswerAddress(gbk("<p>错误原因:文件已存在，请先删除</p>"), site, n),
            "http://blog.example/upload/abc.jpg");
  EXPECT_EQ(uploadAnswerAddress(gbk("x 已上传文件:<a href=\"http://blog.example/upload/abc.jpg\">y"), site, n),
            "http://blog.example/upload/abc.jpg");
  // Marker searches ignore case.
  EXPECT_EQ(uploadAnswerAddress(gbk("已上传文件:<A HREF=\"http://b/upload/x.jpg\">"), site, n),
            "http://b/upload/x.jpg");
  EXPECT_EQ(uploadAnswerAddress(gbk("已上传文件:<a href=\"https://b/upload/x.jpg\">"), site, n),
            "https://b/upload/x.jpg");
  EXPECT_EQ(uploadAnswerAddress(gbk("已上传文件:<a href=\"upload/abc.jpg\">"), site, n), "");
  EXPECT_EQ(uploadAnswerAddress(gbk("<form action=login.asp>请登录</form>"), site, n), "");
  EXPECT_EQ(uploadAnswerAddress("", site, n), "");
  EXPECT_EQ(uploadAnswerAddress(gbk("已上传文件:<a href=\"http://b/upload/x.jpg"), site, n), "");
  // The href is HTML: its references are read.
  EXPECT_EQ(uploadAnswerAddress(gbk("已上传文件:<a href=\"http://b/upload/a&amp;b&#39;&lt;.jpg\">"), site, n),
            "http://b/upload/a&b'<.jpg");
  // A stored name that an address cannot carry raw is written as one.
  const UploadNames odd = uploadNames("/p/my #1 图.jpg", StoreAs::OwnName);
  EXPECT_EQ(uploadAnswerAddress(gbk("<p>错误原因:文件已存在，请先删除</p>"), site, odd),
            "http://blog.example/upload/my%20%231%20" + percentEncode("图") + ".jpg");
  // The blog's reason for a refusal.
  EXPECT_EQ(uploadRefusalReason(gbk("<p>错误原因:没有权限，请先登录</p>")), gbk("没有权限，请先登录"));
  EXPECT_EQ(uploadRefusalReason(gbk("<p>whatever</p>")), "");
}

class UploadToCaptureServer : public ::testing::Test {
 protected:
  std::string site() const { return server.url("/blog/"); }
  std::string file(const std::string& name, const std::string& bytes) {
    test::writeFile(dir.file(name), bytes);
    return dir.file(name);
  }
  const std::string jpeg = test::makeJpeg(4, 3);
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
  EXPECT_EQ(UploadImageFile(site(), "", file("photo.jpg", jpeg), "abc", true), "http://b/upload/abc.jpg");
  const std::string raw = server.lastRequest();
  EXPECT_EQ(test::requestHeaderLines(raw)[0], "POST /blog/cmd.asp?act=FileUpload&reload=1&filename=abc.jpg HTTP/1.1");
  EXPECT_NE(test::requestBody(raw).find("filename=\"photo.jpg\"\r\nContent-Type: image/jpeg\r\n\r\n" + jpeg + "\r\n"),
            std::string::npos);
}

// Each name reaches the blog whole, extension included: the request line
// is one well-formed line, the query keeps every character.
TEST_F(UploadToCaptureServer, NamesWithBlanksMarksAndAnyScriptUploadWhole) {
  struct Case {
    const char* file;
    std::string queryName;
  };
  const std::vector<Case> cases = {
      {"my photo.jpg", "my%20photo.jpg"}, {"#1 best.jpg", "%231%20best.jpg"},
      {"100%.jpg", "100%25.jpg"},         {"cats & dogs.jpg", "cats%20%26%20dogs.jpg"},
      {"a+b.jpg", "a%2Bb.jpg"},           {"照片 一.jpg", gbk("照片%20一.jpg")},
  };
  for (const Case& c : cases) {
    server.setResponse(successAnswer("http://b/upload/x.jpg"));
    EXPECT_EQ(UploadImageFile(site(), "", file(c.file, jpeg), "", false), "http://b/upload/x.jpg") << c.file;
    const std::string raw = server.lastRequest();
    EXPECT_EQ(test::requestHeaderLines(raw)[0],
              "POST /blog/cmd.asp?act=FileUpload&reload=1&filename=" + c.queryName + " HTTP/1.1")
        << c.file;
    // The part header carries the file's own name in UTF-8.
    EXPECT_NE(test::requestBody(raw).find("filename=\"" + std::string(c.file) + "\""), std::string::npos) << c.file;
  }
  // Korean and emoji: GBK cannot hold them, the content name is used.
  for (const char* name : {"사진.jpg", "party 🎉.jpg"}) {
    server.setResponse(successAnswer("http://b/upload/x.jpg"));
    const UploadResult r = uploadImage(site(), "", file(name, jpeg), StoreAs::OwnName);
    EXPECT_TRUE(r.ok()) << name;
    const std::string raw = server.lastRequest();
    EXPECT_EQ(test::requestHeaderLines(raw)[0],
              "POST /blog/cmd.asp?act=FileUpload&reload=1&filename=" + md5Hex(jpeg) + ".jpg HTTP/1.1")
        << name;
    EXPECT_NE(test::requestBody(raw).find("filename=\"" + std::string(name) + "\""), std::string::npos) << name;
  }
}

TEST_F(UploadToCaptureServer, UnknownExtensionSendsAnEmptyContentTypeLine) {
  server.setResponse(successAnswer("http://b/upload/photo.JPG"));
  EXPECT_EQ(UploadImageFile(site(), "", file("photo.JPG", jpeg), "", false), "http://b/upload/photo.JPG");
  EXPECT_NE(test::requestBody(server.lastRequest()).find("filename=\"photo.JPG\"\r\nContent-Type: \r\n\r\n" + jpeg),
            std::string::npos);
}

TEST_F(UploadToCaptureServer, ATakenNameIsCheckedByItsBytes) {
  // The blog holds d41d8.jpg: the same bytes are reused, with the session cookie.
  std::string stored = jpeg;
  server.setResponder([&](const std::string& request) {
    if (request.rfind("GET /blog/upload/d41d8.jpg ", 0) == 0) return test::okResponse(stored);
    if (request.find("filename=d41d8.jpg ") != std::string::npos) return answer("<p>错误原因:文件已存在，请先删除</p>");
    return successAnswer(server.url("/blog/upload/d41d8-2.jpg"));
  });
  UploadResult r = uploadImage(site(), "s=1;", file("photo.jpg", jpeg), StoreAs::GivenName, "d41d8");
  EXPECT_EQ(r.address, site() + "upload/d41d8.jpg");
  EXPECT_EQ(r.sameName, SameName::Reused);
  ASSERT_EQ(server.requests().size(), 2u);
  EXPECT_EQ(headerValue(test::requestHeaderLines(server.requests()[1]), "Cookie"), " s=1;");
  // Other bytes there: the next free name.
  stored = test::makeGif(2, 2);
  r = uploadImage(site(), "s=1;", file("photo.jpg", jpeg), StoreAs::GivenName, "d41d8");
  EXPECT_EQ(r.address, server.url("/blog/upload/d41d8-2.jpg"));
  EXPECT_EQ(r.sameName, SameName::Renamed);
  EXPECT_EQ(test::requestHeaderLines(server.lastRequest())[0],
            "POST /blog/cmd.asp?act=FileUpload&reload=1&filename=d41d8-2.jpg HTTP/1.1");
  EXPECT_EQ(test::requestBody(server.lastRequest()), test::requestBody(server.requests()[2]));
  // A blog that says every name is taken: it gives up, naming why.
  server.setResponder([&](const std::string&) { return answer("<p>错误原因:文件已存在，请先删除</p>"); });
  r = uploadImage(site(), "", file("photo.jpg", jpeg), StoreAs::OwnName);
  EXPECT_EQ(r.outcome, UploadOutcome::Refused);
  EXPECT_EQ(uploadFailureText(r), gbk("博客拒绝（同名文件太多，请给图片换个名字）"));
}

TEST_F(UploadToCaptureServer, RelativeLinkLoginPageAndEmptyAnswerAreRefusals) {
  const std::string path = file("photo.jpg", jpeg);
  server.setResponse(answer("已上传文件:<a href=\"upload/photo.jpg\">"));
  EXPECT_EQ(uploadImage(site(), "", path, StoreAs::OwnName).outcome, UploadOutcome::Refused);
  server.setResponse(answer("<html><p>错误原因:没有权限，请先登录</p></html>"));
  UploadResult r = uploadImage(site(), "", path, StoreAs::OwnName);
  EXPECT_EQ(r.outcome, UploadOutcome::Refused);
  EXPECT_EQ(r.reason, gbk("没有权限，请先登录"));
  EXPECT_EQ(uploadFailureText(r), gbk("博客拒绝（没有权限，请先登录）"));
  server.setResponse("HTTP/1.1 500 Internal Server Error\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
  r = uploadImage(site(), "", path, StoreAs::OwnName);
  EXPECT_EQ(r.outcome, UploadOutcome::Refused);
  EXPECT_EQ(r.reason, "HTTP 500 Internal Server Error");
  server.setResponse("");  // connection closed without a word
  r = uploadImage(site(), "", path, StoreAs::OwnName);
  EXPECT_EQ(r.outcome, UploadOutcome::Network);
  EXPECT_EQ(uploadFailureText(r), gbk("网络不通"));
  EXPECT_EQ(UploadImageFile(site(), "", path, "", false), "");
}

TEST_F(UploadToCaptureServer, UnreadableFilesAndNonImagesAreNotSent) {
  EXPECT_EQ(uploadImage(site(), "", dir.file("missing.jpg"), StoreAs::OwnName).outcome, UploadOutcome::Unreadable);
  EXPECT_EQ(uploadImage(site(), "", dir.path(), StoreAs::OwnName).outcome, UploadOutcome::Unreadable);  // a folder
  // Judged by the content, whatever the name says.
  EXPECT_EQ(uploadImage(site(), "", file("notes.jpg", "just some text"), StoreAs::OwnName).outcome,
            UploadOutcome::NotAnImage);
  EXPECT_EQ(uploadImage(site(), "", file("empty.jpg", ""), StoreAs::OwnName).outcome, UploadOutcome::NotAnImage);
  EXPECT_EQ(uploadImage(site(), "", file("page.gif", "<html>GIF89a</html>"), StoreAs::OwnName).outcome,
            UploadOutcome::NotAnImage);
  EXPECT_EQ(server.connectionCount(), 0);
  // Every kind of image goes, under any extension.
  for (const std::string& image : {test::makeGif(2, 2), test::makeJpeg(2, 2), test::makePng(2, 2), test::makeBmp(2, 2),
                                   std::string("RIFF\x24\0\0\0WEBPVP8 ", 16)}) {
    server.setResponse(successAnswer("http://b/upload/x.dat"));
    EXPECT_TRUE(uploadImage(site(), "", file("x.dat", image), StoreAs::OwnName).ok());
  }
}

TEST_F(UploadToCaptureServer, MeasuresTheImageSent) {
  server.setResponse(successAnswer("http://b/upload/p.png"));
  const UploadResult r = uploadImage(site(), "", file("p.png", test::makePng(64, 48)), StoreAs::OwnName);
  ASSERT_TRUE(r.ok());
  EXPECT_EQ(r.kind, ImageKind::Png);
  EXPECT_EQ(r.width, 64);
  EXPECT_EQ(r.height, 48);
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
  const std::string path = file("photo.jpg", jpeg);
  const std::string page = gzipped("<p>已上传文件:<a href=\"http://b/upload/photo.jpg\">photo.jpg</a></p>");
  server.setResponse("HTTP/1.1 200 OK\r\nContent-Encoding: gzip\r\nContent-Length: " + std::to_string(page.size()) +
                     "\r\nConnection: close\r\n\r\n" + page);
  EXPECT_EQ(UploadImageFile(site(), "", path, "", false), "http://b/upload/photo.jpg");
  // A body that claims to be compressed but is not is read as it stands.
  const std::string plain = "<p>错误原因:文件已存在，请先删除</p>";
  server.setResponder([&](const std::string& request) {
    if (request.rfind("GET ", 0) == 0) return test::okResponse(jpeg);
    return "HTTP/1.1 200 OK\r\nContent-Encoding: gzip\r\nContent-Length: " + std::to_string(plain.size()) +
           "\r\nConnection: close\r\n\r\n" + plain;
  });
  EXPECT_EQ(UploadImageFile(site(), "", path, "", false), site() + "upload/photo.jpg");
  server.setResponder({});
  // Garbage under gzip: no address.
  server.setResponse(
      "HTTP/1.1 200 OK\r\nContent-Encoding: gzip\r\nContent-Length: 4\r\nConnection: close\r\n\r\n\x1f\x8b\x08\x00");
  EXPECT_EQ(UploadImageFile(site(), "", path, "", false), "");
}

TEST(UploadWithoutServer, NoSiteAndServerDownGiveEmpty) {
  test::TempDir dir;
  test::writeFile(dir.file("a.jpg"), test::makeJpeg(2, 2));
  EXPECT_EQ(UploadImageFile("", "", dir.file("a.jpg"), "", false), "");
  EXPECT_EQ(uploadImage("", "", dir.file("a.jpg"), StoreAs::OwnName).outcome, UploadOutcome::NoSite);
  int port;
  {
    CaptureServer gone;
    port = gone.port();
  }
  const UploadResult down =
      uploadImage("http://127.0.0.1:" + std::to_string(port) + "/", "", dir.file("a.jpg"), StoreAs::OwnName, "", 2);
  EXPECT_EQ(down.outcome, UploadOutcome::Network);
  EXPECT_EQ(uploadFailureText(down), gbk("无法连接到博客（连接被拒绝，或网络不通）"));
}

TEST(UploadSummary, CountsAndNamesEachFailureWithItsReason) {
  auto report = [](const char* name, UploadOutcome outcome, const std::string& reason = {}) {
    UploadReport r;
    r.name = gbk(name);
    r.result.outcome = outcome;
    r.result.reason = reason;
    return r;
  };
  EXPECT_EQ(uploadSummary({report("a.jpg", UploadOutcome::Uploaded), report("b.jpg", UploadOutcome::Uploaded)}),
            gbk("已上传 2 张图片"));
  EXPECT_EQ(uploadSummary({report("a.jpg", UploadOutcome::Uploaded), report("notes.jpg", UploadOutcome::NotAnImage),
                           report("locked.jpg", UploadOutcome::Unreadable),
                           report("c.jpg", UploadOutcome::Refused, gbk("文件保存失败")),
                           report("d.jpg", UploadOutcome::Network)}),
            gbk("已上传 1 张图片，4 个文件未上传：\nnotes.jpg：不是图片\nlocked.jpg：无法读取\n"
                "c.jpg：博客拒绝（文件保存失败）\nd.jpg：网络不通"));
}

TEST(ImageKind, JudgedByTheFirstBytes) {
  EXPECT_EQ(imageKind(test::makeGif(2, 2)), ImageKind::Gif);
  EXPECT_EQ(imageKind(test::makeJpeg(2, 2)), ImageKind::Jpeg);
  EXPECT_EQ(imageKind(test::makePng(2, 2)), ImageKind::Png);
  EXPECT_EQ(imageKind(test::makeBmp(2, 2)), ImageKind::Bmp);
  EXPECT_EQ(imageKind(std::string("RIFF\x24\0\0\0WEBPVP8 ", 16)), ImageKind::Webp);
  EXPECT_EQ(imageKind(std::string("RIFF\x24\0\0\0WAVEfmt ", 16)), ImageKind::None);
  EXPECT_EQ(imageKind("BM is not enough"), ImageKind::None);
  EXPECT_EQ(imageKind("GIF8"), ImageKind::None);
  EXPECT_EQ(imageKind(""), ImageKind::None);
  EXPECT_EQ(imageKind("plain text"), ImageKind::None);
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
