#include "sandbox/blog.h"

#include "sandbox/captcha_image.h"
#include "sandbox/form.h"
#include "sandbox/space.h"

#include <iconv.h>
#include <openssl/evp.h>

#include <algorithm>
#include <atomic>
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

constexpr const char* kSessionCookie = "ASPSESSIONIDQSRBTCAB";
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

std::string htmlEscape(const std::string& s) {
  std::string out;
  for (char c : s) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        out += c;
    }
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

}  // namespace

struct Blog::Impl {
  Options opt;
  std::function<void()> requestStop;
  std::string origin;  // http://127.0.0.1:PORT

  using Clock = std::chrono::steady_clock;
  struct Session {
    std::string code;
    bool loggedIn = false;
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
  std::vector<std::string> logLines;
  FILE* log = stdout;

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
    return std::string(kSessionCookie) + "=" + id + "; path=" + opt.base;
  }

  // The caller's session, or null. A session left idle longer than the
  // session time is forgotten, as the engine's server does: the caller is
  // then treated exactly like one without a session cookie.
  Session* sessionOf(const httplib::Request& req) {
    auto cookies = parseCookies(req.get_header_value("Cookie"));
    auto it = cookies.find(kSessionCookie);
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
    if (opt.captcha == "blank") {
      shown.clear();
    } else if (misreadsLeft > 0) {
      --misreadsLeft;
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
    if (!s) {
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

  void adminPage(const httplib::Request& req, httplib::Response& res) {
    if (!loggedIn(req)) return redirect(res, "../login.asp");
    html(res, "<!DOCTYPE html>\r\n<html><head><meta charset=\"utf-8\">\r\n" + std::string(kAdminTitle) +
                  "\r\n</head><body>\r\n<p>欢迎, " + htmlEscape(opt.user) +
                  "</p>\r\n<p><a href=\"edit_fckeditor.asp\">新建文章</a></p>\r\n</body></html>\r\n");
  }

  void editPage(const httplib::Request& req, httplib::Response& res) {
    if (!loggedIn(req)) return redirect(res, "../login.asp");
    if (!opt.editPageFile.empty()) {
      html(res, readWhole(opt.editPageFile));
      return;
    }
    std::string b = "<form id=\"edit\" method=\"post\" action=\"../cmd.asp?act=ArticlePst&amp;type=fckeditor\">\r\n";
    b += "<p>标题:<input type=\"text\" name=\"edtTitle\" id=\"edtTitle\" value=\"\"></p>\r\n";
    b += "<p>分类:<select name=\"edtCateID\" id=\"cmbCate\">\r\n";
    for (const auto& [id, name] : opt.categories)
      b += "<option value=\"" + std::to_string(id) + "\">" + name + "</option>\r\n";
    b += "</select></p>\r\n<p>用户:<select name=\"edtAuthorID\" id=\"cmbUser\">\r\n";
    for (const auto& [id, name] : opt.authors)
      b += "<option value=\"" + std::to_string(id) + "\"" + (id == opt.selectedAuthor ? " selected=\"selected\"" : "") +
           ">" + name + "</option>\r\n";
    b += "</select></p>\r\n<p>Tags:<input type=\"text\" name=\"edtTag\" id=\"edtTag\" value=\"\">"
         " <a href=\"#\" onclick=\"showTags()\">显示常用Tags</a>\r\n<ul id=\"ulTag\" style=\"display:none;\">";
    for (const auto& t : opt.tags) b += "<li><a href='#'>" + t + "</a></li>";
    b += "</ul></p>\r\n<p><textarea name=\"txaContent\" id=\"txaContent\"></textarea></p>\r\n"
         "<p><input type=\"submit\" value=\"提交\"></p>\r\n</form>";
    html(res,
         "<!DOCTYPE html>\r\n<html><head><meta charset=\"utf-8\">\r\n<title>Inkpost 后台管理 - 新建文章</title>\r\n"
         "</head><body>\r\n" +
             b + "\r\n</body></html>\r\n");
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
    char name[32];
    std::snprintf(name, sizeof name, "%04zu.form", articles.size() + 1);
    writeWhole(articleDir() / name, req.body);
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
    for (const auto& [pattern, ms] : opt.delays)
      if (req.target.find(pattern) != std::string::npos) std::this_thread::sleep_for(std::chrono::milliseconds(ms));

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
    if (path.rfind(opt.base, 0) != 0) {
      res.status = 404;
      return html(res, page("404", "<p>没有这个页面</p>"));
    }
    std::string rel = path.substr(opt.base.size());
    std::string act = q.count("act") ? q["act"] : "";

    std::lock_guard<std::mutex> lock(mu);
    if (rel.empty() || rel == "index.asp" || rel == "default.asp") return indexPage(res);
    if (rel == "login.asp") return loginPage(req, res);
    if (rel == "function/c_validcode.asp") return captchaImage(req, res);
    if (rel == "cmd.asp") {
      if (act == "verify" && req.method == "POST") return verify(req, res);
      if (act == "login") return afterLogin(req, res);
      if (act == "ArticlePst" && req.method == "POST") return articlePost(req, res);
      if (act == "FileUpload" && req.method == "POST") return fileUpload(req, res, q);
      return html(res, page("Inkpost", "<p>错误原因:未知命令</p>"));
    }
    if (rel == "admin/admin.asp" || rel == "admin/" || rel == "admin/default.asp") return adminPage(req, res);
    if (rel == "admin/edit_fckeditor.asp") return editPage(req, res);
    if (rel.rfind("upload/", 0) == 0) return servedFile(rel.substr(7), res);
    if (rel.rfind("_sandbox/", 0) == 0) return inspect(rel.substr(9), req, res);
    res.status = 404;
    html(res, page("404", "<p>没有这个页面</p>"));
  }

  void logRequest(const httplib::Request& req, const httplib::Response& res) {
    std::string line = nowText() + " " + req.method + " " + req.target + " " + std::to_string(res.status) + " " +
                       std::to_string(res.body.size());
    std::string cookie = req.get_header_value("Cookie");
    if (!cookie.empty()) line += " cookie=[" + cookie + "]";
    {
      std::lock_guard<std::mutex> lock(mu);
      logLines.push_back(line);
      std::fprintf(log, "%s\n", line.c_str());
      std::fflush(log);
    }
    int n = ++requests;
    if (opt.stopAfter > 0 && n >= opt.stopAfter && requestStop) requestStop();
  }
};

Blog::Blog(Options opt, std::function<void()> requestStop) : d_(std::make_unique<Impl>()) {
  d_->opt = std::move(opt);
  d_->requestStop = std::move(requestStop);
  d_->misreadsLeft = d_->opt.captchaMisread;
  if (!d_->opt.logFile.empty()) {
    if (FILE* f = std::fopen(d_->opt.logFile.c_str(), "a")) d_->log = f;
  }
  d_->loadArticles();
}

Blog::~Blog() {
  if (d_->log != stdout) std::fclose(d_->log);
}

void Blog::setOrigin(const std::string& origin) { d_->origin = origin; }

void Blog::install(httplib::Server& svr) {
  Impl* d = d_.get();
  auto plain = [d](const httplib::Request& req, httplib::Response& res) { d->handle(req, res); };
  // Bodies are read raw (multipart included) so every handler sees the bytes as sent.
  // Bodies are read here so every handler sees the bytes as sent; a
  // multipart body arrives as its parts in req.files.
  auto withBody = [d](const httplib::Request& req, httplib::Response& res, const httplib::ContentReader& reader) {
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
    d->handle(full, res);
  };
  svr.Get(".*", plain);
  svr.Post(".*", withBody);
  svr.Put(".*", withBody);
  svr.Delete(".*", plain);
  svr.Options(".*", plain);
  svr.set_logger([d](const httplib::Request& req, const httplib::Response& res) { d->logRequest(req, res); });
}

}  // namespace inkpost::sandbox
