// The plain GET used to fetch an image from a web address.
#pragma once

#include <string>

namespace inkpost {

// Plain GET (no cookie), redirects followed, bounded time. Returns the body
// bytes of a 2xx answer; empty on any failure.
std::string fetchImage(const std::string& url, int timeoutSeconds = 20);

// The staging file for an image fetched from `address`: temp/img.gif when
// it ends with ".gif" exactly, temp/img.jpg otherwise (program directory,
// native path).
std::string stagingFileFor(const std::string& address);

}  // namespace inkpost
