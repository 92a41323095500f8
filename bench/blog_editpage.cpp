// Reading the edit page of a very large (or hostile) blog: 100,000
// categories and 40,000 tags, and collectAll alone on the options.
#include "blog/editpage.h"
#include "net/encoding.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

using namespace inkpost;

std::string largePage(int options, int tags) {
  std::string page = fromUtf8("<p>分类:<select name=\"edtCateID\">\r\n");
  const std::string name = fromUtf8("分类");
  for (int i = 0; i < options; ++i)
    page += "<option value=\"" + std::to_string(i) + "\">" + name + std::to_string(i) + "</option>\r\n";
  page +=
      fromUtf8("</select></p>\r\n<p>用户:<select><option value=\"1\" selected=\"selected\">admin</option></select>");
  page += "<ul id=\"ulTag\" style=\"display:none;\">";
  const std::string tag = fromUtf8("标签");
  for (int i = 0; i < tags; ++i) page += "<li><a href='#'>" + tag + std::to_string(i) + "</a></li>";
  page += "</ul></p>";
  return page;
}

void BM_ParseEditPage(benchmark::State& state) {
  const std::string page = largePage(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  size_t items = 0;
  for (auto _ : state) {
    EditPage p = parseEditPage(page);
    items = p.categories.size() + p.tags.size();
    benchmark::DoNotOptimize(p);
  }
  state.counters["page_bytes"] = static_cast<double>(page.size());
  state.counters["items"] = static_cast<double>(items);
}
BENCHMARK(BM_ParseEditPage)->Args({100000, 0})->Args({100000, 40000})->Unit(benchmark::kMillisecond);

void BM_CollectAllOptions(benchmark::State& state) {
  const std::string page = largePage(100000, 0);
  for (auto _ : state) benchmark::DoNotOptimize(collectAll(page, "<option ", "</option>", true, false, false));
}
BENCHMARK(BM_CollectAllOptions)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
