// The recovery slot on the main window: written shortly after typing pauses
// and when the window closes, marked at a publish, offered at the next start.
#include "blog/ui/articleform.h"
#include "common/ui/gbk.h"
#include "common/ui/unitnames.h"
#include "drafts/recoverywriter.h"
#include "drafts/ui/drafts.h"
#include "drafts/ui/recoverykeeper.h"

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

}  // namespace

RecoveryKeeper::RecoveryKeeper(DraftsBar& drafts) : QObject(&drafts), drafts_(drafts), pauseMs_(kRecoveryPauseMs) {
  timer_ = new QTimer(this);
  timer_->setObjectName(QString::fromUtf8(unitname::kRecoveryTimer));
  timer_->setInterval(kRecoveryTickMs);
  timer_->start();
  quiet_.start();
}

ArticleForm& RecoveryKeeper::form() const { return drafts_.form(); }

void RecoveryKeeper::edited() {
  dirty_ = true;
  quiet_.restart();
}

void RecoveryKeeper::tick() {
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

void RecoveryKeeper::writeSoon(std::function<void()> submitted) {
  dirty_ = false;
  reading_ = true;
  DraftFields fields = captureFields(drafts_);
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

// The body is read only when it changed since the last read, and the window
// does not wait long for the page: when its serialisation of a long body
// takes too long, the body of the last recovery write is kept (the typing of
// the last pause is lost, as after a kill).
void RecoveryKeeper::writeNow() {
  const long changes = form().bodyChanges(last_ ? kCloseChangesMs : kLongReadMs);
  DraftFields fields = captureFields(drafts_);
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

void RecoveryKeeper::published() {
  DraftFields fields = captureDraft(drafts_);
  bodyChanges_ = form().bodyChanges(kChangesMs);
  dirty_ = false;
  submit(std::move(fields), RecoveryState::Published);
}

void RecoveryKeeper::submit(DraftFields fields, RecoveryState state) {
  if (state == RecoveryState::Unsaved && (articleEmpty(fields) || (last_ && *last_ == fields))) return;
  writer().submit(fields, state);
  last_ = std::move(fields);
}

void RecoveryKeeper::flush() {
  if (writer_) writer_->flush();
}

void RecoveryKeeper::writeAfterPause() {
  if (dirty_ && !reading_ && quiet_.elapsed() >= pauseMs_) writeSoon();
}

// The writer of the current temp folder (tests move the program folder).
RecoveryWriter& RecoveryKeeper::writer() {
  const std::string folder = draftFolder();
  if (!writer_ || folder != folder_) {
    writer_.reset();
    writer_ = std::make_unique<RecoveryWriter>(folder);
    folder_ = folder;
  }
  return *writer_;
}

namespace {

void answerOffer(DraftsBar& drafts, const DraftFields& fields, bool restore) {
  RecoveryKeeper& keeper = drafts.recovery();
  keeper.flush();
  DraftStore store(draftFolder());
  store.keepRecovery();  // newest ring slot, and not offered again
  keeper.holding(fields);
  if (restore)
    restoreArticle(drafts, fields);
  else
    RefreshRestoreList(drafts);
  ShowDraftNotices(drafts.window());
}

}  // namespace

QTimer* recoveryTimer(DraftsBar& drafts) { return drafts.recovery().timer(); }

void ArticleEdited(DraftsBar& drafts) { drafts.recovery().edited(); }

void RecoveryTick(DraftsBar& drafts) {
  drafts.recovery().tick();
  ShowDraftNotices(drafts.window());
}

void SaveRecoveryOnClose(DraftsBar& drafts) { drafts.recovery().writeNow(); }

void ArticlePublished(DraftsBar& drafts) { drafts.recovery().published(); }

void writeRecoverySoon(DraftsBar& drafts, std::function<void()> submitted) {
  drafts.recovery().writeSoon(std::move(submitted));
}

void setRecoveryPauseForTests(DraftsBar& drafts, int ms) { drafts.recovery().setPause(ms); }

void flushRecovery(DraftsBar& drafts) { drafts.recovery().flush(); }

void OfferRecovery(DraftsBar& drafts) {
  DraftStore store(draftFolder());
  store.repair();
  const std::optional<DraftFields> offer = store.recoveryOffer();
  RefreshRestoreList(drafts);
  if (!offer) return;
  // Asked once the window is up; the window waits for the answer, the
  // caller does not.
  QPointer<DraftsBar> bar(&drafts);
  QTimer::singleShot(0, &drafts, [bar, fields = *offer] {
    if (!bar) return;
    auto* box = new QMessageBox(QMessageBox::Question, QStringLiteral("提示"),
                                QStringLiteral("上次未发布的文章已保存，是否恢复？"),
                                QMessageBox::Yes | QMessageBox::No, bar->window());
    box->setObjectName(QString::fromUtf8(unitname::kRecoveryQuestion));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    QObject::connect(box, &QMessageBox::finished, bar, [bar, fields](int result) {
      if (bar) answerOffer(*bar, fields, result == QMessageBox::Yes);
    });
    box->open();
  });
}

}  // namespace inkpost
