// Waiting on the event loop in GUI tests and benchmarks. Header-only: only
// executables linked with Qt Test include it.
#pragma once

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTest>
#include <QTimer>
#include <QVariant>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <functional>
#include <memory>

namespace inkpost::test {

// Runs a local event loop for ms milliseconds.
inline void spin(int ms) {
  QEventLoop loop;
  QTimer::singleShot(ms, &loop, &QEventLoop::quit);
  loop.exec();
}

// Runs the event loop until `done` holds; false when timeoutMs passed first.
inline bool waitUntil(const std::function<bool()>& done, int timeoutMs = 15000) {
  QElapsedTimer t;
  t.start();
  while (!done()) {
    if (t.elapsed() > timeoutMs) return false;
    QTest::qWait(20);
  }
  return true;
}

// The value of a script run in the view's page; invalid when no answer
// came within timeoutMs (a late answer lands in memory of its own).
inline QVariant runScript(QWebEngineView* view, const QString& script, int timeoutMs = 10000) {
  auto result = std::make_shared<std::pair<bool, QVariant>>(false, QVariant());
  view->page()->runJavaScript(script, [result](const QVariant& v) {
    result->first = true;
    result->second = v;
  });
  waitUntil([&] { return result->first; }, timeoutMs);
  return result->second;
}

}  // namespace inkpost::test
