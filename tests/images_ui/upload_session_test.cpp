// An upload whose session expired: the blog refuses it for lack of rights,
// the window logs in again quietly and sends the same file once more.
#include "images/ui/upload.h"

#include "blog/captcha.h"
#include "blog/ui/login.h"
#include "common/session.h"
#include "common/ui/toast.h"
#include "guitest.h"
#include "net/encoding.h"
#include "support/captchacode.h"
#include "support/captchadata.h"
#include "support/guiwait.h"
#include "support/mainunits.h"
#include "support/sandbox.h"
#include "support/session.h"

#include <gtest/gtest.h>
#include <QSignalBlocker>

namespace inkpost {
namespace {

class UploadSession : public test::SessionTest {
 protected:
  void SetUp() override {
    SessionTest::SetUp();
    test::ensureCaptchaData();
    ASSERT_GT(CaptchaDataHandle(), 0);
    setToastTimeScale(0);
  }
  void TearDown() override {
    SessionTest::TearDown();
    setToastTimeScale(1.0);
  }
  test::ProgramDirScope scope;
  MainWindow w;
};

TEST_F(UploadSession, AnExpiredSessionIsRenewedAndTheFileSentOnceMore) {
  test::Sandbox sb({.extraArgs = {"--session-minutes", "0.02"}});  // 1.2 s idle
  SiteRecord rec;
  rec.id = 1;
  rec.webname = "sandbox";
  rec.weburl = sb.siteUrl();
  rec.admin = "admin";
  rec.pass = "secret";
  {
    QSignalBlocker block(test::units(w).siteChooser);
    test::units(w).siteChooser->addItem(toQ(SiteChooserEntry(rec)), 1);
    test::units(w).siteChooser->setCurrentIndex(0);
  }
  onSiteSelected(w);
  ASSERT_TRUE(blogSession().ready);
  test::writeFile(scope.dir().file("p.gif"), "GIF89a-bytes");
  test::spin(1800);
  clearToastHistory();
  const std::string address = UploadImageFile(w, fromUtf8(scope.dir().file("p.gif")), "p", true);
  EXPECT_EQ(address.rfind(sb.siteUrl() + "upload/p.gif", 0), 0u) << address;
  EXPECT_EQ(test::countOf(sb.requestLog(), "act=FileUpload"), 2u) << sb.requestLog();
  EXPECT_EQ(test::countOf(sb.requestLog(), "GET /login.asp"), 2u);
  EXPECT_TRUE(toastHistory().empty()) << "the renewal is quiet";
  EXPECT_TRUE(w.isEnabled());
}

}  // namespace
}  // namespace inkpost
