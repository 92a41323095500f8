// The fully wired main window as a person on a desktop meets it: its sizes,
// its language, what it says during a slow login, the lists it shows, the
// site dialogs, the publication time and the shortcuts. Against the sandbox
// blog where a blog is needed.
#include "blog/ui/articleform.h"
#include "blog/ui/editorbody.h"
#include "blog/ui/login.h"
#include "common/ui/toast.h"
#include "net/encoding.h"
#include "shell/windowstate.h"
#include "sites/ui/sitechooser.h"
#include "sites/ui/sitedialogs.h"
#include "support/modalanswers.h"
#include "support/sandbox.h"
#include "support/wiredwindow.h"

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
#include <unistd.h>

#include <fstream>
#include <set>

namespace inkpost {
namespace {

using test::fileExists;
using test::ModalAnswers;
using test::runScript;
using test::Sandbox;
using test::waitUntil;

QString toq(const std::string& gbk) { return QString::fromStdString(toUtf8(gbk)); }

class Window : public test::WiredWindow {
 protected:
  // A site named `utf8Name` at `address`; its ID.
  int site(const char* utf8Name, const std::string& address) {
    SiteRecord r;
    r.webname = fromUtf8(utf8Name);
    r.weburl = address;
    r.admin = "admin";
    r.pass = "secret";
    return addSite(r);
  }
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
  MainWindow* w = &this->w();
  const QSize minimum = w->minimumSize().expandedTo(w->minimumSizeHint());
  EXPECT_LE(minimum.width(), 900);
  EXPECT_LE(minimum.height(), 700);
  w->resize(minimum);
  QTest::qWait(100);
  const std::vector<QWidget*> all = shownUnits(*w);
  EXPECT_GE(all.size(), 35u);
  for (QWidget* unit : all) {
    const QRect r(unit->mapTo(w, QPoint(0, 0)), unit->size());
    EXPECT_TRUE(unit->isVisible()) << unit->objectName().toStdString();
    EXPECT_TRUE(w->rect().contains(r)) << unit->objectName().toStdString() << " at " << r.x() << "," << r.y() << " "
                                       << r.width() << "x" << r.height();
    if (unit != units().spaceView) EXPECT_GE(unit->width(), 16) << unit->objectName().toStdString();
  }
  // Nor do units lie over one another (a box inside its group aside).
  for (QWidget* a : all)
    for (QWidget* b : all) {
      if (a >= b || a->isAncestorOf(b) || b->isAncestorOf(a)) continue;
      const QRect ra(a->mapTo(w, QPoint(0, 0)), a->size());
      const QRect rb(b->mapTo(w, QPoint(0, 0)), b->size());
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
  EXPECT_GT(units().editorView->width(), 1200);
  EXPECT_GT(units().editorView->height(), units().galleryView->height());
  EXPECT_GT(units().galleryView->height(), 500);  // the image column takes the height
  EXPECT_EQ(units().imageGroup->width(), 240);
}

TEST_F(Window, SizePlaceAndMaximisedStateComeBackAtTheNextStart) {
  w().setGeometry(60, 70, 1010, 730);
  QTest::qWait(50);
  w().close();
  w_.reset();
  ASSERT_TRUE(fileExists(dir_.file(kWindowStateFile)));
  EXPECT_EQ(w().size(), QSize(1010, 730));
  w().setWindowState(Qt::WindowMaximized);
  w().close();
  w_.reset();
  {
    auto w = createMainWindow();  // restored before it is shown
    EXPECT_TRUE(w->windowState() & Qt::WindowMaximized);
  }
  // A damaged file leaves the default size.
  std::ofstream(dir_.file(kWindowStateFile), std::ios::trunc) << "[window]\ngeometry=@ByteArray(garbage)\n";
  auto w = createMainWindow();
  EXPECT_EQ(w->size(), QSize(880, 700));
}

TEST_F(Window, TheStateFileIsReplacedNotWrittenThroughALink) {
  test::writeFile(dir_.file("outside.txt"), "keep");
  ASSERT_EQ(::symlink(dir_.file("outside.txt").c_str(), dir_.file(kWindowStateFile).c_str()), 0);
  w().setGeometry(60, 70, 1010, 730);
  QTest::qWait(50);
  w().close();
  w_.reset();
  EXPECT_EQ(test::readFile(dir_.file("outside.txt")), "keep");
  struct stat st {};
  ASSERT_EQ(::lstat(dir_.file(kWindowStateFile).c_str(), &st), 0);
  EXPECT_TRUE(S_ISREG(st.st_mode));
  EXPECT_EQ(w().size(), QSize(1010, 730));
}

TEST_F(Window, StandardButtonsAndTheEditorSpeakChinese) {
  QMessageBox box(QMessageBox::Question, QStringLiteral("提示"), QStringLiteral("?"),
                  QMessageBox::Ok | QMessageBox::Cancel, &w());
  EXPECT_EQ(box.button(QMessageBox::Ok)->text(), QStringLiteral("确定"));
  EXPECT_EQ(box.button(QMessageBox::Cancel)->text(), QStringLiteral("取消"));

  ASSERT_TRUE(editorUp());
  QWebEngineView* editor = units().editorView;
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
  const int id = site("慢博客", sb.siteUrl());
  w();
  std::set<QString> texts;
  int ticks = 0;
  bool waitCursor = false;
  QTimer watch;
  QObject::connect(&watch, &QTimer::timeout, [&] {
    ++ticks;
    texts.insert(units().statusLine->currentMessage());
    const QCursor* c = QApplication::overrideCursor();
    waitCursor |= c && c->shape() == Qt::WaitCursor;
  });
  watch.start(50);
  pick(id);
  watch.stop();
  EXPECT_TRUE(w().blog().ready());
  EXPECT_TRUE(texts.count(QStringLiteral("正在登录 慢博客（第1次）…"))) << texts.size();
  EXPECT_TRUE(texts.count(QStringLiteral("正在读取编辑页…")));
  EXPECT_GE(ticks, 25);  // the timer ran all through the 2.5 s of answers
  EXPECT_TRUE(waitCursor);
  EXPECT_EQ(units().statusLine->currentMessage(), QString());
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(Window, TheSiteChosenLastComesBackAndIsLoggedInToWhenAsked) {
  Sandbox sb;
  const int id = site("沙盒博客", sb.siteUrl());
  pick(id);
  ASSERT_TRUE(w().blog().ready());
  w().close();
  w_.reset();
  // Shown, not logged in, and the status line says how to log in.
  EXPECT_EQ(units().siteChooser->currentText(), QStringLiteral("沙盒博客"));
  EXPECT_FALSE(w().blog().ready());
  EXPECT_TRUE(units().statusLine->currentMessage().contains(QStringLiteral("按F5登录")))
      << units().statusLine->currentMessage().toStdString();
  w().reloginAction()->trigger();  // F5: logged in, and the hint is gone
  EXPECT_TRUE(waitUntil([&] { return w().blog().ready(); }, 15000));
  EXPECT_EQ(units().statusLine->currentMessage(), QString());
  w().logInAtStartAction()->trigger();  // 网站管理 → 启动时登录上次的网站
  w().close();
  w_.reset();
  w();
  EXPECT_TRUE(waitUntil([&] { return w().blog().ready(); }, 15000));
  EXPECT_EQ(units().siteChooser->currentText(), QStringLiteral("沙盒博客"));
}

TEST_F(Window, EntitiesAreShownDecodedTheNumberIsSentAndAnUntouchedTimeIsRefreshed) {
  Sandbox sb;
  pick(site("沙盒博客", sb.siteUrl()));
  ASSERT_TRUE(w().blog().ready());
  QComboBox* categories = units().categoryBox;
  const int i = categories->findText(QStringLiteral("生活 & 随笔"));
  ASSERT_GE(i, 0);
  EXPECT_EQ(categories->findText(QStringLiteral("生活 &amp; 随笔")), -1);
  categories->setCurrentIndex(i);
  units().titleEdit->setText(QStringLiteral("时间"));
  ASSERT_TRUE(editorUp());

  // The boxes still hold the login's time, an hour ago: publishing takes now.
  w().form().fillDates(QDateTime::currentDateTime().addSecs(-3600));
  const QDateTime before = QDateTime::currentDateTime();
  units().publishButton->click();
  ASSERT_EQ(sb.articleCount(), 1);
  EXPECT_EQ(sb.articleField(1, "edtCateID"), "5");
  const QTime sent = QTime::fromString(QString::fromStdString(sb.articleField(1, "edtTime")), QStringLiteral("H:m:s"));
  ASSERT_TRUE(sent.isValid()) << sb.articleField(1, "edtTime");
  EXPECT_LE(std::abs(sent.secsTo(before.time())), 5);

  // Typed boxes go as typed.
  units().yearEdit->clear();
  QTest::keyClicks(units().yearEdit, "2020");
  units().timeEdit->clear();
  QTest::keyClicks(units().timeEdit, "8:30:00");
  units().publishButton->click();
  ASSERT_EQ(sb.articleCount(), 2);
  EXPECT_EQ(sb.articleField(2, "edtYear"), "2020");
  EXPECT_EQ(sb.articleField(2, "edtTime"), "8:30:00");
}

TEST_F(Window, SiteDialogsSubmitOnReturnAskBeforeDeletingAndKeepTheChosenSite) {
  site("甲", "http://127.0.0.1:9/a/");
  site("乙", "http://127.0.0.1:9/b/");
  QComboBox* chooser = units().siteChooser;
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
  ModalAnswers answer(QMessageBox::Ok, [&](QDialog& d) {
    if (auto* add = qobject_cast<AddSiteDialog*>(&d)) {
      add->nameEdit->setText(QStringLiteral("丙"));
      add->addressEdit->setText(QStringLiteral("http://127.0.0.1:9/c/"));
      add->accountEdit->setText(QStringLiteral("u"));
      add->passwordEdit->setText(QStringLiteral("p"));
      QTest::keyClick(add->passwordEdit, Qt::Key_Return);
    } else if (auto* modify = qobject_cast<ModifySiteDialog*>(&d)) {
      modify->list->setCurrentRow(0);
      modify->nameEdit->setText(QStringLiteral("甲二"));
      modify->button1->click();
      EXPECT_EQ(modify->list->item(0)->text(), QStringLiteral("甲二"));
    } else if (auto* del = qobject_cast<DeleteSitesDialog*>(&d)) {
      del->list->item(0)->setCheckState(Qt::Checked);
      del->button1->click();
    }
  });
  units().addSiteAction->trigger();
  ASSERT_EQ(chooser->count(), 3);
  EXPECT_EQ(chooser->currentText(), QStringLiteral("乙"));
  units().modifySiteAction->trigger();
  EXPECT_EQ(chooser->itemText(0), QStringLiteral("甲二"));
  EXPECT_EQ(chooser->currentText(), QStringLiteral("乙"));
  units().deleteSiteAction->trigger();
  ASSERT_EQ(answer.boxes.size(), 1);
  EXPECT_EQ(answer.boxes[0].text, QStringLiteral("确定删除选中的 1 个网站？"));
  ASSERT_EQ(chooser->count(), 2);
  EXPECT_EQ(chooser->currentText(), QStringLiteral("乙"));
  EXPECT_EQ(changes.count(), 0);  // no deselection, no new login
}

TEST_F(Window, DeletingAsksAndCancelKeepsTheSite) {
  site("甲", "http://127.0.0.1:9/a/");
  ModalAnswers answer(QMessageBox::Cancel, [&](QDialog& d) {
    if (auto* del = qobject_cast<DeleteSitesDialog*>(&d)) {
      del->list->item(0)->setCheckState(Qt::Checked);
      del->button1->click();
    }
  });
  units().deleteSiteAction->trigger();
  ASSERT_EQ(answer.boxes.size(), 1);
  EXPECT_EQ(units().siteChooser->count(), 1);
}

TEST_F(Window, ShortcutsSavePublishAndPastePlainText) {
  Sandbox sb;
  const int id = site("沙盒博客", sb.siteUrl());
  // Shown in the 文章 menu.
  EXPECT_EQ(units().find<QAction>("手动保存")->shortcut(), QKeySequence(QStringLiteral("Ctrl+S")));
  EXPECT_EQ(units().find<QAction>("发布")->shortcut(), QKeySequence(QStringLiteral("Ctrl+Return")));
  EXPECT_TRUE(units().publishButton->toolTip().contains(QStringLiteral("Ctrl+Enter")));
  pick(id);
  ASSERT_TRUE(w().blog().ready());
  ASSERT_TRUE(editorUp());
  w().activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&w()));

  units().titleEdit->setFocus();
  units().titleEdit->setText(QStringLiteral("快捷键"));
  // Without a temp folder the save cannot be made, and says so.
  ASSERT_EQ(::rmdir(dir_.file("temp").c_str()), 0);
  clearToastHistory();
  QTest::keyClick(units().titleEdit, Qt::Key_S, Qt::ControlModifier);
  ASSERT_EQ(toastHistory().size(), 1u);
  EXPECT_EQ(toq(toastHistory()[0]), QStringLiteral("手动保存失败：无法写入temp文件夹，文章仍在窗口中。"));
  ASSERT_EQ(::mkdir(dir_.file("temp").c_str(), 0700), 0);
  QTest::keyClick(units().titleEdit, Qt::Key_S, Qt::ControlModifier);
  EXPECT_TRUE(fileExists(dir_.file("temp/now.ini")));
  EXPECT_TRUE(units().statusLine->currentMessage().startsWith(QStringLiteral("已手动保存")));

  // Ctrl+Shift+V in the editor: the text without its markup.
  auto* mime = new QMimeData;
  mime->setHtml(QStringLiteral("<b>粗体</b> &lt;x&gt;"));
  mime->setText(QStringLiteral("粗体 <x>\n第二行 \U0001F600"));
  QGuiApplication::clipboard()->setMimeData(mime);
  units().editorView->setFocus();
  QTest::qWait(100);
  QWidget* page = units().editorView->focusProxy();
  QTest::keyClick(page, Qt::Key_V, Qt::ControlModifier | Qt::ShiftModifier);
  ASSERT_TRUE(
      waitUntil([&] { return editorBody(units().editorView).find(fromUtf8("第二行")) != std::string::npos; }, 10000))
      << editorBody(units().editorView);
  const std::string body = editorBody(units().editorView);
  EXPECT_NE(body.find("&lt;x&gt;"), std::string::npos) << body;
  EXPECT_NE(body.find("&#128512;"), std::string::npos) << body;  // no GBK form: a reference
  EXPECT_EQ(body.find("<b>"), std::string::npos);
  EXPECT_EQ(body.find("<strong>"), std::string::npos);

  QTest::keyClick(page, Qt::Key_Return, Qt::ControlModifier);
  EXPECT_TRUE(waitUntil([&] { return sb.articleCount() == 1; }, 20000));
  EXPECT_EQ(sb.articleField(1, "edtTitle"), "快捷键");
}

}  // namespace
}  // namespace inkpost
