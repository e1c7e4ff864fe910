// TRunScope: the busy cursor, the running flag and the other pages' buttons around a run; the
// live runs, so that quitting can stop them and wait for them to unwind.
#include "ui/run_scope.h"

#include <QApplication>
#include <algorithm>
#include <exception>

namespace clipvane {

namespace {

// The runs live now (a run processes messages, so another page's could in principle nest).
std::vector<TRunScope*>& LiveRuns() {
  static std::vector<TRunScope*> runs;
  return runs;
}

std::function<void()>& WaitingAction() {
  static std::function<void()> action;
  return action;
}

}  // namespace

TRunScope::TRunScope(TRunScopeLinks links) : links_(std::move(links)), errorsAtStart_(std::uncaught_exceptions()) {
  for (QWidget* control : links_.OwnControls)
    if (control) own_.emplace_back(control, control->isEnabled());
  for (QPushButton* button : links_.OtherRunButtons) {
    if (!button) continue;
    held_.emplace_back(button, button->isEnabled());
    button->setEnabled(false);
  }
  links_.Running = true;
  LiveRuns().push_back(this);
  QApplication::setOverrideCursor(Qt::BusyCursor);
}

TRunScope::~TRunScope() {
  QApplication::restoreOverrideCursor();
  const bool failing = std::uncaught_exceptions() > errorsAtStart_;
  // The page must come back usable even when its end step fails; that failure cannot leave
  // here, where the run's own error may already be on its way out.
  try {
    const bool madeResults = !links_.MadeResults || links_.MadeResults();
    if (failing && !madeResults) {
      for (auto& [control, wasEnabled] : own_)
        if (control) control->setEnabled(wasEnabled);
    } else if (links_.EndStep) {
      links_.EndStep();
    }
  } catch (...) {
  }
  for (auto& [button, wasEnabled] : held_)
    if (button) button->setEnabled(wasEnabled);
  links_.Running = false;
  std::erase(LiveRuns(), this);
  if (LiveRuns().empty() && WaitingAction()) {
    const std::function<void()> action = std::exchange(WaitingAction(), nullptr);
    try {
      action();
    } catch (...) {
    }
  }
}

bool TRunScope::AnyRun() { return !LiveRuns().empty(); }

void TRunScope::AbortAll() {
  for (TRunScope* run : LiveRuns()) run->links_.AbortFlag = true;
}

void TRunScope::WhenNoRun(std::function<void()> action) {
  if (LiveRuns().empty()) {
    if (action) action();
    return;
  }
  WaitingAction() = std::move(action);
}

}  // namespace clipvane
