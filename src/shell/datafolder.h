// The data folder at start: made ready and private, and held by one copy of
// the program at a time.
#pragma once

#include <QLocalServer>
#include <QLockFile>
#include <QObject>
#include <QPointer>
#include <QWidget>

#include <memory>
#include <optional>
#include <string>

namespace inkpost {

// What went wrong while preparing the data folder: the path and errno.
struct DataFolderFault {
  enum Kind {
    Io,       // a folder or file could not be made (errno): the program goes on
    NoHome,   // no data folder can be decided (no home folder): it ends
    Foreign,  // `path` belongs to another user, or is no folder / file: it ends
  };
  std::string path;
  int error = 0;
  Kind kind = Io;
};

// The message for a fault (UTF-8), and whether the program must end.
std::string dataFolderFaultText(const DataFolderFault& fault);
inline bool dataFolderFaultEnds(const DataFolderFault& fault) { return fault.kind != DataFolderFault::Io; }

// Makes the data folder ready before the window exists. From here on
// everything the program creates is private to the user (umask 077). The
// folder, temp/ and data.mdb are used only when they belong to this user
// (a Foreign fault otherwise, and nothing in them is touched). The
// user's data folder and its parents are created (0700) on first start,
// with an empty keyed data.mdb; temp/ is created. Existing data.mdb, temp/
// and the files in temp/ are tightened to 0600 (files) and 0700 (folders).
// In the portable layout only data.mdb and temp/ are touched. Nothing when
// all went well.
std::optional<DataFolderFault> prepareDataFolder();

// Before the QApplication: a portable copy keeps Qt's shader cache out of
// the user's home (nothing is written outside the program folder).
void keepPortableCopyInItsFolder();

// Raises `w` to the front and gives it the focus (unminimising it first).
void bringToFront(QWidget* w);

// One copy per data folder: a QLockFile in the folder (a lock left by a
// process that no longer runs is taken over, and so is a lock file that
// cannot be read, is empty or holds no lock, once it is older than
// kUnreadableLockMs) and a local server named after the folder, through
// which a later copy asks this one to come to the front. The server's
// socket lives in privateSocketFolder() (common/programdir.h), and a copy
// believes an answer only from a process of its own user.
class InstanceLock : public QObject {
  Q_OBJECT
 public:
  enum class Claim {
    Held,      // this copy holds the folder
    Raised,    // another copy holds it and came to the front
    NoAnswer,  // another copy holds it and did not answer
    Unlocked,  // the lock file could not be made; running without it
  };

  explicit InstanceLock(const std::string& dataDir, QObject* parent = nullptr);
  ~InstanceLock() override;

  // Takes the lock, or asks the holder to come to the front; `waitMs` bounds
  // the wait for a holder that is still starting.
  Claim claim(int waitMs = 5000);
  // The window a later copy brings to the front.
  void setWindow(QWidget* w) { window_ = w; }

  // The local server's name for a data folder (same user, same folder, same
  // name).
  // Empty when there is no private folder for it.
  static QString serverName(const std::string& dataDir);
  static constexpr const char* kLockFileName = "inkpost-client.lock";
  static constexpr int kUnreadableLockMs = 2000;

 signals:
  void raiseRequested();

 private:
  void listen();
  void answer();
  bool takeOverUnreadableLock();

  std::string dir_;
  QLockFile lock_;
  QLocalServer server_;
  QPointer<QWidget> window_;
};

// Start-up's first step in main(): prepares the data folder and claims it,
// saying what went wrong in a message box. Null when this copy should end
// with `*exitCode` (another copy runs).
std::unique_ptr<InstanceLock> openDataFolder(int* exitCode);

}  // namespace inkpost
