// inkpost-sandbox: a small local blog server answering the administration
// pages the client drives. See --help and sandbox/README.md.
#include "sandbox/blog.h"
#include "sandbox/captcha_image.h"
#include "sandbox/sites.h"

#include <httplib.h>

#include <pthread.h>
#include <signal.h>
#include <sys/socket.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <iostream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <thread>

namespace {

constexpr size_t kThreads = 128;

// The library listens with a backlog of 5: a burst of connections (many
// blogs published to at once) would lose SYNs and wait a second for their
// retry. Listening again on the bound socket widens the queue.
template <typename Base>
class Widened : public Base {
 public:
  using Base::Base;
  void widenBacklog() { ::listen(this->svr_sock_, 1024); }
};

const char* kHelp =
    "usage: inkpost-sandbox --port N --data DIR --user U --password P [options]\n"
    "\n"
    "  --port N              port on 127.0.0.1 (0 picks a free one)\n"
    "  --data DIR            folder for stored articles (articles/) and files (upload/)\n"
    "  --user U              administrator account (UTF-8), default admin\n"
    "  --password P          administrator password (UTF-8), default secret\n"
    "  --base PATH           site path, e.g. /blog/ (default /)\n"
    "  --log FILE            append the request log to FILE instead of stdout\n"
    "  --sites N             N independent blogs under BASE/1/ .. BASE/N/, blog K's password is P followed\n"
    "                        by K; BASE itself lists them (default: one blog at BASE)\n"
    "  --tls CERT KEY        serve https with this certificate and key (PEM files)\n"
    "\n"
    "Test hooks:\n"
    "  --captcha MODE        random (default) | fixed:DDDDD | blank (images without digits)\n"
    "  --captcha-style S     engine (default): the blog engine's own GIF, as real blogs serve it;\n"
    "                        bmp: the older 100x30 BMP with coloured font digits\n"
    "  --captcha-size WxH    engine style: picture size (default 60x20)\n"
    "  --captcha-noise P     engine style: per cent of pixels flipped, P or MIN-MAX (default 6-10)\n"
    "  --captcha-angle DEG   engine style: largest turn of a stroke segment (default 7)\n"
    "  --captcha-margin P    engine style: largest random margin in a digit's cell, per cent (default 5)\n"
    "  --captcha-font FILE   bmp style: TrueType font of the digits (default DejaVu Sans Bold;\n"
    "                        empty text: the built-in pixel font)\n"
    "  --captcha-misread N   the captcha pictures of the first N sessions show other digits than they expect\n"
    "  --verify-no-location  a successful login answers without a Location header\n"
    "  --absolute-location   a successful login answers an absolute Location\n"
    "  --strict-cookies      the login also checks the username/password cookies\n"
    "  --refuse-posts        article posts are refused\n"
    "  --empty-post-answer   article posts are stored, the answer is empty\n"
    "  --categories LIST     edit page categories, \"id:name,id:name\" (UTF-8)\n"
    "  --authors LIST        edit page authors, \"id:name,...\"; a trailing * marks the selected one\n"
    "  --tags LIST           hidden tag list, \"a,b,c\" (empty text: no tags)\n"
    "  --edit-page FILE      serve FILE's bytes as the edit page\n"
    "  --delay TEXT:MS       wait MS milliseconds before answering a request whose target contains TEXT\n"
    "                        (may be repeated), e.g. login.asp, c_validcode, act=verify, edit_fckeditor,\n"
    "                        act=ArticlePst, act=FileUpload, act=ArticleMng; --delay MS: every page but\n"
    "                        the inspection pages (every blog)\n"
    "  --fail-site K[:MODE]  blog K fails (may be repeated): refuse (default; its logins get the engine's\n"
    "                        error page) or drop (its connections end without an answer); changed while\n"
    "                        running by GET BASE/_sandbox/fail?site=K&mode=off|refuse|drop\n"
    "  --session-minutes N   forget a session left idle for N minutes (decimals allowed; default never):\n"
    "                        its admin pages then answer as for a caller without a session\n"
    "  --stop-after N        answer N requests, then stop (later ones get an empty 503 meanwhile)\n"
    "\n"
    "The first line on stdout is \"listening on http://127.0.0.1:PORT/BASE\". SIGTERM or SIGINT stops the server.\n";

std::vector<std::string> splitList(const std::string& s) {
  std::vector<std::string> out;
  if (s.empty()) return out;
  std::stringstream ss(s);
  std::string item;
  while (std::getline(ss, item, ',')) out.push_back(item);
  return out;
}

std::vector<std::pair<int, std::string>> idList(const std::string& s, int* selected) {
  std::vector<std::pair<int, std::string>> out;
  for (std::string item : splitList(s)) {
    bool star = !item.empty() && item.back() == '*';
    if (star) item.pop_back();
    size_t colon = item.find(':');
    if (colon == std::string::npos) continue;
    int id = std::atoi(item.substr(0, colon).c_str());
    out.emplace_back(id, item.substr(colon + 1));
    if (star && selected) *selected = id;
  }
  return out;
}

[[noreturn]] void usage(const std::string& error) {
  std::fprintf(stderr, "inkpost-sandbox: %s\n\n%s", error.c_str(), kHelp);
  std::exit(2);
}

}  // namespace

int main(int argc, char** argv) {
  inkpost::sandbox::Options opt;
  std::string tlsCert, tlsKey;
  opt.categories = {{1, "未分类"}, {2, "技术"}, {5, "生活 &amp; 随笔"}};
  opt.authors = {{1, "admin"}, {2, "编辑"}};
  opt.selectedAuthor = 1;
  opt.tags = {"C++", "Qt", "博客", "生活"};
  int sites = 0;
  std::map<int, inkpost::sandbox::Failure> failures;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) usage(a + " needs a value");
      return argv[++i];
    };
    if (a == "--help" || a == "-h") {
      std::fputs(kHelp, stdout);
      return 0;
    } else if (a == "--port")
      opt.port = std::atoi(value().c_str());
    else if (a == "--data")
      opt.dataDir = value();
    else if (a == "--user")
      opt.user = value();
    else if (a == "--password")
      opt.password = value();
    else if (a == "--base")
      opt.base = value();
    else if (a == "--log")
      opt.logFile = value();
    else if (a == "--tls") {
      tlsCert = value();
      tlsKey = value();
    } else if (a == "--captcha")
      opt.captcha = value();
    else if (a == "--captcha-style")
      opt.captchaStyle = value();
    else if (a == "--captcha-size" || a == "--captcha-noise" || a == "--captcha-angle" || a == "--captcha-margin") {
      std::string error;
      if (!inkpost::sandbox::applyCaptchaOption(a.substr(10), value(), opt.engine, error)) usage("--captcha-" + error);
    } else if (a == "--session-minutes")
      opt.sessionMinutes = std::atof(value().c_str());
    else if (a == "--captcha-font")
      inkpost::sandbox::setCaptchaFont(value());
    else if (a == "--captcha-misread")
      opt.captchaMisread = std::atoi(value().c_str());
    else if (a == "--verify-no-location")
      opt.verifyNoLocation = true;
    else if (a == "--absolute-location")
      opt.absoluteLocation = true;
    else if (a == "--strict-cookies")
      opt.strictCookies = true;
    else if (a == "--refuse-posts")
      opt.refusePosts = true;
    else if (a == "--empty-post-answer")
      opt.emptyPostAnswer = true;
    else if (a == "--categories")
      opt.categories = idList(value(), nullptr);
    else if (a == "--authors") {
      opt.selectedAuthor = -1;
      opt.authors = idList(value(), &opt.selectedAuthor);
    } else if (a == "--tags")
      opt.tags = splitList(value());
    else if (a == "--edit-page")
      opt.editPageFile = value();
    else if (a == "--delay") {
      std::string v = value();
      size_t colon = v.rfind(':');
      if (colon == std::string::npos) {
        if (v.empty() || v.find_first_not_of("0123456789") != std::string::npos) usage("--delay wants TEXT:MS or MS");
        opt.delays.emplace_back("", std::atoi(v.c_str()));
      } else {
        opt.delays.emplace_back(v.substr(0, colon), std::atoi(v.substr(colon + 1).c_str()));
      }
    } else if (a == "--fail-site") {
      std::string v = value();
      size_t colon = v.find(':');
      int k = std::atoi(v.substr(0, colon).c_str());
      inkpost::sandbox::Failure f = inkpost::sandbox::Failure::Refuse;
      if (k < 1 || (colon != std::string::npos && !inkpost::sandbox::parseFailure(v.substr(colon + 1), f)))
        usage("--fail-site wants K[:refuse|drop|off]");
      failures[k] = f;
    } else if (a == "--sites")
      sites = std::atoi(value().c_str());
    else if (a == "--stop-after")
      opt.stopAfter = std::atoi(value().c_str());
    else
      usage("unknown option " + a);
  }
  if (opt.dataDir.empty()) usage("--data is required");
  if (opt.base.empty() || opt.base.front() != '/') opt.base = "/" + opt.base;
  if (opt.base.back() != '/') opt.base += '/';
  if (opt.captcha != "random" && opt.captcha != "blank" &&
      !(opt.captcha.rfind("fixed:", 0) == 0 && opt.captcha.size() > 6))
    usage("unknown captcha mode " + opt.captcha);
  if (opt.captchaStyle != "engine" && opt.captchaStyle != "bmp") usage("unknown captcha style " + opt.captchaStyle);
  if (opt.sessionMinutes < 0) usage("--session-minutes wants a number from 0");
  if (sites < 0 || sites > 1000) usage("--sites wants 1 to 1000");
  for (const auto& [k, f] : failures) {
    if (k > std::max(sites, 1)) usage("--fail-site " + std::to_string(k) + ": there is no such blog");
    if (sites <= 1) opt.failure = f;
  }
  std::error_code ec;
  std::filesystem::create_directories(opt.dataDir, ec);

  // Signals are taken by sigwait() in the main thread; every other thread
  // inherits the blocked mask.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGTERM);
  sigaddset(&stopSignals, SIGINT);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
  signal(SIGPIPE, SIG_IGN);

  std::function<void()> widenBacklog;
  std::unique_ptr<httplib::Server> server;
  if (tlsCert.empty()) {
    auto plain = std::make_unique<Widened<httplib::Server>>();
    widenBacklog = [s = plain.get()] { s->widenBacklog(); };
    server = std::move(plain);
  } else {
    auto secure = std::make_unique<Widened<httplib::SSLServer>>(tlsCert.c_str(), tlsKey.c_str());
    widenBacklog = [s = secure.get()] { s->widenBacklog(); };
    server = std::move(secure);
  }
  if (!server->is_valid()) usage("--tls: cannot use " + tlsCert + " and " + tlsKey);
  httplib::Server& svr = *server;
  // Slow blogs answer in parallel: every request has a thread of its own
  // up to this many at once (the library's default is the core count).
  svr.new_task_queue = [] { return new httplib::ThreadPool(kThreads); };
  const pid_t self = getpid();
  std::unique_ptr<inkpost::sandbox::Blog> blog;
  std::unique_ptr<inkpost::sandbox::Sites> several;
  if (sites > 1) {
    several = std::make_unique<inkpost::sandbox::Sites>(opt, sites, failures, [self] { kill(self, SIGTERM); });
    several->install(svr);
  } else {
    blog = std::make_unique<inkpost::sandbox::Blog>(opt, [self] { kill(self, SIGTERM); });
    blog->install(svr);
  }

  int port =
      opt.port == 0 ? svr.bind_to_any_port("127.0.0.1") : (svr.bind_to_port("127.0.0.1", opt.port) ? opt.port : -1);
  if (port <= 0) {
    std::fprintf(stderr, "inkpost-sandbox: cannot listen on 127.0.0.1:%d\n", opt.port);
    return 1;
  }
  widenBacklog();
  std::string origin = (tlsCert.empty() ? "http://127.0.0.1:" : "https://127.0.0.1:") + std::to_string(port);
  if (blog) blog->setOrigin(origin);
  if (several) several->setOrigin(origin);
  std::printf("listening on %s%s\n", origin.c_str(), opt.base.c_str());
  std::fflush(stdout);

  std::thread serving([&svr] { svr.listen_after_bind(); });
  int sig = 0;
  sigwait(&stopSignals, &sig);
  svr.stop();
  serving.join();
  return 0;
}
