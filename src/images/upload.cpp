#include "images/upload.h"

#include "images/convert.h"
#include "images/fetch.h"
#include "net/encoding.h"
#include "net/gbktext.h"
#include "net/http.h"

#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>

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
  std::string reasonMarker;
  Texts() {
    const std::string delimiter = std::string("--") + kUploadBoundary;
    partHeadBeforeName = delimiter + "\r\nContent-Disposition: form-data; name=\"edtFileLoad\"; filename=\"";
    partHeadBeforeType = "\"\r\nContent-Type: ";
    trailer = fromUtf8("\r\n" + delimiter + "\r\n" + "Content-Disposition: form-data; name=\"B1\"\r\n\r\n" +
                       "提交\r\n" + delimiter + "--");
    duplicateAnswer = fromUtf8("<p>错误原因:文件已存在，请先删除</p>");
    successMarker = fromUtf8("已上传文件:<a href=\"");
    reasonMarker = fromUtf8("错误原因:");
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

// Length of the well-formed UTF-8 sequence at `i`, 0 when there is none.
size_t utf8SequenceAt(std::string_view text, size_t i) {
  const unsigned char c = text[i];
  size_t len = c < 0x80 ? 1 : (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 0;
  if (len == 0 || i + len > text.size()) return 0;
  for (size_t k = 1; k < len; ++k)
    if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return 0;
  return len;
}

bool utf8Valid(std::string_view text) {
  for (size_t i = 0; i < text.size();) {
    const size_t len = utf8SequenceAt(text, i);
    if (len == 0) return false;
    i += len;
  }
  return true;
}

}  // namespace

bool gbkHolds(std::string_view utf8) {
  if (utf8.empty()) return true;
  const std::string gbk = fromUtf8(utf8);
  return !gbk.empty() && toUtf8(gbk) == utf8;
}

std::string gbkReplacing(std::string_view utf8, char replacement) {
  if (gbkHolds(utf8)) return fromUtf8(utf8);
  // Character by character: a UTF-8 sequence that GBK holds is kept, any
  // other character or stray byte becomes the replacement.
  std::string out;
  for (size_t i = 0; i < utf8.size();) {
    const size_t len = utf8SequenceAt(utf8, i);
    const std::string_view ch = utf8.substr(i, len ? len : 1);
    if (len && gbkHolds(ch))
      out += fromUtf8(ch);
    else
      out += replacement;
    i += ch.size();
  }
  return out;
}

namespace {

// Characters a blog on Windows reads as part of a path, or refuses in a
// file name: a name may never lead the file out of the upload folder.
bool pathCharacter(unsigned char c) {
  return c < 0x20 || c == '\\' || c == '/' || c == ':' || c == '*' || c == '?' || c == '"' || c == '<' || c == '>' ||
         c == '|';
}

}  // namespace

std::string safeUploadName(std::string_view gbk) {
  std::string out;
  out.reserve(gbk.size());
  for (size_t i = 0; i < gbk.size(); i += gbkCharLength(gbk, i)) {
    if (gbkCharLength(gbk, i) == 2)
      out.append(gbk.substr(i, 2));  // a trail byte 0x5C belongs to its character
    else
      out += pathCharacter(static_cast<unsigned char>(gbk[i])) ? '_' : gbk[i];
  }
  return out;
}

UploadNames uploadNames(const std::string& path, StoreAs storeAs, const std::string& givenName,
                        std::string_view bytes) {
  UploadNames n;
  size_t slash = path.rfind('/');
  n.fileName = slash == std::string::npos ? path : path.substr(slash + 1);
  const bool holds = gbkHolds(n.fileName);
  // In UTF-8 every byte of a multi-byte character is >= 0x80, so the last
  // "." found byte-wise is a real one.
  size_t dot = n.fileName.rfind('.');
  const std::string nativeExtension = dot == std::string::npos ? std::string() : n.fileName.substr(dot);
  n.extension = gbkReplacing(nativeExtension);
  if (storeAs == StoreAs::OwnName && !holds) storeAs = StoreAs::ContentName;
  switch (storeAs) {
    case StoreAs::GivenName:
      n.storeName = givenName;
      break;
    case StoreAs::ContentName:
      n.storeName = md5Hex(bytes);
      break;
    case StoreAs::OwnName:
      n.storeName = replaceAll(fromUtf8(n.fileName), n.extension, "");
      break;
  }
  // What goes to the blog names no path: the part header's name (UTF-8,
  // where every byte below 0x80 is a character of its own), the store name
  // and the extension.
  for (char& c : n.fileName)
    if (pathCharacter(static_cast<unsigned char>(c))) c = '_';
  n.storeName = safeUploadName(n.storeName);
  n.extension = safeUploadName(n.extension);
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

std::string uploadBody(const std::string& utf8FileName, const std::string& mimeType, std::string_view fileBytes) {
  const std::string head = uploadPartHeader(utf8FileName, toUtf8(mimeType));
  const std::string tail = toUtf8(uploadTrailer());
  std::string body;
  body.reserve(head.size() + fileBytes.size() + tail.size());
  body += head;
  body += fileBytes;
  body += tail;
  return body;
}

namespace {

void appendPercent(std::string& out, unsigned char c) {
  static const char hex[] = "0123456789ABCDEF";
  out += '%';
  out += hex[c >> 4];
  out += hex[c & 15];
}

// Bytes of a stored name that an address cannot carry raw.
bool addressNeedsEscape(unsigned char c) {
  if (c <= 0x20 || c >= 0x7F) return true;
  switch (c) {
    case '"':
    case '#':
    case '%':
    case '<':
    case '>':
    case '?':
    case '\'':
    case '\\':
    case '^':
    case '`':
    case '{':
    case '|':
    case '}':
      return true;
    default:
      return false;
  }
}

// The stored name as it goes into an address: its UTF-8 form with every
// byte an address cannot carry as "%XX", the form a browser sends and the
// blog's server reads back as the stored name.
std::string addressName(const std::string& gbkName) {
  std::string utf8 = toUtf8(gbkName);
  if (utf8.empty()) utf8 = gbkName;
  std::string out;
  for (unsigned char c : utf8) {
    if (addressNeedsEscape(c))
      appendPercent(out, c);
    else
      out += static_cast<char>(c);
  }
  return out;
}

// The few character references an address in an href can hold.
std::string decodeReferences(const std::string& text) {
  if (text.find('&') == std::string::npos) return text;
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '&') {
      out += text[i];
      continue;
    }
    const size_t semi = text.find(';', i);
    const std::string name = semi == std::string::npos || semi - i > 10 ? "" : text.substr(i + 1, semi - i - 1);
    int code = -1;
    if (name == "amp")
      code = '&';
    else if (name == "quot")
      code = '"';
    else if (name == "apos")
      code = '\'';
    else if (name == "lt")
      code = '<';
    else if (name == "gt")
      code = '>';
    else if (name.size() > 1 && name[0] == '#') {
      char* end = nullptr;
      const bool hex = name[1] == 'x' || name[1] == 'X';
      const long v = std::strtol(name.c_str() + (hex ? 2 : 1), &end, hex ? 16 : 10);
      if (end && *end == '\0' && v > 0 && v < 0x80) code = static_cast<int>(v);
    }
    if (code < 0) {
      out += '&';
      continue;
    }
    out += static_cast<char>(code);
    i = semi;
  }
  return out;
}

}  // namespace

std::string uploadQueryName(std::string_view gbkName) {
  std::string out;
  out.reserve(gbkName.size());
  for (unsigned char c : gbkName) {
    if (c <= 0x20 || c == 0x7F || c == '#' || c == '%' || c == '&' || c == '+')
      appendPercent(out, c);
    else
      out += static_cast<char>(c);
  }
  return out;
}

std::string uploadUrl(const std::string& siteUrl, const UploadNames& names) {
  return siteUrl + kUploadQuery + uploadQueryName(names.storeName + names.extension);
}

std::string uploadAnswerAddress(const std::string& answer, const std::string& siteUrl, const UploadNames& names) {
  if (answer.find(texts().duplicateAnswer) != std::string::npos)
    return siteUrl + kUploadFolder + addressName(names.storeName + names.extension);
  std::string candidate = decodeReferences(textBetween(answer, texts().successMarker, "\""));
  if (candidate.find("http://") != std::string::npos || candidate.find("https://") != std::string::npos)
    return candidate;
  return {};
}

bool isDuplicateAnswer(const std::string& answer) { return answer.find(texts().duplicateAnswer) != std::string::npos; }

std::string nextFreeName(const std::string& storeName, int n) { return storeName + "-" + std::to_string(n); }

std::string uploadRefusalReason(const std::string& answer) {
  std::string reason = textBetween(answer, texts().reasonMarker, "<");
  while (!reason.empty() && (reason.back() == ' ' || reason.back() == '\r' || reason.back() == '\n')) reason.pop_back();
  if (reason.size() > 120) reason.clear();  // not a one-line reason
  return reason;
}

namespace {

// Appends the whole regular file to `out`; false (out unchanged) when it
// cannot be opened or read.
bool appendFile(const std::string& path, std::string& out, size_t extraCapacity) {
  // Not blocking: a FIFO dropped by mistake must not hang the read.
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
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

UploadResult uploadImage(const std::string& siteUrl, const std::string& cookie, const std::string& path,
                         StoreAs storeAs, const std::string& givenName, int timeoutSeconds) {
  UploadResult result;
  // Without a site there is nowhere to send to.
  if (siteUrl.empty()) {
    result.outcome = UploadOutcome::NoSite;
    result.names = uploadNames(path, StoreAs::GivenName, givenName);
    return result;
  }
  // The file is read straight into the body: one copy of the image in
  // memory. The part header's length does not depend on the store name.
  const std::string tail = toUtf8(uploadTrailer());
  const size_t slash = path.rfind('/');
  std::string fileName = slash == std::string::npos ? path : path.substr(slash + 1);
  if (!utf8Valid(fileName)) fileName = toUtf8(gbkReplacing(fileName));
  UploadNames provisional = uploadNames(path, StoreAs::GivenName, givenName);
  std::string body = uploadPartHeader(fileName, provisional.mimeType);
  const size_t headSize = body.size();
  if (!appendFile(path, body, tail.size())) {
    result.outcome = UploadOutcome::Unreadable;
    result.names = std::move(provisional);
    return result;
  }
  const std::string_view bytes = std::string_view(body).substr(headSize);
  result.kind = imageKind(bytes);
  result.names = uploadNames(path, storeAs, givenName, bytes);
  if (result.kind == ImageKind::None) {
    result.outcome = UploadOutcome::NotAnImage;
    return result;
  }
  ImageSizeFromHeader(bytes, result.width, result.height);
  body += tail;

  // One try under the given names; false when no answer came.
  std::string page, responseHeaders;
  const auto send = [&](const UploadNames& names) {
    std::string cookies = cookie;  // the answer's cookies land in this copy only
    const std::string answer =
        WinHttpEngine(uploadUrl(siteUrl, names), "post", "", "", "", uploadRequestHeaders(), body, timeoutSeconds,
                      responseHeaders, &cookies, true, kPostAnswerCap, &result.fate);
    if (responseHeaders.empty() || responseHeaders == "_nolink_") return false;
    page = fromUtf8(answerBody(answer, responseHeaders));
    return true;
  };
  const UploadNames asked = result.names;
  for (int n = 1;; ++n) {
    UploadNames names = asked;
    if (n > 1) names.storeName = nextFreeName(asked.storeName, n);
    if (!send(names)) {
      result.outcome = UploadOutcome::Network;
      return result;
    }
    result.page = page;
    result.names = names;
    if (!isDuplicateAnswer(page)) {
      if (n > 1) result.sameName = SameName::Renamed;
      break;
    }
    // The name is taken and the blog kept its file: the user's picture only
    // if the bytes there are these.
    if (n == 1) result.takenName = asked.storeName + asked.extension;
    const std::string there = uploadAnswerAddress(page, siteUrl, names);
    bool found = false;
    if (fetchBlogFile(there, cookie, timeoutSeconds, &found) == bytes && found) {
      result.sameName = n == 1 ? SameName::Reused : SameName::Renamed;
      result.address = there;
      result.outcome = UploadOutcome::Uploaded;
      return result;
    }
    if (n > kSameNameTries) {
      result.outcome = UploadOutcome::Refused;
      result.reason = fromUtf8("同名文件太多，请给图片换个名字");
      return result;
    }
  }
  body.clear();
  body.shrink_to_fit();
  result.address = uploadAnswerAddress(page, siteUrl, result.names);
  if (!result.address.empty()) {
    result.outcome = UploadOutcome::Uploaded;
    return result;
  }
  result.sameName = SameName::None;
  result.outcome = UploadOutcome::Refused;
  result.reason = uploadRefusalReason(page);
  if (result.reason.empty()) {
    // No words of the blog's own: the status line tells something.
    const std::string status = responseHeaders.substr(0, responseHeaders.find("\r\n"));
    const size_t sp = status.find(' ');
    if (sp != std::string::npos && status.compare(sp + 1, 3, "200") != 0)
      result.reason = "HTTP " + status.substr(sp + 1);
  }
  return result;
}

std::string UploadImageFile(const std::string& siteUrl, const std::string& cookie, const std::string& path,
                            const std::string& givenName, bool useGivenName, int timeoutSeconds) {
  return uploadImage(siteUrl, cookie, path, useGivenName ? StoreAs::GivenName : StoreAs::OwnName, givenName,
                     timeoutSeconds)
      .address;
}

std::string uploadFailureText(const UploadResult& result) {
  switch (result.outcome) {
    case UploadOutcome::Uploaded:
      return {};
    case UploadOutcome::NoSite:
      return fromUtf8("未选择网站");
    case UploadOutcome::Unreadable:
      return fromUtf8("无法读取");
    case UploadOutcome::NotAnImage:
      return fromUtf8("不是图片");
    case UploadOutcome::Network:
      if (!result.fate.sent()) return fromUtf8("无法连接到博客（") + notSentReason(result.fate) + fromUtf8("）");
      return fromUtf8("网络不通");
    case UploadOutcome::Refused:
      return result.reason.empty() ? fromUtf8("博客拒绝") : fromUtf8("博客拒绝（") + result.reason + fromUtf8("）");
  }
  return {};
}

std::string sameNameNote(const UploadResult& result) {
  if (!result.ok()) return {};
  switch (result.sameName) {
    case SameName::None:
      return {};
    case SameName::Reused:
      return fromUtf8("博客上已有同样的图片，直接使用了它");
    case SameName::Renamed:
      return fromUtf8("博客上已有另一张同名图片，这张改用 ") + result.names.storeName + result.names.extension;
  }
  return {};
}

double uploadSummarySeconds(const std::vector<UploadReport>& reports) {
  size_t lines = 0;
  for (const UploadReport& r : reports) lines += !r.result.ok() || r.result.sameName != SameName::None ? 1 : 0;
  return lines == 0 ? 1.2 : std::min(2.6 + 0.8 * static_cast<double>(lines), 6.0);
}

std::string uploadSummary(const std::vector<UploadReport>& reports) {
  size_t uploaded = 0;
  for (const UploadReport& r : reports) uploaded += r.result.ok() ? 1 : 0;
  const size_t failed = reports.size() - uploaded;
  std::string text = fromUtf8("已上传 ") + std::to_string(uploaded) + fromUtf8(" 张图片");
  if (failed > 0) {
    text += fromUtf8("，") + std::to_string(failed) + fromUtf8(" 个文件未上传：");
    for (const UploadReport& r : reports)
      if (!r.result.ok()) text += "\n" + r.name + fromUtf8("：") + uploadFailureText(r.result);
  }
  for (const UploadReport& r : reports) {
    const std::string note = sameNameNote(r.result);
    if (!note.empty()) text += "\n" + r.name + fromUtf8("：") + note;
  }
  return text;
}

}  // namespace inkpost
