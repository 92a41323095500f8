#include "blog/ui/editorbody.h"

#include "blog/editortext.h"
#include "blog/ui/pageguard.h"
#include "common/programdir.h"
#include "common/ui/gbk.h"
#include "common/ui/wait.h"
#include "net/encoding.h"

#include <QPointer>
#include <QTimer>
#include <QVariant>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <memory>
#include <optional>

namespace inkpost {

namespace {

constexpr int kCheckTimeoutMs = 2000;
// Scripts run in the page one after another, so a read waits for every write
// queued before it; a read that gives up would hand an empty body to an
// autosave or a publish, hence the generous bound.
constexpr int kReadTimeoutMs = 30000;
constexpr int kWriteTimeoutMs = 8000;
constexpr int kPollIntervalMs = 40;
constexpr int kPollGiveUpMs = 60000;
const char kReadyTitle[] = "inkpost editor ready";
const char kReadyCheck[] = "!!(window.FCKeditorAPI && window.FCKeditorAPI.ready === true)";

// Runs script in page and waits for its result. A result arriving after the
// timeout lands in the shared state and is dropped with it.
std::optional<QVariant> runSync(QWebEnginePage* page, const QString& script, int timeoutMs) {
  struct State {
    bool done = false;
    QVariant value;
    Wait* wait = nullptr;
  };
  auto state = std::make_shared<State>();
  Wait wait(WaitInput::Excluded);
  state->wait = &wait;
  page->runJavaScript(script, [state](const QVariant& v) {
    state->value = v;
    state->done = true;
    if (state->wait) state->wait->finish();
  });
  if (!state->done) wait.run(timeoutMs);
  state->wait = nullptr;
  if (!state->done) return std::nullopt;
  return state->value;
}

// A call of one method of the editor instance with a GBK text argument.
QString callScript(const char* method, const std::string& gbkText) {
  const QByteArray utf8 = toQ(gbkText).toUtf8();
  const std::string literal = jsStringLiteral(std::string_view(utf8.constData(), static_cast<size_t>(utf8.size())));
  return QStringLiteral("FCKeditorAPI.GetInstance('txaContent').") + QLatin1String(method) + QLatin1Char('(') +
         QString::fromUtf8(literal.data(), static_cast<qsizetype>(literal.size())) + QStringLiteral(");true");
}

QString setScript(const std::string& gbkHtml) { return callScript("SetHTML", gbkHtml); }

// Per-view state: whether the editor is ready, and a write waiting for it.
class EditorBridge : public QObject {
 public:
  explicit EditorBridge(QWebEngineView* view) : QObject(view), view_(view) {
    setObjectName(QStringLiteral("inkpostEditorBridge"));
    poll_.setInterval(kPollIntervalMs);
    connect(&poll_, &QTimer::timeout, this, [this] { checkAsync(); });
    connect(view, &QWebEngineView::loadStarted, this, [this] {
      ready_ = false;
      restartPolling();
    });
    connect(view, &QWebEngineView::loadFinished, this, [this](bool) { checkAsync(); });
    connect(view, &QWebEngineView::titleChanged, this, [this](const QString& title) {
      if (title == QLatin1String(kReadyTitle)) checkAsync();
    });
    restartPolling();
  }

  static EditorBridge* of(QWebEngineView* view) {
    auto* bridge = view->findChild<EditorBridge*>(QStringLiteral("inkpostEditorBridge"), Qt::FindDirectChildrenOnly);
    return bridge ? bridge : new EditorBridge(view);
  }

  bool ready() {
    if (ready_) return true;
    const auto answer = runSync(view_->page(), QString::fromLatin1(kReadyCheck), kCheckTimeoutMs);
    if (answer && answer->toBool()) becomeReady(/*sync=*/true);
    return ready_;
  }

  void write(const std::string& gbkHtml) {
    if (ready()) {
      // The page applies it in its own time (a large body takes the editor a
      // second or more); any later read is queued behind it and sees it.
      pending_.reset();
      view_->page()->runJavaScript(setScript(gbkHtml));
    } else {
      pending_ = gbkHtml;
    }
  }

  void insert(const std::string& gbkHtml) {
    if (ready()) {
      view_->page()->runJavaScript(callScript("InsertImage", gbkHtml));
    } else {
      pending_ = pending_.value_or(std::string()) + gbkHtml;
    }
  }

  const std::optional<std::string>& pending() const { return pending_; }
  // Ready as far as known, without asking the page.
  bool isReady() const { return ready_; }

 private:
  void restartPolling() {
    polled_ = 0;
    poll_.start();
  }

  void checkAsync() {
    if (ready_) {
      poll_.stop();
      return;
    }
    if (++polled_ * kPollIntervalMs > kPollGiveUpMs) poll_.stop();
    QPointer<EditorBridge> self(this);
    view_->page()->runJavaScript(QString::fromLatin1(kReadyCheck), [self](const QVariant& v) {
      if (self && !self->ready_ && v.toBool()) self->becomeReady(/*sync=*/false);
    });
  }

  void becomeReady(bool sync) {
    ready_ = true;
    poll_.stop();
    if (!pending_) return;
    const QString script = setScript(*pending_);
    pending_.reset();
    if (sync)
      runSync(view_->page(), script, kWriteTimeoutMs);
    else
      view_->page()->runJavaScript(script);
  }

  QWebEngineView* view_;
  QTimer poll_;
  int polled_ = 0;
  bool ready_ = false;
  std::optional<std::string> pending_;
};

}  // namespace

std::optional<std::string> editorBodyWithin(QWebEngineView* view, int timeoutMs) {
  if (!view) return std::string();
  EditorBridge* bridge = EditorBridge::of(view);
  if (!bridge->ready()) return bridge->pending().value_or(std::string());
  const auto value = runSync(view->page(),
                             QStringLiteral("(function(){var e=document.getElementById('abcContent');"
                                            "e.value=FCKeditorAPI.GetInstance('txaContent').GetHTML();"
                                            "return e.value;})()"),
                             timeoutMs);
  if (!value) return std::nullopt;
  if (!value->canConvert<QString>()) return std::string();
  const QByteArray utf8 = value->toString().toUtf8();
  return gbkWithCharRefs(std::string_view(utf8.constData(), static_cast<size_t>(utf8.size())));
}

std::string editorBody(QWebEngineView* view) { return editorBodyWithin(view, kReadTimeoutMs).value_or(std::string()); }

void editorSnapshotAsync(QWebEngineView* view, std::function<void(long changes, std::string gbkBody)> done) {
  if (!view) return;
  EditorBridge* bridge = EditorBridge::of(view);
  if (!bridge->isReady()) {
    done(-1, bridge->pending().value_or(std::string()));
    return;
  }
  QPointer<QWebEngineView> guard(view);
  view->page()->runJavaScript(
      QStringLiteral("(function(){var i=FCKeditorAPI.GetInstance('txaContent');"
                     "var s=i.GetSnapshot();document.getElementById('abcContent').value=s[1];return s;})()"),
      [guard, done = std::move(done)](const QVariant& v) {
        if (!guard) return;
        const QVariantList pair = v.toList();
        if (pair.size() != 2) {
          done(-1, std::string());
          return;
        }
        const QByteArray utf8 = pair[1].toString().toUtf8();
        done(pair[0].toLongLong(),
             gbkWithCharRefs(std::string_view(utf8.constData(), static_cast<size_t>(utf8.size()))));
      });
}

void editorChangesAsync(QWebEngineView* view, std::function<void(long changes)> done) {
  if (!view) return;
  if (!EditorBridge::of(view)->isReady()) {
    done(-1);
    return;
  }
  QPointer<QWebEngineView> guard(view);
  view->page()->runJavaScript(QStringLiteral("FCKeditorAPI.GetInstance('txaContent').GetChanges()"),
                              [guard, done = std::move(done)](const QVariant& v) {
                                if (guard) done(v.isValid() ? static_cast<long>(v.toLongLong()) : -1);
                              });
}

long editorChanges(QWebEngineView* view, int timeoutMs) {
  if (!view || !EditorBridge::of(view)->isReady()) return -1;
  const auto value =
      runSync(view->page(), QStringLiteral("FCKeditorAPI.GetInstance('txaContent').GetChanges()"), timeoutMs);
  return value ? static_cast<long>(value->toLongLong()) : -2;
}

std::string editorWaitingBody(QWebEngineView* view) {
  return view ? EditorBridge::of(view)->pending().value_or(std::string()) : std::string();
}

void setEditorBody(QWebEngineView* view, const std::string& gbkHtml) {
  if (!view) return;
  EditorBridge::of(view)->write(gbkHtml);
}

void insertIntoEditor(QWebEngineView* view, const std::string& gbkHtml) {
  if (!view) return;
  EditorBridge::of(view)->insert(gbkHtml);
}

bool editorReady(QWebEngineView* view) { return view && EditorBridge::of(view)->ready(); }

QUrl editorPageUrl() { return QUrl::fromLocalFile(QString::fromStdString(resourcePath("editor/index.html"))); }

void loadEditorPage(QWebEngineView* view) { loadEditorPage(view, editorPageUrl()); }

void loadEditorPage(QWebEngineView* view, const QUrl& page) {
  if (!view) return;
  EditorBridge::of(view);
  const QString folder = page.adjusted(QUrl::RemoveFilename).toLocalFile();
  guardPage(view->page(), folder.toStdString());
  view->load(page);
}

std::string editorRootAddress(QWebEngineView* view) {
  if (!editorReady(view)) return {};
  const auto value = runSync(view->page(), QStringLiteral("String(FCKeditorAPI.root||'')"), kCheckTimeoutMs);
  if (!value) return {};
  const QByteArray utf8 = value->toString().toUtf8();
  return gbkWithCharRefs(std::string_view(utf8.constData(), static_cast<size_t>(utf8.size())));
}

}  // namespace inkpost
