// The binding table: every event of the main window that has a handler is
// connected here, and only here. Sections follow the subsystems. Every
// handler runs guarded: an exception that escapes it is told in a notice and
// the program goes on.
#include "shell/shell.h"

#include "shell/mainwindow.h"

// shell, sites
#include <QLabel>
#include "common/session.h"
#include "common/ui/gbk.h"
#include "common/ui/toast.h"
#include "net/encoding.h"
#include "shell/links.h"
#include "shell/openinbrowser.h"
#include "sites/ui/sitechooser.h"
#include "sites/ui/sitedialogs.h"
#include "sites/ui/sitemenu.h"
// blog: login, publishing and the alias
#include "blog/ui/articleform.h"
#include "blog/ui/login.h"
#include "blog/ui/publish.h"

// images
#include "images/ui/acquire.h"
#include "images/ui/capturewindow.h"
#include "images/ui/gallery.h"
#include "images/ui/paste.h"

// drafts and tags
#include "drafts/ui/drafts.h"
#include "drafts/ui/tagswindow.h"

// cross-posting
#include "crosspost/ui/crosspost.h"
#include "crosspost/ui/spacesession.h"

#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QWebEngineView>

#include <exception>
#include <memory>

namespace inkpost {

std::string handlerFailedNotice(const std::string& gbkWhat, const std::string& reason) {
  return gbkWhat + fromUtf8("时出错：") + reason + fromUtf8("。程序继续运行，可以再试一次。");
}

void runGuarded(QWidget* window, const std::string& gbkWhat, const std::function<void()>& handler) {
  std::string reason;
  try {
    handler();
    return;
  } catch (const std::exception& e) {
    reason = fromUtf8(e.what());
  } catch (...) {
    reason = fromUtf8("未知错误");
  }
  ShowToast(window, handlerFailedNotice(gbkWhat, reason), 3.0);
}

namespace {

// A handler body run guarded; utf8What names the action in the notice.
template <typename F>
void guard(QWidget& w, const char* utf8What, F&& body) {
  runGuarded(&w, fromUtf8(utf8What), std::function<void()>(std::forward<F>(body)));
}

}  // namespace

void bindMainWindow(MainWindow& w) {
  QObject::connect(&w, &MainWindow::aboutToBeDestroyed, &w, [&w] { shutDown(w); });

  // --- shell: menus and links
  bindToastTimer(w.toastTimer);  // 时钟_载入显示窗口: the delayed notice
  QObject::connect(w.addSiteAction, &QAction::triggered, &w,
                   [&w] { guard(w, "添加网站", [&] { openAddSiteDialog(&w, w.siteChooser); }); });
  QObject::connect(w.modifySiteAction, &QAction::triggered, &w,
                   [&w] { guard(w, "修改网站", [&] { openModifySiteDialog(&w, w.siteChooser); }); });
  QObject::connect(w.deleteSiteAction, &QAction::triggered, &w,
                   [&w] { guard(w, "删除网站", [&] { openDeleteSitesDialog(&w, w.siteChooser); }); });
  QObject::connect(w.upgradeAction, &QAction::triggered, &w,
                   [&w] { guard(w, "数据库升级", [&] { runDatabaseUpgrade(&w); }); });
  QObject::connect(w.mailingListAction, &QAction::triggered, &w,
                   [&w] { guard(w, "打开网页", [] { OpenInBrowser(links::kMailingList); }); });
  QObject::connect(w.officialBlogAction, &QAction::triggered, &w,
                   [&w] { guard(w, "打开网页", [] { OpenInBrowser(links::kOfficialBlog); }); });
  for (QLabel* link : {w.clientLink, w.engineLink})
    QObject::connect(link, &QLabel::linkActivated, &w, [&w](const QString& address) {
      guard(w, "打开网页", [&] { OpenInBrowser(address.toStdString()); });
    });

  // --- sites: chooser flags
  // 选择框_自动别名: the blog section adds the alias fill to the same click.
  QObject::connect(w.autoAliasCheck, &QCheckBox::clicked, &w, [&w](bool on) {
    guard(w, "保存网站设置", [&] { StoreSiteFlag(w.siteChooser, SiteFlag::AutoAlias, on); });
  });
  QObject::connect(w.autoNameCheck, &QCheckBox::clicked, &w, [&w](bool on) {
    guard(w, "保存网站设置", [&] { StoreSiteFlag(w.siteChooser, SiteFlag::AutoName, on); });
  });

  // --- blog: login, title, publishing
  ArticleForm& form = ArticleForm::of(w);
  // 组合框_网站名称 selection changed: log in to the picked site.
  // Choosing the chosen site again (activated without a change), and 重新登录
  // (F5): log in once more. A change is followed at once by its activated,
  // which the flag holds back.
  auto changed = std::make_shared<bool>(false);
  QObject::connect(w.siteChooser, &QComboBox::currentIndexChanged, &w, [&w, changed](int) {
    *changed = true;
    guard(w, "登录", [&] { onSiteSelected(w); });  // waits run event loops: the reset comes after
    QTimer::singleShot(0, &w, [changed] { *changed = false; });
  });
  QObject::connect(w.siteChooser, &QComboBox::activated, &w, [&w, changed](int) {
    if (!*changed) guard(w, "登录", [&] { loginAgain(w); });
    *changed = false;
  });
  QObject::connect(w.reloginAction, &QAction::triggered, &w, [&w] { guard(w, "登录", [&] { loginAgain(w); }); });
  // 组合框_分类 selection changed: bound to a handler that does nothing.
  QObject::connect(form.categoryBox(), &QComboBox::currentIndexChanged, &w, [](int) {});
  // 编辑框_标题 content changed; 选择框_自动别名 click (after the sites
  // section's StoreSiteFlag, connected above); 按钮_发布 click.
  QObject::connect(form.titleBox(), &QLineEdit::textChanged, &w,
                   [&w](const QString&) { guard(w, "生成别名", [&] { onTitleChanged(w); }); });
  QObject::connect(form.autoAliasBox(), &QCheckBox::clicked, &w,
                   [&w](bool) { guard(w, "生成别名", [&] { onAutoAliasClicked(w); }); });
  // 按钮_发布 click, and 文章 → 发布 (Ctrl+Enter).
  const auto publish = [&w] { guard(w, "发布文章", [&] { publishArticle(w); }); };
  QObject::connect(w.publishButton, &QPushButton::clicked, &w, publish);
  QObject::connect(w.publishAction, &QAction::triggered, &w, publish);
  // 文章 → 粘贴为纯文本 (Ctrl+Shift+V in the editor): the clipboard's text
  // without its formatting, at the caret.
  QObject::connect(w.plainPasteAction, &QAction::triggered, &w, [&w] {
    guard(w, "粘贴", [&] {
      if (!ArticleForm::of(w).insertPlainText(QGuiApplication::clipboard()->text()))
        ShowToast(&w, fromUtf8("剪贴板中没有文字"), 1.2);
    });
  });

  // --- images: drop, address, capture, gallery
  // 拖放对象1: files dropped on 分组框_上传图片, in drop order.
  QObject::connect(w.dropTarget, &DropTarget::filesDropped, &w,
                   [&w](const QStringList& paths) { guard(w, "上传图片", [&] { DropFiles(w, paths); }); });
  // Images dragged from a web page arrive as their addresses.
  QObject::connect(w.dropTarget, &DropTarget::addressesDropped, &w, [&w](const QStringList& addresses) {
    guard(w, "上传网络图片", [&] { DropAddresses(w, addresses); });
  });
  // Ctrl+V and the context menus of the editor and the drop box: pasted pictures.
  installImagePaste(w, [](QWidget& window) {
    bool pasted = true;  // a fault was reported; no second notice
    runGuarded(&window, fromUtf8("粘贴图片"), [&] { pasted = PasteImage(window); });
    return pasted;
  });
  QObject::connect(w.fromAddressButton, &QPushButton::clicked, &w,
                   [&w] { guard(w, "上传网络图片", [&] { UploadFromAddress(w); }); });
  // 按钮_截图上传 click; 时钟_上传截图 tick (armed by the capture window).
  QObject::connect(w.captureButton, &QPushButton::clicked, &w, [&w] { guard(w, "截图", [&] { StartCapture(w); }); });
  QObject::connect(w.captureTimer, &QTimer::timeout, &w, [&w] { guard(w, "上传截图", [&] { UploadCapture(w); }); });
  // 超文本浏览框_图片上传: every navigation of the gallery viewer.
  setGalleryHandler(w, [&w](const QString& target) {
    bool allow = false;
    guard(w, "图片列表", [&] { allow = GalleryNavigating(w, target); });
    return allow;
  });

  // --- drafts and tags
  // 编辑框_Tags: content changed; left button released and key pressed
  // (through an event filter on the box).
  QObject::connect(form.tagsBox(), &QLineEdit::textChanged, &w,
                   [&w](const QString&) { guard(w, "Tags", [&] { TagsBoxChanged(w); }); });
  auto* tagsEvents = new TagsBoxEvents(form.tagsBox());
  QObject::connect(tagsEvents, &TagsBoxEvents::released, &w, [&w] { guard(w, "Tags", [&] { TagsBoxReleased(w); }); });
  QObject::connect(tagsEvents, &TagsBoxEvents::keyDown, &w,
                   [&w](int key) { guard(w, "Tags", [&] { TagsBoxKeyDown(w, key); }); });
  QObject::connect(w.tagsTimer, &QTimer::timeout, &w, [&w] { guard(w, "打开Tags窗口", [&] { OpenTagsWindow(w); }); });
  // 组合框_恢复数据 entry chosen (again, too); 时钟_数据保存 tick.
  QObject::connect(w.restoreBox, &QComboBox::activated, &w, [&w](int index) {
    guard(w, "恢复数据", [&] { RestoreDraft(w, w.restoreBox->itemData(index).toInt()); });
  });
  // 按钮_手动保存 click, and 文章 → 手动保存 (Ctrl+S).
  const auto saveManually = [&w] { guard(w, "手动保存", [&] { SaveDraft(w, false); }); };
  QObject::connect(w.manualSaveButton, &QPushButton::clicked, &w, saveManually);
  QObject::connect(w.saveAction, &QAction::triggered, &w, saveManually);
  // 文章 → 恢复: opens 组合框_恢复数据's list, captions refreshed first.
  QObject::connect(w.restoreAction, &QAction::triggered, &w, [&w] {
    guard(w, "恢复数据", [&] {
      RefreshRestoreList(w);
      w.restoreBox->setFocus();
      w.restoreBox->showPopup();
    });
  });
  QObject::connect(w.saveTimer, &QTimer::timeout, &w, [&w] { guard(w, "自动保存", [&] { SaveDraft(w, true); }); });
  // 组合框_恢复数据 about to open its list: captions with time and title.
  auto* restoreListEvents = new RestoreListEvents(w.restoreBox);
  QObject::connect(restoreListEvents, &RestoreListEvents::opening, &w,
                   [&w] { guard(w, "恢复数据", [&] { RefreshRestoreList(w); }); });
  // The recovery slot: any change of an article field or of 选择框_自动命名
  // (the editor's own changes are polled by the tick) restarts the pause;
  // 时钟_恢复保存 tick; the main window closing; a publish that went through.
  QObject::connect(&form, &ArticleForm::changed, &w, [&w] { guard(w, "恢复保存", [&] { ArticleEdited(w); }); });
  QObject::connect(w.autoNameCheck, &QCheckBox::toggled, &w,
                   [&w](bool) { guard(w, "恢复保存", [&] { ArticleEdited(w); }); });
  QObject::connect(recoveryTimer(w), &QTimer::timeout, &w, [&w] { guard(w, "恢复保存", [&] { RecoveryTick(w); }); });
  auto* closeEvents = new CloseEvents(&w);
  QObject::connect(closeEvents, &CloseEvents::closing, &w,
                   [&w] { guard(w, "恢复保存", [&] { SaveRecoveryOnClose(w); }); });
  blogSession().published = [](QWidget& window) { ArticlePublished(window); };

  // --- cross-posting
  // 互联网浏览器_百度空间 finished a document; a publish that reached the blog
  // hands over to the cross-post step.
  QObject::connect(w.spaceView, &QWebEngineView::loadFinished, &w,
                   [&w](bool) { guard(w, "同步到百度空间", [&] { SpaceBrowserArrived(w); }); });
  blogSession().crossPost = [](QWidget& window, const std::string& gbkTitle, const std::string& gbkBody) {
    crossPostArticle(window, gbkTitle, gbkBody);
  };
}

}  // namespace inkpost
