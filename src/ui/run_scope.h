// TRunScope: the one bracket around a page's long run. While it lives the busy cursor shows,
// the page's running flag is set and the other pages' start and clear buttons are disabled;
// when it goes, on every way out (an error travelling out too), all of that is given back.
#pragma once

#include <QPointer>
#include <QPushButton>
#include <functional>
#include <utility>
#include <vector>

namespace clipvane {

// A run processes window messages after every frame; a second run started from another page
// in the meantime would work on the same results, abort flags and preview window under it,
// and another page's clear button would re-enable that page's start. So those buttons are
// held disabled for the run and then each gets back the state it had before, so a button
// that had no business being enabled stays disabled.
class TRunScope {
 public:
  // Disables otherRunButtons (null entries are skipped), sets running and shows the busy
  // cursor. endStep sets the page's own end-of-run controls; it runs when the scope goes.
  TRunScope(bool& running, const std::vector<QPushButton*>& otherRunButtons, std::function<void()> endStep);
  // Restores the cursor, runs the end step, gives the other buttons back, clears running.
  ~TRunScope();
  TRunScope(const TRunScope&) = delete;
  TRunScope& operator=(const TRunScope&) = delete;

 private:
  bool& running_;
  std::vector<std::pair<QPointer<QPushButton>, bool>> held_;
  std::function<void()> endStep_;
};

}  // namespace clipvane
