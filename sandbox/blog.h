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
//   cmd.asp?act=ArticlePst&type=fckeditor (POST)  stores the article, answers "操作成功"
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
#pragma once

#include "sandbox/engine_captcha.h"

#include <httplib.h>

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace inkpost::sandbox {

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
  std::string editPageFile;                         // serve this file's bytes as the edit page
  std::vector<std::pair<std::string, int>> delays;  // target substring -> milliseconds
  int stopAfter = 0;                                // answer this many requests, then stop (0: never)
  std::string logFile;                              // request log; stdout when empty
};

// Fills the routes of `svr`; `requestStop` is called when the server should
// end (the stop-after hook).
class Blog {
 public:
  Blog(Options opt, std::function<void()> requestStop);
  ~Blog();
  void install(httplib::Server& svr);
  void setOrigin(const std::string& origin);  // "http://127.0.0.1:PORT"

 private:
  struct Impl;
  std::unique_ptr<Impl> d_;
};

}  // namespace inkpost::sandbox
