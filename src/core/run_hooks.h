// How a long run talks to whoever watches it: progress, message processing, abort.
// The windows pass Qt callables, the CLI a terminal progress bar, tests plain lambdas;
// an empty callable does nothing (and never aborts).
#pragma once

#include <functional>

namespace clipvane {

struct TRunHooks {
  std::function<void(int position, int maximum)> progress;
  std::function<void()> processMessages;
  std::function<bool()> aborted;

  void Progress(int position, int maximum) const {
    if (progress) progress(position, maximum);
  }
  void ProcessMessages() const {
    if (processMessages) processMessages();
  }
  bool Aborted() const { return aborted && aborted(); }
};

}  // namespace clipvane
