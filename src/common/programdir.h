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
  std::string data;  // empty when none can be decided (no home folder)
  std::string resources;
  bool portable = false;  // both are the executable's folder
};

// The one decision, for an executable in `exeDir`, given the environment's
// XDG_DATA_HOME and HOME (either may be null). A relative XDG_DATA_HOME is
// ignored, as the XDG rules say. Without HOME the password database's home
// of the user is taken; with neither, the data folder is left empty (never
// a shared folder). The portable layout needs the folder and its data.mdb
// to belong to this user. The resource folder is `exeDir` when it
// holds editor/index.html, else the install prefix's share/inkpost-client
// found relative to `exeDir`.
ProgramFolders decideProgramFolders(const std::string& exeDir, const char* xdgDataHome, const char* home);

// Who owns what stands at `path` (links followed): this process's user, or
// someone else; or it is missing, or not a folder (`folder`) / regular file.
enum class Ownership { Missing, Ours, Foreign, WrongKind };
Ownership ownershipOf(const std::string& path, bool folder);

// A folder for this user's sockets that nobody else can enter:
// $XDG_RUNTIME_DIR/inkpost-client when the runtime folder is this user's and
// closed to others, else /tmp/inkpost-client-<uid>. Made (0700) when
// missing; an existing one must be a folder of this user (not a link), and
// is closed to others. Empty when no such folder can be had.
std::string privateSocketFolder();

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
