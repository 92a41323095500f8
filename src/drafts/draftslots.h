// Draft slots: the saved states of the main window's editing fields in the
// temp folder. Ten rotating slots "1" (newest) to "10" and the manual slot
// "now"; each slot is a settings file "<name>.ini" (one section, fourteen
// keys) and a body file "<name>正文.txt" (the form-encoded body HTML).
//
// A slot is always found either as it was or as it has just been written:
// files are written under temporary names, flushed and renamed into place,
// the ring moves each slot's pair of files together, and repair() finishes
// whatever a crash interrupted before anything reads or shifts the slots.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace inkpost {

// One saved state of the editing fields. Texts are GBK.
struct DraftFields {
  std::string title;
  long category = -1;
  std::string tags;
  long author = 0;
  std::string alias;
  long type = 0;
  std::string year, month, day, time;
  bool sticky = false;
  bool autoName = false;
  bool autoAlias = false;
  std::vector<std::string> gallery;  // GalleryEntry texts, oldest first
  std::string body;                  // body HTML
  // The blog article this one changes: its number there and the blog's
  // address (文章编号, 文章网站); 0 and empty for a new article.
  long articleId = 0;
  std::string articleSite;
  std::string articleIntro;  // 文章摘要: its own intro there (see Article::intro)

  bool operator==(const DraftFields&) const = default;
};

// The 图片数据 value: every entry followed by "<分>"; the empty text for none.
std::string joinGallery(const std::vector<std::string>& entries);
// Splits at "<分>": empty pieces between two separators stay, an empty last
// piece is dropped, the empty text gives no entries.
std::vector<std::string> splitGallery(const std::string& value);

// A stored decimal value; empty or non-numeric text reads as 0.
long storedInteger(const std::string& value);

// The slot name for an item value of the restore list: 0 -> "now",
// 1..10 -> "1".."10", kBeforeRestoreData -> "before", anything else -> ""
// (no slot).
inline constexpr int kBeforeRestoreData = 11;
std::string slotNameFor(int slotData);

// How long ago a slot was saved, as the restore list says it (GBK): "7分钟前"
// (at least 1), "2小时前", "3天前".
std::string ageCaption(long long savedAt, long long now);

// The slot of the article as it was before the last restore (the 恢复 entry
// "恢复前的内容") and the recovery slot beside the ring.
inline constexpr char kBeforeRestoreSlot[] = "before";
inline constexpr char kRecoverySlot[] = "recovery";

// The notice (GBK) for a slot whose body is too long for the editor
// (kEditorBodyMax of blog/editortext.h): nothing is restored, the slot stays.
std::string bodyTooLongNotice(std::size_t bodyBytes);

// True when the article holds nothing worth keeping: no title, tags, alias
// or gallery entry, and a body without text or any element beyond empty
// paragraphs and line breaks. Lists, dates and check boxes do not count.
bool articleEmpty(const DraftFields& f);

// The text of a slot's settings file for fields: the section and the
// fourteen keys in order, each line closed by CR LF; for an article already
// on a blog (articleId above 0) 文章编号, 文章网站 and 文章摘要 (form-encoded)
// follow. A file without them reads as a new article.
std::string settingsText(const DraftFields& f);

// When a slot was saved and how its title begins.
struct SlotInfo {
  long long savedAt = 0;  // seconds since the epoch (the settings file's time)
  std::string title;      // decoded, GBK
};

// "1分钟前 (14:03 第二版标题)": base, then the save time (with the date when it
// was not today) and the first characters of the title (GBK). now and the
// times are seconds since the epoch, shown in local time.
std::string slotCaption(const std::string& base, const SlotInfo& info, long long now);

// What the recovery slot says about its article.
enum class RecoveryState {
  Unsaved = 0,    // written while editing; not published, not yet offered
  Published = 1,  // the article went to a blog
  Kept = 2,       // offered at a start and kept in the ring
};

struct Recovery {
  DraftFields fields;
  RecoveryState state = RecoveryState::Unsaved;
};

// Notices about unexpected entries in the temp folder (one line each, GBK),
// gathered from any thread; the window shows them.
void addDraftNotice(const std::string& gbkText);
std::vector<std::string> takeDraftNotices();

class DraftStore {
 public:
  static constexpr int kRingSize = 10;

  // folder: the temp folder. It is never created here; without it nothing
  // is written and every slot reads as missing.
  explicit DraftStore(std::string folder);

  std::string settingsPath(const std::string& slot) const;
  std::string bodyPath(const std::string& slot) const;

  // The one-minute save: drops slot 10, shifts every other slot one down
  // and writes the fields as slot "1". False when the new slot could not be
  // written completely.
  bool saveRing(const DraftFields& fields);
  // The manual save into slot "now"; the ring is left alone.
  [[nodiscard]] bool saveManual(const DraftFields& fields);

  // Reads a slot; nullopt when its settings file does not exist. A missing
  // body file gives an empty body.
  std::optional<DraftFields> load(const std::string& slot);

  bool exists(const std::string& slot) const;

  // Finishes a save that a crash interrupted and removes unfinished files.
  // Entries named like slot files that are no regular readable files of a
  // sensible size (directories, links, unreadable or oversized files) are
  // moved aside with a notice; body files named in GBK (as the Windows
  // program names them) are renamed to the names used here. Touches the
  // ring, the manual slot and the "before" slot; the recovery slot is
  // repaired by its own writer (repairRecovery).
  void repair();
  void repairRecovery();

  // The tick of the one-minute ring: saves only an article that is not
  // empty and differs from the newest slot. An article whose body is empty
  // is not saved over a newest slot whose body holds text (Empty): a body
  // the editor lost never pushes the text out of the ring.
  enum class AutosaveResult { Saved, Unchanged, Empty, Failed };
  AutosaveResult autosave(const DraftFields& fields);

  // True when the slot's files hold exactly what saving fields would write.
  bool holds(const std::string& slot, const DraftFields& fields);

  // Time and title of a slot; nullopt when the slot does not exist.
  std::optional<SlotInfo> info(const std::string& slot);

  // Keeps the current article before a restore replaces it, in the "before"
  // slot, unless it is empty or already held by a slot. A different article
  // held only by the "before" slot goes into the ring first, so nothing is
  // lost. False when it could not be kept.
  [[nodiscard]] bool keepBeforeRestore(const DraftFields& current);

  // The recovery slot: "recovery.ini" (the fourteen keys and 状态) and
  // "recovery正文.txt", written like every slot. An unsaved article whose
  // body is empty is not written over a slot whose body holds text (true,
  // nothing written).
  bool saveRecovery(const DraftFields& fields, RecoveryState state);
  std::optional<Recovery> loadRecovery();
  // The article to offer at start: the recovery slot when it holds an
  // unsaved, non-empty article that differs from the newest ring slot.
  std::optional<DraftFields> recoveryOffer();
  // After the offer: the article becomes the newest ring slot (unless it
  // already is) and the recovery slot is marked Kept, so it is offered once.
  bool keepRecovery();

  // Flush each slot's files to the disk before they are renamed into place
  // (on by default; tests that write hundreds of slots turn it off).
  bool syncWrites = true;

  // Called before every rename the store makes; tests throw from it to
  // simulate a crash at that point.
  std::function<void(const std::string& from, const std::string& to)> beforeRename;

 private:
  bool writeSlot(const std::string& slot, const DraftFields& fields, const std::string& extra = {});
  bool move(const std::string& from, const std::string& to);
  void repairSlots(const std::vector<std::string>& slots);
  std::optional<DraftFields> read(const std::string& slot);
  void checkEntries(const std::vector<std::string>& slots);
  bool bodyHoldsText(const std::string& slot);

  std::string folder_;
};

}  // namespace inkpost
