// The fully wired main window as a person on a desktop meets it: its sizes,
// its language, what it says during a slow login, the lists it shows, the
// site dialogs, the publication time and the shortcuts. Against the sandbox
// blog where a blog is needed.
#include "../sites/sitedb.h"
#include "../sites_ui/modal.h"

#include "blog/ui/articleform.h"
#include "blog/ui/editorbody.h"
#include "blog/ui/login.h"
#include "common/programdir.h"
#include "common/session.h"
#include "common/ui/toast.h"
#include "net/encoding.h"
#include "shell/mainwindow.h"
#include "shell/shell.h"
#include "shell/windowstate.h"
#include "sites/ui/sitechooser.h"
#include "sites/ui/sitedialogs.h"
#include "support/guiwait.h"
#include "support/mainunits.h"
#include "support/sandbox.h"
#include "support/session.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QClipboard>
#include <QCursor>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTest>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <sys/stat.h>

#include <fstream>
#include <set>

using namespace inkpost;
using namespace inkpost::test;

namespace {

QString toq(const std::string& gbk) { return QString::fromStdString(toUtf8(gbk)); }

class Window : public SessionTest {
 protected:
  void SetUp() override {
    SessionTest::SetUp();
    saved_ = programDir();
    setProgramDir(dir.path());
    setResourceDir(INKPOST_TEST_PROGRAM_DIR);  // the editor page as built
    setToastTimeScale(0);
    clearToastHistory();
  }
  void TearDown() override {
    SessionTest::TearDown();
    CloseSiteStore();
    setProgramDir(saved_);
    setToastTimeScale(1);
  }
  // The program's window over a site table holding `sites` ({name, address}).
  std::unique_ptr<MainWindow> start(const std::vector<std::pair<std::string, std::string>>& sites) {
    if (!fileExists(dir.file("data.mdb"))) {
      EXPECT_TRUE(createSiteDatabase(dir.file("data.mdb")));
      for (const auto& [name, address] : sites)
        EXPECT_TRUE(addOrUpdateSite(dir.file("data.mdb"), site(fromUtf8(name), address)));
    }
    auto w = createMainWindow();
    w->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(w.get()));
    return w;
  }
  // Picks the chooser's entry `index` as a person does: the change logs in.
  static void pick(MainWindow& w, int index) {
    units(w).siteChooser->setCurrentIndex(index);
    emit units(w).siteChooser->activated(index);
  }
  static bool editorUp(MainWindow& w) {
    return waitUntil([&] { return editorReady(units(w).editorView); }, 30000);
  }
  TempDir dir;
  std::string saved_;
};

// Every named unit of the window that is shown on it (menus, timers and the
// drop object are not widgets on the window).
std::vector<QWidget*> shownUnits(QWidget& w) {
  std::vector<QWidget*> out;
  for (QWidget* child : w.findChildren<QWidget*>()) {
    const QString name = child->objectName();
    if (name.isEmpty() || name.startsWith(QLatin1String("qt_")) || child->isWindow()) continue;
    if (qobject_cast<QMenu*>(child) || name == QLatin1String("客户区")) continue;
    if (name.toLatin1() == name.toUtf8()) continue;  // unit names are Chinese
    out.push_back(child);
  }
  return out;
}

TEST_F(Window, EveryUnitFitsAtTheMinimumAndTheEditorTakesAMaximisedScreen) {
  auto w = start({});
  const QSize minimum = w->minimumSize().expandedTo(w->minimumSizeHint());
  EXPECT_LE(minimum.width(), 900);
  EXPECT_LE(minimum.height(), 700);
  w->resize(minimum);
  QTest::qWait(100);
  const std::vector<QWidget*> all = shownUnits(*w);
  EXPECT_GE(all.size(), 35u);
  for (QWidget* unit : all) {
    const QRect r(unit->mapTo(w.get(), QPoint(0, 0)), unit->size());
    EXPECT_TRUE(unit->isVisible()) << unit->objectName().toStdString();
    EXPECT_TRUE(w->rect().contains(r)) << unit->objectName().toStdString() << " at " << r.x() << "," << r.y() << " "
                                       << r.width() << "x" << r.height();
    if (unit != units(*w).spaceView) EXPECT_GE(unit->width(), 16) << unit->objectName().toStdString();
  }
  // Nor do units lie over one another (a box inside its group aside).
  for (QWidget* a : all)
    for (QWidget* b : all) {
      if (a >= b || a->isAncestorOf(b) || b->isAncestorOf(a)) continue;
      const QRect ra(a->mapTo(w.get(), QPoint(0, 0)), a->size());
      const QRect rb(b->mapTo(w.get(), QPoint(0, 0)), b->size());
      EXPECT_FALSE(ra.intersects(rb)) << a->objectName().toStdString() << " over " << b->objectName().toStdString();
    }

  // Maximised on the 1920x1080 screen. Without a window manager the
  // maximised state does not resize the window, so it is given the screen's
  // size as a window manager would.
  w->showMaximized();
  QTest::qWait(200);
  const QRect screen = w->screen()->availableGeometry();
  if (w->width() < screen.width() - 50) w->setGeometry(screen);
  QTest::qWait(200);
  ASSERT_GE(screen.width(), 1900);
  EXPECT_GT(units(*w).editorView->width(), 1200);
  EXPECT_GT(units(*w).editorView->height(), units(*w).galleryView->height());
  EXPECT_GT(units(*w).galleryView->height(), 500);  // the image column takes the height
  EXPECT_EQ(units(*w).imageGroup->width(), 240);
}

TEST_F(Window, SizePlaceAndMaximisedStateComeBackAtTheNextStart) {
  {
    auto w = start({});
    w->setGeometry(60, 70, 1010, 730);
    QTest::qWait(50);
    w->close();
  }
  ASSERT_TRUE(fileExists(dir.file(kWindowStateFile)));
  {
    auto w = start({});
    EXPECT_EQ(w->size(), QSize(1010, 730));
    w->setWindowState(Qt::WindowMaximized);
    w->close();
  }
  {
    auto w = createMainWindow();  // restored before it is shown
    EXPECT_TRUE(w->windowState() & Qt::WindowMaximized);
  }
  // A damaged file leaves the default size.
  std::ofstream(dir.file(kWindowStateFile), std::ios::trunc) << "[window]\ngeometry=@ByteArray(garbage)\n";
  auto w = createMainWindow();
  EXPECT_EQ(w->size(), QSize(880, 700));
}

TEST_F(Window, StandardButtonsAndTheEditorSpeakChinese) {
  auto w = start({});
  QMessageBox box(QMessageBox::Question, QStringLiteral("提示"), QStringLiteral("?"),
                  QMessageBox::Ok | QMessageBox::Cancel, w.get());
  EXPECT_EQ(box.button(QMessageBox::Ok)->text(), QStringLiteral("确定"));
  EXPECT_EQ(box.button(QMessageBox::Cancel)->text(), QStringLiteral("取消"));

  ASSERT_TRUE(editorUp(*w));
  QWebEngineView* editor = units(*w).editorView;
  // Toolbar tooltips and labels, and the text of every dialog the toolbar
  // opens: no English word may show.
  QStringList shown = runScript(editor,
                                "Array.from(document.querySelectorAll('.tox-editor-header [aria-label], "
                                ".tox-editor-header [title]')).map(e => (e.getAttribute('aria-label') || '') + ' ' + "
                                "(e.getAttribute('title') || ''))")
                          .toStringList();
  EXPECT_GE(shown.size(), 15);
  for (const char* command : {"mceLink", "mceImage", "mceInsertTableDialog", "mceCodeEditor", "mceShowCharmap"}) {
    runScript(editor, QStringLiteral("tinymce.activeEditor.execCommand('%1')").arg(QLatin1String(command)));
    QTest::qWait(300);
    const QString dialog =
        runScript(editor,
                  "(function(){var d=document.querySelector('.tox-dialog');var t=d?d.innerText:'(no dialog)';"
                  "tinymce.activeEditor.windowManager.close();return t;})()")
            .toString();
    EXPECT_NE(dialog, QStringLiteral("(no dialog)")) << command;
    shown << dialog;
  }
  static const QRegularExpression english(QStringLiteral("[A-Za-z]{3,}"));
  for (const QString& text : shown) {
    QString rest = text;
    rest.remove(QStringLiteral("HTML"));  // a name, as in the Chinese pack itself
    EXPECT_FALSE(english.match(rest).hasMatch()) << text.toStdString();
  }
}

TEST_F(Window, ASlowLoginSaysWhatItDoesAndTheWindowKeepsRunning) {
  Sandbox sb({.extraArgs = {"--delay", "cmd.asp:2000", "--delay", "edit_fckeditor.asp:500"}});
  auto w = start({{"慢博客", sb.siteUrl()}});
  std::set<QString> texts;
  int ticks = 0;
  bool waitCursor = false;
  QTimer watch;
  QObject::connect(&watch, &QTimer::timeout, [&] {
    ++ticks;
    texts.insert(units(*w).statusLine->currentMessage());
    const QCursor* c = QApplication::overrideCursor();
    waitCursor |= c && c->shape() == Qt::WaitCursor;
  });
  watch.start(50);
  pick(*w, 0);
  watch.stop();
  EXPECT_TRUE(blogSession().ready);
  EXPECT_TRUE(texts.count(QStringLiteral("正在登录 慢博客（第1次）…"))) << texts.size();
  EXPECT_TRUE(texts.count(QStringLiteral("正在读取编辑页…")));
  EXPECT_GE(ticks, 25);  // the timer ran all through the 2.5 s of answers
  EXPECT_TRUE(waitCursor);
  EXPECT_EQ(units(*w).statusLine->currentMessage(), QString());
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(Window, EntitiesAreShownDecodedTheNumberIsSentAndAnUntouchedTimeIsRefreshed) {
  Sandbox sb;
  auto w = start({{"沙盒博客", sb.siteUrl()}});
  pick(*w, 0);
  ASSERT_TRUE(blogSession().ready);
  QComboBox* categories = units(*w).categoryBox;
  const int i = categories->findText(QStringLiteral("生活 & 随笔"));
  ASSERT_GE(i, 0);
  EXPECT_EQ(categories->findText(QStringLiteral("生活 &amp; 随笔")), -1);
  categories->setCurrentIndex(i);
  units(*w).titleEdit->setText(QStringLiteral("时间"));
  ASSERT_TRUE(editorUp(*w));

  // The boxes still hold the login's time, an hour ago: publishing takes now.
  ArticleForm::of(*w).fillDates(QDateTime::currentDateTime().addSecs(-3600));
  const QDateTime before = QDateTime::currentDateTime();
  units(*w).publishButton->click();
  ASSERT_EQ(sb.articleCount(), 1);
  EXPECT_EQ(sb.articleField(1, "edtCateID"), "5");
  const QTime sent = QTime::fromString(QString::fromStdString(sb.articleField(1, "edtTime")), QStringLiteral("H:m:s"));
  ASSERT_TRUE(sent.isValid()) << sb.articleField(1, "edtTime");
  EXPECT_LE(std::abs(sent.secsTo(before.time())), 5);

  // Typed boxes go as typed.
  units(*w).yearEdit->clear();
  QTest::keyClicks(units(*w).yearEdit, "2020");
  units(*w).timeEdit->clear();
  QTest::keyClicks(units(*w).timeEdit, "8:30:00");
  units(*w).publishButton->click();
  ASSERT_EQ(sb.articleCount(), 2);
  EXPECT_EQ(sb.articleField(2, "edtYear"), "2020");
  EXPECT_EQ(sb.articleField(2, "edtTime"), "8:30:00");
}

TEST_F(Window, SiteDialogsSubmitOnReturnAskBeforeDeletingAndKeepTheChosenSite) {
  auto w = start({{"甲", "http://127.0.0.1:9/a/"}, {"乙", "http://127.0.0.1:9/b/"}});
  QComboBox* chooser = units(*w).siteChooser;
  // The chooser shows names only.
  ASSERT_EQ(chooser->count(), 2);
  EXPECT_EQ(chooser->itemText(1), QStringLiteral("乙"));
  EXPECT_EQ(chooserEntryValues(chooser, 1).weburl, "http://127.0.0.1:9/b/");
  {
    QSignalBlocker quiet(chooser);  // chosen without a login attempt
    chooser->setCurrentIndex(1);
  }
  QSignalSpy changes(chooser, &QComboBox::currentIndexChanged);

  // 添加网站: the fields filled, Return adds.
  ModalAnswerer answer(QMessageBox::Ok, [&](QDialog* d) {
    if (auto* add = qobject_cast<AddSiteDialog*>(d)) {
      add->nameEdit->setText(QStringLiteral("丙"));
      add->addressEdit->setText(QStringLiteral("http://127.0.0.1:9/c/"));
      add->accountEdit->setText(QStringLiteral("u"));
      add->passwordEdit->setText(QStringLiteral("p"));
      QTest::keyClick(add->passwordEdit, Qt::Key_Return);
    } else if (auto* modify = qobject_cast<ModifySiteDialog*>(d)) {
      modify->list->setCurrentRow(0);
      modify->nameEdit->setText(QStringLiteral("甲二"));
      modify->button1->click();
      EXPECT_EQ(modify->list->item(0)->text(), QStringLiteral("甲二"));
    } else if (auto* del = qobject_cast<DeleteSitesDialog*>(d)) {
      del->list->item(0)->setCheckState(Qt::Checked);
      del->button1->click();
    }
    d->reject();
  });
  units(*w).addSiteAction->trigger();
  ASSERT_EQ(chooser->count(), 3);
  EXPECT_EQ(chooser->currentText(), QStringLiteral("乙"));
  units(*w).modifySiteAction->trigger();
  EXPECT_EQ(chooser->itemText(0), QStringLiteral("甲二"));
  EXPECT_EQ(chooser->currentText(), QStringLiteral("乙"));
  units(*w).deleteSiteAction->trigger();
  ASSERT_EQ(answer.boxes.size(), 1);
  EXPECT_EQ(answer.boxes[0].text, QStringLiteral("确定删除选中的 1 个网站？"));
  ASSERT_EQ(chooser->count(), 2);
  EXPECT_EQ(chooser->currentText(), QStringLiteral("乙"));
  EXPECT_EQ(changes.count(), 0);  // no deselection, no new login
}

TEST_F(Window, DeletingAsksAndCancelKeepsTheSite) {
  auto w = start({{"甲", "http://127.0.0.1:9/a/"}});
  ModalAnswerer answer(QMessageBox::Cancel, [&](QDialog* d) {
    if (auto* del = qobject_cast<DeleteSitesDialog*>(d)) {
      del->list->item(0)->setCheckState(Qt::Checked);
      del->button1->click();
    }
    d->reject();
  });
  units(*w).deleteSiteAction->trigger();
  ASSERT_EQ(answer.boxes.size(), 1);
  EXPECT_EQ(units(*w).siteChooser->count(), 1);
}

TEST_F(Window, ShortcutsSavePublishAndPastePlainText) {
  Sandbox sb;
  auto w = start({{"沙盒博客", sb.siteUrl()}});
  // Shown in the 文章 menu.
  EXPECT_EQ(units(*w).find<QAction>("手动保存")->shortcut(), QKeySequence(QStringLiteral("Ctrl+S")));
  EXPECT_EQ(units(*w).find<QAction>("发布")->shortcut(), QKeySequence(QStringLiteral("Ctrl+Return")));
  EXPECT_TRUE(units(*w).publishButton->toolTip().contains(QStringLiteral("Ctrl+Enter")));
  pick(*w, 0);
  ASSERT_TRUE(blogSession().ready);
  ASSERT_TRUE(editorUp(*w));
  w->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));

  units(*w).titleEdit->setFocus();
  units(*w).titleEdit->setText(QStringLiteral("快捷键"));
  // Without a temp folder the save cannot be made, and says so.
  clearToastHistory();
  QTest::keyClick(units(*w).titleEdit, Qt::Key_S, Qt::ControlModifier);
  ASSERT_EQ(toastHistory().size(), 1u);
  EXPECT_EQ(toq(toastHistory()[0]), QStringLiteral("手动保存失败：无法写入temp文件夹，文章仍在窗口中。"));
  ASSERT_EQ(::mkdir(dir.file("temp").c_str(), 0700), 0);
  QTest::keyClick(units(*w).titleEdit, Qt::Key_S, Qt::ControlModifier);
  EXPECT_TRUE(fileExists(dir.file("temp/now.ini")));
  EXPECT_TRUE(units(*w).statusLine->currentMessage().startsWith(QStringLiteral("已手动保存")));

  // Ctrl+Shift+V in the editor: the text without its markup.
  auto* mime = new QMimeData;
  mime->setHtml(QStringLiteral("<b>粗体</b> &lt;x&gt;"));
  mime->setText(QStringLiteral("粗体 <x>\n第二行 \U0001F600"));
  QGuiApplication::clipboard()->setMimeData(mime);
  units(*w).editorView->setFocus();
  QTest::qWait(100);
  QWidget* page = units(*w).editorView->focusProxy();
  QTest::keyClick(page, Qt::Key_V, Qt::ControlModifier | Qt::ShiftModifier);
  ASSERT_TRUE(
      waitUntil([&] { return editorBody(units(*w).editorView).find(fromUtf8("第二行")) != std::string::npos; }, 10000))
      << editorBody(units(*w).editorView);
  const std::string body = editorBody(units(*w).editorView);
  EXPECT_NE(body.find("&lt;x&gt;"), std::string::npos) << body;
  EXPECT_NE(body.find("&#128512;"), std::string::npos) << body;  // no GBK form: a reference
  EXPECT_EQ(body.find("<b>"), std::string::npos);
  EXPECT_EQ(body.find("<strong>"), std::string::npos);

  QTest::keyClick(page, Qt::Key_Return, Qt::ControlModifier);
  EXPECT_TRUE(waitUntil([&] { return sb.articleCount() == 1; }, 20000));
  EXPECT_EQ(sb.articleField(1, "edtTitle"), "快捷键");
}

}  // namespace
