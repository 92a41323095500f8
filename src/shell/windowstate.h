// The main window's size, position and maximised state, kept in window.ini
// in the data folder from one run to the next.
#pragma once

#include <string>

class QWidget;

namespace inkpost {

inline constexpr char kWindowStateFile[] = "window.ini";

// Puts back the state kept in `path` (call before the window is shown); a
// missing, damaged or off-screen state leaves the window as it is. True when
// a state was applied.
bool restoreWindowState(QWidget& window, const std::string& path);
// Writes the window's state to `path`; false when it cannot be written.
bool saveWindowState(const QWidget& window, const std::string& path);

// Both for the main window: restored now from the data folder, saved there
// whenever the window closes.
void keepWindowState(QWidget& window);

// What else the program keeps in window.ini from one run to the next: the
// site chosen last (its ID, -1 when none), whether to log in to it at start,
// and whether the user was told where the data lives.
int lastChosenSite();
void rememberChosenSite(int siteId);
bool logInAtStart();
void setLogInAtStart(bool on);
bool toldDataFolder();
void setToldDataFolder();

}  // namespace inkpost
