#include "shell/datafolder.h"

#include "common/programdir.h"
#include "sites/sitestore.h"

#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QLocalSocket>
#include <QMessageBox>
#include <QThread>

#include <dirent.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace inkpost {
namespace {

constexpr mode_t kPrivateFile = 0600;
constexpr mode_t kPrivateFolder = 0700;

// mkdir -p with private modes for every folder it makes.
bool makeFolders(const std::string& path) {
  if (path.empty()) return false;
  struct stat st {};
  if (stat(path.c_str(), &st) == 0) return S_ISDIR(st.st_mode) || (errno = ENOTDIR, false);
  const auto slash = path.rfind('/');
  if (slash != std::string::npos && slash > 0 && !makeFolders(path.substr(0, slash))) return false;
  return mkdir(path.c_str(), kPrivateFolder) == 0 || errno == EEXIST;
}

// Tightens one entry of this user's that exists; a symbolic link is left
// alone.
void tighten(const std::string& path) {
  struct stat st {};
  if (lstat(path.c_str(), &st) != 0 || st.st_uid != geteuid()) return;
  if (S_ISREG(st.st_mode) && (st.st_mode & 07777) != kPrivateFile) chmod(path.c_str(), kPrivateFile);
  if (S_ISDIR(st.st_mode) && (st.st_mode & 07777) != kPrivateFolder) chmod(path.c_str(), kPrivateFolder);
}

// Entries of another user's are left as they are (the slots move them aside).
void tightenFolderEntries(const std::string& folder) {
  DIR* d = opendir(folder.c_str());
  if (!d) return;
  while (dirent* e = readdir(d)) {
    if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
    tighten(folder + "/" + e->d_name);
  }
  closedir(d);
}

QString nativeText(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

// Whether the other end of a connected local socket runs as this user.
bool peerIsThisUser(const QLocalSocket& s) {
  struct ucred peer {};
  socklen_t len = sizeof peer;
  return getsockopt(static_cast<int>(s.socketDescriptor()), SOL_SOCKET, SO_PEERCRED, &peer, &len) == 0 &&
         peer.uid == getuid();
}

}  // namespace

std::string dataFolderFaultText(const DataFolderFault& fault) {
  switch (fault.kind) {
    case DataFolderFault::NoHome:
      return "找不到当前用户的主文件夹（没有设置 HOME，系统的用户记录中也没有），无法确定数据文件夹。\n"
             "程序不会把网站和草稿放进公用的文件夹，现在结束。请设置 HOME 后再启动。";
    case DataFolderFault::Foreign:
      return "数据文件夹中的“" + fault.path +
             "”不属于当前用户（或不是应有的文件夹、文件），可能是别人放在这里的。\n"
             "为保护网站密码和草稿，程序不使用它，现在结束。请检查并移走它后再启动。";
    case DataFolderFault::Io:
      break;
  }
  return "无法准备数据文件夹：" + fault.path + "\n" + std::strerror(fault.error) +
         "\n网站和草稿无法保存，请检查该文件夹的权限。";
}

std::optional<DataFolderFault> prepareDataFolder() {
  umask(077);
  const ProgramFolders& f = programFolders();
  if (f.data.empty()) return DataFolderFault{{}, ENOENT, DataFolderFault::NoHome};
  // Only what this user owns is used, and only then made private: a
  // folder or file another user put in its place is never opened.
  auto foreign = [](const std::string& path, bool folder) -> std::optional<DataFolderFault> {
    const Ownership o = ownershipOf(path, folder);
    if (o == Ownership::Foreign || o == Ownership::WrongKind)
      return DataFolderFault{path, EPERM, DataFolderFault::Foreign};
    return std::nullopt;
  };
  if (!f.portable && !makeFolders(f.data)) return DataFolderFault{f.data, errno};
  if (auto fault = foreign(f.data, true)) return fault;
  tighten(f.data);
  const std::string temp = f.data + "/temp";
  const std::string db = f.data + "/data.mdb";
  if (auto fault = foreign(db, false)) return fault;
  if (auto fault = foreign(temp, true)) return fault;
  if (mkdir(temp.c_str(), kPrivateFolder) != 0 && errno != EEXIST) return DataFolderFault{temp, errno};
  tighten(temp);
  tightenFolderEntries(temp);
  if (!f.portable && access(db.c_str(), F_OK) != 0) {
    // First start in the user's folder: the store starts empty.
    std::string why;
    if (!createSiteDatabase(db, &why)) return DataFolderFault{db, errno ? errno : EIO};
  }
  tighten(db);
  return std::nullopt;
}

void keepPortableCopyInItsFolder() {
  if (programFolders().portable) setenv("QT_DISABLE_SHADER_DISK_CACHE", "1", 0);
}

void bringToFront(QWidget* w) {
  if (!w) return;
  if (w->isMinimized())
    w->showNormal();
  else
    w->show();
  w->raise();
  w->activateWindow();
}

InstanceLock::InstanceLock(const std::string& dataDir, QObject* parent)
    : QObject(parent), dir_(dataDir), lock_(nativeText(dataDir + "/" + kLockFileName)) {
  // Only a lock whose process is gone is stale, however old it is.
  lock_.setStaleLockTime(0);
  connect(&server_, &QLocalServer::newConnection, this, &InstanceLock::answer);
  connect(this, &InstanceLock::raiseRequested, this, [this] { bringToFront(window_); });
}

InstanceLock::~InstanceLock() {
  server_.close();
  if (lock_.isLocked()) lock_.unlock();
}

QString InstanceLock::serverName(const std::string& dataDir) {
  const std::string folder = privateSocketFolder();
  if (folder.empty()) return {};
  char real[PATH_MAX];
  const std::string canonical = realpath(dataDir.c_str(), real) ? std::string(real) : dataDir;
  const QByteArray digest =
      QCryptographicHash::hash(QByteArray::fromStdString(canonical), QCryptographicHash::Sha256).toHex().left(24);
  return nativeText(folder) + QStringLiteral("/%1.socket").arg(QString::fromLatin1(digest));
}

void InstanceLock::listen() {
  const QString name = serverName(dir_);
  // A socket file left by a copy that was killed is in the way: the folder
  // is this user's alone, so whatever is there is ours to remove.
  if (!name.isEmpty()) QLocalServer::removeServer(name);
  if (name.isEmpty() || !server_.listen(name))
    std::fprintf(stderr, "inkpost-client: a later start cannot reach this window (%s)\n",
                 server_.errorString().toLocal8Bit().constData());
}

void InstanceLock::answer() {
  while (QLocalSocket* s = server_.nextPendingConnection()) {
    connect(s, &QLocalSocket::disconnected, s, &QObject::deleteLater);
    // Only the same user may ask.
    if (!peerIsThisUser(*s)) {
      s->abort();
      continue;
    }
    connect(s, &QLocalSocket::readyRead, s, [this, s] {
      if (!s->canReadLine()) return;
      if (s->readLine().trimmed() == "raise") {
        s->write("ok\n");
        s->flush();
        emit raiseRequested();
      }
      s->disconnectFromServer();
    });
  }
}

// A lock file that names no process (empty or garbage after a power cut,
// or unreadable) holds nothing: once it is old enough that no copy can be
// in the middle of writing it, it is removed.
bool InstanceLock::takeOverUnreadableLock() {
  qint64 pid = 0;
  QString host, app;
  if (lock_.getLockInfo(&pid, &host, &app) && pid > 0) return false;
  const std::string path = dir_ + "/" + kLockFileName;
  struct stat st {};
  if (lstat(path.c_str(), &st) != 0) return true;  // gone meanwhile: try again
  const qint64 ageMs = (static_cast<qint64>(time(nullptr)) - static_cast<qint64>(st.st_mtime)) * 1000;
  if (S_ISREG(st.st_mode) && ageMs >= 0 && ageMs < kUnreadableLockMs) return false;
  std::fprintf(stderr, "inkpost-client: %s holds no lock; it is removed\n", path.c_str());
  return lock_.removeStaleLockFile() || ::unlink(path.c_str()) == 0;
}

InstanceLock::Claim InstanceLock::claim(int waitMs) {
  QElapsedTimer waited;
  waited.start();
  for (;;) {
    if (lock_.tryLock(0) ||
        (lock_.error() == QLockFile::LockFailedError && takeOverUnreadableLock() && lock_.tryLock(0))) {
      listen();
      return Claim::Held;
    }
    if (lock_.error() != QLockFile::LockFailedError) {
      std::fprintf(stderr, "inkpost-client: cannot make %s/%s; a second copy is not kept out\n", dir_.c_str(),
                   kLockFileName);
      return Claim::Unlocked;
    }
    // Another copy holds the folder: ask it to come to the front. It may be
    // still starting, so ask again until the wait is spent.
    QLocalSocket s;
    const QString name = serverName(dir_);
    if (!name.isEmpty()) s.connectToServer(name);
    if (!name.isEmpty() && s.waitForConnected(500) && peerIsThisUser(s)) {
      s.write("raise\n");
      s.flush();
      while (s.state() == QLocalSocket::ConnectedState && !s.canReadLine() && s.waitForReadyRead(2000)) {
      }
      if (s.canReadLine() && s.readLine().trimmed() == "ok") return Claim::Raised;
    }
    if (waited.elapsed() >= waitMs) return Claim::NoAnswer;
    QThread::msleep(200);
  }
}

std::unique_ptr<InstanceLock> openDataFolder(int* exitCode) {
  if (auto fault = prepareDataFolder()) {
    QMessageBox::warning(nullptr, QStringLiteral("提示"), nativeText(dataFolderFaultText(*fault)));
    if (dataFolderFaultEnds(*fault)) {
      *exitCode = 1;
      return nullptr;
    }
  }
  auto lock = std::make_unique<InstanceLock>(programDir());
  switch (lock->claim()) {
    case InstanceLock::Claim::Held:
    case InstanceLock::Claim::Unlocked:
      return lock;
    case InstanceLock::Claim::Raised:
      *exitCode = 0;
      return nullptr;
    case InstanceLock::Claim::NoAnswer:
      QMessageBox::information(nullptr, QStringLiteral("提示"),
                               QStringLiteral("Inkpost客户端已在运行（数据文件夹：%1），但没有应答。\n"
                                              "请切换到已打开的窗口，或结束它后再启动。")
                                   .arg(nativeText(programDir())));
      *exitCode = 1;
      return nullptr;
  }
  return lock;
}

}  // namespace inkpost
