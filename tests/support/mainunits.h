// The main window's units for tests, found by their unit names (the window
// keeps its members private). units(w).tagsEdit is 编辑框_Tags, and so on.
#pragma once

#include "images/ui/imagepanel.h"
#include "shell/mainwindow.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
#include <QWebEngineView>

namespace inkpost::test {

struct MainUnits {
  explicit MainUnits(const QWidget& w) : w_(w) {}
  template <typename T>
  T* find(const char* name) const {
    return w_.findChild<T*>(QString::fromUtf8(name));
  }
  const QWidget& w_;

#define INKPOST_UNIT(type, member, name) type* member = find<type>(name);
  INKPOST_UNIT(QComboBox, siteChooser, "组合框_网站名称")
  INKPOST_UNIT(QLineEdit, accountEdit, "编辑框_帐号")
  INKPOST_UNIT(QLineEdit, passwordEdit, "编辑框_密码")
  INKPOST_UNIT(QComboBox, categoryBox, "组合框_分类")
  INKPOST_UNIT(QComboBox, authorBox, "组合框_用户")
  INKPOST_UNIT(QComboBox, typeBox, "组合框_类型")
  INKPOST_UNIT(QCheckBox, stickyCheck, "选择框_置顶")
  INKPOST_UNIT(QLineEdit, titleEdit, "编辑框_标题")
  INKPOST_UNIT(QLineEdit, tagsEdit, "编辑框_Tags")
  INKPOST_UNIT(QLineEdit, yearEdit, "编辑框_日期年")
  INKPOST_UNIT(QLineEdit, monthEdit, "编辑框_日期月")
  INKPOST_UNIT(QLineEdit, dayEdit, "编辑框_日期日")
  INKPOST_UNIT(QLineEdit, timeEdit, "编辑框_日期时间")
  INKPOST_UNIT(QLineEdit, aliasEdit, "编辑框_别名")
  INKPOST_UNIT(QCheckBox, autoAliasCheck, "选择框_自动别名")
  INKPOST_UNIT(QGroupBox, bodyGroup, "分组框2")
  INKPOST_UNIT(QWebEngineView, editorView, "互联网浏览器1")
  INKPOST_UNIT(QPushButton, publishButton, "按钮_发布")
  INKPOST_UNIT(QGroupBox, syncGroup, "分组框3")
  INKPOST_UNIT(QCheckBox, syncSpaceCheck, "选择框_同步_百度空间")
  INKPOST_UNIT(QWebEngineView, spaceView, "互联网浏览器_百度空间")
  INKPOST_UNIT(QComboBox, restoreBox, "组合框_恢复数据")
  INKPOST_UNIT(QPushButton, manualSaveButton, "按钮_手动保存")
  INKPOST_UNIT(QTimer, saveTimer, "时钟_数据保存")
  INKPOST_UNIT(QGroupBox, imageGroup, "分组框1")
  INKPOST_UNIT(QWebEngineView, galleryView, "超文本浏览框_图片上传")
  INKPOST_UNIT(QCheckBox, autoNameCheck, "选择框_自动命名")
  INKPOST_UNIT(QGroupBox, dropBox, "分组框_上传图片")
  INKPOST_UNIT(DropTarget, dropTarget, "拖放对象1")
  INKPOST_UNIT(QPushButton, captureButton, "按钮_截图上传")
  INKPOST_UNIT(QPushButton, fromAddressButton, "按钮_链接上传")
  INKPOST_UNIT(QTimer, captureTimer, "时钟_上传截图")
  INKPOST_UNIT(QTimer, toastTimer, "时钟_载入显示窗口")
  INKPOST_UNIT(QTimer, tagsTimer, "时钟_载入tags窗口")
  INKPOST_UNIT(QGroupBox, adGroup, "分组框4")
  INKPOST_UNIT(QWebEngineView, adView, "超文本浏览框1")
  INKPOST_UNIT(QLabel, clientLink, "超级链接框1")
  INKPOST_UNIT(QLabel, engineLink, "超级链接框2")
  INKPOST_UNIT(QAction, addSiteAction, "添加网站")
  INKPOST_UNIT(QAction, modifySiteAction, "修改网站")
  INKPOST_UNIT(QAction, deleteSiteAction, "删除网站")
  INKPOST_UNIT(QAction, reloginAction, "重新登录")
  INKPOST_UNIT(QAction, upgradeAction, "数据库升级")
  INKPOST_UNIT(QAction, mailingListAction, "订阅VIP邮箱")
  INKPOST_UNIT(QAction, officialBlogAction, "官方博客")
  INKPOST_UNIT(QStatusBar, statusLine, "状态栏")
#undef INKPOST_UNIT
};

inline MainUnits units(const QWidget& w) { return MainUnits(w); }

}  // namespace inkpost::test
