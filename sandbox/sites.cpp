#include "sandbox/sites.h"

#include "sandbox/form.h"
#include "sandbox/space.h"

#include <algorithm>
#include <cstdlib>

namespace inkpost::sandbox {
namespace {

const char* failureName(Failure f) {
  switch (f) {
    case Failure::Refuse:
      return "refuse";
    case Failure::Drop:
      return "drop";
    default:
      return "off";
  }
}

}  // namespace

Options siteOptions(const Options& common, int k) {
  Options o = common;
  const std::string n = std::to_string(k);
  const int offset = 10 * (k - 1);
  o.base = common.base + n + "/";
  o.dataDir = common.dataDir + "/" + n;
  o.password = common.password + n;
  // The first two categories on every blog, the others on odd blogs only,
  // and one that only this blog has; ids differ from blog to blog.
  o.categories.clear();
  int last = 0;
  for (size_t i = 0; i < common.categories.size(); ++i) {
    const auto& [id, name] = common.categories[i];
    last = std::max(last, id);
    if (i < 2 || k % 2 == 1) o.categories.emplace_back(id + offset, name);
  }
  o.categories.emplace_back(last + 1 + offset, "站点" + n + "专栏");
  // The same authors under ids of this blog; an even blog selects its last.
  o.authors.clear();
  for (const auto& [id, name] : common.authors) o.authors.emplace_back(id + offset, name);
  o.selectedAuthor = common.selectedAuthor < 0 ? -1 : common.selectedAuthor + offset;
  if (k % 2 == 0 && !o.authors.empty()) o.selectedAuthor = o.authors.back().first;
  o.tags.push_back("站点" + n);
  // A server session cookie of this blog's own (ASP names one per application).
  // "ASPSESSIONIDSITE" and k in four letters (base 26, A for 0).
  o.sessionCookie = "ASPSESSIONIDSITE";
  for (int div = 26 * 26 * 26; div > 0; div /= 26) o.sessionCookie += static_cast<char>('A' + k / div % 26);
  return o;
}

Sites::Sites(const Options& common, int count, const std::map<int, Failure>& failures,
             std::function<void()> requestStop)
    : common_(common), log_(std::make_shared<RequestLog>(common.logFile)) {
  for (int k = 1; k <= count; ++k) {
    Options o = siteOptions(common, k);
    auto f = failures.find(k);
    if (f != failures.end()) o.failure = f->second;
    blogs_.push_back(std::make_unique<Blog>(std::move(o), requestStop, log_));
  }
}

void Sites::setOrigin(const std::string& origin) {
  for (auto& b : blogs_) b->setOrigin(origin);
}

Blog* Sites::blogOf(const std::string& target) const {
  const std::string& base = common_.base;
  if (target.compare(0, base.size(), base) != 0) return nullptr;
  size_t i = base.size();
  long k = 0;
  while (i < target.size() && target[i] >= '0' && target[i] <= '9' && k <= 100000) k = k * 10 + (target[i++] - '0');
  if (i == base.size() || i >= target.size() || target[i] != '/' || k < 1 || k > static_cast<long>(blogs_.size()))
    return nullptr;
  return blogs_[k - 1].get();
}

void Sites::indexPage(httplib::Response& res) const {
  std::string b = "<h1>Inkpost sandbox</h1>\r\n<ul>\r\n";
  for (size_t k = 0; k < blogs_.size(); ++k) {
    const Blog& blog = *blogs_[k];
    b += "<li><a href=\"" + std::to_string(k + 1) + "/\">" + htmlEscape(blog.base()) + "</a> " +
         htmlEscape(common_.user) + " / " + htmlEscape(common_.password + std::to_string(k + 1));
    if (blog.failure() != Failure::Off) b += std::string(" (fail: ") + failureName(blog.failure()) + ")";
    b += "</li>\r\n";
  }
  b += "</ul>";
  res.set_content(
      "<!DOCTYPE html>\r\n<html><head><meta charset=\"utf-8\"><title>Inkpost sandbox</title></head><body>\r\n" + b +
          "\r\n</body></html>\r\n",
      "text/html; charset=utf-8");
}

void Sites::handle(const httplib::Request& req, httplib::Response& res) {
  if (handleSpaceHost(req, res, common_.dataDir)) return;
  if (Blog* blog = blogOf(req.target)) return blog->handle(req, res);
  const size_t q = req.target.find('?');
  const std::string path = req.target.substr(0, q);
  const std::string rel =
      path.compare(0, common_.base.size(), common_.base) == 0 ? path.substr(common_.base.size()) : std::string("\x01");
  if (rel.empty() || rel == "index.asp") return indexPage(res);
  if (rel == "_sandbox/fail") {
    std::map<std::string, std::string> fields;
    for (auto& [k, v] : parseForm(q == std::string::npos ? "" : req.target.substr(q + 1))) fields.emplace(k, v);
    Failure f = Failure::Off;
    const long k = std::atol(fields["site"].c_str());
    if (k < 1 || k > static_cast<long>(blogs_.size()) || !parseFailure(fields["mode"], f)) {
      res.status = 400;
      return res.set_content("site=1.." + std::to_string(blogs_.size()) + "&mode=off|refuse|drop",
                             "text/plain; charset=utf-8");
    }
    blogs_[k - 1]->setFailure(f);
    return res.set_content("ok", "text/plain; charset=utf-8");
  }
  if (!rel.empty() && rel.find_first_not_of("0123456789") == std::string::npos) {
    res.status = 302;  // a blog's address without its closing "/"
    res.set_header("Location", path + "/");
    return;
  }
  res.status = 404;
  res.set_content("<p>没有这个页面</p>", "text/html; charset=utf-8");
}

void Sites::install(httplib::Server& svr) {
  installHandler(
      svr, [this](const httplib::Request& req, httplib::Response& res) { handle(req, res); },
      [this](const httplib::Request& req, const httplib::Response& res) {
        if (Blog* blog = blogOf(req.target))
          blog->logRequest(req, res);
        else
          log_->write(logLine(req, res));
      });
}

}  // namespace inkpost::sandbox
