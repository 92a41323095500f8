#include "drafts/draftslots.h"

#include "blog/editortext.h"
#include "common/privatefile.h"
#include "drafts/profile.h"
#include "net/encoding.h"
#include "net/formcode.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <iterator>
#include <mutex>
#include <set>

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
  std::string articleId = fromUtf8("文章编号");
  std::string articleSite = fromUtf8("文章网站");
  std::string articleIntro = fromUtf8("文章摘要");
  std::string separator = fromUtf8("<分>");
  std::string state = fromUtf8("状态");
  std::string bodySuffix = fromUtf8("正文") + ".txt";  // GBK, as the Windows program names it
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

// Both files of a slot reach the disk (fdatasync) before the renames that
// put them in place; the folder itself is not flushed, so a power cut right
// after a save may bring back the slot as it was before that save, but never
// half of it.
bool writeBytes(const std::string& path, const std::string& bytes, bool sync) {
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0644);
  if (fd < 0) return false;
  if (!writeAll(fd, bytes)) {
    ::close(fd);
    return false;
  }
  bool ok = !sync || ::fdatasync(fd) == 0;
  return ::close(fd) == 0 && ok;
}

// The bytes of a regular file; anything else (missing, a directory, a
// device, unreadable) reads as the empty text.
std::string readBytes(const std::string& path) {
  std::string out;
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
  if (fd < 0) return out;
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return out;
  }
  out.reserve(static_cast<size_t>(st.st_size));
  char buf[65536];
  for (;;) {
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    out.append(buf, static_cast<size_t>(n));
  }
  ::close(fd);
  return out;
}

bool isRegular(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// Largest files the slots are read from; anything bigger is not ours.
constexpr off_t kSettingsCap = 16 << 20;
constexpr off_t kBodyCap = 256 << 20;

std::string baseName(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Renames an entry that is in a slot file's place out of the way, so that
// the slots around it keep working; says so once.
void moveAside(const std::string& path, const char* why) {
  static std::mutex mutex;
  static std::set<std::string> told;
  std::lock_guard<std::mutex> lock(mutex);
  for (int n = 1; n < 1000; ++n) {
    const std::string aside = path + ".aside" + (n == 1 ? std::string() : std::to_string(n));
    struct stat st;
    if (::lstat(aside.c_str(), &st) == 0) continue;
    if (::rename(path.c_str(), aside.c_str()) == 0) {
      addDraftNotice(fromUtf8("临时文件夹中的“") + baseName(path) + fromUtf8("”") + fromUtf8(why) +
                     fromUtf8("，已改名为“") + baseName(aside) + fromUtf8("”。"));
      return;
    }
    break;
  }
  if (told.insert(path).second)
    addDraftNotice(fromUtf8("临时文件夹中的“") + baseName(path) + fromUtf8("”") + fromUtf8(why) +
                   fromUtf8("，草稿保存时跳过它。"));
}

// Moves aside what cannot be a slot file: anything but a regular file, a
// file this user cannot read, a file larger than a slot can be.
void checkEntry(const std::string& path, off_t cap) {
  struct stat st;
  if (::lstat(path.c_str(), &st) != 0) return;
  if (S_ISDIR(st.st_mode))
    moveAside(path, "是一个文件夹");
  else if (!S_ISREG(st.st_mode))
    moveAside(path, "不是普通文件");
  else if (st.st_size > cap)
    moveAside(path, "大得不像草稿文件");
  else if (::access(path.c_str(), R_OK | W_OK) != 0)
    moveAside(path, "无法读写");
}

std::mutex& noticeMutex() {
  static std::mutex m;
  return m;
}

std::vector<std::string>& noticeList() {
  static std::vector<std::string> list;
  return list;
}

const char* flag(bool on) { return on ? "1" : "0"; }

// The slots the window's thread owns; the recovery slot has its own writer.
std::vector<std::string> allSlots() {
  std::vector<std::string> slots{"now", kBeforeRestoreSlot};
  for (int k = 1; k <= DraftStore::kRingSize; ++k) slots.push_back(std::to_string(k));
  return slots;
}

// Cuts text after at most chars characters (a two-byte GBK character is
// one), adding "…" when something was cut.
std::string firstCharacters(const std::string& text, size_t chars) {
  size_t i = 0, n = 0;
  while (i < text.size() && n < chars) {
    i += (static_cast<unsigned char>(text[i]) >= 0x81 && i + 1 < text.size()) ? 2 : 1;
    ++n;
  }
  return i < text.size() ? text.substr(0, i) + fromUtf8("…") : text;
}

bool blank(const std::string& s) { return s.find_first_not_of(" \t\r\n") == std::string::npos; }

// The body shows nothing: only blanks, &nbsp; and the empty markup an
// editor leaves behind (paragraphs, divisions, line breaks).
bool emptyBody(const std::string& body) {
  size_t i = 0;
  while (i < body.size()) {
    char c = body[i];
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
      ++i;
    } else if (body.compare(i, 6, "&nbsp;") == 0) {
      i += 6;
    } else if (c == '<') {
      size_t end = body.find('>', i);
      if (end == std::string::npos) return false;
      std::string tag = body.substr(i + 1, end - i - 1);
      if (!tag.empty() && tag[0] == '/') tag.erase(0, 1);
      size_t nameEnd = tag.find_first_of(" \t\r\n/");
      std::string name = tag.substr(0, nameEnd);
      for (char& ch : name) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
      if (name != "p" && name != "br" && name != "div" && name != "span") return false;
      i = end + 1;
    } else {
      return false;
    }
  }
  return true;
}

// Says once per file what is wrong with it.
void noticeOnce(const std::string& path, const std::string& gbkText) {
  static std::mutex mutex;
  static std::set<std::string> told;
  std::lock_guard<std::mutex> lock(mutex);
  if (told.insert(path + '\n' + gbkText).second) addDraftNotice(gbkText);
}

// A settings file's text as GBK. One saved in UTF-8 (opened and saved in an
// editor that changed its encoding) has its names in UTF-8, so not one key
// would be found and the title would read as empty: it is read as UTF-8, and
// the user is told. A file whose section is not there at all is told too.
std::string settingsInGbk(const std::string& path, const std::string& text) {
  const std::string section = "[" + names().section + "]";
  if (text.empty() || text.find(section) != std::string::npos) return text;
  const std::string name = fromUtf8("“") + baseName(path) + fromUtf8("”");
  if (text.find(toUtf8(section)) != std::string::npos) {
    std::string gbk = fromUtf8(text.rfind("\xEF\xBB\xBF", 0) == 0 ? text.substr(3) : text);
    if (!gbk.empty()) {
      noticeOnce(path,
                 fromUtf8("草稿文件") + name + fromUtf8("是UTF-8编码（应为GBK），已按UTF-8读出，请核对标题等内容。"));
      return gbk;
    }
  }
  noticeOnce(path, fromUtf8("草稿文件") + name +
                       fromUtf8("中找不到草稿的内容（编码不对或已损坏），标题等内容没有恢复，正文照常读出。"));
  return text;
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

void addDraftNotice(const std::string& gbkText) {
  std::lock_guard<std::mutex> lock(noticeMutex());
  noticeList().push_back(gbkText);
}

std::vector<std::string> takeDraftNotices() {
  std::lock_guard<std::mutex> lock(noticeMutex());
  std::vector<std::string> out;
  out.swap(noticeList());
  return out;
}

std::string bodyTooLongNotice(std::size_t bodyBytes) {
  const std::size_t mb = 1u << 20;
  return fromUtf8("这份草稿的正文有") + std::to_string((bodyBytes + mb - 1) / mb) +
         fromUtf8(" MB，超过编辑器能载入的") + std::to_string(kEditorBodyMax / mb) +
         fromUtf8(" MB，没有恢复（草稿仍保存在temp文件夹中）。");
}

bool articleEmpty(const DraftFields& f) {
  return blank(f.title) && blank(f.tags) && blank(f.alias) && f.gallery.empty() && emptyBody(f.body);
}

std::string settingsText(const DraftFields& f) {
  const Names& n = names();
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
      {&n.articleId, std::to_string(f.articleId)},
      {&n.articleSite, f.articleSite},
      {&n.articleIntro, formEncode(f.articleIntro)},
  };
  // A new article's slot holds the fourteen keys only, as it always did.
  const size_t keys = f.articleId > 0 ? std::size(values) : std::size(values) - 3;
  std::string text = "[" + n.section + "]\r\n";
  for (size_t i = 0; i < keys; ++i) {
    std::string line = *values[i].first + "=" + values[i].second;
    for (char& c : line)
      if (c == '\r' || c == '\n') c = ' ';  // a value never ends its line
    text += line + "\r\n";
  }
  return text;
}

std::string slotCaption(const std::string& base, const SlotInfo& info, long long now) {
  const time_t saved = static_cast<time_t>(info.savedAt), current = static_cast<time_t>(now);
  struct tm s {
  }, c{};
  localtime_r(&saved, &s);
  localtime_r(&current, &c);
  char when[32];
  if (s.tm_year == c.tm_year && s.tm_yday == c.tm_yday)
    std::snprintf(when, sizeof when, "%02d:%02d", s.tm_hour, s.tm_min);
  else
    std::snprintf(when, sizeof when, "%02d-%02d %02d:%02d", s.tm_mon + 1, s.tm_mday, s.tm_hour, s.tm_min);
  std::string caption = base + " (" + when;
  std::string title = info.title;
  for (char& ch : title)
    if (ch == '\r' || ch == '\n' || ch == '\t') ch = ' ';
  if (!blank(title)) caption += " " + firstCharacters(title, 12);
  return caption + ")";
}

std::string ageCaption(long long savedAt, long long now) {
  const long long minutes = std::max<long long>(1, (now - savedAt) / 60);
  if (minutes < 60) return std::to_string(minutes) + fromUtf8("分钟前");
  if (minutes < 24 * 60) return std::to_string(minutes / 60) + fromUtf8("小时前");
  return std::to_string(minutes / (24 * 60)) + fromUtf8("天前");
}

std::string slotNameFor(int slotData) {
  if (slotData == kBeforeRestoreData) return kBeforeRestoreSlot;
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
bool DraftStore::writeSlot(const std::string& slot, const DraftFields& f, const std::string& extra) {
  const std::string ini = settingsPath(slot), body = bodyPath(slot);
  const std::string iniPart = ini + ".part", bodyPart = body + ".part", iniNew = ini + ".new";
  ::unlink(iniPart.c_str());
  ::unlink(bodyPart.c_str());
  ::unlink(iniNew.c_str());

  bool ok =
      writeBytes(iniPart, settingsText(f) + extra, syncWrites) && writeBytes(bodyPart, formEncode(f.body), syncWrites);
  if (!ok || !move(iniPart, iniNew)) {
    ::unlink(iniPart.c_str());
    ::unlink(bodyPart.c_str());
    return false;
  }
  move(bodyPart, body);
  move(iniNew, ini);
  return true;
}

void DraftStore::checkEntries(const std::vector<std::string>& slots) {
  if (!isDirectory(folder_)) return;
  for (const std::string& slot : slots) {
    const std::string ini = settingsPath(slot), body = bodyPath(slot);
    const std::string gbkBody = folder_ + "/" + slot + names().bodySuffix;
    for (const std::string& path : {ini, ini + ".part", ini + ".new"}) checkEntry(path, kSettingsCap);
    for (const std::string& path : {body, body + ".part", gbkBody}) checkEntry(path, kBodyCap);
    // A body file the Windows program wrote carries its name in GBK.
    if (isRegular(gbkBody) && !inkpost::exists(body)) move(gbkBody, body);
  }
}

void DraftStore::repairSlots(const std::vector<std::string>& slots) {
  checkEntries(slots);
  for (const std::string& slot : slots) {
    const std::string ini = settingsPath(slot), body = bodyPath(slot);
    if (inkpost::exists(ini + ".new")) {
      move(body + ".part", body);
      move(ini + ".new", ini);
    }
    ::unlink((ini + ".part").c_str());
    ::unlink((body + ".part").c_str());
  }
}

void DraftStore::repair() {
  repairSlots(allSlots());
  // The ring moves a slot's settings file first and its body second; a slot
  // that has its settings but not its body, above a slot that has its body
  // but not its settings, is a move cut in half.
  for (int k = kRingSize; k >= 2; --k) {
    const std::string upper = std::to_string(k), lower = std::to_string(k - 1);
    if (exists(upper) && !inkpost::exists(bodyPath(upper)) && !exists(lower) && inkpost::exists(bodyPath(lower)))
      move(bodyPath(lower), bodyPath(upper));
  }
}

void DraftStore::repairRecovery() { repairSlots({kRecoverySlot}); }

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
  return read(slot);
}

std::optional<DraftFields> DraftStore::read(const std::string& slot) {
  const std::string ini = settingsPath(slot);
  if (slot.empty() || !isRegular(ini)) return std::nullopt;
  const std::string text = settingsInGbk(ini, readBytes(ini));
  const Names& n = names();
  auto value = [&](const std::string& key) { return profile::valueIn(text, n.section, key); };
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
  if (const long id = storedInteger(value(n.articleId)); id > 0) {
    f.articleId = id;
    f.articleSite = value(n.articleSite);
    f.articleIntro = formDecode(value(n.articleIntro));
  }
  f.body = formDecode(readBytes(bodyPath(slot)));
  return f;
}

bool DraftStore::holds(const std::string& slot, const DraftFields& fields) {
  if (!isRegular(settingsPath(slot))) return false;
  return readBytes(settingsPath(slot)) == settingsText(fields) && readBytes(bodyPath(slot)) == formEncode(fields.body);
}

bool DraftStore::bodyHoldsText(const std::string& slot) {
  return isRegular(settingsPath(slot)) && !emptyBody(formDecode(readBytes(bodyPath(slot))));
}

DraftStore::AutosaveResult DraftStore::autosave(const DraftFields& fields) {
  if (articleEmpty(fields)) return AutosaveResult::Empty;
  if (!isDirectory(folder_)) return AutosaveResult::Failed;
  repair();
  if (holds("1", fields)) return AutosaveResult::Unchanged;
  // Date boxes filled afresh (a login, a publish) are no change of the
  // article: no near-identical copy pushes an older draft out.
  if (std::optional<DraftFields> newest = read("1")) {
    DraftFields undated = fields;
    undated.year = newest->year;
    undated.month = newest->month;
    undated.day = newest->day;
    undated.time = newest->time;
    if (undated == *newest) return AutosaveResult::Unchanged;
  }
  if (emptyBody(fields.body) && bodyHoldsText("1")) return AutosaveResult::Empty;
  return saveRing(fields) ? AutosaveResult::Saved : AutosaveResult::Failed;
}

std::optional<SlotInfo> DraftStore::info(const std::string& slot) {
  const std::string ini = settingsPath(slot);
  struct stat st;
  if (slot.empty() || ::lstat(ini.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
  SlotInfo info;
  info.savedAt = st.st_mtime;
  info.title = formDecode(profile::valueIn(settingsInGbk(ini, readBytes(ini)), names().section, names().title));
  return info;
}

bool DraftStore::keepBeforeRestore(const DraftFields& current) {
  if (articleEmpty(current)) return true;
  if (!isDirectory(folder_)) return false;
  repair();
  std::vector<std::string> others{"now"};
  for (int k = 1; k <= kRingSize; ++k) others.push_back(std::to_string(k));
  for (const std::string& slot : others)
    if (holds(slot, current)) return true;
  if (holds(kBeforeRestoreSlot, current)) return true;
  // The article kept by an earlier restore: into the ring first, unless a
  // slot holds it already.
  if (std::optional<DraftFields> earlier = read(kBeforeRestoreSlot); earlier && !articleEmpty(*earlier)) {
    bool held = false;
    for (const std::string& slot : others) held = held || holds(slot, *earlier);
    if (!held && !saveRing(*earlier)) return false;
  }
  return writeSlot(kBeforeRestoreSlot, current);
}

bool DraftStore::saveRecovery(const DraftFields& fields, RecoveryState state) {
  if (!isDirectory(folder_)) return false;
  repairRecovery();
  if (state == RecoveryState::Unsaved && emptyBody(fields.body) && bodyHoldsText(kRecoverySlot)) return true;
  return writeSlot(kRecoverySlot, fields, names().state + "=" + std::to_string(static_cast<int>(state)) + "\r\n");
}

std::optional<Recovery> DraftStore::loadRecovery() {
  repairRecovery();
  std::optional<DraftFields> fields = read(kRecoverySlot);
  if (!fields) return std::nullopt;
  Recovery r;
  r.fields = std::move(*fields);
  const std::string ini = settingsPath(kRecoverySlot);
  const long state =
      storedInteger(profile::valueIn(settingsInGbk(ini, readBytes(ini)), names().section, names().state));
  r.state = state == 1 ? RecoveryState::Published : state == 2 ? RecoveryState::Kept : RecoveryState::Unsaved;
  return r;
}

std::optional<DraftFields> DraftStore::recoveryOffer() {
  std::optional<Recovery> r = loadRecovery();
  if (!r || r->state != RecoveryState::Unsaved || articleEmpty(r->fields)) return std::nullopt;
  // Offered even when the ring holds the same article: it is not in the
  // window, and the user should not have to look for it under 恢复.
  return r->fields;
}

bool DraftStore::keepRecovery() {
  std::optional<Recovery> r = loadRecovery();
  if (!r) return false;
  bool kept = articleEmpty(r->fields) || autosave(r->fields) != AutosaveResult::Failed;
  return kept && saveRecovery(r->fields, RecoveryState::Kept);
}

}  // namespace inkpost
