#include "crosspost/ui/crosspost.h"

#include "common/session.h"
#include "common/ui/busy.h"
#include "common/ui/gbk.h"
#include "common/ui/toast.h"
#include "common/ui/unit.h"
#include "common/ui/wait.h"
#include "crosspost/passport.h"
#include "crosspost/spacepost.h"
#include "crosspost/ui/spacesession.h"
#include "sites/sitestore.h"
#include "sites/statements.h"
#include "sites/ui/sitechooser.h"

#include <QCheckBox>
#include <QComboBox>

namespace inkpost {

void CrossPostToBaiduSpace(QWidget& w, const std::string& userName, const std::string& password,
                           const std::string& gbkTitle, const std::string& gbkBody) {
  if (OpenSpaceSession(w, userName, password) != SpaceSession::Ready) return;
  bool ok = false;
  {
    BusyScope busy(StatusLine::of(w), fromQ(QStringLiteral("正在同步到百度空间：发布…")));
    std::string cookie = blogSession().spaceCookie;
    runOffWindowThread([&] { ok = SubmitSpacePost(gbkTitle, gbkBody, cookie); });
    blogSession().spaceCookie = cookie;
  }
  ShowToast(&w, fromQ(ok ? QStringLiteral("发布成功！") : QStringLiteral("发布失败~")), 1.2);
}

void crossPostArticle(QWidget& w, const std::string& gbkTitle, const std::string& gbkBody) {
  if (!unitOf<QCheckBox>(w, "选择框_同步_百度空间")->isChecked()) return;
  ShowToast(&w, fromQ(QStringLiteral("开始同步到百度空间！")), 1.0);
  // The account is read from the table at this moment; a site without one
  // still goes to the passport with empty values, which refuses it.
  std::string userName, password;
  if (auto site = FindSite(sql::byId(chooserSiteId(siteChooserOf(w))))) {
    userName = site->bdname;
    password = site->bdpass;
  }
  CrossPostToBaiduSpace(w, userName, password, gbkTitle, gbkBody);
  ResetPassportSession();
}

}  // namespace inkpost
