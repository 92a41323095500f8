// Blogs on shared hosting that take many seconds to answer: the edit page and
// the article post wait for them, within their budgets, and answers over the
// post cap count as no answer.
#include "blog/editpage.h"
#include "blog/publish.h"
#include "net/encoding.h"
#include "net/http.h"
#include "support/capture_server.h"

#include <gtest/gtest.h>

namespace inkpost {
namespace {

using test::CaptureServer;

std::string answer(const std::string& utf8Body) {
  return test::okResponse(utf8Body, "Content-Type: text/html; charset=utf-8\r\n");
}

PostForm form() {
  PostForm f;
  f.title = fromUtf8("慢博客");
  f.categoryId = "1";
  f.authorId = "1";
  f.body = fromUtf8("<p>正文</p>");
  return f;
}

// The post used to give up after 5 s while the blog stored the article
// anyway, and the user posted it again.
TEST(SlowBlog, PostAnswerAfterSixSecondsIsWaitedFor) {
  CaptureServer server(answer("操作成功"));
  server.setStallMs(6500);
  std::string cookie = "s=1;";
  EXPECT_EQ(postArticle(server.url("/"), form(), cookie), kPostDone);
  EXPECT_EQ(server.requests().size(), 1u);
  EXPECT_GE(kPostBudgetSeconds / 3, 60);  // the silent wait HttpEngine allows
}

TEST(SlowBlog, EditPageAfterSixSecondsIsRead) {
  CaptureServer server(answer("<title>edit</title><select id=\"cmbCate\"></select>"));
  server.setStallMs(6500);
  std::string cookie = "s=1;";
  EXPECT_NE(fetchEditPage(server.url("/"), cookie).find("<title>edit</title>"), std::string::npos);
}

TEST(SlowBlog, OversizedPostAnswerIsNoAnswer) {
  CaptureServer server(answer(std::string(kPostAnswerCap, ' ') + "操作成功"));
  std::string cookie = "s=1;";
  EXPECT_EQ(postArticle(server.url("/"), form(), cookie), kPostNoAnswer);
}

}  // namespace
}  // namespace inkpost
