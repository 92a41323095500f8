// One blog as the program talks to it: the site's record, the session of its
// login (a cookie text of its own), the lists its edit page gave, and every
// exchange with its admin pages: login, edit page, publish, uploads.
//
// Each client has its own session: two clients never see each other's
// cookies, whatever host and path their blogs share.
//
// A client may be driven from any thread, and from several at once: each
// call copies what it needs under the client's lock, runs its exchanges
// without it and puts the outcome back. Every exchange keeps its own time
// budget. cancel() ends the running exchanges within a second (as failures)
// and makes every later one fail before it sends anything, until
// resetCancel().
//
// Nothing here shows anything: outcomes are values, and the hooks tell the
// caller what is going on so that it can say so.
#pragma once

#include "blog/articlelist.h"
#include "blog/editpage.h"
#include "blog/login.h"
#include "blog/openarticle.h"
#include "blog/publish.h"
#include "blog/publishrecord.h"
#include "sites/siterecord.h"

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace inkpost {

// An account to log in with.
struct LoginAccount {
  std::string name, password;
};

// What a caller wants to hear of a login while it runs. Each hook runs on
// the thread that drives the client; every one may be empty.
struct LoginHooks {
  // Attempt `attempt` (from 1) starts.
  std::function<void(int attempt)> attemptStarting;
  // The account of each attempt, asked as it starts (the account fields may
  // have been edited meanwhile); empty: the account given to logIn.
  std::function<LoginAccount()> account;
  // Attempt `attempt` failed with `outcome` (the blog answered; the last
  // attempt too).
  std::function<void(int attempt, LoginOutcome outcome)> attemptFailed;
  // The logged-in session's edit page is being read.
  std::function<void()> readingEditPage;
  // The manual captcha fallback: a person reads the picture (see LoginAsk).
  ManualCodeAsk ask;
};

// How a login ended.
enum class LoginResult {
  Ready,         // logged in, and the edit page gave categories: the client can publish
  Refused,       // every attempt failed (refused account, wrong or unread codes)
  Cancelled,     // the person asked for a code chose 取消
  Unreachable,   // the blog gave no answer at all (see LoginReport::reached)
  NoCaptcha,     // the login page answered, but no captcha picture came: not this engine, or a wrong address
  TooLarge,      // an answer longer than a page can be: not a blog's page
  NoEditPage,    // logged in, but no edit page came
  NoCategories,  // logged in, but the edit page lists no category
  Interrupted,   // cancel() ended it
};

struct LoginReport {
  LoginResult result = LoginResult::Refused;
  int attempts = 0;                                  // attempts made
  LoginOutcome lastOutcome = LoginOutcome::Refused;  // of the last attempt
  ExchangeFate reached;                              // how its login page's exchange went
  std::string refusal;                               // the blog's own words for a refusal (GBK), if any
};

// How many attempts a login makes before it gives up.
inline constexpr int kLoginAttempts = 4;

// An exchange run with the session (see BlogClient::withSession).
struct SessionRun {
  bool renewed = false;                // the session had expired: logged in again and sent once more
  std::optional<LoginReport> renewal;  // that login, when one ran
  bool expiredAgain = false;           // the new login failed, or the second answer still wanted one
};

// How a publish ended.
struct PublishReport {
  PostOutcome outcome = kPostNoAnswer;
  PostAnswer answer;  // of the last post: why nothing was sent, a refusal for lack of rights
  SessionRun session;
};

// A page of the article list, an article opened for editing, and the check
// of a post without a clear answer (blog/arrival.h), each read with the
// session.
struct ListReport {
  ListPage page;
  SessionRun session;
};
struct OpenReport {
  OpenResult result;
  SessionRun session;
};
struct ArrivalReport {
  ArrivalCheck check;
  SessionRun session;
};

class BlogClient {
 public:
  explicit BlogClient(SiteRecord site);
  BlogClient(const BlogClient&) = delete;
  BlogClient& operator=(const BlogClient&) = delete;

  SiteRecord site() const;
  // The blog's address (ends with "/"), fixed for the client's life.
  const std::string& address() const { return address_; }
  // A changed record of the same site (name, account, flags).
  void setSite(const SiteRecord& site);

  // Up to kLoginAttempts attempts with this account, each with a fresh
  // server session whose captcha is read automatically (the hooks' ask when
  // that fails); then the edit page. Ready only once the edit page gave
  // categories. A login that does not end Ready leaves the client logged
  // out, its lists empty.
  [[nodiscard]] LoginReport logIn(const std::string& account, const std::string& password,
                                  const LoginHooks& hooks = {});

  // Reads the edit page with the current session and replaces the lists.
  [[nodiscard]] EditPageLoad readEditPage();

  // Logged in, with the lists of an edit page: an article can go out.
  bool ready() const;
  // The lists of the last edit page (empty when not ready).
  EditPage lists() const;

  // Runs `send` with the session's cookie text (which it may extend with
  // the answer's cookies). When `send` returns true (the blog answered with
  // its login page or a refusal for lack of rights: the session expired
  // before anything was stored), logs in again with the account of the last
  // login (`renewal` hooks) and runs `send` once more.
  [[nodiscard]] SessionRun withSession(const std::function<bool(std::string& cookie)>& send,
                                       const LoginHooks& renewal = {});

  // Posts the article form (a new article, or an update when form.id is
  // set), renewing an expired session once.
  [[nodiscard]] PublishReport publish(const PostForm& form, const LoginHooks& renewal = {});

  // The exchanges of the article list and of an article already on the
  // blog, each renewing an expired session once (as publish does). `stop`,
  // when given, is the caller's own cancel: set, it ends that call's
  // exchanges (a renewal it started included) within a second as failures,
  // and leaves the client's other exchanges alone.
  //
  // List page `page` (from 1) of the blog's articles, newest first.
  [[nodiscard]] ListReport readArticleList(int page, const LoginHooks& renewal = {},
                                           const std::atomic<bool>* stop = nullptr);
  // Article `id`'s edit page: the article, its intro and the page's lists.
  [[nodiscard]] OpenReport openArticle(int id, const LoginHooks& renewal = {}, const std::atomic<bool>* stop = nullptr);
  // 检查 after a post of `sent` that ended without a clear answer: is it on
  // the blog (checkPostArrival)?
  [[nodiscard]] ArrivalReport checkArrival(const PostForm& sent, const LoginHooks& renewal = {},
                                           const std::atomic<bool>* stop = nullptr);

  // Forgets the session and the lists.
  void logOut();

  void cancel();
  void resetCancel();
  bool cancelled() const { return cancel_.load(); }

  // The session's cookie text (tests and diagnostics).
  std::string sessionCookie() const;

 private:
  void forget();  // with the lock held
  // Keeps the cookie an exchange ends with, unless the session it began in
  // has been forgotten since (a log-out, another login): a stale copy never
  // replaces a newer session. With the lock held.
  void keepCookie(const std::string& cookie, unsigned long long session);
  // The cookie an exchange starts with, and the session it belongs to.
  struct SessionNow {
    std::string cookie;
    unsigned long long session = 0;
  };
  SessionNow sessionNow() const;

  const std::string address_;
  mutable std::mutex mutex_;
  SiteRecord site_;
  std::string cookie_;
  bool ready_ = false;
  EditPage lists_;
  std::string account_, password_;  // of the last login, for a renewal
  unsigned long long session_ = 0;  // counts forget(): which session a cookie belongs to
  std::mutex loginMutex_;           // one login of this blog at a time
  std::atomic<bool> cancel_{false};
};

// An attempt at the client's site, as the publish record keeps it.
PublishAttempt attemptOf(const BlogClient& client, const std::string& title, PublishStep step, PublishOutcome outcome,
                         const std::string& reason);

// The clients of the program, one per site: every window that talks to a
// blog takes its client from here, so a blog logged in to once is logged in
// everywhere. Safe to use from any thread.
class BlogClients {
 public:
  // The client of this site (by ID); a new one when there is none yet or
  // the site's address changed. A known client takes the record as given.
  std::shared_ptr<BlogClient> clientFor(const SiteRecord& site);
  // The client of a site ID, or null.
  std::shared_ptr<BlogClient> find(int siteId) const;

 private:
  mutable std::mutex mutex_;
  std::map<int, std::shared_ptr<BlogClient>> clients_;
};

}  // namespace inkpost
