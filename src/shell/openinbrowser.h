// Opens a web address in the desktop's default browser. The browser command
// is found through the freedesktop default handler on first use and kept for
// the rest of the run; while none is found, every use looks again.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace inkpost {

// Starts the default browser with the address, detached. Silent when no
// browser is known or it does not start.
void OpenInBrowser(const std::string& address);

// ---- The lookup, in pieces ---------------------------------------------------

// Runs a command line (argv, found on PATH) and returns its standard output;
// empty when it cannot run or fails.
using CommandRunner = std::function<std::string(const std::vector<std::string>& argv)>;
std::string runCommand(const std::vector<std::string>& argv);

// The command of a .desktop file's [Desktop Entry] Exec key split into
// arguments (quotes and backslash escapes resolved, "%%" -> "%"); empty when
// there is none. Field codes stay as they are.
std::vector<std::string> desktopExec(const std::string& desktopFileText);

// Full path of <id> in the applications folders of $XDG_DATA_HOME and
// $XDG_DATA_DIRS (a "-" in the id may stand for a subfolder); empty if none.
std::string findDesktopFile(const std::string& desktopId);

// The default browser's command: `xdg-settings get default-web-browser`,
// then `xdg-mime query default x-scheme-handler/http`; empty if neither
// names a desktop file with an Exec line.
std::vector<std::string> lookUpBrowserCommand(const CommandRunner& run = runCommand);

// The full command line for an address: %u %U %f %F become the address
// (the first one only; other field codes are dropped); without one, the
// address is appended.
std::vector<std::string> browserCommandFor(const std::vector<std::string>& command, const std::string& address);

// The cached command (empty until a lookup succeeded); tests reset it and
// can supply their own runner.
const std::vector<std::string>& cachedBrowserCommand();
void resetBrowserCommand(CommandRunner runner = runCommand);

// Starts argv detached (it outlives us and is never waited for); false when
// it cannot be started.
bool startDetached(const std::vector<std::string>& argv);

}  // namespace inkpost
