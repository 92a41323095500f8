// The binding table: every event of the main window that has a handler is
// connected here, and only here. Sections follow the subsystems.
#include "app/shell/shell.h"

#include "app/ui/mainwindow.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QWebEngineView>

namespace inkpost {

void bindMainWindow(MainWindow& w) {
  QObject::connect(&w, &MainWindow::aboutToBeDestroyed, &w, [&w] { shutDown(w); });

  // --- shell: menus and links

  // --- sites: chooser flags

  // --- blog: login, title, publishing
  // 组合框_分类 selection changed: bound to a handler that does nothing.
  QObject::connect(w.categoryBox, &QComboBox::currentIndexChanged, &w, [](int) {});

  // --- images: drop, address, capture, gallery

  // --- drafts and tags

  // --- cross-posting
}

}  // namespace inkpost
