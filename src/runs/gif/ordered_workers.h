// TOrderedWorkers: items worked on by a few threads at once and handed back in the order they
// came. At most `capacity` items are held between Submit and Take, so what they hold stays
// bounded however far the caller runs ahead of the workers.
#pragma once

#include <pthread.h>

#include <algorithm>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <utility>
#include <vector>

namespace clipvane {

template <class TItem>
class TOrderedWorkers {
 public:
  using TWork = std::function<void(TItem&)>;

  // An item handed back, and the error its work ended with (none when it succeeded).
  struct TDone {
    TItem Item;
    std::exception_ptr Error;
  };

  // threads >= 1 workers, each working on one item at a time with `work`, which must touch
  // nothing but the item (and what no other thread changes meanwhile). name: the threads'
  // name (at most 15 characters), so that a debugger and top -H can tell them.
  TOrderedWorkers(int threads, std::size_t capacity, TWork work, const char* name)
      : capacity_(std::max<std::size_t>(capacity, 1)), work_(std::move(work)) {
    try {
      for (int i = 0; i < std::max(threads, 1); ++i) {
        workers_.emplace_back([this] { Loop(); });
        pthread_setname_np(workers_.back().native_handle(), name);
      }
    } catch (...) {
      Stop();
      throw;
    }
  }
  // Items not started are dropped; waits for those being worked on.
  ~TOrderedWorkers() { Stop(); }
  TOrderedWorkers(const TOrderedWorkers&) = delete;
  TOrderedWorkers& operator=(const TOrderedWorkers&) = delete;

  // Caller's thread. Items submitted and not yet taken.
  std::size_t Held() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return slots_.size();
  }
  // Caller's thread. Submit needs room: take the oldest item first when this says so.
  bool Full() const { return Held() >= capacity_; }

  // Caller's thread: queues the item. Throws std::logic_error when Full().
  void Submit(TItem item) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (slots_.size() >= capacity_) throw std::logic_error("TOrderedWorkers::Submit on a full queue");
      slots_.push_back(TSlot{std::move(item), false, false, nullptr});
    }
    changed_.notify_all();
  }

  // Caller's thread: the oldest item is worked on and may be taken without waiting.
  bool OldestDone() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return !slots_.empty() && slots_.front().Done;
  }

  // Caller's thread: the oldest item once its work is done (waits for it). Needs Held() > 0.
  TDone Take() {
    std::unique_lock<std::mutex> lock(mutex_);
    if (slots_.empty()) throw std::logic_error("TOrderedWorkers::Take with nothing held");
    changed_.wait(lock, [this] { return slots_.front().Done; });
    TDone done{std::move(slots_.front().Item), slots_.front().Error};
    slots_.pop_front();
    return done;
  }

 private:
  struct TSlot {
    TItem Item;
    bool Started = false;
    bool Done = false;
    std::exception_ptr Error;
  };

  void Loop() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      TSlot* slot = nullptr;
      changed_.wait(lock, [&] {
        if (stopping_) return true;
        for (TSlot& waiting : slots_)
          if (!waiting.Started) {
            slot = &waiting;
            return true;
          }
        return false;
      });
      if (stopping_) return;
      slot->Started = true;
      lock.unlock();
      // A slot keeps its place in the deque while others come and go at its ends.
      std::exception_ptr error;
      try {
        work_(slot->Item);
      } catch (...) {
        error = std::current_exception();
      }
      lock.lock();
      slot->Error = error;
      slot->Done = true;
      changed_.notify_all();
    }
  }

  void Stop() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stopping_ = true;
    }
    changed_.notify_all();
    for (std::thread& worker : workers_) worker.join();
    workers_.clear();
  }

  const std::size_t capacity_;
  const TWork work_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<TSlot> slots_;  // submitted and not yet taken, oldest first
  bool stopping_ = false;
  std::vector<std::thread> workers_;  // last: they start once everything they use exists
};

}  // namespace clipvane
