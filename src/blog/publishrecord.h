// The publish record: every publish attempt, to one site or to many, kept in
// the data folder across restarts, so the author can see later which blog
// got which article and why one did not.
//
// The file (publish-record.txt) holds one attempt a line, oldest first:
//   1 TAB time TAB site id TAB step TAB outcome TAB site name TAB address
//     TAB title TAB reason TAB check LF
// time in milliseconds since 1970 (UTC), step and outcome as ASCII words,
// texts as GBK bytes with backslash, tab, CR, LF and the other control bytes
// written as \\ \t \r \n \xHH (so any title fits on its line), and check the
// FNV-1a hash (8 hex digits) of everything before its tab. A line that does
// not parse or whose check fails (a write cut short, a damaged disk) is
// skipped and counted; the rest reads as before. The file is private (0600).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace inkpost {

// How far an attempt got.
enum class PublishStep { Login, EditPage, Images, Post, Done };
// How it ended.
enum class PublishOutcome { Succeeded, Failed, Unclear, Cancelled };

// "登录", "读取编辑页", "上传图片", "发布", "完成" (GBK).
std::string publishStepText(PublishStep step);
// "成功", "失败", "结果不明", "已取消" (GBK).
std::string publishOutcomeText(PublishOutcome outcome);

struct PublishAttempt {
  std::int64_t timeMs = 0;  // when it ended, ms since 1970 UTC; 0 when appended: now
  int siteId = 0;           // the site's row ID in the store
  std::string siteName;     // GBK, as the store names the site
  std::string siteAddress;  // GBK, the blog's address
  std::string title;        // GBK, the article's title
  PublishStep step = PublishStep::Login;
  PublishOutcome outcome = PublishOutcome::Failed;
  std::string reason;  // GBK, what the user is told ("无法连接到博客", …); may be empty

  bool operator==(const PublishAttempt&) const = default;
};

// Longest texts kept (bytes, cut on a character boundary).
inline constexpr size_t kRecordNameCap = 200;
inline constexpr size_t kRecordAddressCap = 1000;
inline constexpr size_t kRecordTitleCap = 1000;
inline constexpr size_t kRecordReasonCap = 2000;
// Attempts kept: the oldest go once the file holds a tenth more.
inline constexpr size_t kPublishRecordKeep = 10000;

struct PublishRecordFilter {
  std::optional<std::string> siteAddress;  // the same site (host compared without case)
  std::optional<PublishOutcome> outcome;
};

// The attempt passes the filter.
bool passesFilter(const PublishRecordFilter& filter, const PublishAttempt& attempt);

struct PublishRecordRead {
  std::vector<PublishAttempt> attempts;  // newest first
  size_t damaged = 0;                    // lines skipped as unreadable
  std::string error;                     // GBK: the file cannot be read (a missing file is no error)
};

// One record file. Objects are cheap; every object on the same path shares
// one lock, so appends from any number of threads lose nothing and never
// interleave.
class PublishRecord {
 public:
  // <data folder>/publish-record.txt
  static std::string defaultPath();

  explicit PublishRecord(std::string path = defaultPath(), size_t keep = kPublishRecordKeep);

  // Adds one attempt at the end (texts cut to their caps, a time of 0 made
  // now). False with `error` (GBK) when the file cannot be written.
  bool append(const PublishAttempt& attempt, std::string* error = nullptr) const;

  // The attempts that pass the filter, newest first.
  PublishRecordRead read(const PublishRecordFilter& filter = {}) const;

  const std::string& path() const { return path_; }

 private:
  std::string path_;
  size_t keep_;
};

// Appends to the record in the data folder: what the publish handlers call.
bool recordPublishAttempt(const PublishAttempt& attempt, std::string* error = nullptr);

// ---- The line format, for tests and the fuzzer ------------------------------

std::string publishRecordLine(const PublishAttempt& attempt);
// The attempt of one line (without its LF); nothing when it is damaged.
std::optional<PublishAttempt> parsePublishRecordLine(std::string_view line);

}  // namespace inkpost
