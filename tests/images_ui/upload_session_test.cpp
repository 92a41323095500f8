// An upload whose session expired: the blog refuses it for lack of rights,
// the window logs in again quietly and sends the same file once more.
#include "guitest.h"
#include "support/captchacode.h"
#include "support/sandboxlogin.h"

#include <gtest/gtest.h>
#include <QCheckBox>

namespace inkpost {
namespace {

class UploadSession : public test::ImagesWindow {};

TEST_F(UploadSession, AnExpiredSessionIsRenewedAndTheFileSentOnceMore) {
  test::Sandbox sb(test::sandboxOptions({"--session-minutes", "0.02"}));  // 1.2 s idle
  pickSandbox(sb);
  units().autoNameCheck->setChecked(false);
  const std::string path = file("p.gif", "GIF89a-bytes");
  test::spin(1800);
  drop({QString::fromStdString(path)});
  ASSERT_EQ(gallery().size(), 1u);
  EXPECT_EQ(gallery()[0].rfind(sb.siteUrl() + "upload/p.gif", 0), 0u) << gallery()[0];
  EXPECT_TRUE(sb.waitForLog("act=FileUpload", 2)) << sb.requestLog();
  EXPECT_EQ(test::countOf(sb.requestLog(), "act=FileUpload"), 2u) << sb.requestLog();
  EXPECT_EQ(test::countOf(sb.requestLog(), "GET /login.asp"), 2u);
  EXPECT_TRUE(w().blog().ready());
  // The renewal is quiet: only the drop's own notice.
  EXPECT_EQ(toastTexts(), QStringList{QStringLiteral("已上传 1 张图片")});
  EXPECT_TRUE(w().images().isEnabled());
}

}  // namespace
}  // namespace inkpost
