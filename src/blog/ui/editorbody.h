// Reading and replacing the article body held by the editor page in
// 互联网浏览器1. The page runs its script asynchronously; these calls wait
// for the answer in a local event loop (user input excluded) with a timeout,
// so callers see plain synchronous functions.
#pragma once

#include <QUrl>

#include <functional>
#include <optional>
#include <string>

class QWebEngineView;

namespace inkpost {

// The body HTML as GBK text. Characters GBK cannot hold come back as HTML
// numeric character references ("&#128512;"). While the page is not ready:
// the text of a write still waiting for it, else the empty text (never blocks
// for long).
std::string editorBody(QWebEngineView* view);
// The same, giving up after timeoutMs (nullopt) instead of the long wait.
std::optional<std::string> editorBodyWithin(QWebEngineView* view, int timeoutMs);

// The body and the editor's change count (see editorChanges), handed to done
// once the page has answered; the window is not held up meanwhile. done is
// not called when the view goes away first. While the page is not ready, done
// runs at once with the text of a waiting write (or the empty text) and -1.
void editorSnapshotAsync(QWebEngineView* view, std::function<void(long changes, std::string gbkBody)> done);

// The change count alone, without waiting (-1 while the page is not ready).
void editorChangesAsync(QWebEngineView* view, std::function<void(long changes)> done);

// How many times the body has changed since the page loaded (typing and
// writes); -1 while the page is not known to be ready (never waits for it),
// -2 when the page did not answer in time.
long editorChanges(QWebEngineView* view, int timeoutMs = 2000);

// The text of a write still waiting for the page to become ready; empty
// when there is none. Never waits.
std::string editorWaitingBody(QWebEngineView* view);

// Replaces the body with gbkHtml. Before the page is ready the text is kept
// and applied as soon as the editor is ready; the latest write wins.
void setEditorBody(QWebEngineView* view, const std::string& gbkHtml);

// Inserts an element (GBK HTML) at the caret when the user has placed one
// in the body, at the end otherwise, as one step that Ctrl+Z undoes; the
// earlier undo steps are kept. Before the page is ready the element is
// appended to the text waiting for it.
void insertIntoEditor(QWebEngineView* view, const std::string& gbkHtml);

// True once the editor inside the page accepts SetHTML.
bool editorReady(QWebEngineView* view);

// file://<resourceDir>/editor/index.html
QUrl editorPageUrl();

// Points view at the editor page (start-up). The page may load only its
// own files and the blog's addresses.
void loadEditorPage(QWebEngineView* view);
// The same for the editor page at `page` (a file address).
void loadEditorPage(QWebEngineView* view, const QUrl& page);

// The absolute address the editor makes relative addresses absolute against
// (the page's own folder, ending in "/"); empty while the page is not ready.
std::string editorRootAddress(QWebEngineView* view);

}  // namespace inkpost
