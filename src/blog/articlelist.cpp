#include "blog/articlelist.h"

#include "blog/htmlscan.h"
#include "net/encoding.h"
#include "net/gbktext.h"

#include <array>
#include <climits>

namespace inkpost {
namespace {

using html::Tag;
using html::TagScanner;
using html::visibleText;

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

// The article id an address names: it holds "edit_fckeditor.asp" and, in
// the query after it, a field "id" of digits only. 0 for any other address.
int articleIdOf(std::string_view rawHref) {
  std::string href = html::decodeReferences(rawHref);  // "&amp;id=3" is "&id=3"
  for (char& c : href) c = lower(c);
  const size_t page = href.find("edit_fckeditor.asp");
  if (page == std::string::npos) return 0;
  const size_t query = href.find('?', page);
  if (query == std::string::npos) return 0;
  const size_t stop = href.find('#', query);
  const std::string_view fields =
      std::string_view(href).substr(query + 1, stop == std::string::npos ? stop : stop - query - 1);
  size_t at = 0;
  while (at <= fields.size()) {
    size_t end = fields.find('&', at);
    if (end == std::string_view::npos) end = fields.size();
    const std::string_view field = fields.substr(at, end - at);
    if (field.size() > 3 && field.substr(0, 3) == "id=") {
      long long id = 0;
      bool digits = true;
      for (char c : field.substr(3)) {
        digits = digits && c >= '0' && c <= '9' && id <= INT_MAX;
        if (digits) id = id * 10 + (c - '0');
      }
      if (digits && id > 0 && id <= INT_MAX) return static_cast<int>(id);
    }
    at = end + 1;
  }
  return 0;
}

bool contains(std::string_view text, const std::string& word) {
  return gbkFind(text, word, 0, true) != std::string_view::npos;
}

bool endsWith(std::string_view text, std::string_view tail) {
  return text.size() >= tail.size() && text.substr(text.size() - tail.size()) == tail;
}

const std::string& ellipsis() {
  static const std::string text = fromUtf8("…");
  return text;
}

// The length of the mark ("..." or "…") that ends a title the engine cut
// short; 0 for a title shown whole.
size_t shortenedBy(std::string_view title) {
  if (endsWith(title, "...")) return 3;
  const size_t n = ellipsis().size();
  return endsWith(title, ellipsis()) && gbkWholeCharacters(title.substr(0, title.size() - n)) ? n : 0;
}

// The text of an action link ("[编辑]", "修改") rather than a title.
bool actionText(const std::string& text) {
  static const std::array<std::string, 5> kActions = {fromUtf8("编辑"), fromUtf8("修改"), fromUtf8("编辑文章"),
                                                      fromUtf8("修改文章"), "edit"};
  std::string bare;
  for (char c : text)
    if (c != '[' && c != ']' && c != ' ') bare += lower(c);
  for (const auto& a : kActions)
    if (bare == a) return true;
  return false;
}

// Reads the list rows: table rows (<tr>), their cells, and the article
// links in them; a link outside any row is an article of its own.
class ListReader {
 public:
  explicit ListReader(std::string_view page) : page_(page) {}

  std::vector<ArticleEntry> read() {
    TagScanner scan(page_);
    Tag t;
    while (scan.next(t)) {
      if (t.is("tr")) {
        endRow(t.begin);
        inRow_ = !t.closing;
      } else if (t.is("table") && t.closing) {
        endRow(t.begin);
      } else if ((t.is("td") || t.is("th")) && inRow_) {
        closeCell(t.begin);
        if (!t.closing) {
          cells_.push_back({t.end, t.end});
          cellOpen_ = true;
        }
      } else if (t.is("a")) {
        closeLink(t.begin);
        if (!t.closing) openLink(t);
      }
    }
    endRow(page_.size());
    closeLink(page_.size());
    return std::move(out_);
  }

 private:
  struct Span {
    size_t begin, end;
  };
  struct Link {
    int id;
    Span text;
    std::string_view titleAttribute;
    int cell;  // -1 outside a cell
  };

  std::string_view text(Span s) const { return page_.substr(s.begin, s.end - s.begin); }

  void openLink(const Tag& t) {
    const auto href = t.attribute("href");
    const int id = href ? articleIdOf(*href) : 0;
    if (id == 0) return;
    const int cell = inRow_ && cellOpen_ ? static_cast<int>(cells_.size()) - 1 : -1;
    links_.push_back({id, {t.end, t.end}, t.attribute("title").value_or(std::string_view()), cell});
    linkOpen_ = true;
  }

  void closeLink(size_t at) {
    if (!linkOpen_) return;
    links_.back().text.end = at;
    linkOpen_ = false;
    if (inRow_) return;
    // A link outside a table row stands for its article alone.
    const Link l = links_.back();
    links_.clear();
    add(l, visibleText(text(l.text)), {});
  }

  void closeCell(size_t at) {
    if (!cellOpen_) return;
    cells_.back().end = at;
    cellOpen_ = false;
  }

  std::string cellText(int column) const {
    return column >= 0 && column < static_cast<int>(cells_.size()) ? visibleText(text(cells_[column])) : std::string();
  }

  // A row of headings names the columns: the one holding "标题" at least.
  void readHeadings() {
    static const std::string kTitle = fromUtf8("标题"), kCategory = fromUtf8("分类"), kAuthor = fromUtf8("作者"),
                             kUser = fromUtf8("用户"), kDate = fromUtf8("日期"), kTime = fromUtf8("时间");
    int title = -1, category = -1, author = -1, date = -1;
    for (int i = 0; i < static_cast<int>(cells_.size()); ++i) {
      const std::string t = cellText(i);
      if (title < 0 && contains(t, kTitle))
        title = i;
      else if (category < 0 && contains(t, kCategory))
        category = i;
      else if (author < 0 && (contains(t, kAuthor) || contains(t, kUser)))
        author = i;
      else if (date < 0 && (contains(t, kDate) || contains(t, kTime)))
        date = i;
    }
    if (title < 0) return;
    titleColumn_ = title;
    categoryColumn_ = category;
    authorColumn_ = author;
    dateColumn_ = date;
  }

  void endRow(size_t at) {
    closeCell(at);
    closeLink(at);
    if (inRow_ && !cells_.empty()) {
      if (links_.empty()) {
        readHeadings();
      } else {
        // The title link: the one in the title column, else the first whose
        // text is not an action's.
        const Link* chosen = nullptr;
        for (const Link& l : links_)
          if (titleColumn_ >= 0 && l.cell == titleColumn_) {
            chosen = &l;
            break;
          }
        std::string title = cellText(titleColumn_);
        for (size_t i = 0; !chosen && i < links_.size(); ++i) {
          std::string linkText = visibleText(text(links_[i].text));
          if (!linkText.empty() && !actionText(linkText)) {
            chosen = &links_[i];
            if (title.empty()) title = std::move(linkText);
          }
        }
        if (!chosen) chosen = &links_.front();
        if (title.empty()) title = visibleText(text(chosen->text));
        add(*chosen, std::move(title), {cellText(categoryColumn_), cellText(authorColumn_), cellText(dateColumn_)});
      }
    }
    inRow_ = false;
    cells_.clear();
    links_.clear();
  }

  void add(const Link& l, std::string title, const std::array<std::string, 3>& columns) {
    if (!seen_.insert(l.id).second) return;
    if (shortenedBy(title) > 0 && !l.titleAttribute.empty()) title = visibleText(l.titleAttribute);
    out_.push_back({l.id, std::move(title), columns[0], columns[1], columns[2]});
  }

  std::string_view page_;
  std::vector<ArticleEntry> out_;
  std::unordered_set<int> seen_;
  int titleColumn_ = -1, categoryColumn_ = -1, authorColumn_ = -1, dateColumn_ = -1;
  bool inRow_ = false;
  bool cellOpen_ = false;
  bool linkOpen_ = false;
  std::vector<Span> cells_;
  std::vector<Link> links_;
};

}  // namespace

std::vector<ArticleEntry> parseArticleList(std::string_view gbkPage) { return ListReader(gbkPage).read(); }

std::vector<ArticleEntry> ArticleListWalk::add(const std::vector<ArticleEntry>& page) {
  std::vector<ArticleEntry> fresh;
  if (done_) return fresh;
  for (const ArticleEntry& e : page)
    if (seen_.insert(e.id).second) fresh.push_back(e);
  entries_.insert(entries_.end(), fresh.begin(), fresh.end());
  ++pagesAdded_;
  if (fresh.empty()) {
    done_ = true;
  } else if (pagesAdded_ >= maxPages_) {
    done_ = true;
    capped_ = true;
  }
  return fresh;
}

int findArticleByTitle(const std::vector<ArticleEntry>& newest, std::string_view gbkTitle) {
  const std::string wanted = html::collapseBlanks(gbkTitle);
  for (const ArticleEntry& e : newest) {
    const std::string shown = html::collapseBlanks(e.title);
    if (shown == wanted) return e.id;
    if (const size_t mark = shortenedBy(shown); mark > 0) {
      std::string_view head = shown;
      head.remove_suffix(mark);
      while (!head.empty() && head.back() == ' ') head.remove_suffix(1);
      if (!head.empty() && std::string_view(wanted).substr(0, head.size()) == head && gbkWholeCharacters(head))
        return e.id;
    }
  }
  return 0;
}

}  // namespace inkpost
