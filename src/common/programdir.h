// The program's folders.
//
// The data folder holds what the program writes: data.mdb, temp/ (draft
// slots, the recovery slot, images on their way to the blog) and the
// instance lock. The resource folder holds the read-only parts, such as the
// editor page (editor/).
//
// Run from a folder that is writable and holds data.mdb (the build folder,
// or a copy carried on a stick), both are that folder and nothing is written
// anywhere else. Installed (/usr/bin, /usr/share), the data folder is the
// user's: $XDG_DATA_HOME/inkpost-client, by default
// ~/.local/share/inkpost-client, and the resources are the install prefix's
// share/inkpost-client.
#pragma once

#include <string>

namespace inkpost {

struct ProgramFolders {
  std::string data;
  std::string resources;
  bool portable = false;  // both are the executable's folder
};

// The one decision, for an executable in `exeDir`, given the environment's
// XDG_DATA_HOME and HOME (either may be null). A relative XDG_DATA_HOME is
// ignored, as the XDG rules say. The resource folder is `exeDir` when it
// holds editor/index.html, else the install prefix's share/inkpost-client
// found relative to `exeDir`.
ProgramFolders decideProgramFolders(const std::string& exeDir, const char* xdgDataHome, const char* home);

// This process's folders: decided once from the executable's folder and the
// environment, unless a test set them.
const ProgramFolders& programFolders();

// The data folder (data.mdb, temp/).
const std::string& programDir();
// The read-only resource folder (editor/).
const std::string& resourceDir();

// Tests: points both folders at `dir` (a portable layout).
void setProgramDir(std::string dir);
// Tests: points only the resource folder at `dir`.
void setResourceDir(std::string dir);

// programDir() + "/" + relative
std::string programPath(const std::string& relative);
// resourceDir() + "/" + relative
std::string resourcePath(const std::string& relative);

}  // namespace inkpost
