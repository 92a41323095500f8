// inkpost-fault-report --caption CAPTION --text TEXT
//
// Shows the fault report of a crashed inkpost-client in an error message box
// and returns when the user has closed it (exit code 0). The crashed process
// starts this program and waits for it: a fresh process can always show a
// window, whatever state the crashed one is in. Caption and text are UTF-8.
//
// Exit code 2 when there is no display to show the box on (the crashed
// process then writes the report to standard error instead).
//
// INKPOST_FAULT_REPORT_AUTOCLOSE_MS=N closes the box after N milliseconds and
// first prints the caption and the text shown to standard output (for tests).
#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

bool haveDisplay() {
  auto set = [](const char* name) {
    const char* v = std::getenv(name);
    return v && *v;
  };
  return set("DISPLAY") || set("WAYLAND_DISPLAY") || set("QT_QPA_PLATFORM");
}

}  // namespace

int main(int argc, char** argv) {
  const char* caption = "";
  const char* text = "";
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--caption") == 0) caption = argv[i + 1];
    if (std::strcmp(argv[i], "--text") == 0) text = argv[i + 1];
  }
  if (!haveDisplay()) return 2;

  // Qt sees no arguments: the report text must never be read as an option.
  int qtArgc = 1;
  char* qtArgv[] = {argv[0], nullptr};
  QApplication app(qtArgc, qtArgv);

  QString body = QString::fromUtf8(text);
  body.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  QMessageBox box(QMessageBox::Critical, QString::fromUtf8(caption), body, QMessageBox::Ok);
  box.setTextFormat(Qt::PlainText);
  box.setTextInteractionFlags(Qt::TextSelectableByMouse);
  box.setWindowFlag(Qt::WindowStaysOnTopHint);

  if (const char* ms = std::getenv("INKPOST_FAULT_REPORT_AUTOCLOSE_MS")) {
    std::printf("%s\n%s\n", box.windowTitle().toUtf8().constData(), box.text().toUtf8().constData());
    std::fflush(stdout);
    QTimer::singleShot(std::atoi(ms), &box, &QMessageBox::accept);
  }
  box.exec();
  return 0;
}
