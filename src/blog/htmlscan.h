// A tolerant reader of the blog's admin pages (GBK HTML): their tags and
// attributes in order, the raw text of elements such as <textarea>, and
// character references decoded to GBK. It never fails: broken markup reads
// as a browser would roughly read it, and every step moves forward, so a
// page costs time linear in its length.
//
// Only ASCII bytes below 0x40 ("<", ">", "&", "=", quotes, blanks) steer the
// reading; none of them can be the second byte of a GBK character, so a
// two-byte character is never cut.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace inkpost::html {

struct Tag {
  std::string_view name;        // as written, e.g. "A" or "textarea"
  bool closing = false;         // "</name ...>"
  std::string_view attributes;  // the text after the name, up to the closing ">"
  size_t begin = 0;             // offset of "<"
  size_t end = 0;               // offset just past ">" (the page's end when there is none)

  // The name compared with a lower-case ASCII name, case ignored.
  bool is(std::string_view lowerName) const;
  // The value of an attribute as written (quotes removed, references not
  // decoded); nothing when the tag does not carry it. A bare attribute
  // ("selected", "checked") gives an empty value.
  std::optional<std::string_view> attribute(std::string_view lowerName) const;
};

// Walks the tags of a page. Comments, declarations and a "<" that opens no
// tag are passed over; the contents of script, style, title and textarea
// elements are text, never tags.
class TagScanner {
 public:
  explicit TagScanner(std::string_view page) : page_(page) {}
  // The next tag; false at the end of the page.
  bool next(Tag& tag);
  // The raw contents of the script, style, title or textarea element that
  // the tag last returned opened (up to its closing tag); empty for any
  // other tag.
  std::string_view rawText() const { return raw_; }

 private:
  std::string_view page_;
  size_t pos_ = 0;
  std::string_view raw_;
};

// Character references decoded: the named ones of the engine's pages
// (&amp; &lt; &gt; &quot; &apos; &nbsp; and the common typographic ones) and
// numeric ones (&#N; &#xH;). A character GBK holds becomes its GBK bytes;
// one it cannot hold is written as the decimal reference "&#N;", so text
// that holds such references comes back unchanged. An unknown or broken
// reference stays as written.
std::string decodeReferences(std::string_view gbk);

// The text a reader sees in a piece of HTML: tags removed, references
// decoded, runs of blanks as one blank, trimmed.
std::string visibleText(std::string_view gbkHtml);

// Runs of blanks (space, tab, line breaks) as one blank, none at the ends.
std::string collapseBlanks(std::string_view gbk);

// Appends a code point: its GBK bytes, or "&#N;" when GBK cannot hold it.
void appendCodePoint(std::string& out, uint32_t codePoint);

}  // namespace inkpost::html
