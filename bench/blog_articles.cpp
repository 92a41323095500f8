// Opening published articles: one page of a 5,000-article list, the whole
// list on one page (the reading stays linear), a filled edit page with a
// 1 MB body, and both exchanges against the loopback sandbox (a blog of
// 5,000 articles, and one article of 1 MB).
#include "blog/articlelist.h"
#include "blog/openarticle.h"
#include "blog/publish.h"
#include "net/encoding.h"
#include "support/sandboxlogin.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <string>

namespace {

using namespace inkpost;

constexpr int kArticles = 5000;

// A list page as the engine writes it: rows `first` down to `last`, and a
// link to each of the list's 250 pages.
std::string listPage(int first, int last) {
  std::string rows = fromUtf8(
      "<html><head><title>文章管理</title></head><body><table>\r\n"
      "<tr><th>ID</th><th>分类</th><th>作者</th><th>标题</th><th>日期</th><th>操作</th></tr>\r\n");
  const std::string category = fromUtf8("技术"), title = fromUtf8("一篇文章的标题 &amp; 说明 "),
                    edit = fromUtf8("[编辑]"), remove = fromUtf8("[删除]");
  for (int id = first; id >= last; --id) {
    const std::string n = std::to_string(id);
    rows += "<tr><td>" + n + "</td><td>" + category +
            "</td><td>admin</td><td><a href=\"../admin/edit_fckeditor.asp?id=" + n + "\" title=\"" + title + n + "\">" +
            title + n + "</a></td><td>2026-3-1 8:00:00</td><td><a href=\"" + "../admin/edit_fckeditor.asp?id=" + n +
            "&amp;page=1\">" + edit + "</a> <a href=\"../cmd.asp?act=" + "ArticleDel&amp;id=" + n + "\">" + remove +
            "</a></td></tr>\r\n";
  }
  rows += "</table><p>";
  for (int p = 1; p <= kArticles / 20; ++p)
    rows += "<a href=\"admin.asp?act=ArticleMng&amp;page=" + std::to_string(p) + "\">[" + std::to_string(p) + "]</a> ";
  return rows + "</p></body></html>";
}

void BM_ParseListPage(benchmark::State& state) {
  const int rows = static_cast<int>(state.range(0));
  const std::string page = listPage(kArticles, kArticles - rows + 1);
  size_t entries = 0;
  for (auto _ : state) entries = parseArticleList(page).size();
  state.counters["page_bytes"] = static_cast<double>(page.size());
  state.counters["entries"] = static_cast<double>(entries);
}
BENCHMARK(BM_ParseListPage)->Arg(20)->Arg(kArticles)->Unit(benchmark::kMillisecond);

// About 1 MB of body: paragraphs of Chinese text, images, links and escaped
// characters, as the edit page's textarea holds it (escaped once more).
std::string largeBody() {
  const std::string text = fromUtf8("这是一段用来测试打开速度的正文，包含中文与 ASCII text & 标点 <br> &#128512;。");
  std::string body;
  for (int i = 0; body.size() < (1u << 20); ++i) {
    const std::string n = std::to_string(i);
    body += "<p>" + text + "<img src=\"http://127.0.0.1/upload/" + n + ".jpg\" /><a href=\"http://example.org/" + n +
            ".html\">" + n + "</a></p>\r\n";
  }
  return body;
}

void BM_ParseEditPage1MB(benchmark::State& state) {
  const std::string body = largeBody();
  const std::string page =
      fromUtf8(
          "<form><input type=\"hidden\" name=\"edtID\" value=\"7\"><p>标题:<input name=\"edtTitle\" "
          "value=\"标题\"></p><p>分类:<select name=\"edtCateID\"><option value=\"2\" "
          "selected=\"selected\">技术</option></select></p><p><textarea name=\"txaContent\">") +
      htmlEscape(body) + "</textarea></p></form>";
  for (auto _ : state) {
    auto opened = parseArticleEditPage(page);
    if (!opened || opened->article.body != body) state.SkipWithError("body not read back");
    benchmark::DoNotOptimize(opened);
  }
  state.counters["page_bytes"] = static_cast<double>(page.size());
}
BENCHMARK(BM_ParseEditPage1MB)->Unit(benchmark::kMillisecond);

// A loopback sandbox, logged in, holding kArticles short articles and, as
// number 1, one of 1 MB.
struct Blog {
  test::Sandbox sandbox{test::sandboxOptions()};
  std::string cookie = test::sandboxLogin(sandbox);
  Blog() {
    PostForm f;
    f.categoryId = "2";
    f.authorId = "1";
    f.title = fromUtf8("一篇很长的文章");
    f.body = largeBody();
    postArticle(sandbox.siteUrl(), f, cookie);
    f.body = fromUtf8("<p>短文</p>");
    for (int i = 2; i <= kArticles; ++i) {
      f.title = fromUtf8("文章") + std::to_string(i);
      postArticle(sandbox.siteUrl(), f, cookie);
    }
  }
};

Blog& blog() {
  static const std::unique_ptr<Blog> b = std::make_unique<Blog>();
  return *b;
}

void BM_FetchListPage(benchmark::State& state) {
  Blog& b = blog();
  const int page = static_cast<int>(state.range(0));
  for (auto _ : state) {
    const ListPage p = fetchArticleListPage(b.sandbox.siteUrl(), page, b.cookie);
    if (p.entries.size() != 20) state.SkipWithError("not a full page");
  }
}
BENCHMARK(BM_FetchListPage)->Arg(1)->Arg(kArticles / 20)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_OpenArticle1MB(benchmark::State& state) {
  Blog& b = blog();
  for (auto _ : state) {
    const OpenResult r = fetchArticleForEdit(b.sandbox.siteUrl(), 1, b.cookie);
    if (r.outcome != OpenOutcome::Opened || r.opened.article.body.size() < (1u << 20))
      state.SkipWithError("not opened");
  }
}
BENCHMARK(BM_OpenArticle1MB)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
