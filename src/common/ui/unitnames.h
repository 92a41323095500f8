// The Chinese unit names of the main window's units, its menu entries and
// the small windows that open from it: each unit carries its name as Qt's
// objectName (tests and accessibility tools find units by it). Defined here
// once; the panel that creates a unit names it from this list, and nothing
// else looks a unit up by name (tests excepted).
#pragma once

namespace inkpost::unitname {

// The main window and its frame.
inline constexpr char kMainWindow[] = "启动窗口";
inline constexpr char kMainWindowTitle[] = "Inkpost客户端 v12.9.5";  // its caption
inline constexpr char kClientArea[] = "客户区";
inline constexpr char kStatusLine[] = "状态栏";
inline constexpr char kModeLabel[] = "标签_修改状态";  // right end of the status line: "修改：<title>"

// Site bar.
inline constexpr char kSiteChooser[] = "组合框_网站名称";
inline constexpr char kAccount[] = "编辑框_帐号";
inline constexpr char kPassword[] = "编辑框_密码";

// Article form.
inline constexpr char kCategory[] = "组合框_分类";
inline constexpr char kAuthor[] = "组合框_用户";
inline constexpr char kType[] = "组合框_类型";
inline constexpr char kSticky[] = "选择框_置顶";
inline constexpr char kTitle[] = "编辑框_标题";
inline constexpr char kTags[] = "编辑框_Tags";
inline constexpr char kYear[] = "编辑框_日期年";
inline constexpr char kMonth[] = "编辑框_日期月";
inline constexpr char kDay[] = "编辑框_日期日";
inline constexpr char kTime[] = "编辑框_日期时间";
inline constexpr char kAlias[] = "编辑框_别名";
inline constexpr char kAutoAlias[] = "选择框_自动别名";
inline constexpr char kBodyGroup[] = "分组框2";
inline constexpr char kEditor[] = "互联网浏览器1";

// Publishing and cross-posting.
inline constexpr char kPublishButton[] = "按钮_发布";
inline constexpr char kSyncGroup[] = "分组框3";
inline constexpr char kSyncSpace[] = "选择框_同步_百度空间";
inline constexpr char kSpaceView[] = "互联网浏览器_百度空间";

// Drafts.
inline constexpr char kRestoreBox[] = "组合框_恢复数据";
inline constexpr char kManualSave[] = "按钮_手动保存";
inline constexpr char kSaveTimer[] = "时钟_数据保存";
inline constexpr char kRecoveryTimer[] = "时钟_恢复保存";
inline constexpr char kRecoveryQuestion[] = "恢复提示";

// Tags picker.
inline constexpr char kTagsTimer[] = "时钟_载入tags窗口";
inline constexpr char kTagsWindow[] = "窗口_Tags";
inline constexpr char kTagsViewer[] = "超文本浏览框1";

// Images.
inline constexpr char kImageGroup[] = "分组框1";
inline constexpr char kGallery[] = "超文本浏览框_图片上传";
inline constexpr char kAutoName[] = "选择框_自动命名";
inline constexpr char kDropBox[] = "分组框_上传图片";
inline constexpr char kDropTarget[] = "拖放对象1";
inline constexpr char kCaptureButton[] = "按钮_截图上传";
inline constexpr char kAddressButton[] = "按钮_链接上传";
inline constexpr char kCaptureTimer[] = "时钟_上传截图";

// Shell: notices, advertisement and links.
inline constexpr char kToastTimer[] = "时钟_载入显示窗口";
inline constexpr char kAdGroup[] = "分组框4";
inline constexpr char kAdView[] = "超文本浏览框1";
inline constexpr char kClientLink[] = "超级链接框1";
inline constexpr char kEngineLink[] = "超级链接框2";

// Menus and their entries.
inline constexpr char kSitesMenu[] = "网站管理";
inline constexpr char kArticleMenu[] = "文章";
inline constexpr char kHelpMenu[] = "帮助";
inline constexpr char kAddSite[] = "添加网站";
inline constexpr char kModifySite[] = "修改网站";
inline constexpr char kDeleteSites[] = "删除网站";
inline constexpr char kRelogin[] = "重新登录";
inline constexpr char kLogInAtStart[] = "启动时登录上次的网站";
inline constexpr char kImportSites[] = "导入网站…";
inline constexpr char kExportSites[] = "导出网站…";
inline constexpr char kPublishRecord[] = "发布记录";
inline constexpr char kMultiPublish[] = "发布到多个网站…";
inline constexpr char kPublish[] = "发布";
inline constexpr char kNewArticle[] = "新建文章";
inline constexpr char kOpenArticle[] = "打开博客文章…";
inline constexpr char kManualSaveAction[] = "手动保存";
inline constexpr char kRestore[] = "恢复";
inline constexpr char kPlainPaste[] = "粘贴为纯文本";
inline constexpr char kUpgrade[] = "数据库升级";
inline constexpr char kMailingList[] = "订阅VIP邮箱";
inline constexpr char kOfficialBlog[] = "官方博客";

// Dialogs opened from the window.
inline constexpr char kCaptchaDialog[] = "验证码窗口";
inline constexpr char kToastWindow[] = "显示窗口";
inline constexpr char kMultiPublishWindow[] = "多站发布";

// 打开博客文章: the list of the chosen blog's articles.
inline constexpr char kArticleListDialog[] = "窗口_打开文章";
inline constexpr char kArticleSearch[] = "编辑框_搜索标题";
inline constexpr char kArticleList[] = "列表框_博客文章";
inline constexpr char kArticleListState[] = "标签_列表状态";
inline constexpr char kOpenButton[] = "按钮_打开";
inline constexpr char kRetryButton[] = "按钮_重试";

// A publish without a clear answer: 检查 and, when it did not arrive, 重新发布.
inline constexpr char kUnclearDialog[] = "窗口_发布结果不明";
inline constexpr char kCheckButton[] = "按钮_检查";
inline constexpr char kResendButton[] = "按钮_重新发布";
inline constexpr char kCloseButton[] = "按钮_关闭";

}  // namespace inkpost::unitname
