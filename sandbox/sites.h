// Several independent blogs on one server (inkpost-sandbox --sites N): blog
// K lives under BASE + "K/" with its own data folder (DATA/K), accounts
// (the password followed by K), categories and authors (ids of its own),
// articles, uploads, captcha, sessions (a cookie name of its own) and
// inspection pages. Under BASE itself:
//   (BASE, index.asp)                         the list of the blogs
//   _sandbox/fail?site=K&mode=off|refuse|drop blog K's failure mode
#pragma once

#include "sandbox/blog.h"

#include <httplib.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace inkpost::sandbox {

// The options of blog k (1..count) of a server of `count` blogs.
Options siteOptions(const Options& common, int k);

class Sites {
 public:
  // `failures`: blog number -> failure mode at start.
  Sites(const Options& common, int count, const std::map<int, Failure>& failures, std::function<void()> requestStop);
  void install(httplib::Server& svr);
  void setOrigin(const std::string& origin);

 private:
  Blog* blogOf(const std::string& target) const;  // the blog whose base the target is under
  void handle(const httplib::Request& req, httplib::Response& res);
  void indexPage(httplib::Response& res) const;

  Options common_;
  std::shared_ptr<RequestLog> log_;
  std::vector<std::unique_ptr<Blog>> blogs_;
};

}  // namespace inkpost::sandbox
