// The real editor page under a display: write and read bodies through
// editorBody, before and after the page is ready, and the root address the
// editor resolves relative addresses against.
#include "blog/publish.h"
#include "blog/ui/editorbody.h"
#include "blog/ui/pageguard.h"
#include "common/programdir.h"
#include "net/encoding.h"
#include "support/capture_server.h"
#include "support/gbktext.h"
#include "support/guiwait.h"

#include <gtest/gtest.h>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <memory>
#include <string>

namespace inkpost {
namespace {

using test::spin;
using test::waitUntil;

using test::gbk;

bool waitReady(QWebEngineView* view, int timeoutMs = 30000) {
  QElapsedTimer t;
  t.start();
  while (t.elapsed() < timeoutMs) {
    if (editorReady(view)) return true;
    spin(20);
  }
  return false;
}

// Runs script in the page (as the user's own edits would) and waits for it.
using test::runScript;

class EditorPage : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { setProgramDir(INKPOST_PROGRAM_DIR); }

  void SetUp() override {
    ASSERT_TRUE(QFile::exists(editorPageUrl().toLocalFile())) << "editor page not copied";
    view_ = std::make_unique<QWebEngineView>();
    view_->resize(800, 500);
    view_->show();
  }
  void TearDown() override { view_.reset(); }

  QWebEngineView* view() { return view_.get(); }

  void loadAndWait() {
    loadEditorPage(view());
    ASSERT_TRUE(waitReady(view())) << "editor page did not become ready";
  }

  std::unique_ptr<QWebEngineView> view_;
};

TEST_F(EditorPage, ReadBeforeTheViewHasAPageIsEmptyAndQuick) {
  QElapsedTimer t;
  t.start();
  EXPECT_FALSE(editorReady(view()));
  EXPECT_EQ(editorBody(view()), "");
  EXPECT_LT(t.elapsed(), 5000);
  EXPECT_EQ(editorBody(nullptr), "");
  EXPECT_FALSE(editorReady(nullptr));
}

TEST_F(EditorPage, WriteBeforeReadyIsAppliedOnceReady) {
  const std::string body = gbk("<p>早写的正文 it's</p>");
  setEditorBody(view(), gbk("<p>overwritten</p>"));
  setEditorBody(view(), body);  // the latest write wins
  loadEditorPage(view());
  // While loading, a read gives the waiting text and never blocks for long.
  EXPECT_EQ(editorBody(view()), body);
  ASSERT_TRUE(waitReady(view()));
  EXPECT_EQ(editorBody(view()), body);
  // And the editor really shows it.
  QString shown;
  QEventLoop loop;
  view()->page()->runJavaScript("tinymce.activeEditor.getContent({format:'text'})", [&](const QVariant& v) {
    shown = v.toString();
    loop.quit();
  });
  loop.exec();
  EXPECT_EQ(shown, QString::fromUtf8("早写的正文 it's"));
}

TEST_F(EditorPage, HostileBodiesRoundTripByteForByte) {
  loadAndWait();
  std::string big;
  for (int i = 0; i < 3000; ++i) big += gbk("<p>第") + std::to_string(i) + gbk("段 'q' \"d\" \\n \\' </p>\r\n");
  const std::string bodies[] = {
      "",
      "plain",
      "it's",
      "<p>\"double\" and 'single' quotes</p>",
      "back\\slash \\' \\\" \\\\ \\n \\u2028",
      "line\r\nbreaks\nand\rcarriage\r\n",
      "</script><script>window.hacked=1</script>",
      "'); window.hacked=1; ('",
      "`${window.hacked=1}`",
      "<!-- comment --> <![CDATA[ x ]]>",
      gbk("中文正文，标点。“引号”‘单引号’"),
      gbk("表情 &#128512; and &#x1F600; &amp; &lt;b&gt;"),
      "<p>unclosed <b>bold",
      "\t tabs \t and   spaces  ",
      big,
  };
  for (const std::string& body : bodies) {
    setEditorBody(view(), body);
    EXPECT_EQ(editorBody(view()), body) << body.substr(0, 200);
  }
  // None of them ran as script.
  QVariant hacked;
  QEventLoop loop;
  view()->page()->runJavaScript("window.hacked === undefined", [&](const QVariant& v) {
    hacked = v;
    loop.quit();
  });
  loop.exec();
  EXPECT_TRUE(hacked.toBool());
}

// A long body (an opened article of a megabyte) shows its beginning first
// and comes in whole in later tasks. Until then every read still gets the
// whole body, and an edit, an insert or a new write first brings in the rest
// or replaces it: nothing is lost, doubled or left half in.
TEST_F(EditorPage, ALongBodyComesInPartsAndIsWholeForEveryReadAndEdit) {
  loadAndWait();
  view()->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(view()));
  // Blocks with loose text and inline runs between them, comments, tables,
  // nested lists, &nbsp; and escaped markup.
  std::string body;
  int last = 0;
  for (; body.size() < 400000; ++last) {
    const std::string n = std::to_string(last);
    body += gbk("<p>第") + n + gbk("段 &amp; &lt;b&gt; “引号”</p>\n");
    if (last % 50 == 0) body += "loose " + n + " <b>bold</b>&nbsp;<a href=\"http://example.org/" + n + "\">a</a>\n";
    if (last % 97 == 0)
      body += "<!-- more --><table><tr><td>" + n + "</td></tr></table><ul><li>a<ul><li>b</li></ul></li></ul>";
  }
  const std::string lastMark = gbk("第") + std::to_string(last - 1) + gbk("段");
  const QString loading = QStringLiteral("FCKeditorAPI.GetInstance('txaContent').Loading()");
  auto whole = [&] { return waitUntil([&] { return !runScript(view(), loading).toBool(); }, 20000); };

  // Read while parts are out: the written body, byte for byte.
  setEditorBody(view(), body);
  EXPECT_TRUE(runScript(view(), loading).toBool());
  EXPECT_EQ(editorBody(view()), body);
  ASSERT_TRUE(whole());
  EXPECT_EQ(editorBody(view()), body);
  // The parts make what the editor makes of the body in one go.
  EXPECT_TRUE(runScript(view(), QStringLiteral("(function(){var i=FCKeditorAPI.GetInstance('txaContent');"
                                               "var h=i.GetHTML(),parts=i.GetEditorHTML(),e=tinymce.activeEditor;"
                                               "e.setContent(h);return parts===e.getContent();})()"))
                  .toBool());

  // Typing before the rest is in: the key lands in the whole body, and undo
  // goes back to the whole body, not to its beginning.
  setEditorBody(view(), body);
  runScript(view(), QStringLiteral("tinymce.activeEditor.focus()"));
  QTest::keyClick(view()->focusProxy(), Qt::Key_Q);
  ASSERT_TRUE(waitUntil(
      [&] {
        return editorBody(view()).find("Q") != std::string::npos || editorBody(view()).find("q") != std::string::npos;
      },
      10000));
  EXPECT_FALSE(runScript(view(), loading).toBool());
  std::string typed = editorBody(view());
  EXPECT_NE(typed.find(lastMark), std::string::npos);
  EXPECT_EQ(typed.find(lastMark), typed.rfind(lastMark));
  QTest::keyClick(view()->focusProxy(), Qt::Key_Z, Qt::ControlModifier);
  ASSERT_TRUE(waitUntil([&] { return editorBody(view()).find("q") == std::string::npos; }, 10000));
  typed = editorBody(view());
  EXPECT_NE(typed.find(lastMark), std::string::npos);

  // An image inserted before the rest is in goes after all of it.
  setEditorBody(view(), body);
  insertIntoEditor(view(), "<img src=\"http://127.0.0.1:1/x.png\">");
  const std::string inserted = editorBody(view());
  EXPECT_GT(inserted.find("x.png"), inserted.find(lastMark));
  EXPECT_EQ(inserted.find(lastMark), inserted.rfind(lastMark));

  // A new write replaces the parts still out of the one before.
  setEditorBody(view(), body);
  setEditorBody(view(), "<p>short</p>");
  spin(1500);
  EXPECT_EQ(editorBody(view()), "<p>short</p>");
  EXPECT_EQ(runScript(view(), QStringLiteral("tinymce.activeEditor.getBody().childElementCount")).toInt(), 1);
}

TEST_F(EditorPage, TypedEmojiComesBackAsCharacterReference) {
  loadAndWait();
  setEditorBody(view(), gbk("<p>开始</p>"));
  runScript(view(), QString::fromUtf8("tinymce.activeEditor.setContent('<p>开始😀한</p>')"));
  EXPECT_EQ(editorBody(view()), gbk("<p>开始") + "&#128512;&#54620;</p>");
}

TEST_F(EditorPage, EditsAfterAWriteAreRead) {
  loadAndWait();
  setEditorBody(view(), "<p>first</p>");
  runScript(view(), "tinymce.activeEditor.setContent('<p>first</p><p>second</p>')");
  const std::string body = editorBody(view());
  EXPECT_NE(body.find("second"), std::string::npos) << body;
}

TEST_F(EditorPage, RelativeAddressesResolveAgainstTheRootAndBecomeTheSite) {
  loadAndWait();
  const std::string root = editorRootAddress(view());
  const QUrl dir = editorPageUrl().adjusted(QUrl::RemoveFilename);
  EXPECT_EQ(root, dir.toString(QUrl::FullyEncoded).toStdString());
  ASSERT_FALSE(root.empty());
  ASSERT_EQ(root.back(), '/');

  // An image and a link typed with relative addresses in the editor.
  runScript(view(),
            "tinymce.activeEditor.setContent('<p><img src=\"upload/a.jpg\"><a href=\"post/1.html\">x</a></p>')");
  const std::string body = editorBody(view());
  EXPECT_NE(body.find(root + "upload/a.jpg"), std::string::npos) << body;
  const std::string site = "http://127.0.0.1:8080/blog/";
  const std::string posted = replaceRootAddress(body, root, site);
  EXPECT_NE(posted.find("src=\"" + site + "upload/a.jpg\""), std::string::npos) << posted;
  EXPECT_NE(posted.find("href=\"" + site + "post/1.html\""), std::string::npos) << posted;
  EXPECT_EQ(posted.find("file:"), std::string::npos) << posted;
  // Absolute addresses elsewhere stay as they are.
  runScript(view(), "tinymce.activeEditor.setContent('<p><img src=\"http://other.example/x.png\"></p>')");
  EXPECT_NE(editorBody(view()).find("http://other.example/x.png"), std::string::npos);
}

TEST_F(EditorPage, PageOffersTheToolbarAndNoNetwork) {
  loadAndWait();
  QVariant v;
  QEventLoop loop;
  // Every toolbar button the article needs, and every script and style
  // sheet of the page (the editor frame's included) from a local file.
  view()->page()->runJavaScript(
      "(function(){var labels=[].slice.call(document.querySelectorAll('.tox-editor-header [aria-label]'))"
      ".map(function(e){return e.getAttribute('aria-label');});"
      "var want=['无序列表','有序列表','插入/编辑链接','插入/编辑图片','表格','源代码'];"
      "var missing=want.filter(function(l){return labels.indexOf(l)<0;});"
      "if(!document.querySelector('.tox-tbtn--select'))missing.push('blocks');"
      "var docs=[document,tinymce.activeEditor.getDoc()];var remote=[];"
      "docs.forEach(function(d){[].slice.call(d.querySelectorAll('script[src],link[href]')).forEach(function(e){"
      "var u=e.src||e.href;if(!/^file:/.test(u))remote.push(u);});});"
      "if(!document.getElementById('abcContent'))missing.push('abcContent');"
      "return missing.concat(remote).join(' | ')+(missing.length?' // '+labels.join(','):'');})()",
      [&](const QVariant& r) {
        v = r;
        loop.quit();
      });
  loop.exec();
  EXPECT_EQ(v.toString().toStdString(), "");
}

TEST_F(EditorPage, AnIframeFromTheBlogStaysInertAndItsScriptNeverRuns) {
  // The blog's page would report that its script ran by asking for /ran.
  test::CaptureServer blog;
  blog.setResponder([](const std::string& request) -> std::string {
    const std::string page = "<html><body><script>new Image().src='/ran?'+document.cookie;</script></body></html>";
    if (request.rfind("GET /page.html", 0) == 0)
      return "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: " + std::to_string(page.size()) +
             "\r\nConnection: close\r\n\r\n" + page;
    return "HTTP/1.1 200 OK\r\nContent-Type: image/gif\r\nContent-Length: 2\r\nConnection: close\r\n\r\nok";
  });
  allowBlogAddress(blog.url("/"));  // the blog of the current login
  loadAndWait();
  setEditorBody(view(), "<p><img src=\"" + blog.url("/shown.gif") + "\"></p><iframe src=\"" + blog.url("/page.html") +
                            "\"></iframe>");
  // Pasted too, as the paste of a page puts it in.
  runScript(view(), QString::fromStdString("FCKeditorAPI.GetInstance('txaContent').InsertHtml('<iframe src=\"" +
                                           blog.url("/page.html?pasted") + "\"></iframe><img src=\"" +
                                           blog.url("/after.gif") + "\">')"));
  // The pictures load (the blog is reachable and the body is shown) ...
  ASSERT_TRUE(blog.waitForRequests(2, 20000));
  spin(1500);
  // ... the frames load nothing, so nothing of the blog runs in the editor.
  for (const std::string& request : blog.requests()) {
    EXPECT_EQ(request.find("GET /page.html"), std::string::npos) << request.substr(0, request.find('\r'));
    EXPECT_EQ(request.find("GET /ran"), std::string::npos) << request.substr(0, request.find('\r'));
  }
  // The article keeps its frame for the blog's own page.
  EXPECT_NE(editorBody(view()).find("<iframe src=\"" + blog.url("/page.html") + "\""), std::string::npos)
      << editorBody(view());
}

}  // namespace
}  // namespace inkpost
