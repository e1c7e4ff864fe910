// The hand-over between worker threads and the user-interface thread: an auto-reset event,
// a millisecond clock tests can step, and the queue of work only the UI thread runs. Nothing
// here knows GIFs; the painters use it, and the windows implement the dispatcher's Notify.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <vector>

namespace clipvane {

// An auto-reset event: Set() lets one wait through and is consumed by it.
class TAutoResetEvent {
 public:
  void Set();
  // Consumes a pending signal; false when there is none.
  bool TryWait();
  // Waits for the signal (consumed; true) or until timeoutMs have passed (false); a negative
  // timeout waits without limit.
  bool WaitFor(int timeoutMs);
  // Waits for the signal (true) or until giveUp() holds (false). giveUp runs under the
  // event's lock; whoever changes what it reads calls Poke() afterwards.
  template <class Predicate>
  bool WaitUntil(Predicate giveUp) {
    std::unique_lock<std::mutex> lock(mutex_);
    condition_.wait(lock, [&] { return signalled_ || giveUp(); });
    if (!signalled_) return false;
    signalled_ = false;
    return true;
  }
  // Wakes waiters so that they test their give-up condition again.
  void Poke();

 private:
  std::mutex mutex_;
  std::condition_variable condition_;
  bool signalled_ = false;
};

// The millisecond clock an animation is timed with. Tests step a fake one.
class TPainterClock {
 public:
  virtual ~TPainterClock() = default;
  // Milliseconds of a steady clock (any origin).
  virtual std::int64_t Now() = 0;
  // Blocks the calling thread for about milliseconds (the slices of a non-threaded wait).
  virtual void Sleep(int milliseconds) = 0;
  // Blocks on the event: true when its signal ended the wait, false when timeoutMs passed
  // first. A negative timeout waits for the signal only.
  virtual bool Wait(TAutoResetEvent& event, int timeoutMs) = 0;
};

// std::chrono::steady_clock. Stateless, shared by every document without a clock of its own.
TPainterClock& SteadyPainterClock();

// The way painter threads reach the user-interface thread: a queue of work that only that
// thread runs. Painters post and wait; the UI thread runs the work when told (Notify), and
// itself whenever it waits for a painter. Must outlive every document that uses it.
class TUIDispatcher {
 public:
  virtual ~TUIDispatcher() = default;

  // Any thread: queues work for the UI thread, then calls Notify().
  void Post(std::function<void()> work);
  // UI thread: runs the queued work, including what is queued meanwhile; true when any ran.
  // The Qt side calls this from its queued call.
  bool Drain();
  // UI thread: runs queued work until done() holds, blocking while there is none. done() is
  // tested after every batch and after every WakeUp(); it must not be called with painter
  // locks held by the caller.
  void DrainUntil(const std::function<bool()>& done);
  // Any thread: something a DrainUntil may be waiting for has changed.
  void WakeUp();

  // UI thread, between the sleep slices of a non-threaded playback: handle pending messages.
  // False when the program is quitting (the painter then stops). By default runs the queue.
  virtual bool ProcessMessages();
  // UI thread: an error a painter thread caught. By default kept for TakeErrors().
  virtual void ReportError(std::exception_ptr error);
  // The errors ReportError kept, oldest first; the list is emptied.
  std::vector<std::exception_ptr> TakeErrors();

 protected:
  // Any thread, from Post with the queue locked: make the UI thread call Drain() soon (a
  // queued call), never run it here. By default nothing: the queue is then run only while
  // the UI thread waits for painters.
  virtual void Notify() {}

 private:
  std::mutex mutex_;
  std::condition_variable condition_;
  std::deque<std::function<void()>> queue_;
  std::uint64_t generation_ = 0;
  std::vector<std::exception_ptr> errors_;
};

}  // namespace clipvane
