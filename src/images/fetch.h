// The plain GET used to fetch an image from a web address.
#pragma once

#include "images/imagekind.h"

#include <string>

namespace inkpost {

// What the fetch of an image address came to.
enum class FetchOutcome {
  Image,         // a 2xx answer holding a GIF, JPEG, PNG, BMP or WebP image
  NotAnAddress,  // not an http:// or https:// address of a server
  HttpError,     // the server answered with a status that is not 2xx
  NotAnImage,    // a 2xx answer whose bytes are something else (a web page)
  NoAnswer,      // no (whole) answer: no such server, refused, timed out, ...
  TooLarge,      // an answer larger than any image the blog takes
};

struct FetchedImage {
  FetchOutcome outcome = FetchOutcome::NoAnswer;
  std::string bytes;  // Image: the image
  ImageKind kind = ImageKind::None;
  int status = 0;        // the last answer's status (HttpError: the error)
  bool webPage = false;  // NotAnImage: the answer is a web page (HTML)
  std::string reason;    // NoAnswer: why, in a few words (GBK)
  bool ok() const { return outcome == FetchOutcome::Image; }
};

// Plain GET (no cookie), redirects followed, bounded time, of the image at
// a web address, telling why nothing usable came. https certificates are
// verified (against trustedCertificates() when one is set).
FetchedImage fetchImageFrom(const std::string& address, int timeoutSeconds = 20);

// The notice for a fetch that failed (GBK): what happened and what to do,
// e.g. "上传失败：网站上找不到这张图片（HTTP 404）。请检查图片地址。".
std::string fetchFailureText(const FetchedImage& fetched);
// What happened alone, e.g. "网站上找不到这张图片（HTTP 404）" (GBK).
std::string fetchFailureReason(const FetchedImage& fetched);

// A file of the blog itself (an image in its upload folder), fetched through
// the request routine the uploads use, with the session cookie (its answer's
// cookies are not kept). The bytes of a 200 answer, at most kImageAnswerCap;
// *found is false for any other answer or none.
std::string fetchBlogFile(const std::string& url, const std::string& cookie, int timeoutSeconds, bool* found);

// The staging file for an image fetched from `address`: temp/img.gif when
// it ends with ".gif" exactly, temp/img.jpg otherwise (program directory,
// native path).
std::string stagingFileFor(const std::string& address);

}  // namespace inkpost
