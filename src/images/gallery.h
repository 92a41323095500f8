// The gallery of uploaded images: the entries of the image panel's list and
// the HTML page that shows them. An entry is one GBK text: the image address,
// "[", the pixel width, "|", the pixel height (no closing bracket).
#pragma once

#include <string>
#include <vector>

namespace inkpost {

using GalleryEntry = std::string;

GalleryEntry makeGalleryEntry(const std::string& address, int width, int height);

struct GalleryItem {
  std::string address;
  int width = 0;
  int height = 0;
};
GalleryItem parseGalleryEntry(const GalleryEntry& entry);

// Appends the entry of a fresh upload to `gallery`, measuring the file at
// `path` again. An unreadable or undecodable file gives width and height 0.
void RecordUpload(std::vector<GalleryEntry>& gallery, const std::string& address, const std::string& path);

// The gallery page text (GBK) for these entries.
std::string galleryPageText(const std::vector<GalleryEntry>& entries);

// The element appended to the article body when an image is inserted.
std::string galleryInsertElement(const std::string& address);

// Where the page is written: programPath("temp/index.html").
std::string galleryPagePath();
// Writes galleryPageText(entries) there; false when the write fails.
[[nodiscard]] bool writeGalleryPage(const std::vector<GalleryEntry>& entries);

// What a navigation of the gallery viewer asks for.
struct GalleryLink {
  enum Kind { Allow, Copy, Insert, Cancel } kind = Cancel;
  std::string address;  // for Copy and Insert: the text up to the next "]"
};
// `target` is the address the viewer is about to open (GBK, fragment raw);
// pagePath is the gallery page's full path (or its file URL).
GalleryLink classifyGalleryNavigation(const std::string& target, const std::string& pagePath);

}  // namespace inkpost
