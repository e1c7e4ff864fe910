// The time line the media player plays on: the steady clock in the program, a clock that
// moves only when told in tests, so playback can be stepped instead of waited for.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>

namespace clipvane {

class TPlayerClock {
 public:
  using TListener = std::function<void()>;

  virtual ~TPlayerClock() = default;

  // Microseconds on a monotonic time line.
  virtual std::int64_t NowMicroseconds() const = 0;

  // How long a thread must really wait until NowMicroseconds() reaches `time`; nullopt for a
  // clock that moves only when told, which then calls its listeners instead.
  virtual std::optional<std::chrono::microseconds> RealWait(std::int64_t time) const = 0;

  // Listeners hear of every move that real time does not make. No listener is called after
  // RemoveListener returns.
  virtual int AddListener(TListener) { return 0; }
  virtual void RemoveListener(int) {}
};

// Real time: std::chrono::steady_clock.
class TSteadyPlayerClock final : public TPlayerClock {
 public:
  std::int64_t NowMicroseconds() const override;
  std::optional<std::chrono::microseconds> RealWait(std::int64_t time) const override;
};

// A clock that stands still until Advance moves it; for tests.
class TSteppedPlayerClock final : public TPlayerClock {
 public:
  std::int64_t NowMicroseconds() const override { return now_.load(); }
  std::optional<std::chrono::microseconds> RealWait(std::int64_t) const override { return std::nullopt; }
  int AddListener(TListener listener) override;
  void RemoveListener(int id) override;

  // Moves the clock forward and tells the listeners.
  void Advance(std::chrono::microseconds by);

 private:
  std::atomic<std::int64_t> now_{0};
  std::mutex listenersMutex_;
  std::map<int, TListener> listeners_;
  int nextId_ = 1;
};

}  // namespace clipvane
