#include "shell/process.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include <unistd.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace inkpost {

void prepareProcess() {
  // Chromium refuses to start as root with its sandbox on; ordinary users
  // keep it.
  if (geteuid() == 0) setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 0);
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
}

bool waitForDisplay(int waitMs) {
  const char* platform = std::getenv("QT_QPA_PLATFORM");
  if (platform && *platform && std::strncmp(platform, "xcb", 3) != 0) return true;
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  if ((!platform || !*platform) && wayland && *wayland) return true;
  const char* display = std::getenv("DISPLAY");
  if (!display || !*display) return true;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
  for (int pauseMs = 50;; pauseMs = std::min(pauseMs * 2, 1000)) {
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    const bool ok = c && xcb_connection_has_error(c) == 0;
    if (c) xcb_disconnect(c);
    if (ok) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));
  }
}

std::string noDisplayMessage() {
  const char* display = std::getenv("DISPLAY");
  return std::string("inkpost-client: 无法连接到显示服务器（DISPLAY=") + (display ? display : "") +
         "），窗口无法打开。请在图形桌面中启动本程序，或稍后再试。\n";
}

void startAgainForDisplay(char** argv) {
  const char* count = std::getenv("INKPOST_DISPLAY_TRIES");
  const int tries = count ? std::atoi(count) : 1;
  if (tries >= kDisplayTries || !argv) return;
  setenv("INKPOST_DISPLAY_TRIES", std::to_string(tries + 1).c_str(), 1);
  std::this_thread::sleep_for(std::chrono::milliseconds(200 * tries));
  execv("/proc/self/exe", argv);
}

void displayOpened() { unsetenv("INKPOST_DISPLAY_TRIES"); }

bool installTranslations() {
  const QLocale chinese(QLocale::Chinese, QLocale::SimplifiedChineseScript, QLocale::China);
  QLocale::setDefault(chinese);
  const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
  bool all = true;
  // qt_zh_CN loads qtbase's catalogue; WebEngine's own menus have theirs.
  for (const char* catalogue : {"qt", "qtwebengine"}) {
    auto* translator = new QTranslator(QCoreApplication::instance());
    if (translator->load(chinese, QString::fromLatin1(catalogue), QStringLiteral("_"), folder)) {
      QCoreApplication::installTranslator(translator);
    } else {
      delete translator;
      all = false;
    }
  }
  return all;
}

}  // namespace inkpost
