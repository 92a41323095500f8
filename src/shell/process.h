// Process-wide settings: those that must be in place before QApplication
// exists, and those that need it.
#pragma once

#include <string>

namespace inkpost {

// Chromium's sandbox switch for root, shared GL contexts for WebEngine.
void prepareProcess();

// Before the QApplication, on X11: waits up to `waitMs` for the display to
// accept a connection. A busy X server can refuse one for a moment, and Qt
// then ends the start with abort() before anything could report it. True
// at once on other platforms (QT_QPA_PLATFORM other than xcb, Wayland) and
// without DISPLAY (Qt says what is missing); false when the display never
// accepted one (the caller says so and ends).
bool waitForDisplay(int waitMs = 10000);
// The message for that (UTF-8).
std::string noDisplayMessage();

// For a QApplication that could not be made (Qt ends such a start with a
// fatal message, at random on a display that refuses some connections):
// runs this program again with the same arguments after a short pause, up
// to kDisplayTries starts in all (counted in INKPOST_DISPLAY_TRIES). Returns
// only when the tries are spent or the program cannot be run again.
inline constexpr int kDisplayTries = 5;
void startAgainForDisplay(char** argv);
// Once the QApplication exists: the count is not handed on.
void displayOpened();

// The program speaks Chinese whatever the desktop's language: Qt's own
// translations (standard buttons read 确定/取消, the edit boxes' menus are
// Chinese) and a Chinese default locale, which the web views follow. Call
// once QApplication exists. Returns false when Qt's translations are not
// installed (the standard texts then stay English).
bool installTranslations();

}  // namespace inkpost
