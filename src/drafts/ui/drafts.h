// Draft slots on the main window: the one-minute ring and the manual slot
// (时钟_数据保存, 按钮_手动保存) and the restore list 组合框_恢复数据.
#pragma once

#include "blog/article.h"
#include "drafts/draftslots.h"

class QWidget;

namespace inkpost {


// 时钟_数据保存 runs with this interval while armed.
inline constexpr int kDraftSaveIntervalMs = 60000;

// The folder of the slot files: programPath("temp").
std::string draftFolder();

// The stored state of an article with the image options and the gallery,
// and the article of a stored state: the one place where the form's values
// become a draft's.
DraftFields draftOf(const Article& article, bool autoName, const std::vector<std::string>& gallery);
Article articleOf(const DraftFields& fields);

// Reads every editing field, the gallery list and the editor body.
DraftFields captureDraft(QWidget& window);

// Puts a saved state back into the window, field by field in the file's key
// order; the gallery is replaced and rebuilt, the body written to the editor.
void applyDraft(QWidget& window, const DraftFields& f);

// Tick of 时钟_数据保存 (rotate = true) and click of 按钮_手动保存 (false).
// The timer is stopped for the save and armed again afterwards.
void SaveDraft(QWidget& window, bool rotate);

// Selection of 组合框_恢复数据; slotData is the entry's item data (-1 none,
// 0 the manual slot, 1..10 the ring). A slot that was never written changes
// nothing and says so in a short notice.
void RestoreDraft(QWidget& window, int slotData);

}  // namespace inkpost
