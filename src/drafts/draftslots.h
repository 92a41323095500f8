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
// 1..10 -> "1".."10", anything else -> "" (no slot).
std::string slotNameFor(int slotData);

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
  bool saveManual(const DraftFields& fields);

  // Reads a slot; nullopt when its settings file does not exist. A missing
  // body file gives an empty body.
  std::optional<DraftFields> load(const std::string& slot);

  bool exists(const std::string& slot) const;

  // Finishes a save that a crash interrupted and removes unfinished files.
  void repair();

  // Flush each slot's files to the disk before they are renamed into place
  // (on by default; tests that write hundreds of slots turn it off).
  bool syncWrites = true;

  // Called before every rename the store makes; tests throw from it to
  // simulate a crash at that point.
  std::function<void(const std::string& from, const std::string& to)> beforeRename;

 private:
  bool writeSlot(const std::string& slot, const DraftFields& fields);
  bool move(const std::string& from, const std::string& to);

  std::string folder_;
};

}  // namespace inkpost
