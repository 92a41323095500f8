// The binding table: every event of the main window that has a handler is
// connected here, and only here. Sections follow the subsystems. Every
// handler runs guarded: an exception that escapes it is told in a notice and
// the program goes on.
#include "shell/shell.h"

#include "shell/mainwindow.h"

// shell, sites
#include <QLabel>
#include "common/ui/gbk.h"
#include "common/ui/toast.h"
#include "net/encoding.h"
#include "shell/links.h"
#include "shell/openinbrowser.h"
#include "shell/windowstate.h"
#include "sites/ui/sitebar.h"
#include "sites/ui/sitedialogs.h"
#include "sites/ui/sitelistfiles.h"
#include "sites/ui/sitemenu.h"
// blog: login, publishing and the alias
#include "blog/editortext.h"
#include "blog/ui/articleform.h"
#include "blog/ui/login.h"
#include "blog/ui/openarticle.h"
#include "blog/ui/publish.h"
#include "blog/ui/publishrecordwindow.h"

// images
#include "images/ui/acquire.h"
#include "images/ui/capturewindow.h"
#include "images/ui/gallery.h"
#include "images/ui/imagepanel.h"
#include "images/ui/paste.h"

// drafts and tags
#include "drafts/ui/drafts.h"
#include "drafts/ui/tagswindow.h"

// publishing to many blogs
#include "multipost/ui/multipublishwindow.h"

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
  SiteBar& sites = w.sites();
  ArticleForm& form = w.form();
  CurrentBlog& blog = w.blog();
  Publisher& publisher = w.publisher();
  ImagePanel& images = w.images();
  DraftsBar& drafts = w.drafts();
  TagsPicker& tags = w.tags();
  CrossPostBox& crossPost = w.crossPost();

  QObject::connect(&w, &MainWindow::aboutToBeDestroyed, &w, [&w] { shutDown(w); });

  // --- shell: menus and links
  bindToastTimer(w.toastTimer());  // 时钟_载入显示窗口: the delayed notice
  QObject::connect(w.addSiteAction(), &QAction::triggered, &w,
                   [&w, &sites] { guard(w, "添加网站", [&] { openAddSiteDialog(&w, sites.chooser()); }); });
  QObject::connect(w.modifySiteAction(), &QAction::triggered, &w,
                   [&w, &sites] { guard(w, "修改网站", [&] { openModifySiteDialog(&w, sites.chooser()); }); });
  QObject::connect(w.deleteSiteAction(), &QAction::triggered, &w,
                   [&w, &sites] { guard(w, "删除网站", [&] { openDeleteSitesDialog(&w, sites.chooser()); }); });
  QObject::connect(w.importSitesAction(), &QAction::triggered, &w, [&w, &sites] {
    guard(w, "导入网站", [&] { ImportSites(&w, StatusLine(w.statusLine()), [&sites] { sites.fill(); }); });
  });
  QObject::connect(w.exportSitesAction(), &QAction::triggered, &w,
                   [&w] { guard(w, "导出网站", [&] { ExportSites(&w, StatusLine(w.statusLine())); }); });
  QObject::connect(w.multiPublishAction(), &QAction::triggered, &w,
                   [&w, &form] { guard(w, "发布到多个网站", [&] { showMultiPublish(w.clients(), form, &w); }); });
  QObject::connect(w.publishRecordAction(), &QAction::triggered, &w,
                   [&w] { guard(w, "发布记录", [&] { showPublishRecord(&w); }); });
  QObject::connect(w.upgradeAction(), &QAction::triggered, &w,
                   [&w] { guard(w, "数据库升级", [&] { runDatabaseUpgrade(&w); }); });
  QObject::connect(w.mailingListAction(), &QAction::triggered, &w,
                   [&w] { guard(w, "打开网页", [] { OpenInBrowser(links::kMailingList); }); });
  QObject::connect(w.officialBlogAction(), &QAction::triggered, &w,
                   [&w] { guard(w, "打开网页", [] { OpenInBrowser(links::kOfficialBlog); }); });
  for (QLabel* link : {w.clientLink(), w.engineLink()})
    QObject::connect(link, &QLabel::linkActivated, &w, [&w](const QString& address) {
      guard(w, "打开网页", [&] { OpenInBrowser(address.toStdString()); });
    });

  // --- sites: the chosen site and its option flags
  // 选择框_自动别名: the blog section adds the alias fill to the same click.
  QObject::connect(form.autoAliasBox(), &QCheckBox::clicked, &w, [&w, &sites](bool on) {
    guard(w, "保存网站设置", [&] { sites.storeFlag(SiteFlag::AutoAlias, on); });
  });
  QObject::connect(images.autoNameBox(), &QCheckBox::clicked, &w, [&w, &sites](bool on) {
    guard(w, "保存网站设置", [&] { sites.storeFlag(SiteFlag::AutoName, on); });
  });

  // --- blog: login, title, publishing
  // 组合框_网站名称 selection changed: the site's option flags, then a login;
  // the site is remembered for the next start. Choosing the chosen site
  // again: its record as stored now, then a login once more.
  const auto showFlags = [&sites, &form, &images] {
    if (const std::optional<SiteRecord> site = sites.chosenSite()) {
      form.setAutoAlias(site->ikname);
      images.setAutoName(site->imgname);
    }
  };
  QObject::connect(&sites, &SiteBar::sitePicked, &w, [&w, &sites, &blog, showFlags] {
    guard(w, "登录", [&] {
      showFlags();
      showFirstStepHint(w);
      rememberChosenSite(sites.chosenId());
      blog.sitePicked();
    });
  });
  QObject::connect(&sites, &SiteBar::siteCleared, &w, [&w, &blog] {
    guard(w, "登录", [&] {
      blog.siteCleared();
      showFirstStepHint(w);
    });
  });
  QObject::connect(&sites, &SiteBar::sitePickedAgain, &w, [&w, &blog, showFlags] {
    guard(w, "登录", [&] {
      showFlags();
      showFirstStepHint(w);
      blog.logInAgain();
    });
  });
  // 网站管理 → 启动时登录上次的网站.
  w.logInAtStartAction()->setChecked(logInAtStart());
  QObject::connect(w.logInAtStartAction(), &QAction::toggled, &w,
                   [&w](bool on) { guard(w, "保存设置", [&] { setLogInAtStart(on); }); });
  QObject::connect(w.reloginAction(), &QAction::triggered, &w, [&w, &blog] {
    guard(w, "登录", [&] {
      showFirstStepHint(w);
      blog.logInAgain();
    });
  });
  // 组合框_分类 selection changed: bound to a handler that does nothing.
  QObject::connect(form.categoryBox(), &QComboBox::currentIndexChanged, &w, [](int) {});
  // 编辑框_标题 content changed; 选择框_自动别名 click (after the sites
  // section's flag, connected above).
  QObject::connect(form.titleBox(), &QLineEdit::textChanged, &w,
                   [&w, &form](const QString&) { guard(w, "生成别名", [&] { onTitleChanged(form); }); });
  QObject::connect(form.autoAliasBox(), &QCheckBox::clicked, &w,
                   [&w, &form](bool) { guard(w, "生成别名", [&] { onAutoAliasClicked(form); }); });
  // 按钮_发布 click, and 文章 → 发布 (Ctrl+Enter).
  const auto publish = [&w, &publisher] { guard(w, "发布文章", [&] { publisher.publish(); }); };
  QObject::connect(w.publishButton(), &QPushButton::clicked, &w, publish);
  QObject::connect(w.publishAction(), &QAction::triggered, &w, publish);
  // 文章 → 打开博客文章… (Ctrl+O): the article chosen goes into the form
  // after the drafts have kept what it held.
  QObject::connect(w.openArticleAction(), &QAction::triggered, &w, [&w, &blog, &form, &drafts] {
    guard(w, "打开博客文章", [&] {
      OpenBlogArticle(blog, form, [&drafts](const Article& article) { return replaceArticle(drafts, article); });
    });
  });
  // The editing mode shows in the window's title and the status line.
  const auto showMode = [&w, &form] {
    guard(w, "显示修改状态", [&] { ShowEditingMode(w, StatusLine(w.statusLine()), form); });
  };
  QObject::connect(&form, &ArticleForm::editingChanged, &w, showMode);
  QObject::connect(form.titleBox(), &QLineEdit::textChanged, &w, showMode);
  // 文章 → 粘贴为纯文本 (Ctrl+Shift+V in the editor): the clipboard's text
  // without its formatting, at the caret.
  QObject::connect(w.plainPasteAction(), &QAction::triggered, &w, [&w, &form] {
    guard(w, "粘贴", [&] {
      const QString text = QGuiApplication::clipboard()->text();
      if (static_cast<size_t>(text.size()) > kPlainPasteMax)
        ShowToast(&w, plainPasteTooLongNotice(static_cast<size_t>(text.size())), 2.6);
      else if (!form.insertPlainText(text))
        ShowToast(&w, fromUtf8("剪贴板中没有文字"), 1.2);
    });
  });

  // --- images: drop, address, capture, gallery
  // 拖放对象1: files dropped on 分组框_上传图片, in drop order.
  QObject::connect(images.dropTarget(), &DropTarget::filesDropped, &w, [&w, &images](const QStringList& paths) {
    guard(w, "上传图片", [&] { DropFiles(images, paths); });
  });
  // Images dragged from a web page arrive as their addresses.
  QObject::connect(images.dropTarget(), &DropTarget::addressesDropped, &w, [&w, &images](const QStringList& addresses) {
    guard(w, "上传网络图片", [&] { DropAddresses(images, addresses); });
  });
  // Ctrl+V and the context menus of the editor and the drop box: pasted pictures.
  installImagePaste(images, [&w](ImagePanel& panel) {
    bool pasted = true;  // a fault was reported; no second notice
    runGuarded(&w, fromUtf8("粘贴图片"), [&] { pasted = PasteImage(panel); });
    return pasted;
  });
  QObject::connect(images.addressButton(), &QPushButton::clicked, &w,
                   [&w, &images] { guard(w, "上传网络图片", [&] { UploadFromAddress(images); }); });
  // 按钮_截图上传 click; 时钟_上传截图 tick (armed by the capture window).
  QObject::connect(images.captureButton(), &QPushButton::clicked, &w,
                   [&w, &images] { guard(w, "截图", [&] { StartCapture(images); }); });
  QObject::connect(images.captureTimer(), &QTimer::timeout, &w,
                   [&w, &images] { guard(w, "上传截图", [&] { UploadCapture(images); }); });
  // 超文本浏览框_图片上传: every navigation of the gallery viewer.
  setGalleryHandler(images, [&w, &images](const QString& target) {
    bool allow = false;
    guard(w, "图片列表", [&] { allow = GalleryNavigating(images, target); });
    return allow;
  });

  // --- drafts and tags
  // 编辑框_Tags: content changed; left button released and key pressed
  // (through an event filter on the box).
  QObject::connect(form.tagsBox(), &QLineEdit::textChanged, &w,
                   [&w, &tags](const QString&) { guard(w, "Tags", [&] { TagsBoxChanged(tags); }); });
  auto* tagsEvents = new TagsBoxEvents(form.tagsBox());
  QObject::connect(tagsEvents, &TagsBoxEvents::released, &w,
                   [&w, &tags] { guard(w, "Tags", [&] { TagsBoxReleased(tags); }); });
  QObject::connect(tagsEvents, &TagsBoxEvents::keyDown, &w,
                   [&w, &tags](int key) { guard(w, "Tags", [&] { TagsBoxKeyDown(tags, key); }); });
  QObject::connect(tags.timer(), &QTimer::timeout, &w,
                   [&w, &tags] { guard(w, "打开Tags窗口", [&] { OpenTagsWindow(tags); }); });
  QObject::connect(&blog, &CurrentBlog::listsChanged, &w,
                   [&w, &tags] { guard(w, "Tags", [&] { TagsListsChanged(tags); }); });
  // 组合框_恢复数据 entry chosen (again, too); 时钟_数据保存 tick.
  QObject::connect(drafts.restoreBox(), &QComboBox::activated, &w, [&w, &drafts](int index) {
    guard(w, "恢复数据", [&] { RestoreDraft(drafts, drafts.restoreBox()->itemData(index).toInt()); });
  });
  // 文章 → 新建文章 (Ctrl+N): an empty article after keeping this one; 自动
  // as the chosen site has it.
  QObject::connect(w.newArticleAction(), &QAction::triggered, &w, [&w, &drafts, &sites, &form] {
    guard(w, "新建文章", [&] {
      const std::optional<SiteRecord> site = sites.chosenSite();
      NewArticle(drafts, site ? site->ikname : form.autoAlias());
    });
  });
  // 按钮_手动保存 click, and 文章 → 手动保存 (Ctrl+S).
  const auto saveManually = [&w, &drafts] { guard(w, "手动保存", [&] { SaveDraft(drafts, false); }); };
  QObject::connect(drafts.saveButton(), &QPushButton::clicked, &w, saveManually);
  QObject::connect(w.saveAction(), &QAction::triggered, &w, saveManually);
  // 文章 → 恢复: opens 组合框_恢复数据's list, captions refreshed first.
  QObject::connect(w.restoreAction(), &QAction::triggered, &w, [&w, &drafts] {
    guard(w, "恢复数据", [&] {
      RefreshRestoreList(drafts);
      drafts.restoreBox()->setFocus();
      drafts.restoreBox()->showPopup();
    });
  });
  QObject::connect(drafts.saveTimer(), &QTimer::timeout, &w,
                   [&w, &drafts] { guard(w, "自动保存", [&] { SaveDraft(drafts, true); }); });
  // 组合框_恢复数据 about to open its list: captions with time and title.
  auto* restoreListEvents = new RestoreListEvents(drafts.restoreBox());
  QObject::connect(restoreListEvents, &RestoreListEvents::opening, &w,
                   [&w, &drafts] { guard(w, "恢复数据", [&] { RefreshRestoreList(drafts); }); });
  // The recovery slot: any change of an article field or of 选择框_自动命名
  // (the editor's own changes are polled by the tick) restarts the pause;
  // 时钟_恢复保存 tick; the main window closing; a publish that went through.
  QObject::connect(&form, &ArticleForm::changed, &w,
                   [&w, &drafts] { guard(w, "恢复保存", [&] { ArticleEdited(drafts); }); });
  QObject::connect(images.autoNameBox(), &QCheckBox::toggled, &w,
                   [&w, &drafts](bool) { guard(w, "恢复保存", [&] { ArticleEdited(drafts); }); });
  QObject::connect(recoveryTimer(drafts), &QTimer::timeout, &w,
                   [&w, &drafts] { guard(w, "恢复保存", [&] { RecoveryTick(drafts); }); });
  auto* closeEvents = new CloseEvents(&w);
  QObject::connect(closeEvents, &CloseEvents::closing, &w,
                   [&w, &drafts] { guard(w, "恢复保存", [&] { SaveRecoveryOnClose(drafts); }); });
  QObject::connect(&publisher, &Publisher::published, &w,
                   [&w, &drafts] { guard(w, "恢复保存", [&] { ArticlePublished(drafts); }); });

  // --- cross-posting
  // 互联网浏览器_百度空间 finished a document; a publish that reached the blog
  // hands over to the cross-post step.
  QObject::connect(crossPost.browser(), &QWebEngineView::loadFinished, &w, [&w, &crossPost](bool) {
    guard(w, "同步到百度空间", [&] { crossPost.session().browserArrived(); });
  });
  QObject::connect(&publisher, &Publisher::posted, &w,
                   [&w, &crossPost, &sites](const std::string& title, const std::string& body) {
                     guard(w, "同步到百度空间", [&] { crossPostArticle(crossPost, sites.chosenSite(), title, body); });
                   });
  // An update is not cross-posted; with the box ticked that is said.
  QObject::connect(&publisher, &Publisher::updated, &w,
                   [&w, &crossPost] { guard(w, "同步到百度空间", [&] { updateNotCrossPosted(crossPost); }); });
}

}  // namespace inkpost
