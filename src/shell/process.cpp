#include "shell/process.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include <unistd.h>

#include <cstdlib>

namespace inkpost {

void prepareProcess() {
  // Chromium refuses to start as root with its sandbox on; ordinary users
  // keep it.
  if (geteuid() == 0) setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 0);
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
}

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
