// The binding table: every event of the main window that has a handler is
// connected here, and only here. Sections follow the subsystems.
#include "app/shell/shell.h"

#include "app/ui/mainwindow.h"

// shell, sites
#include "app/links.h"
#include "app/openinbrowser.h"
#include "app/ui/toast.h"
#include "sites/ui/sitechooser.h"
#include "sites/ui/sitedialogs.h"
#include "sites/ui/sitemenu.h"
#include <QLabel>
// blog: login, publishing and the alias
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
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QWebEngineView>

namespace inkpost {

void bindMainWindow(MainWindow& w) {
  QObject::connect(&w, &MainWindow::aboutToBeDestroyed, &w, [&w] { shutDown(w); });

  // --- shell: menus and links
  bindToastTimer(w.toastTimer);  // 时钟_载入显示窗口: the delayed notice
  QObject::connect(w.addSiteAction, &QAction::triggered, &w, [&w] { openAddSiteDialog(&w, w.siteChooser); });
  QObject::connect(w.modifySiteAction, &QAction::triggered, &w, [&w] { openModifySiteDialog(&w, w.siteChooser); });
  QObject::connect(w.deleteSiteAction, &QAction::triggered, &w, [&w] { openDeleteSitesDialog(&w, w.siteChooser); });
  QObject::connect(w.upgradeAction, &QAction::triggered, &w, [&w] { runDatabaseUpgrade(&w); });
  QObject::connect(w.mailingListAction, &QAction::triggered, &w, [] { OpenInBrowser(links::kMailingList); });
  QObject::connect(w.officialBlogAction, &QAction::triggered, &w, [] { OpenInBrowser(links::kOfficialBlog); });
  for (QLabel* link : {w.clientLink, w.engineLink})
    QObject::connect(link, &QLabel::linkActivated, &w, [](const QString& address) {
      OpenInBrowser(address.toStdString());
    });

  // --- sites: chooser flags
  // 选择框_自动别名: the blog section adds the alias fill to the same click.
  QObject::connect(w.autoAliasCheck, &QCheckBox::clicked, &w, [&w](bool on) {
    StoreSiteFlag(w.siteChooser, SiteFlag::AutoAlias, on);
  });
  QObject::connect(w.autoNameCheck, &QCheckBox::clicked, &w, [&w](bool on) {
    StoreSiteFlag(w.siteChooser, SiteFlag::AutoName, on);
  });

  // --- blog: login, title, publishing
  // 组合框_网站名称 selection changed: log in to the picked site.
  QObject::connect(w.siteChooser, &QComboBox::currentIndexChanged, &w, [&w](int) { onSiteSelected(w); });
  // 组合框_分类 selection changed: bound to a handler that does nothing.
  QObject::connect(w.categoryBox, &QComboBox::currentIndexChanged, &w, [](int) {});
  // 编辑框_标题 content changed; 选择框_自动别名 click (after the sites
  // section's StoreSiteFlag, connected above); 按钮_发布 click.
  QObject::connect(w.titleEdit, &QLineEdit::textChanged, &w, [&w](const QString&) { onTitleChanged(w); });
  QObject::connect(w.autoAliasCheck, &QCheckBox::clicked, &w, [&w](bool) { onAutoAliasClicked(w); });
  QObject::connect(w.publishButton, &QPushButton::clicked, &w, [&w] { publishArticle(w); });

  // --- images: drop, address, capture, gallery
  // 拖放对象1: files dropped on 分组框_上传图片, in drop order.
  QObject::connect(w.dropTarget, &DropTarget::filesDropped, &w, [&w](const QStringList& paths) { DropFiles(w, paths); });
  // Images dragged from a web page arrive as their addresses.
  QObject::connect(w.dropTarget, &DropTarget::addressesDropped, &w,
                   [&w](const QStringList& addresses) { DropAddresses(w, addresses); });
  // Ctrl+V and the context menus of the editor and the drop box: pasted pictures.
  installImagePaste(w);
  QObject::connect(w.fromAddressButton, &QPushButton::clicked, &w, [&w] { UploadFromAddress(w); });
  // 按钮_截图上传 click; 时钟_上传截图 tick (armed by the capture window).
  QObject::connect(w.captureButton, &QPushButton::clicked, &w, [&w] { StartCapture(w); });
  QObject::connect(w.captureTimer, &QTimer::timeout, &w, [&w] { UploadCapture(w); });
  // 超文本浏览框_图片上传: every navigation of the gallery viewer.
  setGalleryHandler(w, [&w](const QString& target) { return GalleryNavigating(w, target); });

  // --- drafts and tags
  // 编辑框_Tags: content changed; left button released and key pressed
  // (through an event filter on the box).
  QObject::connect(w.tagsEdit, &QLineEdit::textChanged, &w, [&w](const QString&) { TagsBoxChanged(w); });
  auto* tagsEvents = new TagsBoxEvents(w.tagsEdit);
  QObject::connect(tagsEvents, &TagsBoxEvents::released, &w, [&w] { TagsBoxReleased(w); });
  QObject::connect(tagsEvents, &TagsBoxEvents::keyDown, &w, [&w](int key) { TagsBoxKeyDown(w, key); });
  QObject::connect(w.tagsTimer, &QTimer::timeout, &w, [&w] { OpenTagsWindow(w); });
  // 组合框_恢复数据 entry chosen (again, too); 按钮_手动保存 click;
  // 时钟_数据保存 tick.
  QObject::connect(w.restoreBox, &QComboBox::activated, &w, [&w](int index) {
    RestoreDraft(w, w.restoreBox->itemData(index).toInt());
  });
  QObject::connect(w.manualSaveButton, &QPushButton::clicked, &w, [&w] { SaveDraft(w, false); });
  QObject::connect(w.saveTimer, &QTimer::timeout, &w, [&w] { SaveDraft(w, true); });

  // --- cross-posting
  // 互联网浏览器_百度空间 finished a document; a publish that reached the blog
  // hands over to the cross-post step.
  QObject::connect(w.spaceView, &QWebEngineView::loadFinished, &w, [&w](bool) { SpaceBrowserArrived(w); });
  crossPostHook() = [](MainWindow& mw, const std::string& gbkTitle, const std::string& gbkBody) {
    crossPostArticle(mw, gbkTitle, gbkBody);
  };
}

}  // namespace inkpost
