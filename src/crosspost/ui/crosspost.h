// Cross-posting a published article to the second service's blog.
#pragma once

#include <string>

class QWidget;

namespace inkpost {

// Opens the session and submits the entry; shows "发布成功！" or "发布失败~"
// (the session's own notice when it could not be opened).
void CrossPostToBaiduSpace(QWidget& window, const std::string& userName, const std::string& password,
                           const std::string& gbkTitle, const std::string& gbkBody);

// The cross-post step of a publish whose article reached the blog (or may
// have): only when 选择框_同步_百度空间 is ticked, tells that it starts, reads
// the account of the site chosen in 组合框_网站名称, cross-posts, and signs
// the passport out with the dummy account whatever the outcome.
void crossPostArticle(QWidget& window, const std::string& gbkTitle, const std::string& gbkBody);

}  // namespace inkpost
