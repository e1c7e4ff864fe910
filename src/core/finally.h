// TFinally: runs a step on every way out of a scope, also when an error travels out, as the
// runs' clean-up must (cursor, buttons and progress bar restored after a failure too).
#pragma once

#include <functional>
#include <utility>

namespace clipvane {

class TFinally {
 public:
  explicit TFinally(std::function<void()> done) : done_(std::move(done)) {}
  ~TFinally() {
    if (done_) done_();
  }
  TFinally(const TFinally&) = delete;
  TFinally& operator=(const TFinally&) = delete;

 private:
  std::function<void()> done_;
};

}  // namespace clipvane
