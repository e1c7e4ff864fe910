// Placing controls at fixed pixel positions, as every window of the program lays them out.
#pragma once

#include <QSpinBox>
#include <QWidget>

#include <utility>

namespace clipvane {

// A new child of parent at (left, top) with the given size; extra arguments go to the
// widget's constructor before the parent.
template <class Widget, class... Args>
Widget* Place(QWidget* parent, int left, int top, int width, int height, Args&&... args) {
  auto* widget = new Widget(std::forward<Args>(args)..., parent);
  widget->setGeometry(left, top, width, height);
  return widget;
}

// A 22-pixel-high number box with its range and start value.
inline QSpinBox* SpinBox(QWidget* parent, int left, int top, int width, int minimum, int maximum, int value) {
  auto* box = Place<QSpinBox>(parent, left, top, width, 22);
  box->setRange(minimum, maximum);
  box->setValue(value);
  return box;
}

}  // namespace clipvane
