// The auto-reset event, the steady clock and the UI dispatcher's queue.
#include "gif/ui_handover.h"

#include <chrono>
#include <thread>
#include <utility>

namespace clipvane {

void TAutoResetEvent::Set() {
  std::lock_guard<std::mutex> lock(mutex_);
  signalled_ = true;
  condition_.notify_all();
}

bool TAutoResetEvent::TryWait() {
  std::lock_guard<std::mutex> lock(mutex_);
  const bool signalled = signalled_;
  signalled_ = false;
  return signalled;
}

bool TAutoResetEvent::WaitFor(int timeoutMs) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (timeoutMs < 0) {
    condition_.wait(lock, [this] { return signalled_; });
  } else if (!condition_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return signalled_; })) {
    return false;
  }
  signalled_ = false;
  return true;
}

void TAutoResetEvent::Poke() {
  std::lock_guard<std::mutex> lock(mutex_);
  condition_.notify_all();
}

namespace {

class TSteadyPainterClock final : public TPainterClock {
 public:
  std::int64_t Now() override {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
  }
  void Sleep(int milliseconds) override { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }
  bool Wait(TAutoResetEvent& event, int timeoutMs) override { return event.WaitFor(timeoutMs); }
};

}  // namespace

TPainterClock& SteadyPainterClock() {
  static TSteadyPainterClock clock;
  return clock;
}

void TUIDispatcher::Post(std::function<void()> work) {
  // Everything under the lock: once it is released the work may run, and its end may be the
  // end of the dispatcher too, so the poster must not touch it afterwards.
  std::lock_guard<std::mutex> lock(mutex_);
  queue_.push_back(std::move(work));
  ++generation_;
  condition_.notify_all();
  Notify();
}

bool TUIDispatcher::Drain() {
  bool ran = false;
  for (;;) {
    std::function<void()> work;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (queue_.empty()) break;
      work = std::move(queue_.front());
      queue_.pop_front();
    }
    // Run outside the lock: the work may post, wait for painters or drain again.
    work();
    ran = true;
  }
  return ran;
}

void TUIDispatcher::DrainUntil(const std::function<bool()>& done) {
  for (;;) {
    Drain();
    std::uint64_t generation;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      generation = generation_;
    }
    // Tested without our lock: done() takes painter locks, and painters post under theirs.
    if (done()) return;
    std::unique_lock<std::mutex> lock(mutex_);
    condition_.wait(lock, [&] { return !queue_.empty() || generation_ != generation; });
  }
}

void TUIDispatcher::WakeUp() {
  std::lock_guard<std::mutex> lock(mutex_);
  ++generation_;
  condition_.notify_all();
}

bool TUIDispatcher::ProcessMessages() {
  Drain();
  return true;
}

void TUIDispatcher::ReportError(std::exception_ptr error) {
  std::lock_guard<std::mutex> lock(mutex_);
  errors_.push_back(std::move(error));
}

std::vector<std::exception_ptr> TUIDispatcher::TakeErrors() {
  std::lock_guard<std::mutex> lock(mutex_);
  return std::exchange(errors_, {});
}

}  // namespace clipvane
