#include "sandbox/blog.h"

#include "sandbox/captcha_image.h"
#include "sandbox/form.h"
#include "sandbox/space.h"

#include <dirent.h>
#include <iconv.h>
#include <netinet/in.h>
#include <openssl/evp.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <bitset>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <random>
#include <sstream>
#include <thread>

namespace fs = std::filesystem;

namespace inkpost::sandbox {
namespace {

constexpr const char* kAdminTitle = "<title>Inkpost 后台管理</title>";

bool hasField(const Fields& f, const std::string& name) {
  return std::any_of(f.begin(), f.end(), [&](const auto& p) { return p.first == name; });
}

std::map<std::string, std::string> parseCookies(const std::string& header) {
  std::map<std::string, std::string> out;
  std::stringstream ss(header);
  std::string item;
  while (std::getline(ss, item, ';')) {
    size_t b = item.find_first_not_of(' ');
    if (b == std::string::npos) continue;
    item = item.substr(b);
    size_t eq = item.find('=');
    if (eq == std::string::npos) continue;
    out.emplace(item.substr(0, eq), item.substr(eq + 1));
  }
  return out;
}

// Length of the valid UTF-8 sequence at s[i], 0 when there is none.
size_t utf8Length(const std::string& s, size_t i) {
  unsigned char c = static_cast<unsigned char>(s[i]);
  size_t len = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
  if (len == 0 || i + len > s.size()) return 0;
  for (size_t k = 1; k < len; ++k)
    if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return 0;
  return len;
}

// JSON string; bytes that are not UTF-8 become U+FFFD.
std::string jsonString(const std::string& s) {
  std::string out = "\"";
  for (size_t i = 0; i < s.size();) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    if (c >= 0x80) {
      size_t len = utf8Length(s, i);
      if (len == 0) {
        out += "\\ufffd";
        ++i;
      } else {
        out.append(s, i, len);
        i += len;
      }
      continue;
    }
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04x", c);
      out += buf;
    } else {
      out += static_cast<char>(c);
    }
    ++i;
  }
  return out + "\"";
}

// A URL-safe form of a stored name: valid UTF-8 and plain characters kept,
// blanks, quotes and stray bytes as %XX.
std::string hrefName(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size();) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    size_t len = c >= 0x80 ? utf8Length(s, i) : 1;
    if (c >= 0x80 && len > 0) {
      out.append(s, i, len);
      i += len;
      continue;
    }
    if (c <= 0x20 || c >= 0x7F || c == '"' || c == '%' || c == '<' || c == '>' || c == '#' || c == '?' || c == '\'') {
      char buf[4];
      std::snprintf(buf, sizeof buf, "%%%02X", c);
      out += buf;
    } else {
      out += static_cast<char>(c);
    }
    ++i;
  }
  return out;
}

std::string md5Hex(const std::string& bytes) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int len = 0;
  EVP_Digest(bytes.data(), bytes.size(), digest, &len, EVP_md5(), nullptr);
  std::string out;
  char buf[3];
  for (unsigned int i = 0; i < len; ++i) {
    std::snprintf(buf, sizeof buf, "%02x", digest[i]);
    out += buf;
  }
  return out;
}

bool iconvAll(const char* to, const char* from, const std::string& in, std::string& out) {
  out.clear();
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  out.resize(in.size() * 4 + 8);
  char* src = const_cast<char*>(in.data());
  size_t srcLeft = in.size();
  char* dst = out.data();
  size_t dstLeft = out.size();
  bool ok = iconv(cd, &src, &srcLeft, &dst, &dstLeft) != static_cast<size_t>(-1) && srcLeft == 0;
  iconv_close(cd);
  out.resize(ok ? out.size() - dstLeft : 0);
  return ok;
}

// The account as the login cookie carries it once the cookie value is
// URL-decoded (the client sends "%25uXXXX", read back as the escape() form
// "%uXXXX"): characters from U+00A0 up as "%uXXXX", the rest unchanged.
std::string cookieAccount(const std::string& utf8) {
  std::string u32;
  if (!iconvAll("UTF-32LE", "UTF-8", utf8, u32)) return {};
  std::string out;
  for (size_t i = 0; i + 4 <= u32.size(); i += 4) {
    uint32_t cp = static_cast<uint8_t>(u32[i]) | static_cast<uint8_t>(u32[i + 1]) << 8 |
                  static_cast<uint8_t>(u32[i + 2]) << 16 |
                  static_cast<uint32_t>(static_cast<uint8_t>(u32[i + 3])) << 24;
    if (cp < 0xA0) {
      out += static_cast<char>(cp);
    } else {
      char buf[16];
      std::snprintf(buf, sizeof buf, cp > 0xFFFF ? "%%U%08x" : "%%u%04x", cp);
      out += buf;
    }
  }
  return out;
}

std::string page(const std::string& title, const std::string& body) {
  return "<!DOCTYPE html>\r\n<html><head><meta charset=\"utf-8\"><title>" + title + "</title></head><body>\r\n" + body +
         "\r\n</body></html>\r\n";
}

std::string readWhole(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

bool writeWhole(const fs::path& p, const std::string& bytes) {
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

std::string contentTypeOf(const std::string& name) {
  std::string ext = fs::path(name).extension().string();
  std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
  if (ext == ".gif") return "image/gif";
  if (ext == ".jpg" || ext == ".jpeg" || ext == ".jpe") return "image/jpeg";
  if (ext == ".png") return "image/png";
  if (ext == ".bmp") return "image/bmp";
  if (ext == ".txt") return "text/plain; charset=utf-8";
  if (ext == ".html" || ext == ".htm") return "text/html; charset=utf-8";
  return "application/octet-stream";
}

// Stored names: no folders, no parent references, nothing hidden.
bool safeName(const std::string& name) {
  if (name.empty() || name == "." || name == ".." || name[0] == '.') return false;
  return name.find('/') == std::string::npos && name.find('\\') == std::string::npos &&
         name.find('\0') == std::string::npos;
}

std::string nowText() {
  std::time_t t = std::time(nullptr);
  std::tm tm{};
  localtime_r(&t, &tm);
  char buf[32];
  std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &tm);
  return buf;
}

// The code point of the UTF-8 sequence of `len` bytes at s[i].
uint32_t codePointAt(const std::string& s, size_t i, size_t len) {
  const auto b = [&](size_t k) { return static_cast<uint32_t>(static_cast<unsigned char>(s[i + k])); };
  switch (len) {
    case 1:
      return b(0);
    case 2:
      return (b(0) & 0x1F) << 6 | (b(1) & 0x3F);
    case 3:
      return (b(0) & 0x0F) << 12 | (b(1) & 0x3F) << 6 | (b(2) & 0x3F);
    default:
      return (b(0) & 0x07) << 18 | (b(1) & 0x3F) << 12 | (b(2) & 0x3F) << 6 | (b(3) & 0x3F);
  }
}

// The BMP code points the Chinese code page (GBK) holds, asked of iconv
// once, one code point at a time.
const std::bitset<0x10000>& gbkCodePoints() {
  static const std::bitset<0x10000> set = [] {
    std::bitset<0x10000> out;
    iconv_t cd = iconv_open("GBK", "UTF-32LE");
    if (cd == reinterpret_cast<iconv_t>(-1)) return out;
    for (uint32_t cp = 1; cp < 0x10000; ++cp) {
      if (cp >= 0xD800 && cp <= 0xDFFF) continue;
      char in[4] = {static_cast<char>(cp & 0xFF), static_cast<char>(cp >> 8), 0, 0};
      char outBuf[8];
      char* src = in;
      size_t srcLeft = sizeof in;
      char* dst = outBuf;
      size_t dstLeft = sizeof outBuf;
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
      if (iconv(cd, &src, &srcLeft, &dst, &dstLeft) != static_cast<size_t>(-1) && srcLeft == 0) out.set(cp);
    }
    iconv_close(cd);
    return out;
  }();
  return set;
}

// Stored text (UTF-8 as posted) as the engine on a Chinese system serves it
// back: what its code page cannot hold (and bytes that are not UTF-8, as
// U+FFFD) becomes a numeric character reference "&#N;".
std::string codePageSafe(const std::string& s) {
  const auto& gbk = gbkCodePoints();
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size();) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) {
      out += static_cast<char>(c);
      ++i;
      continue;
    }
    const size_t len = utf8Length(s, i);
    const uint32_t cp = len == 0 ? 0xFFFD : codePointAt(s, i, len);
    if (len > 0 && cp < 0x10000 && gbk.test(cp))
      out.append(s, i, len);
    else
      out += "&#" + std::to_string(cp) + ";";
    i += len == 0 ? 1 : len;
  }
  return out;
}

// A stored value as page text: HTML-escaped, then in the code page.
std::string shown(const std::string& s) { return codePageSafe(htmlEscape(s)); }

bool allDigits(const std::string& s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The name of an id of a list ("id:name"), empty when it is not listed.
std::string nameOf(const std::vector<std::pair<int, std::string>>& list, const std::string& id) {
  if (!allDigits(id) || id.size() > 9) return {};
  const int n = std::atoi(id.c_str());
  for (const auto& [k, name] : list)
    if (k == n) return name;
  return {};
}

// A path with its "." and ".." segments resolved, as a web server reads
// "/admin/../login.asp" (the redirect of an admin page without a session).
std::string withoutDotSegments(const std::string& path) {
  if (path.find("/.") == std::string::npos) return path;
  std::vector<std::string> kept;
  size_t start = 1;
  bool endsInFolder = false;
  while (start <= path.size()) {
    size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    const std::string segment = path.substr(start, end - start);
    endsInFolder = segment == "." || segment == "..";
    if (segment == "..") {
      if (!kept.empty()) kept.pop_back();
    } else if (segment != ".") {
      kept.push_back(segment);
    }
    start = end + 1;
  }
  std::string out;
  for (const auto& k : kept) out += "/" + k;
  return out.empty() || endsInFolder ? out + "/" : out;
}

constexpr size_t kListPageSize = 20;
constexpr const char* kRefusedLogin = "站点维护中，暂停登录";

}  // namespace

bool parseFailure(const std::string& text, Failure& out) {
  if (text == "off")
    out = Failure::Off;
  else if (text == "refuse")
    out = Failure::Refuse;
  else if (text == "drop")
    out = Failure::Drop;
  else
    return false;
  return true;
}

RequestLog::RequestLog(const std::string& file) {
  if (!file.empty())
    if (FILE* f = std::fopen(file.c_str(), "a")) out_ = f;
}

RequestLog::~RequestLog() {
  if (out_ != stdout) std::fclose(out_);
}

void RequestLog::write(const std::string& line) {
  std::lock_guard<std::mutex> lock(mu_);
  std::fprintf(out_, "%s\n", line.c_str());
  std::fflush(out_);
}

std::string logLine(const httplib::Request& req, const httplib::Response& res) {
  std::string line = nowText() + " " + req.method + " " + req.target + " " + std::to_string(res.status) + " " +
                     std::to_string(res.body.size());
  std::string cookie = req.get_header_value("Cookie");
  if (!cookie.empty()) line += " cookie=[" + cookie + "]";
  return line;
}

void dropConnection(const httplib::Request& req) {
  // The connection is the socket of this process whose two ends are the
  // request's: shutting it down makes the server's answer go nowhere and
  // the caller see the connection end.
  DIR* dir = opendir("/proc/self/fd");
  if (!dir) return;
  while (dirent* e = readdir(dir)) {
    const int fd = std::atoi(e->d_name);
    struct stat st {};
    if (fd <= 2 || fstat(fd, &st) != 0 || !S_ISSOCK(st.st_mode)) continue;
    sockaddr_in peer{}, self{};
    socklen_t peerLen = sizeof peer, selfLen = sizeof self;
    if (getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &peerLen) != 0 || peer.sin_family != AF_INET) continue;
    if (getsockname(fd, reinterpret_cast<sockaddr*>(&self), &selfLen) != 0) continue;
    if (ntohs(peer.sin_port) == req.remote_port && ntohs(self.sin_port) == req.local_port) {
      shutdown(fd, SHUT_RDWR);
      break;
    }
  }
  closedir(dir);
}

void installHandler(httplib::Server& svr, std::function<void(const httplib::Request&, httplib::Response&)> handler,
                    httplib::Logger logger) {
  // Bodies are read here so every handler sees the bytes as sent; a
  // multipart body arrives as its parts in req.files.
  auto withBody = [handler](const httplib::Request& req, httplib::Response& res, const httplib::ContentReader& reader) {
    httplib::Request full = req;
    full.body.clear();
    if (req.is_multipart_form_data()) {
      std::string current;
      reader(
          [&](const httplib::MultipartFormData& header) {
            current = header.name;
            full.files.emplace(header.name, header);
            return true;
          },
          [&](const char* data, size_t n) {
            auto it = full.files.find(current);
            if (it != full.files.end()) {
              // the last part of that name receives the bytes
              auto range = full.files.equal_range(current);
              for (auto r = range.first; r != range.second; ++r) it = r;
              it->second.content.append(data, n);
            }
            return true;
          });
    } else {
      reader([&](const char* data, size_t n) {
        full.body.append(data, n);
        return true;
      });
    }
    handler(full, res);
  };
  svr.Get(".*", handler);
  svr.Post(".*", withBody);
  svr.Put(".*", withBody);
  svr.Delete(".*", handler);
  svr.Options(".*", handler);
  svr.set_logger(std::move(logger));
}

struct Blog::Impl {
  Options opt;
  std::function<void()> requestStop;
  std::string origin;  // http://127.0.0.1:PORT

  using Clock = std::chrono::steady_clock;
  struct Session {
    std::string code;
    bool loggedIn = false;
    bool pictured = false;  // a captcha picture was drawn for it
    bool misread = false;   // its pictures show other digits than its code
    Clock::time_point lastUsed = Clock::now();
  };
  struct Article {
    Fields fields;
    std::string raw;
  };

  std::mutex mu;
  std::mt19937 rng{std::random_device{}()};
  std::map<std::string, Session> sessions;
  std::vector<Article> articles;
  int misreadsLeft = 0;
  std::atomic<int> requests{0};
  std::atomic<int> handled{0};
  std::atomic<Failure> failure{Failure::Off};
  std::vector<std::string> logLines;
  std::shared_ptr<RequestLog> log;

  fs::path articleDir() const { return fs::path(opt.dataDir) / "articles"; }
  fs::path uploadDir() const { return fs::path(opt.dataDir) / "upload"; }

  void loadArticles() {
    std::error_code ec;
    fs::create_directories(articleDir(), ec);
    fs::create_directories(uploadDir(), ec);
    std::vector<fs::path> files;
    for (const auto& e : fs::directory_iterator(articleDir(), ec))
      if (e.path().extension() == ".form") files.push_back(e.path());
    std::sort(files.begin(), files.end());
    for (const auto& p : files) {
      std::string raw = readWhole(p);
      articles.push_back({parseForm(raw), raw});
    }
  }

  std::string newSessionId() {
    std::string id;
    for (int i = 0; i < 24; ++i) id += static_cast<char>('A' + std::uniform_int_distribution<int>(0, 25)(rng));
    return id;
  }

  std::string cookieLine(const std::string& id) const {
    // Served over https, the session cookie is marked secure (as a server
    // that requires SSL marks it).
    return opt.sessionCookie + "=" + id + "; path=" + opt.base + (origin.rfind("https://", 0) == 0 ? "; secure" : "");
  }

  // The caller's session, or null. A session left idle longer than the
  // session time is forgotten, as the engine's server does: the caller is
  // then treated exactly like one without a session cookie.
  Session* sessionOf(const httplib::Request& req) {
    auto cookies = parseCookies(req.get_header_value("Cookie"));
    auto it = cookies.find(opt.sessionCookie);
    if (it == cookies.end()) return nullptr;
    auto s = sessions.find(it->second);
    if (s == sessions.end()) return nullptr;
    const Clock::time_point now = Clock::now();
    if (opt.sessionMinutes > 0 &&
        now - s->second.lastUsed > std::chrono::duration<double, std::ratio<60>>(opt.sessionMinutes)) {
      sessions.erase(s);
      return nullptr;
    }
    s->second.lastUsed = now;
    return &s->second;
  }

  // The caller's session; a new one (announced by Set-Cookie) when it has none.
  Session& ensureSession(const httplib::Request& req, httplib::Response& res) {
    if (Session* s = sessionOf(req)) return *s;
    std::string id = newSessionId();
    res.set_header("Set-Cookie", cookieLine(id));
    return sessions[id];
  }

  void html(httplib::Response& res, const std::string& body) { res.set_content(body, "text/html; charset=utf-8"); }

  void redirect(httplib::Response& res, const std::string& location) {
    res.status = 302;
    res.set_header("Location", location);
    html(res, page("Object moved",
                   "<h1>Object Moved</h1>This object may be found <a href=\"" + htmlEscape(location) + "\">here</a>."));
  }

  std::string codeFor() {
    if (opt.captcha.rfind("fixed:", 0) == 0) return opt.captcha.substr(6);
    return randomCaptchaCode(rng);  // "blank" too: the session expects a code the image does not show
  }

  // --- pages

  void loginPage(const httplib::Request&, httplib::Response& res) {
    std::string id = newSessionId();
    sessions[id] = {};
    res.set_header("Set-Cookie", cookieLine(id));
    html(res,
         page("Inkpost 登录",
              "<form method=\"post\" action=\"cmd.asp?act=verify\">\r\n"
              "<p>用户名:<input name=\"edtUserName\"></p>\r\n"
              "<p>密码:<input name=\"edtPassWord\" type=\"password\"></p>\r\n"
              "<p>验证码:<input name=\"edtCheckOut\"><img src=\"function/c_validcode.asp?name=loginvalid\"></p>\r\n"
              "<input type=\"hidden\" name=\"edtSaveDate\" value=\"365\">\r\n"
              "<input type=\"submit\" value=\"登录\"></form>"));
  }

  void captchaImage(const httplib::Request& req, httplib::Response& res) {
    Session& s = ensureSession(req, res);
    s.code = codeFor();
    std::string shown = s.code;
    // A misread session stays misread through every picture it fetches: a
    // reader unsure of one picture fetches another in the same session.
    if (!s.pictured) {
      s.pictured = true;
      s.misread = misreadsLeft > 0;
      if (s.misread) --misreadsLeft;
    }
    if (opt.captcha == "blank") {
      shown.clear();
    } else if (s.misread) {
      for (char& c : shown) c = static_cast<char>('0' + (c - '0' + 1) % 10);
    }
    res.set_header("Cache-Control", "no-cache");
    if (opt.captchaStyle == "bmp")
      res.set_content(renderCaptchaBmp(shown, rng), "image/bmp");
    else
      res.set_content(renderEngineCaptcha(shown, opt.engine, rng), "image/gif");
  }

  void verify(const httplib::Request& req, httplib::Response& res) {
    Fields f = parseForm(req.body);
    Session* s = sessionOf(req);
    std::string reason;
    if (failure == Failure::Refuse) {
      reason = kRefusedLogin;
    } else if (!s) {
      reason = "会话已过期，请刷新登录页";
    } else {
      std::string expected = s->code;
      s->code.clear();  // one use per image
      if (expected.empty() || fieldOf(f, "edtCheckOut") != expected)
        reason = "验证码错误";
      else if (fieldOf(f, "edtUserName") != opt.user || fieldOf(f, "edtPassWord") != opt.password)
        reason = "用户名或密码错误";
      else if (opt.strictCookies) {
        auto cookies = parseCookies(req.get_header_value("Cookie"));
        std::string gbk;
        iconvAll("GBK", "UTF-8", opt.password, gbk);
        if (cookies["username"] != cookieAccount(opt.user) || cookies["password"] != md5Hex(gbk))
          reason = "登录Cookie错误";
      }
    }
    if (!reason.empty()) {
      html(res, page("Inkpost 登录", "<p>错误原因:" + htmlEscape(reason) + "</p><a href=\"login.asp\">返回</a>"));
      return;
    }
    s->loggedIn = true;
    if (opt.verifyNoLocation) {
      html(res, page("Inkpost 登录", "<p>登录成功</p>"));
      return;
    }
    redirect(res, opt.absoluteLocation ? origin + opt.base + "cmd.asp?act=login" : "cmd.asp?act=login");
  }

  void afterLogin(const httplib::Request& req, httplib::Response& res) {
    Session* s = sessionOf(req);
    redirect(res, s && s->loggedIn ? "admin/admin.asp" : "login.asp");
  }

  bool loggedIn(const httplib::Request& req) {
    Session* s = sessionOf(req);
    return s && s->loggedIn;
  }

  void adminPage(const httplib::Request& req, httplib::Response& res, const std::map<std::string, std::string>& q) {
    if (!loggedIn(req)) return redirect(res, "../login.asp");
    auto act = q.find("act");
    if (act != q.end() && act->second == "ArticleMng") return articleList(res, q);
    html(res, "<!DOCTYPE html>\r\n<html><head><meta charset=\"utf-8\">\r\n" + std::string(kAdminTitle) +
                  "\r\n</head><body>\r\n<p>欢迎, " + htmlEscape(opt.user) +
                  "</p>\r\n<p><a href=\"edit_fckeditor.asp\">新建文章</a></p>\r\n</body></html>\r\n");
  }

  // The article list, as the engine's admin page shows it: 20 a page,
  // newest first; a page number past the end shows the last page again.
  // Title links alternate between the forms real blogs use (relative with
  // "../", or the id after another query field); the action cell links to
  // the edit page once more and to the delete command.
  void articleList(httplib::Response& res, const std::map<std::string, std::string>& q) {
    const size_t total = articles.size();
    const size_t pages = std::max<size_t>(1, (total + kListPageSize - 1) / kListPageSize);
    size_t pageNo = 1;
    auto it = q.find("page");
    if (it != q.end() && allDigits(it->second))
      pageNo = it->second.size() > 9 ? pages : std::clamp<size_t>(std::stoul(it->second), 1, pages);
    std::string b =
        "<h1>文章管理</h1>\r\n<table id=\"tbArticle\" border=\"1\">\r\n"
        "<tr><th>ID</th><th>分类</th><th>作者</th><th>标题</th><th>日期</th><th>操作</th></tr>\r\n";
    const size_t first = (pageNo - 1) * kListPageSize;
    for (size_t k = first; k < std::min(total, first + kListPageSize); ++k) {
      const size_t id = total - k;
      const Fields& f = articles[id - 1].fields;
      const std::string n = std::to_string(id);
      const std::string title = shown(fieldOf(f, "edtTitle"));
      const std::string link =
          id % 3 == 0 ? "edit_fckeditor.asp?type=fckeditor&amp;id=" + n : "../admin/edit_fckeditor.asp?id=" + n;
      b += "<tr><td>" + n + "</td><td>" + nameOf(opt.categories, fieldOf(f, "edtCateID")) + "</td><td>" +
           nameOf(opt.authors, fieldOf(f, "edtAuthorID")) + "</td><td><a href=\"" + link + "\" title=\"" + title +
           "\">" + title + "</a></td><td>" + shown(fieldOf(f, "edtYear")) + "-" + shown(fieldOf(f, "edtMonth")) + "-" +
           shown(fieldOf(f, "edtDay")) + " " + shown(fieldOf(f, "edtTime")) +
           "</td><td><a href=\"../admin/edit_fckeditor.asp?id=" + n + "&amp;page=" + std::to_string(pageNo) +
           "\">[编辑]</a> <a href=\"../cmd.asp?act=ArticleDel&amp;id=" + n +
           "\" onclick=\"return window.confirm('确定删除?');\">[删除]</a></td></tr>\r\n";
    }
    b += "</table>\r\n<p>";
    for (size_t p = 1; p <= pages; ++p) {
      const std::string t = "[" + std::to_string(p) + "]";
      b += p == pageNo ? "<b>" + t + "</b> "
                       : "<a href=\"admin.asp?act=ArticleMng&amp;page=" + std::to_string(p) + "\">" + t + "</a> ";
    }
    b += "</p>";
    html(res,
         "<!DOCTYPE html>\r\n<html><head><meta charset=\"utf-8\">\r\n<title>Inkpost 后台管理 - 文章管理</title>\r\n"
         "</head><body>\r\n" +
             b + "\r\n</body></html>\r\n");
  }

  // One text input of the filled edit form.
  static std::string input(const std::string& name, const std::string& value, const std::string& extra = {}) {
    return "<input type=\"text\" name=\"" + name + "\" id=\"" + name + "\"" + extra + " value=\"" + shown(value) +
           "\">";
  }

  // A textarea's contents: a first line break would be taken as part of
  // the tag, so one more goes before it.
  static std::string textarea(const std::string& name, const std::string& value) {
    const bool lineFirst = !value.empty() && (value[0] == '\r' || value[0] == '\n');
    return "<textarea name=\"" + name + "\" id=\"" + name + "\">" + (lineFirst ? "\r\n" : "") + shown(value) +
           "</textarea>";
  }

  // The edit form: empty for a new article (f null), else filled with the
  // stored fields of article `id`.
  std::string editForm(const Fields* f, size_t id) {
    const auto value = [f](const char* name) { return f ? fieldOf(*f, name) : std::string(); };
    std::string b = "<form id=\"edit\" method=\"post\" action=\"../cmd.asp?act=ArticlePst&amp;type=fckeditor\">\r\n";
    if (f) b += "<input type=\"hidden\" name=\"edtID\" id=\"edtID\" value=\"" + std::to_string(id) + "\">\r\n";
    b += "<p>标题:" + input("edtTitle", value("edtTitle")) + "</p>\r\n";
    b += "<p>分类:<select name=\"edtCateID\" id=\"cmbCate\">\r\n";
    const std::string category = value("edtCateID");
    for (const auto& [cid, name] : opt.categories)
      b += "<option value=\"" + std::to_string(cid) + "\"" +
           (f && std::to_string(cid) == category ? " selected=\"selected\"" : "") + ">" + name + "</option>\r\n";
    b += "</select></p>\r\n<p>用户:<select name=\"edtAuthorID\" id=\"cmbUser\">\r\n";
    const std::string author = value("edtAuthorID");
    for (const auto& [aid, name] : opt.authors)
      b += "<option value=\"" + std::to_string(aid) + "\"" +
           ((f ? std::to_string(aid) == author : aid == opt.selectedAuthor) ? " selected=\"selected\"" : "") + ">" +
           name + "</option>\r\n";
    b += "</select></p>\r\n<p>Tags:" + input("edtTag", value("edtTag")) +
         " <a href=\"#\" onclick=\"showTags()\">显示常用Tags</a>\r\n<ul id=\"ulTag\" style=\"display:none;\">";
    for (const auto& t : opt.tags) b += "<li><a href='#'>" + t + "</a></li>";
    b += "</ul></p>\r\n";
    if (f) {
      b += "<p>别名:" + input("edtAlias", value("edtAlias")) + "</p>\r\n";
      b += "<p>日期:" + input("edtYear", value("edtYear"), " size=\"4\"") + "-" +
           input("edtMonth", value("edtMonth"), " size=\"2\"") + "-" + input("edtDay", value("edtDay"), " size=\"2\"") +
           " " + input("edtTime", value("edtTime"), " size=\"8\"") + "</p>\r\n";
      b += "<p>类型:<input type=\"hidden\" name=\"edtLevel\" id=\"edtLevel\" value=\"" + shown(value("edtLevel")) +
           "\"> <input type=\"checkbox\" name=\"edtIstop\" id=\"edtIstop\" value=\"True\"" +
           (value("edtIstop") == "true" ? " checked=\"checked\"" : "") + ">置顶</p>\r\n";
      b += "<p>" + textarea("txaContent", value("txaContent")) + "</p>\r\n";
      b += "<p>摘要:" + textarea("txaIntro", value("txaIntro")) + "</p>\r\n";
    } else {
      b += "<p><textarea name=\"txaContent\" id=\"txaContent\"></textarea></p>\r\n";
    }
    return b + "<p><input type=\"submit\" value=\"提交\"></p>\r\n</form>";
  }

  // The article number a request names: 0 for none (a new article), npos
  // for one the blog does not hold.
  size_t articleNumber(const std::string& text) const {
    if (text.empty() || (allDigits(text) && std::stoull(text.substr(0, 12)) == 0)) return 0;
    if (!allDigits(text) || text.size() > 9) return std::string::npos;
    const size_t n = std::stoul(text);
    return n <= articles.size() ? n : std::string::npos;
  }

  void editPage(const httplib::Request& req, httplib::Response& res, const std::map<std::string, std::string>& q) {
    if (!loggedIn(req)) return redirect(res, "../login.asp");
    auto idField = q.find("id");
    const size_t id = articleNumber(idField == q.end() ? std::string() : idField->second);
    if (id == std::string::npos) return html(res, page("Inkpost", "<p>错误原因:文章不存在</p>"));
    if (id == 0 && !opt.editPageFile.empty()) return html(res, readWhole(opt.editPageFile));
    html(res, std::string("<!DOCTYPE html>\r\n<html><head><meta charset=\"utf-8\">\r\n<title>Inkpost 后台管理 - ") +
                  (id ? "编辑文章" : "新建文章") + "</title>\r\n</head><body>\r\n" +
                  editForm(id ? &articles[id - 1].fields : nullptr, id) + "\r\n</body></html>\r\n");
  }

  void articlePost(const httplib::Request& req, httplib::Response& res) {
    if (!loggedIn(req)) {
      html(res, page("Inkpost", "<p>错误原因:没有权限，请先登录</p>"));
      return;
    }
    if (opt.refusePosts) {
      html(res, page("Inkpost", "<p>错误原因:文章保存失败</p>"));
      return;
    }
    Article a{parseForm(req.body), req.body};
    // edtID names the article to update in place; 0 adds one.
    const size_t id = articleNumber(fieldOf(a.fields, "edtID"));
    if (id == std::string::npos) {
      html(res, page("Inkpost", "<p>错误原因:文章不存在</p>"));
      return;
    }
    char name[32];
    std::snprintf(name, sizeof name, "%04zu.form", id ? id : articles.size() + 1);
    writeWhole(articleDir() / name, req.body);
    if (id)
      articles[id - 1] = std::move(a);
    else
      articles.push_back(std::move(a));
    if (opt.emptyPostAnswer) {
      res.set_content("", "text/html; charset=utf-8");
      return;
    }
    html(res, page("Inkpost", "<p>操作成功</p><script>location.href='admin/admin.asp';</script>"));
  }

  void fileUpload(const httplib::Request& req, httplib::Response& res, const std::map<std::string, std::string>& q) {
    if (!loggedIn(req)) {
      html(res, page("Inkpost", "<p>错误原因:没有权限，请先登录</p>"));
      return;
    }
    if (!req.has_file("edtFileLoad")) {
      html(res, page("Inkpost", "<p>错误原因:没有上传文件</p>"));
      return;
    }
    const httplib::MultipartFormData& file = req.get_file_value("edtFileLoad");
    auto it = q.find("filename");
    std::string name = it != q.end() && !it->second.empty() ? it->second : file.filename;
    // The query is read in the server's code page (GBK), as the engine on
    // a Chinese system does; the file system and the answer hold Unicode.
    std::string unicodeName;
    if (it != q.end() && !it->second.empty() && iconvAll("UTF-8", "GBK", name, unicodeName)) name = unicodeName;
    if (!safeName(name)) {
      html(res, page("Inkpost", "<p>错误原因:文件名无效</p>"));
      return;
    }
    fs::path target = uploadDir() / name;
    std::error_code ec;
    if (fs::exists(target, ec)) {
      html(res, page("Inkpost", "<p>错误原因:文件已存在，请先删除</p>"));
      return;
    }
    if (!writeWhole(target, file.content)) {
      html(res, page("Inkpost", "<p>错误原因:文件保存失败</p>"));
      return;
    }
    std::string address = origin + opt.base + "upload/" + hrefName(name);
    html(res, page("Inkpost", "<p>已上传文件:<a href=\"" + address + "\" target=\"_blank\">" + htmlEscape(name) +
                                  "</a> (" + std::to_string(file.content.size()) + " bytes)</p>"));
  }

  void servedFile(const std::string& name, httplib::Response& res) {
    fs::path p = uploadDir() / name;
    std::error_code ec;
    if (!safeName(name) || !fs::is_regular_file(p, ec)) {
      res.status = 404;
      html(res, page("404", "<p>没有这个文件</p>"));
      return;
    }
    res.set_content(readWhole(p), contentTypeOf(name).c_str());
  }

  std::vector<std::string> uploadNames() {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(uploadDir(), ec))
      if (e.is_regular_file()) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  void indexPage(httplib::Response& res) {
    std::string b = "<h1>Inkpost sandbox</h1>\r\n<h2>文章 (" + std::to_string(articles.size()) + ")</h2>\r\n";
    for (size_t i = 0; i < articles.size(); ++i) {
      b += "<table border=\"1\" id=\"article" + std::to_string(i + 1) + "\"><caption>#" + std::to_string(i + 1) +
           "</caption>\r\n";
      for (const auto& [k, v] : articles[i].fields)
        b += "<tr><th>" + htmlEscape(k) + "</th><td><pre>" + htmlEscape(v) + "</pre></td></tr>\r\n";
      b += "</table>\r\n";
    }
    auto names = uploadNames();
    b += "<h2>文件 (" + std::to_string(names.size()) + ")</h2>\r\n<ul>\r\n";
    for (const auto& n : names) b += "<li><a href=\"upload/" + hrefName(n) + "\">" + htmlEscape(n) + "</a></li>\r\n";
    b += "</ul>";
    html(res, page("Inkpost sandbox", b));
  }

  void inspect(const std::string& what, const httplib::Request& req, httplib::Response& res) {
    auto text = [&](const std::string& t) { res.set_content(t, "text/plain; charset=utf-8"); };
    if (what == "articles") {
      std::string j = "[";
      for (size_t i = 0; i < articles.size(); ++i) {
        if (i) j += ",";
        j += "\n{\"fields\":[";
        for (size_t k = 0; k < articles[i].fields.size(); ++k) {
          if (k) j += ",";
          j += "[" + jsonString(articles[i].fields[k].first) + "," + jsonString(articles[i].fields[k].second) + "]";
        }
        j += "],\"raw\":" + jsonString(articles[i].raw) + "}";
      }
      res.set_content(j + "\n]\n", "application/json; charset=utf-8");
    } else if (what == "articles/count") {
      text(std::to_string(articles.size()));
    } else if (what.rfind("articles/", 0) == 0) {
      std::string rest = what.substr(9);
      size_t slash = rest.find('/');
      size_t n = std::strtoul(rest.substr(0, slash).c_str(), nullptr, 10);
      if (n == 0 || n > articles.size()) {
        res.status = 404;
        return text("no such article");
      }
      const Article& a = articles[n - 1];
      if (slash == std::string::npos) return text(a.raw);
      std::string field = rest.substr(slash + 1);
      if (!hasField(a.fields, field)) {
        res.status = 404;
        return text("no such field");
      }
      res.set_content(fieldOf(a.fields, field), "application/octet-stream");
    } else if (what == "files") {
      std::string t;
      for (const auto& n : uploadNames()) t += n + "\n";
      text(t);
    } else if (what == "captcha") {
      Session* s = sessionOf(req);
      text(s ? s->code : "");
    } else if (what == "log") {
      std::string t;
      for (const auto& l : logLines) t += l + "\n";
      text(t);
    } else {
      res.status = 404;
      text("unknown");
    }
  }

  // --- dispatch

  void handle(const httplib::Request& req, httplib::Response& res) {
    // Past the stop-after count nothing is answered any more, even while the
    // server is still shutting down.
    if (opt.stopAfter > 0 && ++handled > opt.stopAfter) {
      res.status = 503;
      res.set_header("Connection", "close");
      if (requestStop) requestStop();
      return;
    }
    if (handleSpaceHost(req, res, opt.dataDir)) return;

    std::string rawPath = req.target.substr(0, req.target.find('?'));
    std::string query = req.target.find('?') == std::string::npos ? "" : req.target.substr(req.target.find('?') + 1);
    std::map<std::string, std::string> q;
    for (auto& [k, v] : parseForm(query)) q.emplace(k, v);
    // Percent-decoded path; unlike a form value, a path keeps its "+".
    std::string path;
    {
      std::string& p = path;
      for (size_t i = 0; i < rawPath.size(); ++i) {
        if (rawPath[i] == '%' && i + 2 < rawPath.size() && hexValue(rawPath[i + 1]) >= 0 &&
            hexValue(rawPath[i + 2]) >= 0) {
          p += static_cast<char>(hexValue(rawPath[i + 1]) * 16 + hexValue(rawPath[i + 2]));
          i += 2;
        } else {
          p += rawPath[i];
        }
      }
    }
    path = withoutDotSegments(path);
    if (path.rfind(opt.base, 0) != 0) {
      res.status = 404;
      return html(res, page("404", "<p>没有这个页面</p>"));
    }
    std::string rel = path.substr(opt.base.size());
    std::string act = q.count("act") ? q["act"] : "";
    const bool inspection = rel.rfind("_sandbox/", 0) == 0;
    // A delay without a target text holds up every page but the inspection pages.
    for (const auto& [pattern, ms] : opt.delays)
      if (pattern.empty() ? !inspection : req.target.find(pattern) != std::string::npos)
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    if (failure == Failure::Drop && !inspection) {
      dropConnection(req);
      res.status = 444;  // logged as such; nothing reaches the caller
      return;
    }
    if (rel == "_sandbox/fail") return failControl(q, res);

    std::lock_guard<std::mutex> lock(mu);
    if (rel.empty() || rel == "index.asp" || rel == "default.asp") return indexPage(res);
    if (rel == "login.asp") return loginPage(req, res);
    if (rel == "function/c_validcode.asp") return captchaImage(req, res);
    if (rel == "cmd.asp") {
      if (act == "verify" && req.method == "POST") return verify(req, res);
      if (act == "login") return afterLogin(req, res);
      if (act == "ArticlePst" && req.method == "POST") return articlePost(req, res);
      if (act == "ArticleMng") return redirect(res, "admin/admin.asp?" + query);
      if (act == "FileUpload" && req.method == "POST") return fileUpload(req, res, q);
      return html(res, page("Inkpost", "<p>错误原因:未知命令</p>"));
    }
    if (rel == "admin/admin.asp" || rel == "admin/" || rel == "admin/default.asp") return adminPage(req, res, q);
    if (rel == "admin/edit_fckeditor.asp") return editPage(req, res, q);
    if (rel.rfind("upload/", 0) == 0) return servedFile(rel.substr(7), res);
    if (rel.rfind("_sandbox/", 0) == 0) return inspect(rel.substr(9), req, res);
    res.status = 404;
    html(res, page("404", "<p>没有这个页面</p>"));
  }

  // The failure control of a blog served alone (site 1 or none).
  void failControl(const std::map<std::string, std::string>& q, httplib::Response& res) {
    auto site = q.find("site");
    auto mode = q.find("mode");
    Failure f = Failure::Off;
    if ((site != q.end() && site->second != "1") || mode == q.end() || !parseFailure(mode->second, f)) {
      res.status = 400;
      return res.set_content("site=1&mode=off|refuse|drop", "text/plain; charset=utf-8");
    }
    failure = f;
    res.set_content("ok", "text/plain; charset=utf-8");
  }

  void logRequest(const httplib::Request& req, const httplib::Response& res) {
    const std::string line = logLine(req, res);
    {
      std::lock_guard<std::mutex> lock(mu);
      logLines.push_back(line);
      log->write(line);
    }
    int n = ++requests;
    if (opt.stopAfter > 0 && n >= opt.stopAfter && requestStop) requestStop();
  }
};

Blog::Blog(Options opt, std::function<void()> requestStop, std::shared_ptr<RequestLog> log)
    : d_(std::make_unique<Impl>()) {
  d_->opt = std::move(opt);
  d_->requestStop = std::move(requestStop);
  d_->misreadsLeft = d_->opt.captchaMisread;
  d_->failure = d_->opt.failure;
  d_->log = log ? std::move(log) : std::make_shared<RequestLog>(d_->opt.logFile);
  d_->loadArticles();
}

Blog::~Blog() = default;

void Blog::setOrigin(const std::string& origin) { d_->origin = origin; }

const std::string& Blog::base() const { return d_->opt.base; }

void Blog::handle(const httplib::Request& req, httplib::Response& res) { d_->handle(req, res); }

void Blog::logRequest(const httplib::Request& req, const httplib::Response& res) { d_->logRequest(req, res); }

void Blog::setFailure(Failure f) { d_->failure = f; }

Failure Blog::failure() const { return d_->failure; }

void Blog::install(httplib::Server& svr) {
  Impl* d = d_.get();
  installHandler(
      svr, [d](const httplib::Request& req, httplib::Response& res) { d->handle(req, res); },
      [d](const httplib::Request& req, const httplib::Response& res) { d->logRequest(req, res); });
}

}  // namespace inkpost::sandbox
