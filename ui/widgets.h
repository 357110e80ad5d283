// Small pieces every window's layout code uses.
#pragma once

#include <QFrame>
#include <QScrollArea>
#include <QWidget>

namespace qv {

// A new child control of kind `W`, named as the tests and the captions
// find it.
template <typename W>
W* Named(const char* name, QWidget* parent) {
  auto* w = new W(parent);
  w->setObjectName(name);
  return w;
}

// `content` in a frameless scroll area that resizes it: it scrolls only
// when the window is smaller than all of it.
inline QScrollArea* Scroller(QWidget* content) {
  auto* area = new QScrollArea;
  area->setFrameShape(QFrame::NoFrame);
  area->setWidgetResizable(true);
  area->setWidget(content);
  return area;
}

}  // namespace qv
