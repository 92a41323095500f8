// The main window and its units. Every unit carries its Chinese unit name as
// objectName; the members use English names. Handlers live in their own
// subsystems and are bound to these units in shell/bindings.cpp.
#pragma once

#include <QList>
#include <QMainWindow>
#include <QPointer>

class QAction;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QStatusBar;
class QTimer;
class QWebEngineView;

namespace inkpost {

// 拖放对象1: turns files dropped on the widget it is registered on into
// one filesDropped signal, paths in drop order; web addresses dropped there
// (an image dragged from a web page) into one addressesDropped signal.
class DropTarget : public QObject {
  Q_OBJECT
 public:
  explicit DropTarget(QObject* parent = nullptr);
  void registerOn(QWidget* widget);
  QWidget* registeredWidget() const { return widget_; }
  // Another widget whose drops count the same (with its child widgets,
  // for a web view whose page receives the drag).
  void alsoOn(QWidget* widget);

 signals:
  void filesDropped(const QStringList& paths);
  void addressesDropped(const QStringList& addresses);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void watch(QObject* object);
  QWidget* widget_ = nullptr;
  QList<QPointer<QObject>> others_;
};

class MainWindow;
void bindMainWindow(MainWindow& w);
void startUp(MainWindow& w);

// The units are private: the binding table and start-up (shell/) wire
// them to their handlers, and a handler reaches the units it needs through
// the window's article form (blog/ui/articleform.h) or by unit name
// (unitOf in common/ui/unit.h), never through this class.
class MainWindow : public QMainWindow {
  Q_OBJECT
 public:
  explicit MainWindow(QWidget* parent = nullptr);
  ~MainWindow() override;

 signals:
  // Emitted first thing in the destructor, while every unit still exists.
  void aboutToBeDestroyed();

 private:
  friend void bindMainWindow(MainWindow& w);
  friend void startUp(MainWindow& w);

  void buildUnits();
  void buildMenus();

  // Site and account.
  QComboBox* siteChooser;   // 组合框_网站名称
  QLineEdit* accountEdit;   // 编辑框_帐号
  QLineEdit* passwordEdit;  // 编辑框_密码
  // Article fields.
  QComboBox* categoryBox;      // 组合框_分类
  QComboBox* authorBox;        // 组合框_用户
  QComboBox* typeBox;          // 组合框_类型
  QCheckBox* stickyCheck;      // 选择框_置顶
  QLineEdit* titleEdit;        // 编辑框_标题
  QLineEdit* tagsEdit;         // 编辑框_Tags
  QLineEdit* yearEdit;         // 编辑框_日期年
  QLineEdit* monthEdit;        // 编辑框_日期月
  QLineEdit* dayEdit;          // 编辑框_日期日
  QLineEdit* timeEdit;         // 编辑框_日期时间
  QLineEdit* aliasEdit;        // 编辑框_别名
  QCheckBox* autoAliasCheck;   // 选择框_自动别名
  QGroupBox* bodyGroup;        // 分组框2
  QWebEngineView* editorView;  // 互联网浏览器1
  QPushButton* publishButton;  // 按钮_发布
  QGroupBox* syncGroup;        // 分组框3
  QCheckBox* syncSpaceCheck;   // 选择框_同步_百度空间
  QWebEngineView* spaceView;   // 互联网浏览器_百度空间
  // Drafts.
  QComboBox* restoreBox;          // 组合框_恢复数据
  QPushButton* manualSaveButton;  // 按钮_手动保存
  QTimer* saveTimer;              // 时钟_数据保存
  // Images.
  QGroupBox* imageGroup;           // 分组框1
  QWebEngineView* galleryView;     // 超文本浏览框_图片上传
  QCheckBox* autoNameCheck;        // 选择框_自动命名
  QGroupBox* dropBox;              // 分组框_上传图片
  DropTarget* dropTarget;          // 拖放对象1
  QPushButton* captureButton;      // 按钮_截图上传
  QPushButton* fromAddressButton;  // 按钮_链接上传
  QTimer* captureTimer;            // 时钟_上传截图
  // Shell.
  QTimer* toastTimer;      // 时钟_载入显示窗口
  QTimer* tagsTimer;       // 时钟_载入tags窗口
  QGroupBox* adGroup;      // 分组框4
  QWebEngineView* adView;  // 超文本浏览框1
  QLabel* clientLink;      // 超级链接框1
  QLabel* engineLink;      // 超级链接框2
  // Menus.
  QAction* publishAction;       // 发布 (Ctrl+Enter)
  QAction* saveAction;          // 手动保存 (Ctrl+S)
  QAction* restoreAction;       // 恢复
  QAction* plainPasteAction;    // 粘贴为纯文本 (Ctrl+Shift+V, in the editor)
  QAction* addSiteAction;       // 添加网站
  QAction* modifySiteAction;    // 修改网站
  QAction* deleteSiteAction;    // 删除网站
  QAction* reloginAction;       // 重新登录 (F5)
  QAction* upgradeAction;       // 数据库升级
  QAction* mailingListAction;   // 订阅VIP邮箱
  QAction* officialBlogAction;  // 官方博客
  // Status line.
  QStatusBar* statusLine;  // 状态栏
};

}  // namespace inkpost
