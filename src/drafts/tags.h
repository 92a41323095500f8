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

// The chosen tags of the session (blogSession().chosenTags) are rebuilt
// from the box on every change of it.

// True when "," + tag + "," occurs in chosen (exact case).
bool tagChosen(std::string_view chosen, std::string_view tag);

// The box content after adding / removing tag.
std::string addTag(std::string_view box, std::string_view tag);
std::string removeTag(std::string_view box, std::string_view tag);

// The picker page for the blog's tags, chosen ones in class 'yes'.
std::string tagsPage(const std::vector<std::string>& tags, std::string_view chosen);

// The tag named by the address of a clicked tag link: the text after the
// first "#", form-decoded; empty when there is no "#".
std::string tagFromAddress(std::string_view address);

// The script that sets the class ("yes" or "no") of the tag's entry.
std::string tagClassScript(std::string_view tag, bool chosen);

// Escaping used by the page and the script, stepping over GBK characters.
std::string tagHtmlText(std::string_view text);
std::string tagScriptLiteral(std::string_view text);  // with its single quotes

}  // namespace inkpost
