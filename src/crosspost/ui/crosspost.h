// Cross-posting a published article to the second service's blog: the box
// 分组框3 with 选择框_同步_百度空间 and the hidden browser the session signs
// on in, and the cross-post itself.
#pragma once

#include "common/ui/busy.h"
#include "sites/siterecord.h"

#include <QWidget>

#include <optional>
#include <string>

class QCheckBox;
class QGroupBox;
class QWebEngineView;

namespace inkpost {

class SpaceSession;

class CrossPostBox : public QWidget {
  Q_OBJECT
 public:
  explicit CrossPostBox(StatusLine status, QWidget* parent = nullptr);

  bool ticked() const;
  QCheckBox* tickBox() const { return tick_; }
  QWebEngineView* browser() const { return browser_; }
  SpaceSession& session() const { return *session_; }
  StatusLine status() const { return status_; }

 private:
  QGroupBox* group_;
  QCheckBox* tick_;
  QWebEngineView* browser_;
  SpaceSession* session_;
  StatusLine status_;
};

// Opens the session and submits the entry; shows "发布成功！" or "发布失败~"
// (the session's own notice when it could not be opened).
void CrossPostToBaiduSpace(CrossPostBox& box, const std::string& userName, const std::string& password,
                           const std::string& gbkTitle, const std::string& gbkBody);

// The cross-post step of a publish whose article reached the blog (or may
// have): only when 选择框_同步_百度空间 is ticked, reads the second-service
// account of `site` from the store; without one it says where to set it
// (missingSpaceAccountNotice) and sends nothing; otherwise tells that it
// starts, cross-posts, and signs the passport out with the dummy account
// whatever the outcome.
void crossPostArticle(CrossPostBox& box, const std::optional<SiteRecord>& site, const std::string& gbkTitle,
                      const std::string& gbkBody);

// An update of an article already on the blog went through: it is not
// cross-posted (the second service would get a second copy); with
// 选择框_同步_百度空间 ticked that is said ("修改只发到博客，百度空间上的文章没有改动").
void updateNotCrossPosted(CrossPostBox& box);

}  // namespace inkpost
