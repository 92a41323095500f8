// The main window: it composes the panels (the site bar, the article form,
// the publish row with the cross-post box and the drafts bar, the image
// column) and the objects that work for them (the blog clients, the chosen
// site's session, the publisher, the Tags picker). Every unit carries its
// Chinese unit name as objectName (common/ui/unitnames.h); handlers live in
// their own subsystems and are bound to the window's events in
// shell/bindings.cpp.
#pragma once

#include "blog/blogclient.h"

#include <QMainWindow>

class QAction;
class QGroupBox;
class QLabel;
class QPushButton;
class QStatusBar;
class QTimer;
class QWebEngineView;

namespace inkpost {

class ArticleForm;
class CrossPostBox;
class CurrentBlog;
class DraftsBar;
class ImagePanel;
class Publisher;
class SiteBar;
class TagsPicker;

class MainWindow : public QMainWindow {
  Q_OBJECT
 public:
  explicit MainWindow(QWidget* parent = nullptr);
  ~MainWindow() override;

  // The panels and the objects behind them, for the binding table, start-up
  // and tests that drive the wired window.
  SiteBar& sites() const { return *sites_; }
  ArticleForm& form() const { return *form_; }
  CrossPostBox& crossPost() const { return *crossPost_; }
  DraftsBar& drafts() const { return *drafts_; }
  ImagePanel& images() const { return *images_; }
  BlogClients& clients() { return clients_; }
  CurrentBlog& blog() const { return *blog_; }
  Publisher& publisher() const { return *publisher_; }
  TagsPicker& tags() const { return *tags_; }
  QStatusBar* statusLine() const { return statusLine_; }

  QPushButton* publishButton() const { return publishButton_; }
  QTimer* toastTimer() const { return toastTimer_; }
  QLabel* clientLink() const { return clientLink_; }
  QLabel* engineLink() const { return engineLink_; }

  // Menu entries.
  QAction* newArticleAction() const { return newArticleAction_; }
  QAction* openArticleAction() const { return openArticleAction_; }
  QAction* publishAction() const { return publishAction_; }
  QAction* saveAction() const { return saveAction_; }
  QAction* restoreAction() const { return restoreAction_; }
  QAction* plainPasteAction() const { return plainPasteAction_; }
  QAction* addSiteAction() const { return addSiteAction_; }
  QAction* modifySiteAction() const { return modifySiteAction_; }
  QAction* deleteSiteAction() const { return deleteSiteAction_; }
  QAction* reloginAction() const { return reloginAction_; }
  QAction* logInAtStartAction() const { return logInAtStartAction_; }
  QAction* importSitesAction() const { return importSitesAction_; }
  QAction* exportSitesAction() const { return exportSitesAction_; }
  QAction* publishRecordAction() const { return publishRecordAction_; }
  QAction* multiPublishAction() const { return multiPublishAction_; }
  QAction* upgradeAction() const { return upgradeAction_; }
  QAction* mailingListAction() const { return mailingListAction_; }
  QAction* officialBlogAction() const { return officialBlogAction_; }

 signals:
  // Emitted first thing in the destructor, while every unit still exists.
  void aboutToBeDestroyed();

 private:
  void buildMenus();
  void buildUnits();

  BlogClients clients_;
  QStatusBar* statusLine_;  // 状态栏
  SiteBar* sites_;
  ArticleForm* form_;
  QPushButton* publishButton_;  // 按钮_发布
  CrossPostBox* crossPost_;
  DraftsBar* drafts_;
  ImagePanel* images_;
  QGroupBox* adGroup_;      // 分组框4
  QWebEngineView* adView_;  // 超文本浏览框1
  QLabel* clientLink_;      // 超级链接框1
  QLabel* engineLink_;      // 超级链接框2
  QTimer* toastTimer_;      // 时钟_载入显示窗口
  CurrentBlog* blog_;
  Publisher* publisher_;
  TagsPicker* tags_;

  QAction* newArticleAction_;     // 新建文章 (Ctrl+N)
  QAction* openArticleAction_;    // 打开博客文章… (Ctrl+O)
  QAction* publishAction_;        // 发布 (Ctrl+Enter)
  QAction* saveAction_;           // 手动保存 (Ctrl+S)
  QAction* restoreAction_;        // 恢复
  QAction* plainPasteAction_;     // 粘贴为纯文本 (Ctrl+Shift+V, in the editor)
  QAction* addSiteAction_;        // 添加网站
  QAction* modifySiteAction_;     // 修改网站
  QAction* deleteSiteAction_;     // 删除网站
  QAction* reloginAction_;        // 重新登录 (F5)
  QAction* logInAtStartAction_;   // 启动时登录上次的网站 (ticked or not)
  QAction* importSitesAction_;    // 导入网站…
  QAction* exportSitesAction_;    // 导出网站…
  QAction* publishRecordAction_;  // 发布记录
  QAction* multiPublishAction_;   // 发布到多个网站… (Ctrl+Shift+Enter)
  QAction* upgradeAction_;        // 数据库升级
  QAction* mailingListAction_;    // 订阅VIP邮箱
  QAction* officialBlogAction_;   // 官方博客
};

}  // namespace inkpost
