#include "shell/windowstate.h"

#include "common/programdir.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QSettings>
#include <QWidget>

namespace inkpost {
namespace {

const char kGeometryKey[] = "window/geometry";

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
  QSettings ini(nativePath(path), QSettings::IniFormat);
  ini.setValue(QLatin1String(kGeometryKey), window.saveGeometry());
  ini.sync();
  return ini.status() == QSettings::NoError;
}

void keepWindowState(QWidget& window) {
  const std::string path = programPath(kWindowStateFile);
  restoreWindowState(window, path);
  new SaveOnClose(window, path);
}

}  // namespace inkpost
