// The start buttons of the other pages' long runs, held disabled while one run works.
#pragma once

#include <QPointer>
#include <QPushButton>
#include <utility>
#include <vector>

namespace clipvane {

// A run processes window messages after every frame; a second run started from another page
// in the meantime would work on the same results, abort flags and preview window under it.
// The lock disables those start buttons for its lifetime and then gives each back the state
// it had before, so a button that had no business being enabled stays disabled.
class TRunStartsLock {
 public:
  explicit TRunStartsLock(const std::vector<QPushButton*>& starts) {
    for (QPushButton* button : starts) {
      if (!button) continue;
      held_.emplace_back(button, button->isEnabled());
      button->setEnabled(false);
    }
  }
  ~TRunStartsLock() { Release(); }
  TRunStartsLock(const TRunStartsLock&) = delete;
  TRunStartsLock& operator=(const TRunStartsLock&) = delete;

  // Gives the buttons back before the lock goes (e.g. before a modal error box).
  void Release() {
    for (auto& [button, wasEnabled] : held_)
      if (button) button->setEnabled(wasEnabled);
    held_.clear();
  }

 private:
  std::vector<std::pair<QPointer<QPushButton>, bool>> held_;
};

}  // namespace clipvane
