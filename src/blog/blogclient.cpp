#include "blog/blogclient.h"

#include "blog/arrival.h"
#include "net/cancel.h"

#include <utility>

namespace inkpost {

BlogClient::BlogClient(SiteRecord site) : address_(site.weburl), site_(std::move(site)) {}

SiteRecord BlogClient::site() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return site_;
}

void BlogClient::setSite(const SiteRecord& site) {
  std::lock_guard<std::mutex> lock(mutex_);
  site_ = site;
  site_.weburl = address_;
}

void BlogClient::forget() {
  ++session_;
  cookie_.clear();
  ready_ = false;
  lists_ = {};
}

void BlogClient::keepCookie(const std::string& cookie, unsigned long long session) {
  if (session == session_) cookie_ = cookie;
}

LoginReport BlogClient::logIn(const std::string& account, const std::string& password, const LoginHooks& hooks) {
  CancelScope scope(&cancel_);
  // A second login (two renewals at once) waits, then starts afresh.
  std::lock_guard<std::mutex> one(loginMutex_);
  unsigned long long session = 0;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    forget();
    session = session_;
  }
  LoginReport report;
  LoginAsk ask;
  ask.ask = hooks.ask;
  for (int attempt = 1; attempt <= kLoginAttempts; ++attempt) {
    if (exchangeCancelled()) {
      report.result = LoginResult::Interrupted;
      return report;
    }
    if (hooks.attemptStarting) hooks.attemptStarting(attempt);
    LoginAccount use{account, password};
    if (hooks.account) use = hooks.account();
    {
      std::lock_guard<std::mutex> lock(mutex_);
      account_ = use.name;
      password_ = use.password;
    }
    ask.lastAttempt = attempt == kLoginAttempts;
    std::string cookie;
    report.attempts = attempt;
    report.lastOutcome = loginAttempt(address_, use.name, use.password, cookie, ask, &report.reached, &report.refusal);
    {
      std::lock_guard<std::mutex> lock(mutex_);
      keepCookie(cookie, session);
    }
    if (exchangeCancelled()) {
      report.result = LoginResult::Interrupted;
      break;
    }
    if (report.lastOutcome == LoginOutcome::Done) break;
    if (report.lastOutcome == LoginOutcome::Cancelled) {
      report.result = LoginResult::Cancelled;
      break;
    }
    // Another attempt would only wait as long again, or meet the same page.
    if (report.lastOutcome == LoginOutcome::Unreachable) {
      report.result = LoginResult::Unreachable;
      break;
    }
    if (report.lastOutcome == LoginOutcome::NoCaptcha) {
      report.result = LoginResult::NoCaptcha;
      break;
    }
    if (report.lastOutcome == LoginOutcome::TooLarge) {
      report.result = LoginResult::TooLarge;
      break;
    }
    if (hooks.attemptFailed) hooks.attemptFailed(attempt, report.lastOutcome);
  }
  if (report.lastOutcome != LoginOutcome::Done || report.result == LoginResult::Interrupted) {
    std::lock_guard<std::mutex> lock(mutex_);
    forget();
    return report;
  }

  // The login counts once the edit page has given the lists an article needs.
  if (hooks.readingEditPage) hooks.readingEditPage();
  switch (readEditPage()) {
    case EditPageLoad::Loaded:
      report.result = LoginResult::Ready;
      break;
    case EditPageLoad::NoPage:
      report.result = exchangeCancelled() ? LoginResult::Interrupted : LoginResult::NoEditPage;
      break;
    case EditPageLoad::NoCategories:
      report.result = LoginResult::NoCategories;
      break;
  }
  return report;
}

EditPageLoad BlogClient::readEditPage() {
  CancelScope scope(&cancel_);
  auto [cookie, session] = sessionNow();
  const std::string html = fetchEditPage(address_, cookie);
  EditPage page = parseEditPage(html);
  std::lock_guard<std::mutex> lock(mutex_);
  if (session != session_) return EditPageLoad::NoPage;  // logged out meanwhile: the lists are not this session's
  keepCookie(cookie, session);
  // The lists never outlive a failed read: an article can never go out with
  // a category or author of an earlier page.
  ready_ = false;
  lists_ = {};
  if (html.empty()) return EditPageLoad::NoPage;
  if (page.categories.empty()) return EditPageLoad::NoCategories;
  lists_ = std::move(page);
  ready_ = true;
  return EditPageLoad::Loaded;
}

bool BlogClient::ready() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return ready_;
}

EditPage BlogClient::lists() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return lists_;
}

std::string BlogClient::sessionCookie() const { return sessionNow().cookie; }

BlogClient::SessionNow BlogClient::sessionNow() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return {cookie_, session_};
}

SessionRun BlogClient::withSession(const std::function<bool(std::string& cookie)>& send, const LoginHooks& renewal) {
  CancelScope scope(&cancel_);
  SessionRun run;
  const auto once = [&] {
    auto [cookie, session] = sessionNow();
    const bool wantsLogin = send(cookie);
    std::lock_guard<std::mutex> lock(mutex_);
    keepCookie(cookie, session);
    return wantsLogin;
  };
  if (!once()) return run;
  std::string account, password;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    account = account_;
    password = password_;
  }
  // The session expired, and the blog said so before storing anything: a
  // fresh login, then the very same request once more.
  run.renewed = true;
  run.renewal = logIn(account, password, renewal);
  run.expiredAgain = run.renewal->result != LoginResult::Ready || once();
  return run;
}

PublishReport BlogClient::publish(const PostForm& form, const LoginHooks& renewal) {
  PublishReport report;
  report.session = withSession(
      [&](std::string& cookie) {
        report.answer = sendArticle(address_, form, cookie);
        report.outcome = report.answer.outcome;
        return report.outcome == kPostNeedsLogin;
      },
      renewal);
  return report;
}

namespace {

// One read with the session, ended by the caller's stop: `read` fills the
// report from the blog and says whether the blog asked for a login.
template <typename Report, typename Read>
Report readWithSession(BlogClient& client, const std::atomic<bool>* stop, const LoginHooks& renewal, Read read) {
  CancelScope scope(stop);
  Report report;
  report.session = client.withSession([&](std::string& cookie) { return read(cookie, report); }, renewal);
  return report;
}

}  // namespace

ListReport BlogClient::readArticleList(int page, const LoginHooks& renewal, const std::atomic<bool>* stop) {
  return readWithSession<ListReport>(*this, stop, renewal, [&](std::string& cookie, ListReport& report) {
    report.page = fetchArticleListPage(address_, page, cookie);
    return report.page.outcome == ListOutcome::NeedsLogin;
  });
}

OpenReport BlogClient::openArticle(int id, const LoginHooks& renewal, const std::atomic<bool>* stop) {
  return readWithSession<OpenReport>(*this, stop, renewal, [&](std::string& cookie, OpenReport& report) {
    report.result = fetchArticleForEdit(address_, id, cookie);
    return report.result.outcome == OpenOutcome::NeedsLogin;
  });
}

ArrivalReport BlogClient::checkArrival(const PostForm& sent, const LoginHooks& renewal, const std::atomic<bool>* stop) {
  return readWithSession<ArrivalReport>(*this, stop, renewal, [&](std::string& cookie, ArrivalReport& report) {
    report.check = checkPostArrival(address_, cookie, sent);
    return report.check.outcome == ListOutcome::NeedsLogin;
  });
}

void BlogClient::logOut() {
  std::lock_guard<std::mutex> lock(mutex_);
  forget();
}

void BlogClient::cancel() { cancel_.store(true); }

void BlogClient::resetCancel() { cancel_.store(false); }

PublishAttempt attemptOf(const BlogClient& client, const std::string& title, PublishStep step, PublishOutcome outcome,
                         const std::string& reason) {
  const SiteRecord site = client.site();
  PublishAttempt attempt;
  attempt.siteId = site.id;
  attempt.siteName = site.webname;
  attempt.siteAddress = client.address();
  attempt.title = title;
  attempt.step = step;
  attempt.outcome = outcome;
  attempt.reason = reason;
  return attempt;
}

std::shared_ptr<BlogClient> BlogClients::clientFor(const SiteRecord& site) {
  std::lock_guard<std::mutex> lock(mutex_);
  std::shared_ptr<BlogClient>& client = clients_[site.id];
  if (client && client->address() == site.weburl)
    client->setSite(site);
  else
    client = std::make_shared<BlogClient>(site);
  return client;
}

std::shared_ptr<BlogClient> BlogClients::find(int siteId) const {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto it = clients_.find(siteId);
  return it == clients_.end() ? nullptr : it->second;
}

}  // namespace inkpost
