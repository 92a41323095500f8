// Creating a window unit: a child widget of `parent` that carries its unit
// name as objectName (tests find it with findChild) at a fixed geometry.
#pragma once

#include <QString>
#include <QWidget>

namespace inkpost {

template <typename T>
T* unit(QWidget* parent, const char* name, int x, int y, int w, int h) {
  auto* u = new T(parent);
  u->setObjectName(QString::fromUtf8(name));
  u->setGeometry(x, y, w, h);
  return u;
}

}  // namespace inkpost
