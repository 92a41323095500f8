// What the pages the client shows (the editor page, the Tags page, the
// gallery) may load: the blog's own addresses and the client's own files,
// nothing else. Addresses are in the encoded form a browser requests.
#pragma once

#include <string>
#include <vector>

namespace inkpost {

// "scheme://host[:port]" of an http or https address, scheme and host in
// lower case, the default port left out; empty for any other address.
std::string addressOrigin(const std::string& url);

struct PageAccess {
  std::vector<std::string> origins;  // allowed origins (addressOrigin form)
  std::string ownFolder;             // native folder whose files may load ("" for none), ends with "/"
  bool remoteImages = false;         // images from any http(s) address too (the gallery)
};

enum class PageResource { Page, Frame, Image, Other };

// True when a page under `access` may load `url` as `kind`: data: and
// blob: addresses, files inside ownFolder, http(s) addresses of an allowed
// origin (or any image when remoteImages). A frame inside a page (an
// <iframe> in an article, say) loads nothing from anywhere: a blog's page
// never runs its script inside the client's pages.
bool pageMayLoad(const PageAccess& access, const std::string& url, PageResource kind);

}  // namespace inkpost
