// The blog's article-edit page: the categories, the authors (one of them
// marked selected) and the tags already used on the blog, cut out of its
// HTML by fixed markers. Texts are GBK.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace inkpost {

inline constexpr const char* kEditPage = "admin/edit_fckeditor.asp";

// Every piece of `text` between `left` and the next `right`, in order. After
// each find, every occurrence of the piece (with its markers) is removed from
// the working copy (only the first with firstOnly), so repeated pieces are
// listed once; without caseSensitive a copy whose ASCII letters differ in
// case is a repeat too. Empty markers give an empty list.
std::vector<std::string> collectAll(std::string_view text, std::string_view left, std::string_view right,
                                    bool includeMarkers, bool caseSensitive, bool firstOnly);

// One <option> of a list: its visible text exactly as in the page (entities
// left as they are) and its value attribute as a number (0 without one).
struct PageOption {
  std::string name;
  int value = 0;
  bool selected = false;  // the option holds " selected="
  bool operator==(const PageOption&) const = default;
};

struct EditPage {
  std::vector<PageOption> categories;
  std::vector<PageOption> authors;
  std::vector<std::string> tags;
};

// What reading the edit page brought.
enum class EditPageLoad { Loaded, NoPage, NoCategories };

// Parses the page (already GBK). A page without the markers gives empty lists.
EditPage parseEditPage(std::string_view gbkPage);

// The budget of reading the edit page: a slow blog may be silent for up to a
// third of it (30 s) before the page starts.
inline constexpr int kEditPageBudgetSeconds = 90;

// GETs site + kEditPage with HttpEngine (redirects followed,
// kEditPageBudgetSeconds), sending sessionCookie and merging the cookies the blog sets into
// it. Returns the page as GBK, empty on failure.
[[nodiscard]] std::string fetchEditPage(const std::string& site, std::string& sessionCookie);

}  // namespace inkpost
