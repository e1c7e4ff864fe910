// TRunScope: the busy cursor, the running flag and the other pages' buttons around a run; the
// live runs, so that quitting can stop them and wait for them to unwind.
#include "ui/run_scope.h"

#include <QApplication>
#include <QTimer>
#include <algorithm>
#include <exception>

#include "ui/error_box.h"

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

// The words of an error caught as it left a step that must not end the clean-up around it.
std::string MessageOf(const std::exception_ptr& error) {
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& caught) {
    return ErrorMessageOf(caught);
  } catch (...) {
    return "Internal error";
  }
}

// Shows the error of a step that ran while the run's own error, if any, is on its way out:
// then that one is the cause and is shown first, this one after it.
void Report(const std::exception_ptr& error, bool runFailing) {
  const std::string message = MessageOf(error);
  if (!runFailing) {
    ShowErrorBox(nullptr, message);
    return;
  }
  QTimer::singleShot(0, qApp, [message] { ShowErrorBox(nullptr, message); });
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
  // here, where the run's own error may already be on its way out, so it is shown instead.
  std::exception_ptr endStepError;
  try {
    const bool madeResults = !links_.MadeResults || links_.MadeResults();
    if (failing && !madeResults) {
      for (auto& [control, wasEnabled] : own_)
        if (control) control->setEnabled(wasEnabled);
    } else if (links_.EndStep) {
      links_.EndStep();
    }
  } catch (...) {
    endStepError = std::current_exception();
  }
  for (auto& [button, wasEnabled] : held_)
    if (button) button->setEnabled(wasEnabled);
  links_.Running = false;
  std::erase(LiveRuns(), this);
  if (endStepError) Report(endStepError, failing);
  if (LiveRuns().empty() && WaitingAction()) {
    const std::function<void()> action = std::exchange(WaitingAction(), nullptr);
    try {
      action();
    } catch (...) {
      Report(std::current_exception(), failing);
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
