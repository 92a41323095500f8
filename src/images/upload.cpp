#include "images/upload.h"

#include "net/encoding.h"
#include "net/http.h"

#include <zlib.h>

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace inkpost {

const char* const kUploadBoundary = "---------------------------4827543632391";
const char* const kUploadQuery = "cmd.asp?act=FileUpload&reload=1&filename=";
const char* const kUploadFolder = "upload/";

namespace {

// The fixed texts of the form and its answers, in GBK.
struct Texts {
  std::string partHeadBeforeName;
  std::string partHeadBeforeType;
  std::string trailer;
  std::string duplicateAnswer;
  std::string successMarker;
  Texts() {
    const std::string delimiter = std::string("--") + kUploadBoundary;
    partHeadBeforeName = delimiter + "\r\nContent-Disposition: form-data; name=\"edtFileLoad\"; filename=\"";
    partHeadBeforeType = "\"\r\nContent-Type: ";
    trailer = fromUtf8("\r\n" + delimiter + "\r\n" + "Content-Disposition: form-data; name=\"B1\"\r\n\r\n" +
                       "提交\r\n" + delimiter + "--");
    duplicateAnswer = fromUtf8("<p>错误原因:文件已存在，请先删除</p>");
    successMarker = fromUtf8("已上传文件:<a href=\"");
  }
};

const Texts& texts() {
  static const Texts t;
  return t;
}

// Replaces every occurrence of `what` (exact case). Safe on GBK text as
// long as `what` starts with an ASCII byte that is never a trailing byte,
// which holds for the markers and extensions used here.
std::string replaceAll(std::string text, const std::string& what, const std::string& with) {
  if (what.empty()) return text;
  std::string out;
  out.reserve(text.size());
  size_t pos = 0;
  for (;;) {
    size_t hit = text.find(what, pos);
    if (hit == std::string::npos) break;
    out.append(text, pos, hit - pos);
    out += with;
    pos = hit + what.size();
  }
  out.append(text, pos, std::string::npos);
  return out;
}

// The byte offset of the last `c` that starts a character (GBK: a byte
// below 0x40 is never the second byte of a pair, so '/' and '.' found by
// walking characters are real).
size_t lastCharOf(const std::string& text, char c) {
  size_t found = std::string::npos;
  for (size_t i = 0; i < text.size();) {
    unsigned char b = text[i];
    if (b == static_cast<unsigned char>(c)) found = i;
    i += (b >= 0x81 && b <= 0xFE && i + 1 < text.size()) ? 2 : 1;
  }
  return found;
}

}  // namespace

UploadNames uploadNames(const std::string& path, const std::string& givenName, bool useGivenName) {
  UploadNames n;
  size_t slash = lastCharOf(path, '/');
  n.fileName = slash == std::string::npos ? path : path.substr(slash + 1);
  size_t dot = lastCharOf(n.fileName, '.');
  if (dot != std::string::npos) n.extension = n.fileName.substr(dot);
  n.storeName = useGivenName ? givenName : replaceAll(n.fileName, n.extension, "");
  if (n.extension == ".gif")
    n.mimeType = "image/gif";
  else if (n.extension == ".jpg" || n.extension == ".jpeg" || n.extension == ".jpe")
    n.mimeType = "image/jpeg";
  return n;
}

std::string uploadRequestHeaders() {
  return std::string(
             "Accept: text/html,application/xhtml+xml,application/xml;q=0.9,*/*;q=0.8\r\n"
             "Accept-Encoding: gzip, deflate\r\n"
             "Accept-Language: zh-cn,zh;q=0.8,en-us;q=0.5,en;q=0.3\r\n"
             "Connection: keep-alive\r\n"
             "Content-Type: multipart/form-data; boundary=") +
         kUploadBoundary;
}

std::string uploadPartHeader(const std::string& fileName, const std::string& mimeType) {
  // The template's two placeholders filled in one pass, so a file name that
  // happens to hold the type placeholder stays as it is.
  const Texts& t = texts();
  return t.partHeadBeforeName + fileName + t.partHeadBeforeType + mimeType + "\r\n\r\n";
}

std::string uploadTrailer() { return texts().trailer; }

namespace {

// UTF-8 of a GBK text; bytes that are not valid GBK pass unchanged so a
// malformed name never wipes out the whole part header.
std::string utf8Or(const std::string& gbkText) {
  if (gbkText.empty()) return gbkText;
  std::string u = toUtf8(gbkText);
  return u.empty() ? gbkText : u;
}

}  // namespace

std::string uploadBody(const std::string& fileName, const std::string& mimeType, std::string_view fileBytes) {
  const std::string head = utf8Or(uploadPartHeader(fileName, mimeType));
  const std::string tail = toUtf8(uploadTrailer());
  std::string body;
  body.reserve(head.size() + fileBytes.size() + tail.size());
  body += head;
  body += fileBytes;
  body += tail;
  return body;
}

std::string uploadUrl(const std::string& siteUrl, const UploadNames& names) {
  return siteUrl + kUploadQuery + names.storeName + names.extension;
}

std::string uploadAnswerAddress(const std::string& answer, const std::string& siteUrl, const UploadNames& names) {
  if (answer.find(texts().duplicateAnswer) != std::string::npos)
    return siteUrl + kUploadFolder + names.storeName + names.extension;
  std::string candidate = textBetween(answer, texts().successMarker, "\"");
  if (candidate.find("http://") != std::string::npos || candidate.find("https://") != std::string::npos)
    return candidate;
  return {};
}

namespace {

std::string nativePath(const std::string& gbkPath) {
  std::string u = toUtf8(gbkPath);
  return u.empty() ? gbkPath : u;
}

// Appends the whole regular file to `out`; false (out unchanged) when it
// cannot be opened or read.
bool appendFile(const std::string& path, std::string& out, size_t extraCapacity) {
  int fd = ::open(nativePath(path).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st {};
  bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  const size_t start = out.size();
  if (ok) {
    const size_t size = static_cast<size_t>(st.st_size);
    out.reserve(start + size + extraCapacity);
    out.resize(start + size);
    size_t got = 0;
    while (ok && got < size) {
      ssize_t n = ::read(fd, out.data() + start + got, size - got);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        ok = n == 0;  // the file shrank meanwhile: keep what is there
        break;
      }
      got += static_cast<size_t>(n);
    }
    out.resize(start + got);
    // A file that grew meanwhile: take the rest too.
    char buf[65536];
    for (ssize_t n; ok && (n = ::read(fd, buf, sizeof buf)) != 0;) {
      if (n < 0) {
        ok = errno == EINTR;
        continue;
      }
      out.append(buf, static_cast<size_t>(n));
    }
  }
  ::close(fd);
  if (!ok) out.resize(start);
  return ok;
}

// The answer's body as the page: a body the server compressed (the form's
// header block accepts gzip and deflate) is inflated; one that does not
// inflate is taken as it is.
std::string answerBody(const std::string& body, const std::string& responseHeaders) {
  const std::string encoding = textBetween(responseHeaders, "\r\nContent-Encoding:", "\r\n");
  if (encoding.empty() || body.empty()) return body;
  if (encoding.find("gzip") == std::string::npos && encoding.find("deflate") == std::string::npos) return body;
  constexpr size_t kMaxPage = 16u << 20;
  for (int windowBits : {15 + 32, -15}) {  // gzip or zlib framing, then raw deflate
    z_stream z{};
    if (inflateInit2(&z, windowBits) != Z_OK) continue;
    std::string out;
    char buf[32768];
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(body.data()));
    z.avail_in = static_cast<uInt>(body.size());
    int rc = Z_OK;
    while (rc == Z_OK && out.size() < kMaxPage) {
      z.next_out = reinterpret_cast<Bytef*>(buf);
      z.avail_out = sizeof buf;
      rc = inflate(&z, Z_NO_FLUSH);
      out.append(buf, sizeof buf - z.avail_out);
      if (rc == Z_BUF_ERROR && z.avail_in == 0) break;
    }
    inflateEnd(&z);
    if (rc == Z_STREAM_END) return out;
  }
  return body;
}

}  // namespace

bool readImageFile(const std::string& path, std::string& bytes) {
  bytes.clear();
  return appendFile(path, bytes, 0);
}

std::string UploadImageFile(const std::string& siteUrl, const std::string& cookie, const std::string& path,
                            const std::string& givenName, bool useGivenName, int timeoutSeconds,
                            std::string* gbkAnswer) {
  // Without a site there is nowhere to send to.
  if (siteUrl.empty()) return {};
  const UploadNames names = uploadNames(path, givenName, useGivenName);
  const std::string tail = toUtf8(uploadTrailer());
  // The file is read straight into the body: one copy of the image in memory.
  std::string body = utf8Or(uploadPartHeader(names.fileName, names.mimeType));
  if (!appendFile(path, body, tail.size())) return {};
  body += tail;

  std::string responseHeaders;
  std::string cookies = cookie;  // the answer's cookies land in this copy only
  std::string answer = WinHttpEngine(uploadUrl(siteUrl, names), "post", "", "", "", uploadRequestHeaders(), body,
                                     timeoutSeconds, responseHeaders, &cookies, true, kPostAnswerCap);
  body.clear();
  body.shrink_to_fit();
  const std::string page = fromUtf8(answerBody(answer, responseHeaders));
  if (gbkAnswer) *gbkAnswer = page;
  return uploadAnswerAddress(page, siteUrl, names);
}

}  // namespace inkpost
