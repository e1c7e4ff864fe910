// TRunScope: the one bracket around a page's long run. While it lives the busy cursor shows,
// the page's running flag is set and the other pages' start and clear buttons are disabled;
// when it goes, on every way out (an error travelling out too), all of that is given back.
// A run that fails before it has made anything leaves its page's controls as they were.
#pragma once

#include <QPointer>
#include <QPushButton>
#include <functional>
#include <utility>
#include <vector>

namespace clipvane {

// What a run's bracket needs of its page.
struct TRunScopeLinks {
  // The page's running flag and the abort flag its run tests after processing messages.
  bool& Running;
  bool& AbortFlag;
  // The other pages' start and clear buttons (null entries are skipped).
  std::vector<QPushButton*> OtherRunButtons;
  // The controls the page's start and end steps switch (null entries are skipped).
  std::vector<QWidget*> OwnControls;
  // Sets the page's end-of-run controls; runs when the scope goes, unless the run failed
  // before it made anything.
  std::function<void()> EndStep;
  // Whether the run has made results the page holds (frames, a GIF); an error before that
  // puts OwnControls back as they were when the scope began.
  std::function<bool()> MadeResults;
};

// A run processes window messages after every frame; a second run started from another page
// in the meantime would work on the same results, abort flags and preview window under it,
// and another page's clear button would re-enable that page's start. So those buttons are
// held disabled for the run and then each gets back the state it had before, so a button
// that had no business being enabled stays disabled.
class TRunScope {
 public:
  // Takes note of OwnControls, disables OtherRunButtons, sets Running and shows the busy
  // cursor. Build it before the page's start step switches its controls.
  explicit TRunScope(TRunScopeLinks links);
  // Restores the cursor, runs the end step (or, after a failure before any result, gives the
  // own controls back), gives the other buttons back, clears Running; then, if the program
  // was told to quit meanwhile and no other run is live, does what WhenNoRun was given. A
  // failure of the end step or of that action is shown in the error box: at once after a
  // run that succeeded, after the run's own error when it failed.
  ~TRunScope();
  TRunScope(const TRunScope&) = delete;
  TRunScope& operator=(const TRunScope&) = delete;

  // Whether any run is live now.
  static bool AnyRun();
  // Sets the abort flag of every live run: each stops before its next frame.
  static void AbortAll();
  // Runs action now when no run is live, else once the last live run has ended and its page
  // has taken its end state (the end step may show windows that action must close again).
  // A later call replaces an action still waiting.
  static void WhenNoRun(std::function<void()> action);

 private:
  TRunScopeLinks links_;
  std::vector<std::pair<QPointer<QPushButton>, bool>> held_;
  std::vector<std::pair<QPointer<QWidget>, bool>> own_;
  int errorsAtStart_;
};

}  // namespace clipvane
