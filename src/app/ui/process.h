// Process-wide settings that must be in place before QApplication exists.
#pragma once

namespace inkpost {

// Chromium's sandbox switch for root, shared GL contexts for WebEngine.
void prepareProcess();

}  // namespace inkpost
