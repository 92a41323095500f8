#include "shell/mainwindow.h"

#include "common/ui/unit.h"
#include "shell/links.h"

#include <QAction>
#include <QCheckBox>
#include <QChildEvent>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>
#include <QWebEngineView>

namespace inkpost {

DropTarget::DropTarget(QObject* parent) : QObject(parent) { setObjectName(QStringLiteral("拖放对象1")); }

void DropTarget::registerOn(QWidget* widget) {
  if (widget_) widget_->removeEventFilter(this);
  widget_ = widget;
  widget_->setAcceptDrops(true);
  widget_->installEventFilter(this);
}

void DropTarget::alsoOn(QWidget* widget) {
  watch(widget);
  // A web view hands the drag to the widget that shows the page, which it
  // may create later.
  for (QWidget* child : widget->findChildren<QWidget*>()) watch(child);
  widget->installEventFilter(this);
}

void DropTarget::watch(QObject* object) {
  for (const auto& o : others_)
    if (o == object) return;
  others_.append(object);
  if (auto* w = qobject_cast<QWidget*>(object)) w->setAcceptDrops(true);
  object->installEventFilter(this);
}

bool DropTarget::eventFilter(QObject* watched, QEvent* event) {
  bool ours = watched == widget_;
  for (const auto& o : others_) ours |= o == watched;
  if (!ours) return false;
  if (event->type() == QEvent::ChildAdded && watched != widget_) {
    if (auto* child = qobject_cast<QWidget*>(static_cast<QChildEvent*>(event)->child())) watch(child);
    return false;
  }
  if (event->type() == QEvent::DragEnter || event->type() == QEvent::DragMove) {
    auto* e = static_cast<QDropEvent*>(event);
    if (e->mimeData()->hasUrls()) {
      e->acceptProposedAction();
      return true;
    }
  } else if (event->type() == QEvent::Drop) {
    auto* e = static_cast<QDropEvent*>(event);
    QStringList paths, addresses;
    for (const QUrl& url : e->mimeData()->urls()) {
      if (url.isLocalFile())
        paths << url.toLocalFile();
      else if (url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https"))
        addresses << url.toString(QUrl::FullyEncoded);
    }
    e->acceptProposedAction();
    if (!paths.isEmpty()) emit filesDropped(paths);
    if (!addresses.isEmpty()) emit addressesDropped(addresses);
    return true;
  }
  return false;
}

namespace {

QLabel* caption(const char* text) {
  auto* l = new QLabel(QString::fromUtf8(text));
  l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  return l;
}

QTimer* timer(QObject* parent, const char* name, int interval) {
  auto* t = new QTimer(parent);
  t->setObjectName(QString::fromUtf8(name));
  t->setInterval(interval);
  return t;
}

QWebEngineView* browser(const char* name) {
  auto* v = unit<QWebEngineView>(name);
  v->setContextMenuPolicy(Qt::NoContextMenu);
  return v;
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

// One row of captions and fields; a stretch of 0 keeps a field at its size.
QHBoxLayout* row(QBoxLayout* into) {
  auto* r = new QHBoxLayout;
  r->setSpacing(4);
  into->addLayout(r);
  return r;
}

// The width of the right-hand column (images, advertisement, links).
constexpr int kSideWidth = 240;

}  // namespace

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent) {
  setObjectName(QStringLiteral("启动窗口"));
  setWindowTitle(QStringLiteral("Inkpost客户端 v12.9.5"));
  buildMenus();
  buildUnits();
  // The status line says what a long action is doing (common/ui/busy.h).
  statusLine = statusBar();
  statusLine->setObjectName(QStringLiteral("状态栏"));
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
  QMenu* sites = menu("网站管理");
  addSiteAction = item(sites, "添加网站");
  modifySiteAction = item(sites, "修改网站");
  deleteSiteAction = item(sites, "删除网站");
  sites->addSeparator();
  reloginAction = item(sites, "重新登录");
  reloginAction->setShortcut(QKeySequence(Qt::Key_F5));
  QMenu* article = menu("文章");
  publishAction = item(article, "发布");
  publishAction->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_Return), QKeySequence(Qt::CTRL | Qt::Key_Enter)});
  saveAction = item(article, "手动保存");
  saveAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
  restoreAction = item(article, "恢复");
  article->addSeparator();
  // Active while the editor has the focus (the editor view takes the action
  // too, see buildUnits); elsewhere the key stays the focused box's own.
  plainPasteAction = item(article, "粘贴为纯文本");
  plainPasteAction->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_V));
  plainPasteAction->setShortcutContext(Qt::WidgetWithChildrenShortcut);

  QMenu* help = menu("帮助");
  upgradeAction = item(help, "数据库升级");
  help->addSeparator();
  mailingListAction = item(help, "订阅VIP邮箱");
  officialBlogAction = item(help, "官方博客");
  for (QMenu* m : {article, sites, help}) m->setToolTipsVisible(true);
}

void MainWindow::buildUnits() {
  auto* c = new QWidget(this);
  c->setObjectName(QStringLiteral("客户区"));
  setCentralWidget(c);
  auto* columns = new QHBoxLayout(c);
  columns->setContentsMargins(4, 4, 4, 4);
  columns->setSpacing(6);
  auto* left = new QVBoxLayout;
  left->setSpacing(6);
  columns->addLayout(left, 1);

  // Row 1: site and account.
  QHBoxLayout* r = row(left);
  r->addWidget(caption("网站名称："));
  siteChooser = unit<QComboBox>("组合框_网站名称");
  siteChooser->setMinimumWidth(160);
  r->addWidget(siteChooser, 2);
  r->addWidget(caption("帐号："));
  accountEdit = unit<QLineEdit>("编辑框_帐号");
  accountEdit->setMinimumWidth(90);
  r->addWidget(accountEdit, 1);
  r->addWidget(caption("密码："));
  passwordEdit = unit<QLineEdit>("编辑框_密码");
  passwordEdit->setEchoMode(QLineEdit::Password);
  passwordEdit->setMinimumWidth(90);
  r->addWidget(passwordEdit, 1);

  // Row 2: category, author, type, sticky.
  r = row(left);
  r->addWidget(caption("分类："));
  categoryBox = unit<QComboBox>("组合框_分类");
  categoryBox->setMinimumWidth(110);
  r->addWidget(categoryBox, 2);
  r->addWidget(caption("用户："));
  authorBox = unit<QComboBox>("组合框_用户");
  authorBox->setMinimumWidth(90);
  r->addWidget(authorBox, 1);
  r->addWidget(caption("类型："));
  typeBox = unit<QComboBox>("组合框_类型");
  // Item values are the blog's article levels; a new article is an ordinary one.
  int level = 1;
  for (const char* t : {"草稿文章", "私人文章", "锁定文章", "普通文章"})
    typeBox->addItem(QString::fromUtf8(t), level++);
  typeBox->setCurrentIndex(3);
  r->addWidget(typeBox, 1);
  stickyCheck = unit<QCheckBox>("选择框_置顶");
  stickyCheck->setText(QStringLiteral("置顶"));
  r->addWidget(stickyCheck);

  // Row 3: title and tags.
  r = row(left);
  r->addWidget(caption("标题："));
  titleEdit = unit<QLineEdit>("编辑框_标题");
  titleEdit->setMinimumWidth(160);
  r->addWidget(titleEdit, 3);
  r->addWidget(caption("Tags："));
  tagsEdit = unit<QLineEdit>("编辑框_Tags");
  tagsEdit->setMinimumWidth(110);
  r->addWidget(tagsEdit, 2);

  // Row 4: date and alias.
  r = row(left);
  r->addWidget(caption("日期："));
  yearEdit = unit<QLineEdit>("编辑框_日期年");
  monthEdit = unit<QLineEdit>("编辑框_日期月");
  dayEdit = unit<QLineEdit>("编辑框_日期日");
  timeEdit = unit<QLineEdit>("编辑框_日期时间");
  const std::pair<QLineEdit*, int> dateBoxes[] = {{yearEdit, 44}, {monthEdit, 28}, {dayEdit, 28}, {timeEdit, 72}};
  for (const auto& [box, width] : dateBoxes) {
    box->setFixedWidth(width);
    r->addWidget(box);
  }
  r->addWidget(caption("别名："));
  aliasEdit = unit<QLineEdit>("编辑框_别名");
  aliasEdit->setMinimumWidth(100);
  r->addWidget(aliasEdit, 1);
  r->addWidget(new QLabel(QStringLiteral(".html")));
  autoAliasCheck = unit<QCheckBox>("选择框_自动别名");
  autoAliasCheck->setText(QStringLiteral("自动"));
  r->addWidget(autoAliasCheck);

  // Body editor: takes the extra width and height.
  bodyGroup = unit<QGroupBox>("分组框2");
  bodyGroup->setTitle(QStringLiteral("正文"));
  auto* body = new QVBoxLayout(bodyGroup);
  body->setContentsMargins(6, 4, 6, 6);
  editorView = browser("互联网浏览器1");
  editorView->setMinimumSize(360, 160);
  editorView->addAction(plainPasteAction);
  body->addWidget(editorView);
  left->addWidget(bodyGroup, 1);

  // Bottom row: publish, sync, drafts.
  r = row(left);
  publishButton = unit<QPushButton>("按钮_发布");
  publishButton->setText(QStringLiteral("发布"));
  publishButton->setFixedSize(90, 40);
  publishButton->setToolTip(QStringLiteral("发布 (Ctrl+Enter)"));
  r->addWidget(publishButton);
  syncGroup = unit<QGroupBox>("分组框3");
  syncGroup->setTitle(QStringLiteral("同步"));
  auto* sync = new QHBoxLayout(syncGroup);
  sync->setContentsMargins(8, 2, 8, 2);
  syncSpaceCheck = unit<QCheckBox>("选择框_同步_百度空间");
  syncSpaceCheck->setText(QStringLiteral("百度空间"));
  sync->addWidget(syncSpaceCheck);
  r->addWidget(syncGroup);
  // The cross-post browser works unseen; it keeps a tiny place in the row.
  spaceView = browser("互联网浏览器_百度空间");
  spaceView->setFixedSize(4, 4);
  r->addWidget(spaceView, 0, Qt::AlignBottom);
  r->addStretch(1);
  r->addWidget(caption("恢复："));
  restoreBox = unit<QComboBox>("组合框_恢复数据");
  // Item data selects the draft slot: -1 none, 0 the manual slot, 1..10 the ring.
  restoreBox->addItem(QStringLiteral("不恢复"), -1);
  restoreBox->addItem(QStringLiteral("手动保存"), 0);
  for (int i = 1; i <= 10; ++i) restoreBox->addItem(QStringLiteral("%1分钟前").arg(i), i);
  restoreBox->setMinimumWidth(120);
  restoreBox->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  restoreBox->setMinimumContentsLength(8);
  r->addWidget(restoreBox);
  manualSaveButton = unit<QPushButton>("按钮_手动保存");
  manualSaveButton->setText(QStringLiteral("手动保存"));
  manualSaveButton->setToolTip(QStringLiteral("手动保存 (Ctrl+S)"));
  manualSaveButton->setFixedSize(90, 26);
  r->addWidget(manualSaveButton);
  saveTimer = timer(this, "时钟_数据保存", 60000);

  // Right column: images take the extra height.
  auto* side = new QVBoxLayout;
  side->setSpacing(6);
  columns->addLayout(side, 0);
  imageGroup = unit<QGroupBox>("分组框1");
  imageGroup->setTitle(QStringLiteral("图片上传"));
  imageGroup->setFixedWidth(kSideWidth);
  auto* images = new QVBoxLayout(imageGroup);
  images->setContentsMargins(8, 4, 8, 6);
  images->setSpacing(4);
  auto* hint = new QLabel(
      QStringLiteral("将图片拖放到下方窗口即可上传。上传成功后，单击图片复制图片地址，双击图片插入至文本内容中。"));
  hint->setWordWrap(true);
  // Wrapped labels count in the window's minimum only with their wrapped height.
  hint->setMinimumHeight(hint->heightForWidth(kSideWidth - 16));
  images->addWidget(hint);
  galleryView = browser("超文本浏览框_图片上传");
  galleryView->setMinimumHeight(100);
  images->addWidget(galleryView, 1);
  autoNameCheck = unit<QCheckBox>("选择框_自动命名");
  autoNameCheck->setText(QStringLiteral("自动命名"));
  images->addWidget(autoNameCheck);
  dropBox = unit<QGroupBox>("分组框_上传图片");
  dropBox->setFixedHeight(76);
  auto* drop = new QVBoxLayout(dropBox);
  drop->setContentsMargins(6, 4, 6, 4);
  auto* dropHint = new QLabel(QStringLiteral("将图片拖入此框内放开即可上传，支持gif、jpg。"));
  dropHint->setWordWrap(true);
  dropHint->setAlignment(Qt::AlignCenter);
  dropHint->setMinimumHeight(dropHint->heightForWidth(kSideWidth - 28));
  drop->addWidget(dropHint);
  images->addWidget(dropBox);
  dropTarget = new DropTarget(this);
  auto* buttons = new QHBoxLayout;
  captureButton = unit<QPushButton>("按钮_截图上传");
  captureButton->setText(QStringLiteral("截图上传"));
  fromAddressButton = unit<QPushButton>("按钮_链接上传");
  fromAddressButton->setText(QStringLiteral("链接上传"));
  buttons->addWidget(captureButton);
  buttons->addWidget(fromAddressButton);
  images->addLayout(buttons);
  side->addWidget(imageGroup, 1);
  captureTimer = timer(this, "时钟_上传截图", 100);

  // Advertisement box and links.
  adGroup = unit<QGroupBox>("分组框4");
  adGroup->setTitle(QStringLiteral("广而告之"));
  adGroup->setFixedSize(kSideWidth, 118);
  auto* ad = new QVBoxLayout(adGroup);
  ad->setContentsMargins(6, 4, 6, 6);
  adView = browser("超文本浏览框1");
  adView->setHtml(QString::fromUtf8(kAdvertisementPage));
  ad->addWidget(adView);
  side->addWidget(adGroup);
  clientLink = hyperlink("超级链接框1", "客户端官网：", links::kClientSite);
  engineLink = hyperlink("超级链接框2", "Inkpost官网：", links::kEngineSite);
  for (QLabel* link : {clientLink, engineLink}) {
    link->setFixedWidth(kSideWidth);
    link->setMinimumHeight(link->heightForWidth(kSideWidth));
    side->addWidget(link);
  }

  toastTimer = timer(this, "时钟_载入显示窗口", 0);
  tagsTimer = timer(this, "时钟_载入tags窗口", 1);
}

}  // namespace inkpost
