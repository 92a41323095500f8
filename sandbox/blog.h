// The sandbox blog: a small blog server answering the administration pages
// the client drives, under a base path (e.g. "/" or "/blog/").
//
// Pages, relative to the base path:
//   login.asp                                  fresh server session (cookie ASPSESSIONIDQSRBTCAB)
//   function/c_validcode.asp?name=loginvalid   5-digit captcha bound to the session: the engine's
//                                              GIF by default, the older BMP style on request
//   cmd.asp?act=verify            (POST)       edtUserName, edtPassWord, edtSaveDate, edtCheckOut;
//                                              success: Location "cmd.asp?act=login", whose page
//                                              answers Location "admin/admin.asp"
//   admin/admin.asp                            "<title>Inkpost 后台管理</title>" (logged in)
//   admin/edit_fckeditor.asp                   categories, authors, hidden tag list (logged in)
//   admin/edit_fckeditor.asp?id=N              the same form filled with article N (logged in);
//                                              an unknown id: the engine's error page
//   cmd.asp?act=ArticleMng[&page=P]            302 to admin/admin.asp?act=ArticleMng[&page=P]: the
//                                              article list, 20 a page, newest first; a page past
//                                              the end repeats the last one (logged in)
//   cmd.asp?act=ArticlePst&type=fckeditor (POST)  stores the article (edtID=N > 0: updates article
//                                              N in place), answers "操作成功"
//   cmd.asp?act=FileUpload&reload=1&filename=N (POST, multipart "edtFileLoad")
//                                              stores DATA/upload/N
//   upload/N                                   the stored file
//   (base path itself, index.asp)              stored articles (every field) and files
//
// Inspection pages for tests (also under the base path):
//   _sandbox/articles                JSON array, one object per article: "fields" = [[name, value]...]
//                                    in posted order (values decoded, as UTF-8), "raw" = the body
//   _sandbox/articles/count          number of stored articles, as text
//   _sandbox/articles/N              raw body of article N (from 1), as posted
//   _sandbox/articles/N/FIELD        decoded bytes of one field of article N (404 when absent)
//   _sandbox/files                   stored upload names, one a line
//   _sandbox/captcha                 the captcha code of the caller's session (cookie), as text
//   _sandbox/log                     the request log so far, one line a request
//   _sandbox/fail?site=1&mode=M      turns the failure mode on or off (off | refuse | drop)
//
// Several blogs on one server: see sites.h.
#pragma once

#include "sandbox/engine_captcha.h"

#include <httplib.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace inkpost::sandbox {

// How a blog fails on request: not at all, by refusing every login with the
// engine's error page, or by closing every connection without an answer.
enum class Failure { Off, Refuse, Drop };
// "off", "refuse", "drop"; false for any other text.
bool parseFailure(const std::string& text, Failure& out);

// The request log: one line a request, to a file (appended) or stdout,
// shared by every blog of a server.
class RequestLog {
 public:
  explicit RequestLog(const std::string& file);  // empty: stdout
  ~RequestLog();
  RequestLog(const RequestLog&) = delete;
  RequestLog& operator=(const RequestLog&) = delete;
  void write(const std::string& line);

 private:
  std::mutex mu_;
  FILE* out_ = stdout;
};

// The line logged for one request: time, method, target, status, body size,
// the Cookie header.
std::string logLine(const httplib::Request& req, const httplib::Response& res);

// Routes every method of `svr` to `handler`, request bodies read whole first
// (a multipart body as its parts in req.files), and logs through `logger`.
void installHandler(httplib::Server& svr, std::function<void(const httplib::Request&, httplib::Response&)> handler,
                    httplib::Logger logger);

// Ends a request's connection at once, without any answer.
void dropConnection(const httplib::Request& req);

struct Options {
  int port = 0;
  std::string dataDir;
  std::string user = "admin";
  std::string password = "secret";
  std::string base = "/";
  std::string captcha = "random";       // random | fixed:DDDDD | blank
  std::string captchaStyle = "engine";  // engine (the blog engine's GIF) | bmp
  EngineCaptchaStyle engine;            // the engine style's settings
  double sessionMinutes = 0;            // sessions idle this long are forgotten (0: never)
  int captchaMisread = 0;               // the first N images show other digits than the session holds
  bool verifyNoLocation = false;        // a successful verify answers without Location
  bool absoluteLocation = false;        // a successful verify answers an absolute Location
  bool strictCookies = false;           // verify also checks the username/password cookies
  bool refusePosts = false;             // ArticlePst answers a refusal
  bool emptyPostAnswer = false;         // ArticlePst stores the article and answers an empty page
  std::vector<std::pair<int, std::string>> categories;
  std::vector<std::pair<int, std::string>> authors;
  int selectedAuthor = -1;  // author id marked selected
  std::vector<std::string> tags;
  std::string editPageFile;                            // serve this file's bytes as the edit page
  std::vector<std::pair<std::string, int>> delays;     // target substring -> milliseconds
  int stopAfter = 0;                                   // answer this many requests, then stop (0: never)
  std::string logFile;                                 // request log; stdout when empty
  std::string sessionCookie = "ASPSESSIONIDQSRBTCAB";  // the server session's cookie name
  Failure failure = Failure::Off;                      // the failure mode at start
};

// Fills the routes of `svr`; `requestStop` is called when the server should
// end (the stop-after hook).
class Blog {
 public:
  // `log` is shared with the other blogs of the server; null: the blog
  // opens opt.logFile itself.
  Blog(Options opt, std::function<void()> requestStop, std::shared_ptr<RequestLog> log = nullptr);
  ~Blog();
  // A server of this one blog: its routes and its request log.
  void install(httplib::Server& svr);
  void setOrigin(const std::string& origin);  // "http://127.0.0.1:PORT"

  // For a server of several blogs, which routes each request itself.
  const std::string& base() const;
  void handle(const httplib::Request& req, httplib::Response& res);  // body already read
  void logRequest(const httplib::Request& req, const httplib::Response& res);
  void setFailure(Failure f);
  Failure failure() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> d_;
};

}  // namespace inkpost::sandbox
