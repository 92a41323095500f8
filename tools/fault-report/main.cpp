// inkpost-fault-report --from-fd N
//
// Shows the fault report of a crashed inkpost-client in an error message box
// and returns when the user has closed it (exit code 0). The crashed process
// starts this program and waits for it: a fresh process can always show a
// window, whatever state the crashed one is in. Caption and text are UTF-8,
// read from descriptor N (each closed by a NUL byte, then end of file):
// never on the command line, which every local user can read.
//
// Exit code 2 when there is no display to show the box on (the crashed
// process then writes the report to standard error instead).
//
// The box speaks Chinese like the program: its button reads "确定", and Qt's
// own texts (the copy menu of the selectable report) come from Qt's Chinese
// catalogue when it is installed.
//
// INKPOST_FAULT_REPORT_AUTOCLOSE_MS=N closes the box after N milliseconds and
// first prints the caption, the text shown and the button's text to standard
// output (for tests).
#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QTranslator>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <unistd.h>

namespace {

bool haveDisplay() {
  auto set = [](const char* name) {
    const char* v = std::getenv(name);
    return v && *v;
  };
  return set("DISPLAY") || set("WAYLAND_DISPLAY") || set("QT_QPA_PLATFORM");
}

// Everything the descriptor gives until its end, at most `cap` bytes.
std::string readAll(int fd, size_t cap) {
  std::string out;
  char buf[65536];
  while (out.size() < cap) {
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    out.append(buf, static_cast<size_t>(n));
  }
  return out;
}

constexpr size_t kMaxReportBytes = 4u << 20;

}  // namespace

int main(int argc, char** argv) {
  int fd = -1;
  for (int i = 1; i + 1 < argc; i += 2)
    if (std::strcmp(argv[i], "--from-fd") == 0) fd = std::atoi(argv[i + 1]);
  if (fd < 0) return 1;
  std::string report = readAll(fd, kMaxReportBytes);
  ::close(fd);
  const size_t end = report.find('\0');
  const std::string captionText = report.substr(0, end);
  const std::string bodyText = end == std::string::npos ? std::string() : report.substr(end + 1);
  const char* caption = captionText.c_str();  // up to its NUL
  const char* text = bodyText.c_str();
  if (!haveDisplay()) return 2;

  // Qt sees no arguments: the report text must never be read as an option.
  int qtArgc = 1;
  char* qtArgv[] = {argv[0], nullptr};
  QApplication app(qtArgc, qtArgv);
  const QLocale chinese(QLocale::Chinese, QLocale::SimplifiedChineseScript, QLocale::China);
  QLocale::setDefault(chinese);
  QTranslator qtTexts;
  if (qtTexts.load(chinese, QStringLiteral("qt"), QStringLiteral("_"),
                   QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
    QApplication::installTranslator(&qtTexts);

  QString body = QString::fromUtf8(text);
  body.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  QMessageBox box(QMessageBox::Critical, QString::fromUtf8(caption), body, QMessageBox::Ok);
  box.setTextFormat(Qt::PlainText);
  box.setTextInteractionFlags(Qt::TextSelectableByMouse);
  box.setWindowFlag(Qt::WindowStaysOnTopHint);
  box.button(QMessageBox::Ok)->setText(QStringLiteral("确定"));

  if (const char* ms = std::getenv("INKPOST_FAULT_REPORT_AUTOCLOSE_MS")) {
    std::printf("%s\n%s\n%s\n", box.windowTitle().toUtf8().constData(), box.text().toUtf8().constData(),
                box.button(QMessageBox::Ok)->text().toUtf8().constData());
    std::fflush(stdout);
    QTimer::singleShot(std::atoi(ms), &box, &QMessageBox::accept);
  }
  box.exec();
  return 0;
}
