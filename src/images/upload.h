// The upload of one local image into the blog's upload folder, through the
// engine's own multipart upload form. Texts are GBK byte strings; paths are
// GBK too and are opened through their UTF-8 form.
#pragma once

#include <string>
#include <string_view>

namespace inkpost {

// Names derived from a path for one upload.
struct UploadNames {
  std::string fileName;   // after the last "/" (the whole path without one)
  std::string extension;  // last "." of fileName and what follows, or empty
  std::string storeName;  // givenName, or fileName without its extension
  std::string mimeType;   // ".gif", ".jpg", ".jpeg", ".jpe" (exact case), else empty
};
UploadNames uploadNames(const std::string& path, const std::string& givenName, bool useGivenName);

// The fixed pieces of the request (GBK; the body carries them as UTF-8).
extern const char* const kUploadBoundary;      // 27 hyphens + "4827543632391"
extern const char* const kUploadQuery;         // "cmd.asp?act=FileUpload&reload=1&filename="
extern const char* const kUploadFolder;        // "upload/"
std::string uploadRequestHeaders();            // the header block, CRLF-separated
std::string uploadPartHeader(const std::string& fileName, const std::string& mimeType);
std::string uploadTrailer();
// Whole multipart body: UTF-8 part header + file bytes unchanged + UTF-8 trailer.
std::string uploadBody(const std::string& fileName, const std::string& mimeType, std::string_view fileBytes);
// Address of the upload request for these names.
std::string uploadUrl(const std::string& siteUrl, const UploadNames& names);

// Reads the server's answer (already GBK): the stored image address, or
// empty. The duplicate-file answer yields siteUrl + "upload/" + store name.
std::string uploadAnswerAddress(const std::string& answer, const std::string& siteUrl, const UploadNames& names);

// Reads a whole file given by its GBK path. False when it cannot be read.
bool readImageFile(const std::string& path, std::string& bytes);

// The time an upload may take, sending and waiting for the blog's answer
// together: a blog on shared hosting can take well over half a minute.
inline constexpr int kUploadBudgetSeconds = 120;

// Uploads the file at `path` to the blog at `siteUrl` (ends with "/") with
// the session cookie text `cookie` (sent as is; the answer's cookies are
// not kept). givenName is used only when useGivenName is set. Returns the
// public address of the stored image, empty on any failure, including a
// file that cannot be read (nothing is sent then). The blog's answer page
// (GBK) goes to *gbkAnswer when given, so a caller can tell an expired
// session from other refusals.
std::string UploadImageFile(const std::string& siteUrl, const std::string& cookie, const std::string& path,
                            const std::string& givenName, bool useGivenName, int timeoutSeconds = kUploadBudgetSeconds,
                            std::string* gbkAnswer = nullptr);

}  // namespace inkpost
