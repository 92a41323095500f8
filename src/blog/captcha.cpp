#include "blog/captcha.h"

#include "blog/captcha_model.h"
#include "common/privatefile.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <sstream>

namespace inkpost {
namespace {

constexpr const char* kFormatTag = "inkpost-cds 2";

// A captcha is a few kilobytes; anything far larger is not one.
constexpr size_t kMaxImageBytes = 2 << 20;

// One loaded data file. Never changed after loading, so reads need no lock.
struct Reader {
  CaptchaSettings settings;
  LineModel model;
};

std::mutex gReadersMu;
std::map<std::int32_t, std::unique_ptr<Reader>>& readers() {
  static std::map<std::int32_t, std::unique_ptr<Reader>> r;
  return r;
}

const Reader* readerOf(std::int32_t handle) {
  std::lock_guard<std::mutex> lock(gReadersMu);
  auto it = readers().find(handle);
  return it == readers().end() ? nullptr : it->second.get();
}

int intValue(const std::string& v, int fallback) {
  char* end = nullptr;
  long n = std::strtol(v.c_str(), &end, 10);
  return end != v.c_str() && *end == '\0' && n >= 0 && n < 100000 ? static_cast<int>(n) : fallback;
}

}  // namespace

bool parseCaptchaSettings(const std::string& block, CaptchaSettings& out) {
  std::string text = block.substr(0, block.find('\0'));
  std::istringstream in(text);
  std::string line;
  if (!std::getline(in, line) || line.substr(0, line.find_last_not_of("\r ") + 1) != kFormatTag) return false;
  CaptchaSettings s;
  GlyphCleaning& c = s.cleaning;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    std::string key = line.substr(0, eq), value = line.substr(eq + 1);
    if (key == "length")
      s.length = std::clamp(intValue(value, s.length), 1, 31);
    else if (key == "reads")
      s.reads = std::clamp(intValue(value, s.reads), 1, 100);
    else if (key == "sure")
      s.sure = std::clamp(intValue(value, s.sure), 0, 100);
    else if (key == "timeout")
      s.timeout = std::clamp(intValue(value, s.timeout), 1, 60);
    else if (key == "max_side")
      s.maxSide = std::clamp(intValue(value, s.maxSide), 1, 4000);
    else if (key == "dark")
      c.dark = std::clamp(intValue(value, c.dark), 0, 256);
    else if (key == "like")
      c.like = std::clamp(intValue(value, c.like), 0, 255);
    else if (key == "neighbours")
      c.neighbours = std::clamp(intValue(value, c.neighbours), 0, 8);
    else if (key == "min_height")
      c.minHeight = intValue(value, c.minHeight);
    else if (key == "min_pixels")
      c.minPixels = intValue(value, c.minPixels);
  }
  out = s;
  return true;
}

const std::string& captchaDataBlock() {
  static const std::string block = std::string(
                                       "inkpost-cds 2\n"
                                       "# Login captcha: five digits. Model trained by tools/captcha-train.\n"
                                       "length=5\n"
                                       "reads=6\n"
                                       "sure=90\n"
                                       "timeout=5\n"
                                       "max_side=1000\n"
                                       "dark=160\n"
                                       "like=64\n"
                                       "neighbours=2\n"
                                       "min_height=9\n"
                                       "min_pixels=12\n") +
                                   '\0' + captchaModelBytes();
  return block;
}

const std::string& captchaFillerBlock() {
  static const std::string block(captchaDataBlock().size(), '\0');
  return block;
}

std::int32_t LoadCdsFromFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return 0;
  std::string block((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  auto r = std::make_unique<Reader>();
  if (!parseCaptchaSettings(block, r->settings)) return 0;
  const size_t nul = block.find('\0');
  if (nul == std::string::npos || !r->model.parse(block.substr(nul + 1)) || !r->model.usable()) return 0;
  std::lock_guard<std::mutex> lock(gReadersMu);
  static std::int32_t next = 0;
  std::int32_t handle = ++next;
  readers()[handle] = std::move(r);
  return handle;
}

CaptchaSettings captchaSettings(std::int32_t handle) {
  const Reader* r = readerOf(handle);
  return r ? r->settings : CaptchaSettings{};
}

std::string readCaptchaImage(std::int32_t handle, const std::string& imageBytes, float* confidence) {
  if (confidence) *confidence = 0;
  const Reader* r = readerOf(handle);
  if (!r || imageBytes.empty() || imageBytes.size() > kMaxImageBytes) return {};
  RgbImage image;
  if (!decodeCaptchaImage(imageBytes, image, r->settings.maxSide)) return {};
  CaptchaRead read = readCaptchaPicture(r->model, image, r->settings.cleaning);
  if (confidence && !read.code.empty()) *confidence = read.confidence;
  return std::move(read.code);
}

bool warmUpCaptchaReader(std::int32_t handle) { return readerOf(handle) != nullptr; }

std::int32_t& CaptchaDataHandle() {
  static std::int32_t handle = 0;
  return handle;
}

void loadCaptchaData(const std::string& dir) {
  const std::string path = dir + "/" + kCaptchaDataFile;
  // A scratch file of our own: whatever stood at the path (a link included)
  // goes, and the new file is made private, never written through a link.
  // It lives for the load only, so it is not flushed to disk; the filler
  // then goes over the same file before it is deleted.
  ::unlink(path.c_str());
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  const bool written = fd >= 0 && writeAll(fd, captchaDataBlock());
  CaptchaDataHandle() = written ? LoadCdsFromFile(path) : 0;
  if (fd >= 0) {
    if (::lseek(fd, 0, SEEK_SET) == 0) (void)writeAll(fd, captchaFillerBlock());
    ::close(fd);
  }
  ::unlink(path.c_str());
}

}  // namespace inkpost
