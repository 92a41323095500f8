// Creating a window unit: a widget that carries its unit name (see
// unitnames.h) as objectName, at a fixed geometry or placed by a layout;
// and the captions and rows the panels lay their units out in.
#pragma once

#include <QBoxLayout>
#include <QLabel>
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

// A unit without a place of its own: the layout it is added to gives it its
// parent and geometry.
template <typename T>
T* unit(const char* name) {
  auto* u = new T;
  u->setObjectName(QString::fromUtf8(name));
  return u;
}

// The caption in front of a field ("标题："), right-aligned.
inline QLabel* fieldCaption(const char* utf8Text) {
  auto* l = new QLabel(QString::fromUtf8(utf8Text));
  l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  return l;
}

// A new row of captions and fields at the end of `into`; a field added with
// a stretch of 0 keeps its size.
inline QHBoxLayout* fieldRow(QBoxLayout* into) {
  auto* r = new QHBoxLayout;
  r->setSpacing(4);
  into->addLayout(r);
  return r;
}

}  // namespace inkpost
