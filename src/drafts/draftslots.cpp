#include "drafts/draftslots.h"

#include "drafts/profile.h"
#include "net/encoding.h"
#include "net/formcode.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <iterator>

namespace inkpost {
namespace {

// Names inside the settings file are GBK; the source spells them in UTF-8.
struct Names {
  std::string section = fromUtf8("临时保存");
  std::string title = fromUtf8("标题内容");
  std::string category = fromUtf8("分类");
  std::string tags = fromUtf8("tags变量");
  std::string author = fromUtf8("用户");
  std::string alias = fromUtf8("别名");
  std::string type = fromUtf8("类型");
  std::string year = fromUtf8("日期年");
  std::string month = fromUtf8("日期月");
  std::string day = fromUtf8("日期日");
  std::string time = fromUtf8("日期时间");
  std::string sticky = fromUtf8("是否置顶");
  std::string autoName = fromUtf8("是否命名");
  std::string autoAlias = fromUtf8("是否别名");
  std::string gallery = fromUtf8("图片数据");
  std::string separator = fromUtf8("<分>");
};

const Names& names() {
  static const Names n;
  return n;
}

bool exists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}

bool isDirectory(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Flushes a file to the disk; errors are ignored, a failed flush only
// weakens the guarantee against a power cut. Both files of a slot reach the
// disk before the renames that put them in place; the folder itself is not
// flushed, so a power cut right after a save may bring back the slot as it
// was before that save, but never half of it.
void flush(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

bool writeBytes(const std::string& path, const std::string& bytes, bool sync) {
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  const char* p = bytes.data();
  size_t left = bytes.size();
  while (left > 0) {
    ssize_t n = ::write(fd, p, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ::close(fd);
      return false;
    }
    p += n;
    left -= static_cast<size_t>(n);
  }
  bool ok = !sync || ::fdatasync(fd) == 0;
  return ::close(fd) == 0 && ok;
}

std::string readBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

const char* flag(bool on) { return on ? "1" : "0"; }

std::vector<std::string> allSlots() {
  std::vector<std::string> slots{"now"};
  for (int k = 1; k <= DraftStore::kRingSize; ++k) slots.push_back(std::to_string(k));
  return slots;
}

}  // namespace

std::string joinGallery(const std::vector<std::string>& entries) {
  std::string out;
  for (const std::string& e : entries) out += e + names().separator;
  return out;
}

std::vector<std::string> splitGallery(const std::string& value) {
  // The separator begins with "<", which is never the second byte of a GBK
  // character, so a plain byte search cannot match inside one.
  const std::string& sep = names().separator;
  std::vector<std::string> pieces;
  size_t start = 0;
  while (start < value.size()) {
    size_t at = value.find(sep, start);
    if (at == std::string::npos) {
      pieces.push_back(value.substr(start));
      break;
    }
    pieces.push_back(value.substr(start, at - start));
    start = at + sep.size();
  }
  return pieces;
}

long storedInteger(const std::string& value) {
  errno = 0;
  long v = std::strtol(value.c_str(), nullptr, 10);
  return errno == 0 ? v : 0;
}

std::string slotNameFor(int slotData) {
  if (slotData == 0) return "now";
  if (slotData >= 1 && slotData <= DraftStore::kRingSize) return std::to_string(slotData);
  return {};
}

DraftStore::DraftStore(std::string folder) : folder_(std::move(folder)) {}

std::string DraftStore::settingsPath(const std::string& slot) const { return folder_ + "/" + slot + ".ini"; }

std::string DraftStore::bodyPath(const std::string& slot) const { return folder_ + "/" + slot + "正文.txt"; }

bool DraftStore::exists(const std::string& slot) const { return inkpost::exists(settingsPath(slot)); }

bool DraftStore::move(const std::string& from, const std::string& to) {
  if (!inkpost::exists(from)) return false;
  if (beforeRename) beforeRename(from, to);
  return ::rename(from.c_str(), to.c_str()) == 0;
}

// A slot is written in three renames after both files are complete on disk:
//   <name>.ini.part -> <name>.ini.new   (the new slot is complete: commit)
//   <name>正文.txt.part -> <name>正文.txt
//   <name>.ini.new -> <name>.ini
// repair() completes the last two whenever <name>.ini.new exists.
bool DraftStore::writeSlot(const std::string& slot, const DraftFields& f) {
  const Names& n = names();
  const std::string ini = settingsPath(slot), body = bodyPath(slot);
  const std::string iniPart = ini + ".part", bodyPart = body + ".part", iniNew = ini + ".new";
  ::unlink(iniPart.c_str());
  ::unlink(bodyPart.c_str());
  ::unlink(iniNew.c_str());

  const std::pair<const std::string*, std::string> values[] = {
      {&n.title, formEncode(f.title)},
      {&n.category, std::to_string(f.category)},
      {&n.tags, formEncode(f.tags)},
      {&n.author, std::to_string(f.author)},
      {&n.alias, f.alias},
      {&n.type, std::to_string(f.type)},
      {&n.year, f.year},
      {&n.month, f.month},
      {&n.day, f.day},
      {&n.time, f.time},
      {&n.sticky, flag(f.sticky)},
      {&n.autoName, flag(f.autoName)},
      {&n.autoAlias, flag(f.autoAlias)},
      {&n.gallery, joinGallery(f.gallery)},
  };
  bool ok = true;
  for (const auto& [key, value] : values) ok = ok && profile::writeString(iniPart, n.section, *key, value);
  ok = ok && writeBytes(bodyPart, formEncode(f.body), syncWrites);
  if (ok && syncWrites) flush(iniPart);
  if (!ok || !move(iniPart, iniNew)) {
    ::unlink(iniPart.c_str());
    ::unlink(bodyPart.c_str());
    return false;
  }
  move(bodyPart, body);
  move(iniNew, ini);
  return true;
}

void DraftStore::repair() {
  for (const std::string& slot : allSlots()) {
    const std::string ini = settingsPath(slot), body = bodyPath(slot);
    if (inkpost::exists(ini + ".new")) {
      move(body + ".part", body);
      move(ini + ".new", ini);
    }
    ::unlink((ini + ".part").c_str());
    ::unlink((body + ".part").c_str());
  }
  // The ring moves a slot's settings file first and its body second; a slot
  // that has its settings but not its body, above a slot that has its body
  // but not its settings, is a move cut in half.
  for (int k = kRingSize; k >= 2; --k) {
    const std::string upper = std::to_string(k), lower = std::to_string(k - 1);
    if (exists(upper) && !inkpost::exists(bodyPath(upper)) && !exists(lower) && inkpost::exists(bodyPath(lower)))
      move(bodyPath(lower), bodyPath(upper));
  }
}

bool DraftStore::saveRing(const DraftFields& fields) {
  if (!isDirectory(folder_)) return false;
  repair();
  const std::string last = std::to_string(kRingSize);
  ::unlink(settingsPath(last).c_str());
  ::unlink(bodyPath(last).c_str());
  for (int k = kRingSize - 1; k >= 1; --k) {
    const std::string from = std::to_string(k), to = std::to_string(k + 1);
    if (!move(settingsPath(from), settingsPath(to))) continue;  // no slot here
    if (!move(bodyPath(from), bodyPath(to))) ::unlink(bodyPath(to).c_str());
  }
  return writeSlot("1", fields);
}

bool DraftStore::saveManual(const DraftFields& fields) {
  if (!isDirectory(folder_)) return false;
  repair();
  return writeSlot("now", fields);
}

std::optional<DraftFields> DraftStore::load(const std::string& slot) {
  repair();
  const std::string ini = settingsPath(slot);
  if (slot.empty() || !inkpost::exists(ini)) return std::nullopt;
  const Names& n = names();
  auto value = [&](const std::string& key) { return profile::readString(ini, n.section, key); };
  DraftFields f;
  f.title = formDecode(value(n.title));
  f.category = storedInteger(value(n.category));
  f.tags = formDecode(value(n.tags));
  f.author = storedInteger(value(n.author));
  f.alias = value(n.alias);
  f.type = storedInteger(value(n.type));
  f.year = value(n.year);
  f.month = value(n.month);
  f.day = value(n.day);
  f.time = value(n.time);
  f.sticky = value(n.sticky) == "1";
  f.autoName = value(n.autoName) == "1";
  f.autoAlias = value(n.autoAlias) == "1";
  f.gallery = splitGallery(value(n.gallery));
  f.body = formDecode(readBytes(bodyPath(slot)));
  return f;
}

}  // namespace inkpost
