// The upload of one local image into the blog's upload folder, through the
// engine's own multipart upload form. Protocol texts are GBK byte strings;
// file paths are native (UTF-8) from the drop, address or capture all the
// way to the file read.
#pragma once

#include "images/imagekind.h"
#include "net/http.h"

#include <string>
#include <string_view>
#include <vector>

namespace inkpost {

// The name the blog is asked to store the file under.
enum class StoreAs {
  OwnName,      // the file's own name (a name GBK cannot hold: the content name)
  GivenName,    // the name given by the caller
  ContentName,  // the content name (MD5 of the bytes), as 自动命名 does
};

// Names derived from a path for one upload.
struct UploadNames {
  std::string fileName;   // native (UTF-8): the file's own name, as the part header carries it
  std::string extension;  // GBK: last "." of the name and what follows, or empty
  std::string storeName;  // GBK: the store name without the extension
  std::string mimeType;   // ".gif", ".jpg", ".jpeg", ".jpe" (exact case), else empty
};
// `path` is native. `givenName` (GBK) counts for StoreAs::GivenName only;
// `bytes` (the file's content) only when a content name is needed.
UploadNames uploadNames(const std::string& path, StoreAs storeAs, const std::string& givenName = {},
                        std::string_view bytes = {});

// The GBK name with every character a blog on Windows reads as part of a
// path ("\\", "/", ":", ...) or refuses in a name replaced by "_";
// uploadNames passes every name through it.
std::string safeUploadName(std::string_view gbk);

// True when every character of the UTF-8 text has a GBK form.
bool gbkHolds(std::string_view utf8);
// The GBK form of a UTF-8 text with each character GBK cannot hold (and
// each malformed byte) replaced by `replacement`.
std::string gbkReplacing(std::string_view utf8, char replacement = '_');

// The fixed pieces of the request (GBK; the body carries them as UTF-8).
extern const char* const kUploadBoundary;  // 27 hyphens + "4827543632391"
extern const char* const kUploadQuery;     // "cmd.asp?act=FileUpload&reload=1&filename="
extern const char* const kUploadFolder;    // "upload/"
std::string uploadRequestHeaders();        // the header block, CRLF-separated
// Part header with the file name and type filled in (both as given).
std::string uploadPartHeader(const std::string& fileName, const std::string& mimeType);
std::string uploadTrailer();
// Whole multipart body: part header (name native UTF-8) + file bytes
// unchanged + UTF-8 trailer.
std::string uploadBody(const std::string& utf8FileName, const std::string& mimeType, std::string_view fileBytes);
// The store name as it goes into the query: the bytes that mean something
// in a request line or a query (blank, "#", "%", "&", "+", control bytes)
// as "%XX"; every other byte, GBK ones included, raw.
std::string uploadQueryName(std::string_view gbkName);
// Address of the upload request for these names.
std::string uploadUrl(const std::string& siteUrl, const UploadNames& names);

// Reads the server's answer (already GBK): the stored image address, or
// empty. The duplicate-file answer yields siteUrl + "upload/" + store name
// (written as an address: bytes an address cannot hold as "%XX"), the
// address of the file already there.
std::string uploadAnswerAddress(const std::string& answer, const std::string& siteUrl, const UploadNames& names);
// The blog's answer that a file of that name is already in its upload
// folder ("文件已存在，请先删除"); it keeps the old file.
bool isDuplicateAnswer(const std::string& answer);
// The store name of the n-th try (n from 2) after the name was taken:
// "photo1" gives "photo1-2", "photo1-3", ...
std::string nextFreeName(const std::string& storeName, int n);
// Names tried after the first before an upload gives up.
inline constexpr int kSameNameTries = 20;
// The blog's own words after "错误原因:" in a refusal, or empty.
std::string uploadRefusalReason(const std::string& answer);

// Reads a whole regular file given by its native path. False when it
// cannot be read.
[[nodiscard]] bool readImageFile(const std::string& path, std::string& bytes);

// The time an upload may take, sending and waiting for the blog's answer
// together: a blog on shared hosting can take well over half a minute.
inline constexpr int kUploadBudgetSeconds = 120;

enum class UploadOutcome { Uploaded, NoSite, Unreadable, NotAnImage, Refused, Network };

// What happened when the blog already held a file of the name asked for.
enum class SameName {
  None,     // the name was free
  Reused,   // a file with the very same bytes was there: its address is used
  Renamed,  // another picture was there: this one went up under names.storeName (…-2, -3, …)
};

struct UploadResult {
  UploadOutcome outcome = UploadOutcome::Network;
  std::string address;  // GBK; set when Uploaded
  std::string reason;   // GBK; the blog's words when Refused (may be empty)
  UploadNames names;    // the names the file is stored under on the blog
  SameName sameName = SameName::None;
  std::string takenName;  // GBK: the name asked for first (store name + extension) when not None
  ExchangeFate fate;      // Network: whether the file can have reached the blog, and why not
  ImageKind kind = ImageKind::None;
  int width = 0, height = 0;  // measured from the bytes sent (0 when unknown)
  std::string page;           // GBK; the blog's answer page, so an expired session shows
  bool ok() const { return outcome == UploadOutcome::Uploaded; }
};

// Uploads the image at `path` (native) to the blog at `siteUrl` (ends with
// "/") with the session cookie text `cookie` (sent as is; the answer's
// cookies are not kept). Nothing is sent for a file that cannot be read or
// does not hold a GIF, JPEG, PNG, BMP or WebP image. When the blog already
// holds a file of that name, that file is fetched: the same bytes are
// reused (SameName::Reused); another picture makes this one go up under the
// next free name, "photo1-2.jpg", "photo1-3.jpg", ... (SameName::Renamed;
// a taken name holding the same bytes is reused too), so the address given
// always shows the user's own picture.
[[nodiscard]] UploadResult uploadImage(const std::string& siteUrl, const std::string& cookie, const std::string& path,
                                       StoreAs storeAs, const std::string& givenName = {},
                                       int timeoutSeconds = kUploadBudgetSeconds);

// The same, giving only the address (empty on any failure).
std::string UploadImageFile(const std::string& siteUrl, const std::string& cookie, const std::string& path,
                            const std::string& givenName, bool useGivenName, int timeoutSeconds = kUploadBudgetSeconds);

// Why an upload failed, in a few words (GBK): "不是图片", "无法读取",
// "博客拒绝" (with the blog's words), "网络不通" (sent, no answer),
// "无法连接到博客（<notSentReason>）" (nothing sent), "未选择网站".
std::string uploadFailureText(const UploadResult& result);

// What a successful upload found under its name (GBK), empty for
// SameName::None: "博客上已有同样的图片，直接使用了它" or
// "博客上已有另一张同名图片，这张改名为 photo1-2.jpg 上传".
std::string sameNameNote(const UploadResult& result);

// One file of a batch (a drop of several files) and how it went.
struct UploadReport {
  std::string name;  // GBK display name of the file
  UploadResult result;
};
// The one notice after a batch (GBK): how many were uploaded, then one line
// per failure naming the file and the reason, then one line per upload that
// reused or renamed (the file's name and its sameNameNote).
std::string uploadSummary(const std::vector<UploadReport>& reports);
// How long that notice stays: longer for each line to read.
double uploadSummarySeconds(const std::vector<UploadReport>& reports);

}  // namespace inkpost
