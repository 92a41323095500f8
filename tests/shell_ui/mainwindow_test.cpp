#include "shell/mainwindow.h"

#include <gtest/gtest.h>
#include <QComboBox>
#include <QMenuBar>
#include <QWebEngineView>

using inkpost::MainWindow;

TEST(MainWindowUnits, CarryTheirUnitNamesAndCaptions) {
  MainWindow w;
  EXPECT_EQ(w.windowTitle(), QStringLiteral("Inkpost客户端 v12.9.5"));
  for (const char* name : {"组合框_网站名称",
                           "编辑框_帐号",
                           "编辑框_密码",
                           "组合框_分类",
                           "组合框_用户",
                           "组合框_类型",
                           "选择框_置顶",
                           "编辑框_标题",
                           "编辑框_Tags",
                           "编辑框_日期年",
                           "编辑框_日期月",
                           "编辑框_日期日",
                           "编辑框_日期时间",
                           "编辑框_别名",
                           "选择框_自动别名",
                           "按钮_发布",
                           "选择框_同步_百度空间",
                           "组合框_恢复数据",
                           "按钮_手动保存",
                           "选择框_自动命名",
                           "分组框_上传图片",
                           "按钮_截图上传",
                           "按钮_链接上传",
                           "超级链接框1",
                           "超级链接框2",
                           "分组框1",
                           "分组框2",
                           "分组框3",
                           "分组框4"}) {
    EXPECT_NE(w.findChild<QWidget*>(QString::fromUtf8(name)), nullptr) << name;
  }
  for (const char* name : {"互联网浏览器1", "超文本浏览框_图片上传", "超文本浏览框1", "互联网浏览器_百度空间"})
    EXPECT_NE(w.findChild<QWebEngineView*>(QString::fromUtf8(name)), nullptr) << name;
  for (const char* name : {"时钟_数据保存", "时钟_载入显示窗口", "时钟_载入tags窗口", "时钟_上传截图", "拖放对象1"})
    EXPECT_NE(w.findChild<QObject*>(QString::fromUtf8(name)), nullptr) << name;

  auto* type = w.findChild<QComboBox*>(QStringLiteral("组合框_类型"));
  ASSERT_EQ(type->count(), 4);
  EXPECT_EQ(type->itemText(2), QStringLiteral("锁定文章"));
  EXPECT_EQ(type->itemData(2).toInt(), 3);
  EXPECT_EQ(type->currentText(), QStringLiteral("普通文章"));
  EXPECT_EQ(type->currentData().toInt(), 4);
  auto* restore = w.findChild<QComboBox*>(QStringLiteral("组合框_恢复数据"));
  ASSERT_EQ(restore->count(), 12);
  EXPECT_EQ(restore->itemText(0), QStringLiteral("不恢复"));
  EXPECT_EQ(restore->itemText(11), QStringLiteral("10分钟前"));
}

TEST(MainWindowUnits, MenusHoldTheirItems) {
  MainWindow w;
  QStringList items;
  for (QAction* top : w.menuBar()->actions()) {
    items << top->text();
    for (QAction* a : top->menu()->actions()) items << (a->isSeparator() ? QStringLiteral("-") : a->text());
  }
  EXPECT_EQ(items, (QStringList{"网站管理",
                                "添加网站",
                                "修改网站",
                                "删除网站",
                                "-",
                                "导入网站…",
                                "导出网站…",
                                "-",
                                "重新登录",
                                "启动时登录上次的网站",
                                "文章",
                                "新建文章",
                                "打开博客文章…",
                                "-",
                                "发布",
                                "发布到多个网站…",
                                "手动保存",
                                "恢复",
                                "-",
                                "发布记录",
                                "-",
                                "粘贴为纯文本",
                                "帮助",
                                "数据库升级",
                                "-",
                                "订阅VIP邮箱",
                                "官方博客"}));
}
