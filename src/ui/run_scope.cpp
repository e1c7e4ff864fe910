// TRunScope: the busy cursor, the running flag and the other pages' buttons around a run.
#include "ui/run_scope.h"

#include <QApplication>

namespace clipvane {

TRunScope::TRunScope(bool& running, const std::vector<QPushButton*>& otherRunButtons,
                     std::function<void()> endStep)
    : running_(running), endStep_(std::move(endStep)) {
  for (QPushButton* button : otherRunButtons) {
    if (!button) continue;
    held_.emplace_back(button, button->isEnabled());
    button->setEnabled(false);
  }
  running_ = true;
  QApplication::setOverrideCursor(Qt::BusyCursor);
}

TRunScope::~TRunScope() {
  QApplication::restoreOverrideCursor();
  // The page must come back usable even when its end step fails; that failure cannot leave
  // here, where the run's own error may already be on its way out.
  try {
    if (endStep_) endStep_();
  } catch (...) {
  }
  for (auto& [button, wasEnabled] : held_)
    if (button) button->setEnabled(wasEnabled);
  running_ = false;
}

}  // namespace clipvane
