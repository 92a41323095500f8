#include "blog/publishrecord.h"

#include "common/privatefile.h"
#include "common/programdir.h"
#include "net/encoding.h"
#include "net/gbktext.h"
#include "sites/siteaddress.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <map>
#include <memory>
#include <mutex>

namespace inkpost {
namespace {

constexpr char kVersion[] = "1";
constexpr int kFields = 10;  // version ... reason, check
// The most of a file that is read: the newest part of anything larger.
constexpr size_t kReadCap = 64u << 20;

constexpr std::array<const char*, 5> kStepWords = {"login", "editpage", "images", "post", "done"};
constexpr std::array<const char*, 4> kOutcomeWords = {"ok", "failed", "unclear", "cancelled"};

// ---- One lock and one line count per file ------------------------------------

struct FileState {
  std::mutex mutex;
  long lines = -1;  // lines in the file; -1 until first counted
};

std::shared_ptr<FileState> stateOf(const std::string& path) {
  static std::mutex registry;
  static std::map<std::string, std::shared_ptr<FileState>> states;
  std::lock_guard<std::mutex> lock(registry);
  auto& s = states[path];
  if (!s) s = std::make_shared<FileState>();
  return s;
}

// ---- Texts on one line ---------------------------------------------------------

// Byte by byte: a GBK trail byte may be a backslash (0x5C) and is escaped
// like one, and unescaping gives the same bytes back; tab, CR and LF are
// never part of a two-byte character.
void appendEscaped(std::string& out, std::string_view text) {
  static const char hex[] = "0123456789abcdef";
  for (const char c : text) {
    const auto u = static_cast<unsigned char>(c);
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      default:
        if (u < 0x20 || u == 0x7F) {
          out += "\\x";
          out += hex[u >> 4];
          out += hex[u & 15];
        } else {
          out += c;
        }
    }
  }
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::optional<std::string> unescaped(std::string_view field) {
  std::string out;
  out.reserve(field.size());
  for (size_t i = 0; i < field.size(); ++i) {
    const char c = field[i];
    if (c != '\\') {
      if (static_cast<unsigned char>(c) < 0x20) return std::nullopt;  // never written raw
      out += c;
      continue;
    }
    if (++i >= field.size()) return std::nullopt;
    switch (field[i]) {
      case '\\':
        out += '\\';
        break;
      case 't':
        out += '\t';
        break;
      case 'n':
        out += '\n';
        break;
      case 'r':
        out += '\r';
        break;
      case 'x': {
        if (i + 2 >= field.size()) return std::nullopt;
        const int hi = hexDigit(field[i + 1]), lo = hexDigit(field[i + 2]);
        if (hi < 0 || lo < 0) return std::nullopt;
        out += static_cast<char>(hi * 16 + lo);
        i += 2;
        break;
      }
      default:
        return std::nullopt;
    }
  }
  return out;
}

uint32_t fnv1a(std::string_view bytes) {
  uint32_t h = 2166136261u;
  for (const char c : bytes) {
    h ^= static_cast<unsigned char>(c);
    h *= 16777619u;
  }
  return h;
}

std::string hex8(uint32_t v) {
  static const char hex[] = "0123456789abcdef";
  std::string out(8, '0');
  for (int i = 7; i >= 0; --i, v >>= 4) out[i] = hex[v & 15];
  return out;
}

template <typename Int>
bool parseInt(std::string_view text, Int& value) {
  if (text.empty()) return false;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  return ec == std::errc() && end == text.data() + text.size();
}

template <size_t N>
int wordIndex(const std::array<const char*, N>& words, std::string_view word) {
  for (size_t i = 0; i < N; ++i)
    if (word == words[i]) return static_cast<int>(i);
  return -1;
}

// The text cut to `cap` bytes, never inside a two-byte character.
std::string capped(const std::string& text, size_t cap) {
  if (text.size() <= cap) return text;
  size_t end = 0;
  while (end < text.size()) {
    const size_t len = gbkCharLength(text, end);
    if (end + len > cap) break;
    end += len;
  }
  return text.substr(0, end);
}

std::int64_t nowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
      .count();
}

// ---- The file ------------------------------------------------------------------

// The file's bytes, or its newest kReadCap bytes from a line start on.
// Missing: empty, no error.
std::string readTail(const std::string& path, std::string& error) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
  if (fd < 0) {
    if (errno != ENOENT) error = fileErrorText(errno);
    return {};
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    error = fileErrorText(EINVAL);
    return {};
  }
  const off_t size = st.st_size;
  const off_t from = size > static_cast<off_t>(kReadCap) ? size - static_cast<off_t>(kReadCap) : 0;
  std::string bytes(static_cast<size_t>(size - from), '\0');
  size_t got = 0;
  while (got < bytes.size()) {
    const ssize_t n = ::pread(fd, bytes.data() + got, bytes.size() - got, from + static_cast<off_t>(got));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      error = fileErrorText(errno);
      ::close(fd);
      return {};
    }
    if (n == 0) break;
    got += static_cast<size_t>(n);
  }
  ::close(fd);
  bytes.resize(got);
  if (from > 0) {
    const size_t lf = bytes.find('\n');
    bytes.erase(0, lf == std::string::npos ? bytes.size() : lf + 1);
  }
  return bytes;
}

template <typename Fn>
void forEachLine(std::string_view bytes, Fn fn) {
  size_t start = 0;
  while (start < bytes.size()) {
    size_t end = bytes.find('\n', start);
    if (end == std::string_view::npos) end = bytes.size();
    if (end > start) fn(bytes.substr(start, end - start));
    start = end + 1;
  }
}

// Keeps the newest `keep` readable lines (called with the file's lock held).
bool compact(const std::string& path, size_t keep, long& lines, std::string* error) {
  std::string readError;
  const std::string bytes = readTail(path, readError);
  if (!readError.empty()) {
    if (error) *error = readError;
    return false;
  }
  std::vector<std::string_view> good;
  forEachLine(bytes, [&](std::string_view line) {
    if (parsePublishRecordLine(line)) good.push_back(line);
  });
  const size_t first = good.size() > keep ? good.size() - keep : 0;
  std::string out;
  for (size_t i = first; i < good.size(); ++i) {
    out.append(good[i]);
    out += '\n';
  }
  if (!writePrivateFile(path, out, error)) return false;
  lines = static_cast<long>(good.size() - first);
  return true;
}

}  // namespace

std::string publishStepText(PublishStep step) {
  switch (step) {
    case PublishStep::Login:
      return fromUtf8("登录");
    case PublishStep::EditPage:
      return fromUtf8("读取编辑页");
    case PublishStep::Images:
      return fromUtf8("上传图片");
    case PublishStep::Post:
      return fromUtf8("发布");
    case PublishStep::Done:
      return fromUtf8("完成");
  }
  return {};
}

std::string publishOutcomeText(PublishOutcome outcome) {
  switch (outcome) {
    case PublishOutcome::Succeeded:
      return fromUtf8("成功");
    case PublishOutcome::Failed:
      return fromUtf8("失败");
    case PublishOutcome::Unclear:
      return fromUtf8("结果不明");
    case PublishOutcome::Cancelled:
      return fromUtf8("已取消");
  }
  return {};
}

std::string publishRecordLine(const PublishAttempt& a) {
  std::string line = kVersion;
  line += '\t';
  line += std::to_string(a.timeMs);
  line += '\t';
  line += std::to_string(a.siteId);
  line += '\t';
  line += kStepWords[static_cast<size_t>(a.step)];
  line += '\t';
  line += kOutcomeWords[static_cast<size_t>(a.outcome)];
  for (const std::string* text : {&a.siteName, &a.siteAddress, &a.title, &a.reason}) {
    line += '\t';
    appendEscaped(line, *text);
  }
  const std::string check = hex8(fnv1a(line));
  line += '\t';
  line += check;
  return line;
}

std::optional<PublishAttempt> parsePublishRecordLine(std::string_view line) {
  std::array<std::string_view, kFields> f;
  size_t n = 0, start = 0;
  for (;;) {
    const size_t tab = line.find('\t', start);
    if (n == kFields) return std::nullopt;  // one field too many
    f[n++] = line.substr(start, tab == std::string_view::npos ? std::string_view::npos : tab - start);
    if (tab == std::string_view::npos) break;
    start = tab + 1;
  }
  if (n != kFields || f[0] != kVersion) return std::nullopt;
  const std::string_view checked = line.substr(0, line.size() - f[kFields - 1].size() - 1);
  if (f[kFields - 1] != hex8(fnv1a(checked))) return std::nullopt;
  PublishAttempt a;
  const int step = wordIndex(kStepWords, f[3]);
  const int outcome = wordIndex(kOutcomeWords, f[4]);
  if (!parseInt(f[1], a.timeMs) || !parseInt(f[2], a.siteId) || step < 0 || outcome < 0) return std::nullopt;
  a.step = static_cast<PublishStep>(step);
  a.outcome = static_cast<PublishOutcome>(outcome);
  std::string* texts[] = {&a.siteName, &a.siteAddress, &a.title, &a.reason};
  for (size_t i = 0; i < 4; ++i) {
    std::optional<std::string> t = unescaped(f[5 + i]);
    if (!t) return std::nullopt;
    *texts[i] = std::move(*t);
  }
  return a;
}

bool passesFilter(const PublishRecordFilter& filter, const PublishAttempt& attempt) {
  if (filter.outcome && attempt.outcome != *filter.outcome) return false;
  return !filter.siteAddress || sameSiteAddress(attempt.siteAddress, *filter.siteAddress);
}

std::string PublishRecord::defaultPath() { return programPath("publish-record.txt"); }

PublishRecord::PublishRecord(std::string path, size_t keep) : path_(std::move(path)), keep_(keep ? keep : 1) {}

bool PublishRecord::append(const PublishAttempt& attempt, std::string* error) const {
  PublishAttempt a = attempt;
  if (a.timeMs == 0) a.timeMs = nowMs();
  a.siteName = capped(a.siteName, kRecordNameCap);
  a.siteAddress = capped(a.siteAddress, kRecordAddressCap);
  a.title = capped(a.title, kRecordTitleCap);
  a.reason = capped(a.reason, kRecordReasonCap);
  const std::string line = publishRecordLine(a) + '\n';

  const std::shared_ptr<FileState> state = stateOf(path_);
  std::lock_guard<std::mutex> lock(state->mutex);
  if (state->lines < 0) {
    std::string ignored;
    long count = 0;
    forEachLine(readTail(path_, ignored), [&](std::string_view) { ++count; });
    state->lines = count;
  }
  if (!appendPrivateFile(path_, line, '\n', error)) return false;
  ++state->lines;
  const long limit = static_cast<long>(keep_ + keep_ / 10);
  // A failed compaction keeps every record; the next append tries again.
  if (state->lines > limit) compact(path_, keep_, state->lines, nullptr);
  return true;
}

PublishRecordRead PublishRecord::read(const PublishRecordFilter& filter) const {
  PublishRecordRead out;
  std::string bytes;
  {
    const std::shared_ptr<FileState> state = stateOf(path_);
    std::lock_guard<std::mutex> lock(state->mutex);
    bytes = readTail(path_, out.error);
  }
  forEachLine(bytes, [&](std::string_view line) {
    std::optional<PublishAttempt> a = parsePublishRecordLine(line);
    if (!a)
      ++out.damaged;
    else if (passesFilter(filter, *a))
      out.attempts.push_back(std::move(*a));
  });
  std::reverse(out.attempts.begin(), out.attempts.end());
  return out;
}

bool recordPublishAttempt(const PublishAttempt& attempt, std::string* error) {
  return PublishRecord().append(attempt, error);
}

}  // namespace inkpost
