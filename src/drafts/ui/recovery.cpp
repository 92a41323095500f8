// The recovery slot on the main window: written shortly after typing pauses
// and when the window closes, marked at a publish, offered at the next start.
#include "blog/ui/articleform.h"
#include "common/ui/gbk.h"
#include "drafts/recoverywriter.h"
#include "drafts/ui/drafts.h"

#include <QElapsedTimer>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>

#include <memory>
#include <optional>

namespace inkpost {
namespace {

constexpr int kRecoveryTickMs = 1000;
// How long a close waits for the editor's body when an earlier recovery
// write holds one, and when nothing else holds it.
constexpr int kCloseChangesMs = 100;
constexpr int kCloseReadMs = 250;
constexpr int kLongReadMs = 30000;
// The change count after a publish.
constexpr int kChangesMs = 2000;

class RecoveryKeeper : public QObject {
 public:
  explicit RecoveryKeeper(QWidget& w) : QObject(&w), w_(w) {
    setObjectName(QStringLiteral("inkpostRecoveryKeeper"));
    timer_ = new QTimer(this);
    timer_->setObjectName(QStringLiteral("时钟_恢复保存"));
    timer_->setInterval(kRecoveryTickMs);
    timer_->start();
    quiet_.start();
  }

  static RecoveryKeeper& of(QWidget& w) {
    auto* keeper = w.findChild<RecoveryKeeper*>(QStringLiteral("inkpostRecoveryKeeper"), Qt::FindDirectChildrenOnly);
    return keeper ? *keeper : *new RecoveryKeeper(w);
  }

  QTimer* timer() const { return timer_; }
  void setPause(int ms) { pauseMs_ = ms; }

  void edited() {
    dirty_ = true;
    quiet_.restart();
  }

  void tick() {
    if (reading_) return;
    QPointer<RecoveryKeeper> self(this);
    form().bodyChangesSoon([self](long changes) {
      if (!self) return;
      if (changes != self->seenChanges_) {
        self->seenChanges_ = changes;
        self->edited();
      }
      self->writeAfterPause();
    });
  }

  // Everything the window shows goes to the slot now, the body read without
  // waiting for the page; the disk work runs on the writer's thread.
  void writeSoon(std::function<void()> submitted = {}) {
    dirty_ = false;
    reading_ = true;
    DraftFields fields = captureFields(w_);
    QPointer<RecoveryKeeper> self(this);
    form().bodySnapshot(
        [self, fields = std::move(fields), submitted = std::move(submitted)](long changes, std::string body) mutable {
          if (!self) return;
          self->reading_ = false;
          fields.body = std::move(body);
          self->bodyChanges_ = changes;
          self->submit(std::move(fields), RecoveryState::Unsaved);
          if (submitted) submitted();
        });
  }

  // The close: the body is read only when it changed since the last read,
  // and the window does not wait long for the page: when its serialisation
  // of a long body takes too long, the body of the last recovery write is
  // kept (the typing of the last pause is lost, as after a kill).
  void writeNow() {
    const long changes = form().bodyChanges(last_ ? kCloseChangesMs : kLongReadMs);
    DraftFields fields = captureFields(w_);
    if (last_ && changes >= 0 && changes == bodyChanges_) {
      fields.body = last_->body;
    } else if (changes == -1) {
      fields.body = form().waitingBody();  // the page is not ready yet
    } else if (std::optional<std::string> body = form().bodyWithin(last_ ? kCloseReadMs : kLongReadMs)) {
      fields.body = std::move(*body);
      bodyChanges_ = changes;
    } else {
      fields.body = last_ ? last_->body : std::string();
    }
    submit(std::move(fields), RecoveryState::Unsaved);
    flush();
  }

  void published() {
    DraftFields fields = captureDraft(w_);
    bodyChanges_ = form().bodyChanges(kChangesMs);
    dirty_ = false;
    submit(std::move(fields), RecoveryState::Published);
  }

  void submit(DraftFields fields, RecoveryState state) {
    if (state == RecoveryState::Unsaved && (articleEmpty(fields) || (last_ && *last_ == fields))) return;
    writer().submit(fields, state);
    last_ = std::move(fields);
  }

  // After the start-up offer: the slot holds this article already.
  void holding(const DraftFields& fields) { last_ = fields; }

  void flush() {
    if (writer_) writer_->flush();
  }

 private:
  ArticleForm& form() const { return ArticleForm::of(w_); }

  void writeAfterPause() {
    if (dirty_ && !reading_ && quiet_.elapsed() >= pauseMs_) writeSoon();
  }

  // The writer of the current temp folder (tests move the program folder).
  RecoveryWriter& writer() {
    const std::string folder = draftFolder();
    if (!writer_ || folder != folder_) {
      writer_.reset();
      writer_ = std::make_unique<RecoveryWriter>(folder);
      folder_ = folder;
    }
    return *writer_;
  }

  QWidget& w_;
  QTimer* timer_;
  QElapsedTimer quiet_;
  int pauseMs_ = kRecoveryPauseMs;
  bool dirty_ = false;
  bool reading_ = false;
  long seenChanges_ = -2;            // the editor's change count at the last tick
  long bodyChanges_ = -2;            // its count when last_->body was read
  std::optional<DraftFields> last_;  // what the slot holds (or is about to)
  std::string folder_;
  std::unique_ptr<RecoveryWriter> writer_;  // finishes its writes when the window goes
};

void answerOffer(QWidget& w, const DraftFields& fields, bool restore) {
  RecoveryKeeper& keeper = RecoveryKeeper::of(w);
  keeper.flush();
  DraftStore store(draftFolder());
  store.keepRecovery();  // newest ring slot, and not offered again
  keeper.holding(fields);
  if (restore)
    restoreArticle(w, fields);
  else
    RefreshRestoreList(w);
  ShowDraftNotices(w);
}

}  // namespace

QTimer* recoveryTimer(QWidget& w) { return RecoveryKeeper::of(w).timer(); }

void ArticleEdited(QWidget& w) { RecoveryKeeper::of(w).edited(); }

void RecoveryTick(QWidget& w) {
  RecoveryKeeper::of(w).tick();
  ShowDraftNotices(w);
}

void SaveRecoveryOnClose(QWidget& w) { RecoveryKeeper::of(w).writeNow(); }

void ArticlePublished(QWidget& w) { RecoveryKeeper::of(w).published(); }

void writeRecoverySoon(QWidget& w, std::function<void()> submitted) {
  RecoveryKeeper::of(w).writeSoon(std::move(submitted));
}

void setRecoveryPauseForTests(QWidget& w, int ms) { RecoveryKeeper::of(w).setPause(ms); }

void flushRecovery(QWidget& w) { RecoveryKeeper::of(w).flush(); }

void OfferRecovery(QWidget& w) {
  RecoveryKeeper::of(w);
  DraftStore store(draftFolder());
  store.repair();
  const std::optional<DraftFields> offer = store.recoveryOffer();
  RefreshRestoreList(w);
  if (!offer) return;
  // Asked once the window is up; the window waits for the answer, the
  // caller does not.
  QPointer<QWidget> window(&w);
  QTimer::singleShot(0, &w, [window, fields = *offer] {
    if (!window) return;
    auto* box = new QMessageBox(QMessageBox::Question, QStringLiteral("提示"),
                                QStringLiteral("上次未发布的文章已保存，是否恢复？"),
                                QMessageBox::Yes | QMessageBox::No, window);
    box->setObjectName(QStringLiteral("恢复提示"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    QObject::connect(box, &QMessageBox::finished, window, [window, fields](int result) {
      if (window) answerOffer(*window, fields, result == QMessageBox::Yes);
    });
    box->open();
  });
}

}  // namespace inkpost
