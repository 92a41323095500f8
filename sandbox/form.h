// Url-encoded form text as the sandbox's hosts read it.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace inkpost::sandbox {

using Fields = std::vector<std::pair<std::string, std::string>>;

// The value of one hex digit, -1 for any other character.
int hexValue(char c);

// Form decoding: "%XX" to the byte, "+" to a blank; a stray "%" stays.
std::string formDecode(const std::string& text);

// The fields of an url-encoded form, in order, names and values decoded;
// empty pieces ("a=1&&b=2") are skipped.
Fields parseForm(const std::string& body);

// The value of the first field called `name`, empty when there is none.
std::string fieldOf(const Fields& fields, const std::string& name);

// Text for HTML: & < > " as references, every other byte as it is.
std::string htmlEscape(const std::string& s);

}  // namespace inkpost::sandbox
