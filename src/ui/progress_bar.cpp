// TProgressBar: keeps its own range and maps it onto the Qt bar.
#include "ui/progress_bar.h"

#include <algorithm>

namespace clipvane {

TProgressBar::TProgressBar(QWidget* parent) : QProgressBar(parent) {
  setTextVisible(false);
  Show();
}

void TProgressBar::SetMin(int value) {
  min_ = value;
  max_ = std::max(max_, min_);
  position_ = std::clamp(position_, min_, max_);
  Show();
}

void TProgressBar::SetMax(int value) {
  max_ = value;
  min_ = std::min(min_, max_);
  position_ = std::clamp(position_, min_, max_);
  Show();
}

void TProgressBar::SetPosition(int value) {
  position_ = std::clamp(value, min_, max_);
  Show();
}

void TProgressBar::Show() {
  if (max_ > min_) {
    setRange(min_, max_);
    setValue(position_);
  } else {
    setRange(0, 1);  // an empty range would make Qt animate a busy bar
    setValue(0);
  }
}

std::function<void(int position, int maximum)> ProgressBarHook(TProgressBar* bar) {
  return [bar](int position, int maximum) {
    if (!bar) return;
    bar->SetMin(0);
    bar->SetMax(maximum);
    bar->SetPosition(position);
  };
}

}  // namespace clipvane
