#include "shell/mainwindow.h"

#include "blog/ui/articleform.h"
#include "blog/ui/login.h"
#include "blog/ui/publish.h"
#include "common/ui/busy.h"
#include "common/ui/unit.h"
#include "common/ui/unitnames.h"
#include "crosspost/ui/crosspost.h"
#include "drafts/ui/drafts.h"
#include "drafts/ui/tagswindow.h"
#include "images/ui/imagepanel.h"
#include "shell/links.h"
#include "sites/ui/sitebar.h"

#include <QAction>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>
#include <QWebEngineView>

namespace inkpost {

namespace {

QTimer* timer(QObject* parent, const char* name, int interval) {
  auto* t = new QTimer(parent);
  t->setObjectName(QString::fromUtf8(name));
  t->setInterval(interval);
  return t;
}

// The advertisement box shows a page of our own; nothing is fetched.
const char* const kAdvertisementPage =
    "<html><body style='margin:6px;font:12px sans-serif;color:#333;background:#fffdf4'>"
    "<b>Inkpost客户端</b><br>写文章、传图片、一键发布到你的 Inkpost 博客。"
    "草稿每分钟自动保存，可随时恢复。</body></html>";

QLabel* hyperlink(const char* name, const char* label, const char* address) {
  auto* l = unit<QLabel>(name);
  l->setWordWrap(true);
  l->setText(QStringLiteral("%1<a href=\"%2\">%2</a>").arg(QString::fromUtf8(label), QString::fromUtf8(address)));
  l->setTextFormat(Qt::RichText);
  l->setOpenExternalLinks(false);  // the shell opens links itself
  return l;
}

}  // namespace

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent) {
  setObjectName(QString::fromUtf8(unitname::kMainWindow));
  setWindowTitle(QString::fromUtf8(unitname::kMainWindowTitle));
  // The status line says what a long action is doing (common/ui/busy.h).
  statusLine_ = statusBar();
  statusLine_->setObjectName(QString::fromUtf8(unitname::kStatusLine));
  buildMenus();
  buildUnits();
  resize(880, 700);
}

MainWindow::~MainWindow() { emit aboutToBeDestroyed(); }

void MainWindow::buildMenus() {
  auto item = [](QMenu* menu, const char* name) {
    QAction* a = menu->addAction(QString::fromUtf8(name));
    a->setObjectName(QString::fromUtf8(name));
    return a;
  };
  auto menu = [this](const char* name) {
    QMenu* m = menuBar()->addMenu(QString::fromUtf8(name));
    m->setObjectName(QString::fromUtf8(name));
    return m;
  };
  QMenu* sites = menu(unitname::kSitesMenu);
  addSiteAction_ = item(sites, unitname::kAddSite);
  modifySiteAction_ = item(sites, unitname::kModifySite);
  deleteSiteAction_ = item(sites, unitname::kDeleteSites);
  sites->addSeparator();
  importSitesAction_ = item(sites, unitname::kImportSites);
  exportSitesAction_ = item(sites, unitname::kExportSites);
  sites->addSeparator();
  reloginAction_ = item(sites, unitname::kRelogin);
  reloginAction_->setShortcut(QKeySequence(Qt::Key_F5));
  logInAtStartAction_ = item(sites, unitname::kLogInAtStart);
  logInAtStartAction_->setCheckable(true);
  QMenu* article = menu(unitname::kArticleMenu);
  newArticleAction_ = item(article, unitname::kNewArticle);
  newArticleAction_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_N));
  openArticleAction_ = item(article, unitname::kOpenArticle);
  openArticleAction_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
  article->addSeparator();
  publishAction_ = item(article, unitname::kPublish);
  publishAction_->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_Return), QKeySequence(Qt::CTRL | Qt::Key_Enter)});
  multiPublishAction_ = item(article, unitname::kMultiPublish);
  multiPublishAction_->setShortcuts(
      {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Return), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Enter)});
  saveAction_ = item(article, unitname::kManualSaveAction);
  saveAction_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
  restoreAction_ = item(article, unitname::kRestore);
  article->addSeparator();
  publishRecordAction_ = item(article, unitname::kPublishRecord);
  article->addSeparator();
  // Active while the editor has the focus (the editor view takes the action
  // too, see buildUnits); elsewhere the key stays the focused box's own.
  plainPasteAction_ = item(article, unitname::kPlainPaste);
  plainPasteAction_->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_V));
  plainPasteAction_->setShortcutContext(Qt::WidgetWithChildrenShortcut);

  QMenu* help = menu(unitname::kHelpMenu);
  upgradeAction_ = item(help, unitname::kUpgrade);
  help->addSeparator();
  mailingListAction_ = item(help, unitname::kMailingList);
  officialBlogAction_ = item(help, unitname::kOfficialBlog);
  for (QMenu* m : {article, sites, help}) m->setToolTipsVisible(true);
}

void MainWindow::buildUnits() {
  auto* c = new QWidget(this);
  c->setObjectName(QString::fromUtf8(unitname::kClientArea));
  setCentralWidget(c);
  auto* columns = new QHBoxLayout(c);
  columns->setContentsMargins(4, 4, 4, 4);
  columns->setSpacing(6);
  auto* left = new QVBoxLayout;
  left->setSpacing(6);
  columns->addLayout(left, 1);
  const StatusLine status(statusLine_);

  // Site and account; the article's fields and its body, which takes the
  // extra width and height.
  sites_ = new SiteBar;
  left->addWidget(sites_);
  form_ = new ArticleForm;
  form_->editor()->addAction(plainPasteAction_);
  left->addWidget(form_, 1);

  // Bottom row: publish, sync, drafts.
  QHBoxLayout* r = fieldRow(left);
  publishButton_ = unit<QPushButton>(unitname::kPublishButton);
  publishButton_->setText(QStringLiteral("发布"));
  publishButton_->setFixedSize(90, 40);
  publishButton_->setToolTip(QStringLiteral("发布 (Ctrl+Enter)"));
  r->addWidget(publishButton_);
  crossPost_ = new CrossPostBox(status);
  r->addWidget(crossPost_);
  r->addStretch(1);
  drafts_ = new DraftsBar;
  r->addWidget(drafts_);

  // Right column: images take the extra height.
  auto* side = new QVBoxLayout;
  side->setSpacing(6);
  columns->addLayout(side, 0);
  images_ = new ImagePanel;
  side->addWidget(images_, 1);

  // Advertisement box and links.
  constexpr int kSideWidth = ImagePanel::kWidth;
  adGroup_ = unit<QGroupBox>(unitname::kAdGroup);
  adGroup_->setTitle(QStringLiteral("广而告之"));
  adGroup_->setFixedSize(kSideWidth, 118);
  auto* ad = new QVBoxLayout(adGroup_);
  ad->setContentsMargins(6, 4, 6, 6);
  adView_ = unit<QWebEngineView>(unitname::kAdView);
  adView_->setContextMenuPolicy(Qt::NoContextMenu);
  adView_->setHtml(QString::fromUtf8(kAdvertisementPage));
  ad->addWidget(adView_);
  side->addWidget(adGroup_);
  clientLink_ = hyperlink(unitname::kClientLink, "客户端官网：", links::kClientSite);
  engineLink_ = hyperlink(unitname::kEngineLink, "Inkpost官网：", links::kEngineSite);
  for (QLabel* link : {clientLink_, engineLink_}) {
    link->setFixedWidth(kSideWidth);
    link->setMinimumHeight(link->heightForWidth(kSideWidth));
    side->addWidget(link);
  }

  toastTimer_ = timer(this, unitname::kToastTimer, 0);

  // The objects behind the panels.
  blog_ = new CurrentBlog(clients_, *sites_, *form_, status, *this);
  publisher_ = new Publisher(*blog_, *form_);
  tags_ = new TagsPicker(*form_, *blog_, this);
  images_->attach(*blog_, *form_);
  drafts_->attach(*form_, *images_, status);
}

}  // namespace inkpost
