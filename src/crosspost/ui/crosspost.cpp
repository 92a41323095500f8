#include "crosspost/ui/crosspost.h"

#include "common/ui/gbk.h"
#include "common/ui/toast.h"
#include "common/ui/unit.h"
#include "common/ui/unitnames.h"
#include "common/ui/wait.h"
#include "crosspost/hosts.h"
#include "crosspost/passport.h"
#include "crosspost/spacepost.h"
#include "crosspost/ui/spacesession.h"
#include "sites/sitestore.h"
#include "sites/statements.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QWebEngineView>

namespace inkpost {

CrossPostBox::CrossPostBox(StatusLine status, QWidget* parent) : QWidget(parent), status_(status) {
  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(0, 0, 0, 0);
  row->setSpacing(4);
  group_ = unit<QGroupBox>(unitname::kSyncGroup);
  group_->setTitle(QStringLiteral("同步"));
  auto* inGroup = new QHBoxLayout(group_);
  inGroup->setContentsMargins(8, 2, 8, 2);
  tick_ = unit<QCheckBox>(unitname::kSyncSpace);
  tick_->setText(QStringLiteral("百度空间"));
  inGroup->addWidget(tick_);
  row->addWidget(group_);
  // The cross-post browser works unseen; it keeps a tiny place in the row.
  browser_ = unit<QWebEngineView>(unitname::kSpaceView);
  browser_->setContextMenuPolicy(Qt::NoContextMenu);
  browser_->setFixedSize(4, 4);
  row->addWidget(browser_, 0, Qt::AlignBottom);
  session_ = new SpaceSession(browser_, this);
}

bool CrossPostBox::ticked() const { return tick_->isChecked(); }

namespace {

// Waits for the session that open() started, naming each poll in the
// status line; the progress notice shows while it signs on.
bool openSession(CrossPostBox& box, const std::string& userName, const std::string& password) {
  SpaceSession& session = box.session();
  const SpaceSettings& settings = spaceSettings();
  QWidget* window = box.window();
  BusyScope busy(box.status(), fromQ(QStringLiteral("正在同步到百度空间：登录百度帐号…")));
  Wait wait;
  bool ok = false;
  SpaceSession::Failure why = SpaceSession::TimedOut;
  const QMetaObject::Connection ready = QObject::connect(&session, &SpaceSession::ready, [&] {
    ok = true;
    wait.finish();
  });
  const QMetaObject::Connection failed =
      QObject::connect(&session, &SpaceSession::failed, [&](SpaceSession::Failure f) {
        why = f;
        wait.finish();
      });
  const QMetaObject::Connection waiting = QObject::connect(&session, &SpaceSession::waiting, [&](int k, int n) {
    busy.setText(fromQ(QStringLiteral("正在同步到百度空间：等待空间页面（%1/%2）…").arg(k).arg(n)));
  });
  bool noticeQueued = false;
  const QMetaObject::Connection notice = QObject::connect(&session, &SpaceSession::waiting, [&](int k, int) {
    if (k != 1 || noticeQueued) return;
    noticeQueued = true;
    ShowToast(window, spaceProgressNotice(), settings.waitNoticeSeconds, true, settings.waitNoticeDelaySeconds);
  });
  session.open(userName, password);
  wait.run();
  for (const auto& c : {ready, failed, waiting, notice}) QObject::disconnect(c);
  if (noticeQueued) EndToast(spaceProgressNotice());
  if (ok) return true;
  if (why == SpaceSession::LoginFailed)
    ShowToast(window, fromQ(QStringLiteral("百度帐号登陆失败！")), 1.2);
  else
    ShowToast(window, fromQ(QStringLiteral("获取相关参数超时，发布失败！")), 2.0);
  return false;
}

}  // namespace

void CrossPostToBaiduSpace(CrossPostBox& box, const std::string& userName, const std::string& password,
                           const std::string& gbkTitle, const std::string& gbkBody) {
  if (!openSession(box, userName, password)) return;
  bool ok = false;
  {
    BusyScope busy(box.status(), fromQ(QStringLiteral("正在同步到百度空间：发布…")));
    std::string cookie = box.session().cookie();
    runOffWindowThread([&] { ok = SubmitSpacePost(gbkTitle, gbkBody, cookie); });
    box.session().setCookie(cookie);
  }
  ShowToast(box.window(), fromQ(ok ? QStringLiteral("发布成功！") : QStringLiteral("发布失败~")), 1.2);
}

void crossPostArticle(CrossPostBox& box, const std::optional<SiteRecord>& site, const std::string& gbkTitle,
                      const std::string& gbkBody) {
  if (!box.ticked()) return;
  // The account is read from the table at this moment; a site without one
  // sends nothing and says where to set it.
  std::string userName, password;
  if (site)
    if (auto stored = FindSite(sql::byId(site->id))) {
      userName = stored->bdname;
      password = stored->bdpass;
    }
  if (userName.empty()) {
    ShowToast(box.window(), missingSpaceAccountNotice(), kMissingSpaceAccountSeconds);
    return;
  }
  ShowToast(box.window(), fromQ(QStringLiteral("开始同步到百度空间！")), 1.0);
  CrossPostToBaiduSpace(box, userName, password, gbkTitle, gbkBody);
  ResetPassportSession();
}

void updateNotCrossPosted(CrossPostBox& box) {
  if (box.ticked()) ShowToast(box.window(), fromQ(QStringLiteral("修改只发到博客，百度空间上的文章没有改动")), 1.6);
}

}  // namespace inkpost
