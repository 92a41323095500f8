#include "blog/ui/publish.h"

#include "blog/articlecheck.h"
#include "blog/login.h"
#include "blog/publishrecord.h"
#include "blog/ui/arrivalcheck.h"
#include "blog/ui/articleform.h"
#include "blog/ui/login.h"
#include "common/ui/gbk.h"
#include "common/ui/toast.h"
#include "common/ui/wait.h"
#include "net/encoding.h"

#include <QDateTime>

namespace inkpost {

void onTitleChanged(ArticleForm& form) { form.followTitle(); }

void onAutoAliasClicked(ArticleForm& form) { form.followTitle(); }

void completeArticle(PostForm& form, const std::string& gbkBody, const std::string& root, const std::string& site) {
  form.body = replaceRootAddress(gbkBody, root, site);
  form.intro = makeIntro(form.body);
}

const std::string& publishBusyText() {
  static const std::string text = fromUtf8("正在发布…");
  return text;
}

const std::string& editorSilentNotice() {
  static const std::string text = fromUtf8("编辑器没有回应，文章没有发出。正文仍在编辑器中，请稍候再发布。");
  return text;
}

const std::string& sessionExpiredNotice() {
  static const std::string text = fromUtf8("登录已过期，请重新登录");
  return text;
}

const std::string& updatedNotice() {
  static const std::string text = fromUtf8("修改成功");
  return text;
}

std::string updateRefusedNotice(const std::string& gbkReason) {
  return gbkReason.empty() ? fromUtf8("修改失败！") : fromUtf8("修改失败：") + gbkReason;
}

std::string otherBlogNotice(const std::string& address) {
  return fromUtf8("这篇文章是博客 ") + address + fromUtf8(" 上的文章，请先在网站名称中选择这个博客，再发布修改");
}

Publisher::Publisher(CurrentBlog& blog, ArticleForm& form) : QObject(&blog), blog_(blog), form_(form) {}

namespace {

// Keeps the attempt in the publish record; a record that cannot be written
// is said in the status line (the publish itself is told by its notice).
void record(CurrentBlog& blog, const BlogClient& client, const std::string& title, PublishStep step,
            PublishOutcome outcome, const std::string& reason) {
  std::string error;
  if (!recordPublishAttempt(attemptOf(client, title, step, outcome, reason), &error))
    blog.status().flash(toQ(fromUtf8("发布记录无法写入：") + error));
}

}  // namespace

void Publisher::publish() {
  ReentryGuard once(publishing_);
  if (!once.entered()) return;
  QWidget* window = &blog_.window();
  // Without a logged-in site the blog could only refuse, or worse store an
  // article without category and author: nothing is sent.
  std::shared_ptr<BlogClient> client = blog_.client();
  if (!client || !blog_.ready()) {
    ShowToast(window, chooseSiteNotice(), kLoginProblemSeconds);
    return;
  }

  form_.refreshUntouchedDates(QDateTime::currentDateTime());
  const Article fields = form_.fields();
  // An article opened from one blog is never sent to another: its number
  // there would change some other article.
  if (fields.id > 0 && fields.site != client->address()) {
    ShowToast(window, otherBlogNotice(fields.site), kArticleProblemSeconds);
    return;
  }
  // What the blog would refuse or store wrongly is named first; the form
  // stays as it is.
  if (const ArticleProblem problem = checkArticle(fields)) {
    ShowToast(window, problem.text, kArticleProblemSeconds);
    form_.focusField(problem.field);
    return;
  }
  // A body the editor does not give within its time is never posted as an
  // empty one: the user did not write that.
  std::optional<std::string> body;
  {
    BusyScope busy(blog_.status(), publishBusyText());
    body = form_.bodyWithin(editorWaitMs_);
  }
  if (!body) {
    ShowToast(window, editorSilentNotice(), kArticleProblemSeconds);
    return;
  }
  PostForm post = postFields(fields);
  completeArticle(post, *body, form_.editorRoot(), client->address());
  if (!fields.intro.empty()) post.intro = fields.intro;  // the article's own, as the blog's page keeps it
  deliver(client, post, true);
}

void Publisher::resend(const std::shared_ptr<BlogClient>& client, const PostForm& post) {
  ReentryGuard once(publishing_);
  if (!once.entered() || !client) return;
  deliver(client, post, false);
}

void Publisher::deliver(const std::shared_ptr<BlogClient>& client, const PostForm& post, bool firstSend) {
  QWidget* window = &blog_.window();
  const std::string& title = post.title;
  const bool update = post.articleId > 0;
  const LoginHooks renewal = blog_.renewalHooks();
  std::function<void()> offer;
  PublishReport report;
  {
    BusyScope busy(blog_.status(), publishBusyText());
    // Typing goes on in the form: the post went out as it was at the click.
    const std::unique_ptr<InputGate> gate = blog_.keepFormOpen("正在发布");
    runOffWindowThread([&] { report = client->publish(post, renewal); }, WaitInput::Delivered);
  }
  if (report.session.renewed) blog_.sessionRenewed();
  if (report.session.expiredAgain) {
    // A fresh login that the blog still refuses: the account lacks the right.
    const bool noRights =
        report.session.renewal && report.session.renewal->result == LoginResult::Ready && report.answer.noRights;
    const std::string& notice = noRights ? noRightsNotice() : sessionExpiredNotice();
    record(blog_, *client, title, noRights ? PublishStep::Post : PublishStep::Login, PublishOutcome::Failed, notice);
    ShowToast(window, notice, kLoginProblemSeconds);
    return;
  }
  switch (report.outcome) {
    case kPostDone:
      record(blog_, *client, title, PublishStep::Done, PublishOutcome::Succeeded, {});
      ShowToast(window, update ? updatedNotice() : publishedNotice(), kPublishedSeconds);
      emit published();
      break;
    case kPostRefused:
    case kPostNeedsLogin: {
      const std::string notice = update ? updateRefusedNotice(refusalReason(report.answer.answer)) : refusedNotice();
      record(blog_, *client, title, PublishStep::Post, PublishOutcome::Failed, notice);
      ShowToast(window, notice, update ? kArticleProblemSeconds : kRefusedSeconds);
      return;
    }
    case kPostNoAnswer: {
      record(blog_, *client, title, PublishStep::Post, PublishOutcome::Unclear, unclearNotice());
      ShowToast(window, unclearNotice(), kUnclearSeconds);
      // 检查, and a resend only when the post is not there.
      QPointer<Publisher> self(this);
      ArrivalHooks hooks;
      hooks.renewal = renewal;
      hooks.renewed = [self] {
        if (self) self->blog_.sessionRenewed();
      };
      hooks.arrived = [self] {
        if (self) emit self->published();
      };
      hooks.resend = [self, client, post] {
        if (self) self->resend(client, post);
      };
      // Offered once the cross-post below (which runs for a post that may
      // have arrived) is over.
      offer = [this, window, client, post, hooks = std::move(hooks)]() mutable {
        offerArrivalCheck(window, blog_.status(), client, post, std::move(hooks));
      };
      break;
    }
    case kPostNotSent:
      // Nothing left this machine: certainly not published, nothing to sync.
      record(blog_, *client, title, PublishStep::Post, PublishOutcome::Failed, notSentNotice(report.answer.fate));
      ShowToast(window, notSentNotice(report.answer.fate), kNotSentSeconds);
      return;
  }
  if (update)
    emit updated();
  else if (firstSend)
    emit posted(title, post.body);
  if (offer) offer();
}

}  // namespace inkpost
