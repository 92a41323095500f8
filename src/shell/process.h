// Process-wide settings: those that must be in place before QApplication
// exists, and those that need it.
#pragma once

namespace inkpost {

// Chromium's sandbox switch for root, shared GL contexts for WebEngine.
void prepareProcess();

// The program speaks Chinese whatever the desktop's language: Qt's own
// translations (standard buttons read 确定/取消, the edit boxes' menus are
// Chinese) and a Chinese default locale, which the web views follow. Call
// once QApplication exists. Returns false when Qt's translations are not
// installed (the standard texts then stay English).
bool installTranslations();

}  // namespace inkpost
