#include "app/ui/mainwindow.h"

#include "app/links.h"
#include "app/ui/unit.h"

#include <QAction>
#include <QCheckBox>
#include <QChildEvent>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QKeySequence>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
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

QLabel* caption(QWidget* parent, const char* text, int x, int y, int w = 60) {
  auto* l = new QLabel(QString::fromUtf8(text), parent);
  l->setGeometry(x, y, w, 22);
  l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  return l;
}

QTimer* timer(QObject* parent, const char* name, int interval) {
  auto* t = new QTimer(parent);
  t->setObjectName(QString::fromUtf8(name));
  t->setInterval(interval);
  return t;
}

QWebEngineView* browser(QWidget* parent, const char* name, int x, int y, int w, int h) {
  auto* v = unit<QWebEngineView>(parent, name, x, y, w, h);
  v->setContextMenuPolicy(Qt::NoContextMenu);
  return v;
}

// The advertisement box shows a page of our own; nothing is fetched.
const char* const kAdvertisementPage =
    "<html><body style='margin:6px;font:12px sans-serif;color:#333;background:#fffdf4'>"
    "<b>Inkpost客户端</b><br>写文章、传图片、一键发布到你的 Inkpost 博客。"
    "草稿每分钟自动保存，可随时恢复。</body></html>";

QLabel* hyperlink(QWidget* parent, const char* name, const char* label, const char* address, int x, int y, int w) {
  auto* l = unit<QLabel>(parent, name, x, y, w, 36);
  l->setWordWrap(true);
  l->setText(QStringLiteral("%1<a href=\"%2\">%2</a>").arg(QString::fromUtf8(label), QString::fromUtf8(address)));
  l->setTextFormat(Qt::RichText);
  l->setOpenExternalLinks(false);  // the shell opens links itself
  return l;
}

}  // namespace

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent) {
  setObjectName(QStringLiteral("启动窗口"));
  setWindowTitle(QStringLiteral("Inkpost客户端 v12.9.5"));
  buildMenus();
  buildUnits();
  // The status line says what a long action is doing (app/ui/busy.h).
  statusLine = statusBar();
  statusLine->setObjectName(QStringLiteral("状态栏"));
  resize(880, 700);
}

MainWindow::~MainWindow() { emit aboutToBeDestroyed(); }

void MainWindow::buildMenus() {
  QMenu* sites = menuBar()->addMenu(QStringLiteral("网站管理"));
  sites->setObjectName(QStringLiteral("网站管理"));
  auto item = [](QMenu* menu, const char* name) {
    QAction* a = menu->addAction(QString::fromUtf8(name));
    a->setObjectName(QString::fromUtf8(name));
    return a;
  };
  addSiteAction = item(sites, "添加网站");
  modifySiteAction = item(sites, "修改网站");
  deleteSiteAction = item(sites, "删除网站");
  reloginAction = item(sites, "重新登录");
  reloginAction->setShortcut(QKeySequence(Qt::Key_F5));
  QMenu* help = menuBar()->addMenu(QStringLiteral("帮助"));
  help->setObjectName(QStringLiteral("帮助"));
  upgradeAction = item(help, "数据库升级");
  help->addSeparator();
  mailingListAction = item(help, "订阅VIP邮箱");
  officialBlogAction = item(help, "官方博客");
}

void MainWindow::buildUnits() {
  auto* c = new QWidget(this);
  c->setObjectName(QStringLiteral("客户区"));
  setCentralWidget(c);

  // Row 1: site and account.
  caption(c, "网站名称：", 4, 8, 70);
  siteChooser = unit<QComboBox>(c, "组合框_网站名称", 76, 8, 212, 22);
  caption(c, "帐号：", 292, 8, 44);
  accountEdit = unit<QLineEdit>(c, "编辑框_帐号", 338, 8, 120, 22);
  caption(c, "密码：", 462, 8, 44);
  passwordEdit = unit<QLineEdit>(c, "编辑框_密码", 508, 8, 120, 22);
  passwordEdit->setEchoMode(QLineEdit::Password);

  // Row 2: category, author, type, sticky.
  caption(c, "分类：", 4, 38, 70);
  categoryBox = unit<QComboBox>(c, "组合框_分类", 76, 38, 140, 22);
  caption(c, "用户：", 220, 38, 44);
  authorBox = unit<QComboBox>(c, "组合框_用户", 266, 38, 120, 22);
  caption(c, "类型：", 390, 38, 44);
  typeBox = unit<QComboBox>(c, "组合框_类型", 436, 38, 120, 22);
  // Item values are the blog's article levels; a new article is an ordinary one.
  int level = 1;
  for (const char* t : {"草稿文章", "私人文章", "锁定文章", "普通文章"}) typeBox->addItem(QString::fromUtf8(t), level++);
  typeBox->setCurrentIndex(3);
  stickyCheck = unit<QCheckBox>(c, "选择框_置顶", 564, 38, 64, 22);
  stickyCheck->setText(QStringLiteral("置顶"));

  // Row 3: title and tags.
  caption(c, "标题：", 4, 68, 70);
  titleEdit = unit<QLineEdit>(c, "编辑框_标题", 76, 68, 310, 22);
  caption(c, "Tags：", 390, 68, 44);
  tagsEdit = unit<QLineEdit>(c, "编辑框_Tags", 436, 68, 192, 22);

  // Row 4: date and alias.
  caption(c, "日期：", 4, 98, 70);
  yearEdit = unit<QLineEdit>(c, "编辑框_日期年", 76, 98, 44, 22);
  monthEdit = unit<QLineEdit>(c, "编辑框_日期月", 124, 98, 28, 22);
  dayEdit = unit<QLineEdit>(c, "编辑框_日期日", 156, 98, 28, 22);
  timeEdit = unit<QLineEdit>(c, "编辑框_日期时间", 188, 98, 72, 22);
  caption(c, "别名：", 264, 98, 44);
  aliasEdit = unit<QLineEdit>(c, "编辑框_别名", 310, 98, 200, 22);
  auto* suffix = new QLabel(QStringLiteral(".html"), c);
  suffix->setGeometry(512, 98, 40, 22);
  autoAliasCheck = unit<QCheckBox>(c, "选择框_自动别名", 556, 98, 72, 22);
  autoAliasCheck->setText(QStringLiteral("自动"));

  // Body editor.
  bodyGroup = unit<QGroupBox>(c, "分组框2", 4, 126, 624, 458);
  bodyGroup->setTitle(QStringLiteral("正文"));
  editorView = browser(bodyGroup, "互联网浏览器1", 6, 20, 612, 432);

  // Bottom row: publish, sync, drafts.
  publishButton = unit<QPushButton>(c, "按钮_发布", 4, 594, 90, 40);
  publishButton->setText(QStringLiteral("发布"));
  syncGroup = unit<QGroupBox>(c, "分组框3", 100, 588, 120, 48);
  syncGroup->setTitle(QStringLiteral("同步"));
  syncSpaceCheck = unit<QCheckBox>(syncGroup, "选择框_同步_百度空间", 8, 20, 100, 22);
  syncSpaceCheck->setText(QStringLiteral("百度空间"));
  spaceView = browser(c, "互联网浏览器_百度空间", 226, 630, 4, 4);
  caption(c, "恢复：", 300, 604, 44);
  restoreBox = unit<QComboBox>(c, "组合框_恢复数据", 346, 604, 120, 22);
  // Item data selects the draft slot: -1 none, 0 the manual slot, 1..10 the ring.
  restoreBox->addItem(QStringLiteral("不恢复"), -1);
  restoreBox->addItem(QStringLiteral("手动保存"), 0);
  for (int i = 1; i <= 10; ++i) restoreBox->addItem(QStringLiteral("%1分钟前").arg(i), i);
  manualSaveButton = unit<QPushButton>(c, "按钮_手动保存", 474, 602, 90, 26);
  manualSaveButton->setText(QStringLiteral("手动保存"));
  saveTimer = timer(this, "时钟_数据保存", 60000);

  // Image area.
  imageGroup = unit<QGroupBox>(c, "分组框1", 634, 4, 240, 430);
  imageGroup->setTitle(QStringLiteral("图片上传"));
  auto* hint = new QLabel(QStringLiteral("将图片拖放到下方窗口即可上传。上传成功后，单击图片复制图片地址，双击图片插入至文本内容中。"),
                          imageGroup);
  hint->setWordWrap(true);
  hint->setGeometry(8, 18, 224, 48);
  galleryView = browser(imageGroup, "超文本浏览框_图片上传", 8, 68, 224, 220);
  autoNameCheck = unit<QCheckBox>(imageGroup, "选择框_自动命名", 8, 292, 100, 22);
  autoNameCheck->setText(QStringLiteral("自动命名"));
  dropBox = unit<QGroupBox>(imageGroup, "分组框_上传图片", 8, 316, 224, 76);
  auto* dropHint = new QLabel(QStringLiteral("将图片拖入此框内放开即可上传，支持gif、jpg。"), dropBox);
  dropHint->setWordWrap(true);
  dropHint->setAlignment(Qt::AlignCenter);
  dropHint->setGeometry(6, 10, 212, 60);
  dropTarget = new DropTarget(this);
  captureButton = unit<QPushButton>(imageGroup, "按钮_截图上传", 8, 398, 108, 26);
  captureButton->setText(QStringLiteral("截图上传"));
  fromAddressButton = unit<QPushButton>(imageGroup, "按钮_链接上传", 124, 398, 108, 26);
  fromAddressButton->setText(QStringLiteral("链接上传"));
  captureTimer = timer(this, "时钟_上传截图", 100);

  // Advertisement box and links.
  adGroup = unit<QGroupBox>(c, "分组框4", 634, 438, 240, 118);
  adGroup->setTitle(QStringLiteral("广而告之"));
  adView = browser(adGroup, "超文本浏览框1", 6, 20, 228, 92);
  adView->setHtml(QString::fromUtf8(kAdvertisementPage));
  clientLink = hyperlink(c, "超级链接框1", "客户端官网：", links::kClientSite, 634, 560, 240);
  engineLink = hyperlink(c, "超级链接框2", "Inkpost官网：", links::kEngineSite, 634, 598, 240);

  toastTimer = timer(this, "时钟_载入显示窗口", 0);
  tagsTimer = timer(this, "时钟_载入tags窗口", 1);
}

}  // namespace inkpost
