#include "shell/windowstate.h"

#include "common/programdir.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QSettings>
#include <QWidget>

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>

namespace inkpost {
namespace {

const char kGeometryKey[] = "window/geometry";
const char kLastSiteKey[] = "sites/last";
const char kLogInAtStartKey[] = "sites/logInAtStart";
const char kToldDataFolderKey[] = "data/told";

QString nativePath(const std::string& path) {
  return QString::fromUtf8(path.data(), static_cast<qsizetype>(path.size()));
}

// Saves the state each time the watched window closes.
class SaveOnClose : public QObject {
 public:
  SaveOnClose(QWidget& window, std::string path) : QObject(&window), path_(std::move(path)) {
    window.installEventFilter(this);
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Close) saveWindowState(*static_cast<QWidget*>(watched), path_);
    return false;
  }

 private:
  std::string path_;
};

}  // namespace

namespace {

QString iniPath() { return nativePath(programPath(kWindowStateFile)); }

// Changes window.ini at `path`: its keys are copied into a new file beside
// it, changed there, and the new file is renamed over it, so a link in its
// place is replaced, never written through (as replacePrivateFile of
// common/privatefile.h does for the files of temp/).
bool updateIni(const QString& path, const std::function<void(QSettings&)>& change) {
  const std::string target = path.toStdString();
  std::string fresh = target + ".XXXXXX";
  const int fd = ::mkostemp(fresh.data(), O_CLOEXEC);
  if (fd < 0) return false;
  ::close(fd);
  bool ok = false;
  {
    QSettings old(path, QSettings::IniFormat);
    QSettings ini(nativePath(fresh), QSettings::IniFormat);
    for (const QString& key : old.allKeys()) ini.setValue(key, old.value(key));
    change(ini);
    ini.sync();
    ok = ini.status() == QSettings::NoError;
  }
  ok = ok && ::rename(fresh.c_str(), target.c_str()) == 0;
  if (!ok) ::unlink(fresh.c_str());
  return ok;
}

QVariant stored(const char* key, const QVariant& otherwise) {
  return QSettings(iniPath(), QSettings::IniFormat).value(QLatin1String(key), otherwise);
}

void store(const char* key, const QVariant& value) {
  updateIni(iniPath(), [&](QSettings& ini) { ini.setValue(QLatin1String(key), value); });
}

}  // namespace

int lastChosenSite() {
  bool ok = false;
  const int id = stored(kLastSiteKey, -1).toInt(&ok);
  return ok ? id : -1;
}
void rememberChosenSite(int siteId) { store(kLastSiteKey, siteId); }
bool logInAtStart() { return stored(kLogInAtStartKey, false).toBool(); }
void setLogInAtStart(bool on) { store(kLogInAtStartKey, on); }
bool toldDataFolder() { return stored(kToldDataFolderKey, false).toBool(); }
void setToldDataFolder() { store(kToldDataFolderKey, true); }

bool restoreWindowState(QWidget& window, const std::string& path) {
  QSettings ini(nativePath(path), QSettings::IniFormat);
  const QByteArray geometry = ini.value(QLatin1String(kGeometryKey)).toByteArray();
  if (geometry.isEmpty()) return false;
  const QRect before = window.geometry();
  const Qt::WindowStates stateBefore = window.windowState();
  if (!window.restoreGeometry(geometry)) return false;
  // A state from a screen that is gone (a second monitor, say) would put the
  // window out of reach: keep the default then.
  const QRect frame = window.frameGeometry();
  for (const QScreen* screen : QGuiApplication::screens())
    if (screen->availableGeometry().intersects(frame)) return true;
  window.setWindowState(stateBefore);
  window.setGeometry(before);
  return false;
}

bool saveWindowState(const QWidget& window, const std::string& path) {
  return updateIni(nativePath(path),
                   [&](QSettings& ini) { ini.setValue(QLatin1String(kGeometryKey), window.saveGeometry()); });
}

void keepWindowState(QWidget& window) {
  const std::string path = programPath(kWindowStateFile);
  restoreWindowState(window, path);
  new SaveOnClose(window, path);
}

}  // namespace inkpost
