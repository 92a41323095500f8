// The doubles of the second blog service: a passport host that signs users
// in, and a blog host that signs them on through the passport, hands out
// the creation page with its form token and takes entries.
//
// Behaviour is derived from the account name, so tests need no switches:
//   wrong...      the passport refuses the account (so does a password
//                 starting with "wrong", a one-character account such as
//                 the dummy "0", and a form with fields it does not know)
//   nopsp...      the sign-on sets no PSPTOKEN cookie
//   homepsp...    the home page itself sets the PSPTOKEN cookie
//   bigcookie...  the sign-on sets cookies of more than 7,500 bytes in all
//   queryhome...  the sign-on ends on "/home?from=sso"
//   httpshome...  the sign-on ends on the https home address
//   badsubmit...  the submission answers the success text with one blank
//                 too many
//
// Every request to either host is recorded in <dataDir>/space-requests/,
// one file per request named by its sequence number: the request line, the
// header lines, a blank line, the body.
#include "sandbox/space.h"

#include "sandbox/form.h"

#include "src/crosspost/hosts.h"  // the second service's host names

#include <sys/stat.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <utility>
#include <vector>

namespace inkpost::sandbox {
namespace {

std::string lower(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

bool startsWith(const std::string& text, const std::string& prefix) { return text.rfind(prefix, 0) == 0; }

std::string cookie(const httplib::Request& req, const std::string& name) {
  std::string header = req.get_header_value("Cookie");
  size_t start = 0;
  while (start < header.size()) {
    size_t end = header.find(';', start);
    if (end == std::string::npos) end = header.size();
    std::string entry = header.substr(start, end - start);
    while (!entry.empty() && entry.front() == ' ') entry.erase(0, 1);
    if (startsWith(entry, name + "=")) return entry.substr(name.size() + 1);
    start = end + 1;
  }
  return {};
}

std::string hexOf(const std::string& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) {
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

std::string unhex(const std::string& text) {
  std::string out;
  for (size_t i = 0; i + 1 < text.size(); i += 2) {
    int hi = hexValue(text[i]), lo = hexValue(text[i + 1]);
    if (hi < 0 || lo < 0) return {};
    out += static_cast<char>(hi * 16 + lo);
  }
  return out;
}

std::string hostOf(const httplib::Request& req) {
  std::string host = lower(req.get_header_value("Host"));
  if (size_t colon = host.find(':'); colon != std::string::npos) host.resize(colon);
  return host;
}

void record(const httplib::Request& req, const std::string& dataDir) {
  if (dataDir.empty()) return;
  static std::mutex mutex;
  static int next = -1;
  std::lock_guard<std::mutex> lock(mutex);
  std::filesystem::path dir = std::filesystem::path(dataDir) / "space-requests";
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  if (next < 0) {
    next = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir, ec)) {
      (void)entry;
      ++next;
    }
  }
  char name[32];
  std::snprintf(name, sizeof name, "%06d.txt", ++next);
  std::ofstream out(dir / name, std::ios::binary);
  out << req.method << ' ' << req.target << "\r\n";
  for (const auto& [key, value] : req.headers) {
    if (key == "REMOTE_ADDR" || key == "REMOTE_PORT" || key == "LOCAL_ADDR" || key == "LOCAL_PORT") continue;
    out << key << ": " << value << "\r\n";
  }
  out << "\r\n" << req.body;
}

void html(httplib::Response& res, const std::string& body) {
  res.status = 200;
  res.set_content(body, "text/html; charset=utf-8");
}

void redirect(httplib::Response& res, const std::string& location) {
  res.status = 302;
  res.set_header("Location", location);
  res.set_content("", "text/html");
}

// ---- The passport host ------------------------------------------------------

const std::vector<std::string>& passportFields() {
  static const std::vector<std::string> names = {"tpl_ok",     "next_target", "tpl",        "skip_ok",  "aid",
                                                 "need_pay",   "need_coin",   "pay_method", "u",        "return_method",
                                                 "more_param", "return_type", "psp_tt",     "password", "safeflg",
                                                 "isphone",    "username",    "verifycode", "mem_pass"};
  return names;
}

void passport(const httplib::Request& req, httplib::Response& res) {
  const std::string passportHost = kPassportHost;
  const std::string spaceHost = kSpaceHost;
  if (req.method == "POST" && req.path == "/" && req.target == "/?login") {
    Fields fields = parseForm(req.body);
    bool known = fields.size() == passportFields().size();
    for (size_t i = 0; known && i < fields.size(); ++i) known = fields[i].first == passportFields()[i];
    std::string user = fieldOf(fields, "username");
    std::string password = fieldOf(fields, "password");
    bool accepted =
        known && user.size() > 1 && !password.empty() && !startsWith(user, "wrong") && !startsWith(password, "wrong");
    if (!accepted) {
      html(res,
           "<html><body><p>The account or the password is not right.</p>"
           "<script>var url=\"\";</script></body></html>");
      return;
    }
    res.set_header("Set-Cookie", "BDUSS=" + hexOf(user) + "; path=/");
    html(res, "<html><head><script>var url=\"http://" + spaceHost + "/\";window.location.replace(\"http://" +
                  passportHost +
                  "/loginPage.html?type=2&u=\" + encodeURIComponent(url));</script></head>"
                  "<body>signed in</body></html>");
    return;
  }
  if (req.method == "GET" && req.path == "/sso") {
    std::string ticket = cookie(req, "BDUSS");
    if (ticket.empty())
      redirect(res, "http://" + passportHost + "/loginPage.html?type=2&u=" + req.get_param_value("next"));
    else
      redirect(res, "http://" + spaceHost + "/sso?ticket=" + ticket);
    return;
  }
  if (req.method == "GET" && req.path == "/loginPage.html") {
    html(res, "<html><body><form>sign in</form></body></html>");
    return;
  }
  res.status = 404;
  res.set_content("not here", "text/plain");
}

// ---- The blog host ------------------------------------------------------------

const std::vector<std::string>& entryFields() {
  static const std::vector<std::string> names = {"title", "content", "private",      "imgnum",   "bdstoken",
                                                 "qbid",  "refer",   "multimedia[]", "private1", "qing_request_source"};
  return names;
}

std::string tokenFor(const std::string& ticket) { return "bds" + ticket.substr(0, 24); }

void space(const httplib::Request& req, httplib::Response& res) {
  const std::string passportHost = kPassportHost;
  const std::string spaceHost = kSpaceHost;
  const std::string ticket = cookie(req, "STOKEN");
  const bool signedOn = !ticket.empty() && !cookie(req, "PSPTOKEN").empty();

  if (req.method == "GET" && req.path == "/") {
    redirect(res, "http://" + passportHost + "/sso?next=http%3A%2F%2F" + spaceHost + "%2Fsso");
    return;
  }
  if (req.method == "GET" && req.path == "/sso") {
    std::string fresh = req.get_param_value("ticket");
    std::string user = unhex(fresh);
    if (user.empty()) {
      html(res, "<html><body>no ticket</body></html>");
      return;
    }
    res.set_header("Set-Cookie", "STOKEN=" + fresh + "; path=/");
    if (!startsWith(user, "nopsp") && !startsWith(user, "homepsp"))
      res.set_header("Set-Cookie", "PSPTOKEN=p" + fresh + "; path=/");
    if (startsWith(user, "bigcookie")) {
      for (int i = 1; i <= 3; ++i)
        res.set_header("Set-Cookie", "BIG" + std::to_string(i) + "=" + std::string(2600, 'x') + "; path=/");
    }
    std::string home = "/home";
    if (startsWith(user, "queryhome")) home = "/home?from=sso";
    if (startsWith(user, "httpshome")) home = "https://" + spaceHost + "/home";
    // A page of its own that moves on by script, as a sign-on page does: the
    // browser finishes one document here and one on the home page.
    html(res, "<html><head><script>window.location.replace(\"" + home +
                  "\");</script></head>"
                  "<body>signing on</body></html>");
    return;
  }
  if (req.method == "GET" && req.path == "/home") {
    if (!ticket.empty() && startsWith(unhex(ticket), "homepsp") && cookie(req, "PSPTOKEN").empty())
      res.set_header("Set-Cookie", "PSPTOKEN=p" + ticket + "; path=/");
    html(res, "<html><head><title>home</title></head><body>home</body></html>");
    return;
  }
  if (req.method == "GET" && req.path == "/pub/show/createtext") {
    if (!signedOn) {
      redirect(res, "http://" + passportHost + "/loginPage.html?type=2&u=http%3A%2F%2F" + spaceHost);
      return;
    }
    html(res, "<html><head><script>var a=1;window.qBdsToken=\"" + tokenFor(ticket) +
                  "\";var b=2;</script></head><body><form id=\"create\"></form></body></html>");
    return;
  }
  if (req.method == "POST" && req.path == "/pub/submit/createtext") {
    Fields fields = parseForm(req.body);
    bool known = fields.size() == entryFields().size();
    for (size_t i = 0; known && i < fields.size(); ++i) known = fields[i].first == entryFields()[i];
    const std::string user = unhex(ticket);
    res.status = 200;
    std::string answer;
    if (!signedOn)
      answer = R"({"errorNo" : "1","errorMsg" : "not signed in","data": [  ]})";
    else if (!known)
      answer = R"({"errorNo" : "2","errorMsg" : "bad form","data": [  ]})";
    else if (fieldOf(fields, "bdstoken") != tokenFor(ticket))
      answer = R"({"errorNo" : "3","errorMsg" : "bad token","data": [  ]})";
    else if (startsWith(user, "badsubmit"))
      answer = R"({"errorNo" : "0","errorMsg" : "","data" : [  ]})";
    else
      answer = R"({"errorNo" : "0","errorMsg" : "","data": [  ]})";
    res.set_content(answer, "text/html; charset=utf-8");
    return;
  }
  res.status = 404;
  res.set_content("not here", "text/plain");
}

}  // namespace

bool handleSpaceHost(const httplib::Request& req, httplib::Response& res, const std::string& dataDir) {
  const std::string host = hostOf(req);
  const bool isPassport = host == kPassportHost;
  const bool isSpace = host == kSpaceHost;
  if (!isPassport && !isSpace) return false;
  record(req, dataDir);
  if (isPassport)
    passport(req, res);
  else
    space(req, res);
  return true;
}

}  // namespace inkpost::sandbox
