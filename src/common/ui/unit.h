// Creating a window unit: a child widget of `parent` that carries its unit
// name as objectName (tests find it with findChild), at a fixed geometry or
// placed by a layout.
#pragma once

#include <QString>
#include <QWidget>

#include <stdexcept>
#include <string>

namespace inkpost {

template <typename T>
T* unit(QWidget* parent, const char* name, int x, int y, int w, int h) {
  auto* u = new T(parent);
  u->setObjectName(QString::fromUtf8(name));
  u->setGeometry(x, y, w, h);
  return u;
}

// A unit without a place of its own: the layout it is added to gives it its
// parent and geometry.
template <typename T>
T* unit(const char* name) {
  auto* u = new T;
  u->setObjectName(QString::fromUtf8(name));
  return u;
}

}  // namespace inkpost

namespace inkpost {

// The unit `name` of a window (searched among all its descendants). A
// missing unit is a fault of the program, reported by a std::logic_error
// that names it.
template <typename T>
T* unitOf(const QObject& window, const char* name) {
  T* u = window.findChild<T*>(QString::fromUtf8(name));
  if (!u) throw std::logic_error(std::string("missing window unit ") + name);
  return u;
}

}  // namespace inkpost
