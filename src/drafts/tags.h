// The Tags picker's logic: the chosen tags mirrored from the tags box, adding
// and removing one tag in the box's comma-separated text, and the picker page.
// Texts are GBK. Tag names may hold any character: they are escaped wherever
// they enter the page or a script, and the click address carries them
// form-encoded so that "#", quotes and "%" come back unchanged.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace inkpost {

// The box content with "," at both ends (an empty box gives ",").
std::string chosenTagsOf(std::string_view box);

// The picker's chosen tags are rebuilt from the box on every change of it.

// True when "," + tag + "," occurs in chosen (exact case).
bool tagChosen(std::string_view chosen, std::string_view tag);

// The box content after adding / removing tag.
std::string addTag(std::string_view box, std::string_view tag);
std::string removeTag(std::string_view box, std::string_view tag);

// The picker page for the blog's tags, chosen ones in class 'yes'. A
// `note` (GBK text) stands above them, in grey.
std::string tagsPage(const std::vector<std::string>& tags, std::string_view chosen, std::string_view note = {});

// The picker's note before the blog is logged in (GBK): "选择网站并登录后，
// 这里会列出博客已有的标签。".
const std::string& tagsBeforeLoginNote();

// A rectangle in screen pixels.
struct ScreenRect {
  int x = 0, y = 0, width = 0, height = 0;
  int right() const { return x + width; }    // one past the last column
  int bottom() const { return y + height; }  // one past the last row
  bool intersects(const ScreenRect& o) const {
    return x < o.right() && o.x < right() && y < o.bottom() && o.y < bottom();
  }
  bool operator==(const ScreenRect&) const = default;
};

// Where the picker window of `width` x `height` goes for the tags box `box`
// without covering `keepClear` (the alias box), in the main window `window`
// on `screen` (its free area): under the box, 2 pixels in from its left
// edge, when that leaves keepClear free; else beside the box on its right,
// top aligned with it, narrowed to the window (or, where less than
// kTagsWindowMinWidth fits in it, to the screen); else under keepClear, or
// above the box when there is no room below.
inline constexpr int kTagsWindowMinWidth = 160;
ScreenRect tagsWindowPlace(const ScreenRect& box, const ScreenRect& keepClear, const ScreenRect& window,
                           const ScreenRect& screen, int width, int height);

// The tag named by the address of a clicked tag link: the text after the
// first "#", form-decoded; empty when there is no "#".
std::string tagFromAddress(std::string_view address);

// The script that sets the class ("yes" or "no") of the tag's entry.
std::string tagClassScript(std::string_view tag, bool chosen);

// Escaping used by the page and the script, stepping over GBK characters.
std::string tagHtmlText(std::string_view text);
std::string tagScriptLiteral(std::string_view text);  // with its single quotes

}  // namespace inkpost
