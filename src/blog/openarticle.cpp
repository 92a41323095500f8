#include "blog/openarticle.h"

#include "blog/htmlscan.h"

#include <climits>

namespace inkpost {
namespace {

using html::decodeReferences;
using html::Tag;
using html::TagScanner;

// The leading digits of a value ("12" of "12 "), empty without one.
std::string leadingDigits(const std::string& value) {
  size_t n = 0;
  while (n < value.size() && value[n] >= '0' && value[n] <= '9') ++n;
  return value.substr(0, n);
}

// A textarea's first line break belongs to its tag, as browsers read it.
std::string_view withoutFirstLineBreak(std::string_view raw) {
  if (raw.substr(0, 2) == "\r\n") return raw.substr(2);
  if (!raw.empty() && (raw[0] == '\n' || raw[0] == '\r')) return raw.substr(1);
  return raw;
}

// The form's fields by name: the first of each name counts.
struct FormValues {
  std::optional<std::string> id, title, tags, alias, year, month, day, time, level, category, author, body, intro;
  bool sticky = false;

  std::optional<std::string>* field(std::string_view name) {
    if (name == "edtID") return &id;
    if (name == "edtTitle") return &title;
    if (name == "edtTag") return &tags;
    if (name == "edtAlias") return &alias;
    if (name == "edtYear") return &year;
    if (name == "edtMonth") return &month;
    if (name == "edtDay") return &day;
    if (name == "edtTime") return &time;
    if (name == "edtLevel") return &level;
    if (name == "edtCateID") return &category;
    if (name == "edtAuthorID") return &author;
    if (name == "txaContent") return &body;
    if (name == "txaIntro") return &intro;
    return nullptr;
  }
};

FormValues readForm(std::string_view page) {
  FormValues f;
  TagScanner scan(page);
  Tag t;
  std::optional<std::string>* list = nullptr;  // the select being read
  while (scan.next(t)) {
    if (t.is("select")) {
      list = t.closing ? nullptr : f.field(t.attribute("name").value_or(std::string_view()));
      if (list && *list) list = nullptr;  // a second list of that name
      continue;
    }
    if (t.closing) continue;
    const std::string_view name = t.attribute("name").value_or(std::string_view());
    if (t.is("option")) {
      if (list && t.attribute("selected")) {
        *list = decodeReferences(t.attribute("value").value_or(std::string_view()));
        list = nullptr;  // the first option marked selected counts
      }
    } else if (t.is("input")) {
      if (name == "edtIstop") {
        f.sticky = f.sticky || t.attribute("checked").has_value();
      } else if (std::optional<std::string>* field = f.field(name); field && !*field) {
        *field = decodeReferences(t.attribute("value").value_or(std::string_view()));
      }
    } else if (t.is("textarea")) {
      if (std::optional<std::string>* field = f.field(name); field && !*field)
        *field = decodeReferences(withoutFirstLineBreak(scan.rawText()));
    }
  }
  return f;
}

}  // namespace

std::optional<OpenedArticle> parseArticleEditPage(std::string_view gbkPage) {
  FormValues f = readForm(gbkPage);
  const std::string idValue = f.id ? html::collapseBlanks(*f.id) : std::string();
  const std::string idText = leadingDigits(idValue);
  if (idText.empty() || idText.size() != idValue.size() || idText.size() > 10) return std::nullopt;
  const long long id = std::stoll(idText);
  if (id <= 0 || id > INT_MAX) return std::nullopt;
  OpenedArticle o;
  o.id = static_cast<int>(id);
  Article& a = o.article;
  a.title = f.title.value_or("");
  a.tags = f.tags.value_or("");
  a.category = leadingDigits(f.category.value_or(""));
  a.author = leadingDigits(f.author.value_or(""));
  a.type = f.level.value_or("");
  a.sticky = f.sticky;
  a.year = f.year.value_or("");
  a.month = f.month.value_or("");
  a.day = f.day.value_or("");
  a.time = f.time.value_or("");
  a.alias = f.alias.value_or("");
  a.autoAlias = false;
  a.body = f.body.value_or("");
  o.intro = f.intro.value_or("");
  return o;
}

}  // namespace inkpost
