// The whole program in a chosen program folder, driven by a mode, for the
// recovery tests: recovery_child <mode> <program folder>
//   type     types an article, says "written" once the recovery slot holds
//            it, then waits to be killed
//   crash    the same, then faults (the fault guard reports and ends it)
//   close    types an article and closes the window at once
//   publish  picks the first site listed (its login), types an article,
//            publishes it with 按钮_发布, says "published" once the blog
//            confirmed it, and closes
//   offer    starts, says "offer: <question>" or "no offer" within 3 s,
//            answers Yes and prints the title and body it got
#include "blog/ui/editorbody.h"
#include "blog/ui/login.h"
#include "blog/ui/publish.h"
#include "common/programdir.h"
#include "common/ui/gbk.h"
#include "drafts/draftslots.h"
#include "drafts/ui/drafts.h"
#include "fault/faultguard.h"
#include "net/encoding.h"
#include "shell/mainwindow.h"
#include "shell/process.h"
#include "shell/shell.h"
#include "sites/ui/sitebar.h"
#include "support/mainunits.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QtTest/QTest>

#include <cstdio>
#include <string>

using namespace inkpost;

namespace {

void say(const std::string& line) {
  std::printf("%s\n", line.c_str());
  std::fflush(stdout);
}

bool typeArticle(MainWindow& w) {
  const test::MainUnits units(w);
  if (!QTest::qWaitFor([&] { return editorReady(units.editorView); }, 60000)) return false;
  units.titleEdit->setFocus();
  units.titleEdit->insert(QStringLiteral("第二版标题"));  // as typed
  setEditorBody(units.editorView, fromUtf8("<p>没有发布的正文</p>"));
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  const std::string mode = argv[1];
  prepareProcess();
  InstallFaultGuard();
  QApplication app(argc, argv);
  setProgramDir(argv[2]);
  auto w = createMainWindow();
  w->show();

  if (mode == "offer") {
    QMessageBox* box = nullptr;
    (void)QTest::qWaitFor([&] { return (box = w->findChild<QMessageBox*>(QStringLiteral("恢复提示"))) != nullptr; },
                          3000);
    if (!box) {
      say("no offer");
      return 0;
    }
    say("offer: " + box->text().toStdString());
    box->button(QMessageBox::Yes)->click();
    const test::MainUnits units(*w);
    (void)QTest::qWaitFor([&] { return editorReady(units.editorView); }, 60000);
    QTest::qWait(200);
    say("title: " + units.titleEdit->text().toStdString());
    say("body: " + toQ(editorBody(units.editorView)).toStdString());
    return 0;
  }

  if (mode == "publish") {
    // The pick logs in before it returns.
    QComboBox* chooser = w->sites().chooser();
    if (chooser->count() == 0) return 4;
    chooser->setCurrentIndex(0);
    emit chooser->activated(0);
    if (!w->blog().ready()) return 4;
  }
  if (!typeArticle(*w)) return 3;
  if (mode == "close") {
    w->close();
    return 0;
  }
  if (mode == "publish") {
    bool published = false;
    QObject::connect(&w->publisher(), &Publisher::published, [&] { published = true; });
    w->publishButton()->click();
    say(published ? "published" : "no publish");
    w->close();
    return 0;
  }
  // type, crash: wait for the pause to pass and the slot to hold the article.
  DraftStore store(draftFolder());
  const bool written = QTest::qWaitFor(
      [&] {
        auto r = store.load(kRecoverySlot);  // never repairs what the writer is writing
        return r && r->title == fromUtf8("第二版标题") && r->body == fromUtf8("<p>没有发布的正文</p>");
      },
      20000);
  say(written ? "written" : "not written");
  if (mode == "crash") {
    volatile int* nowhere = nullptr;
    *nowhere = 1;
  }
  return app.exec();
}
