// The steady and the stepped player clocks.
#include "video/player_clock.h"

#include <algorithm>

namespace clipvane {

std::int64_t TSteadyPlayerClock::NowMicroseconds() const {
  return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

std::optional<std::chrono::microseconds> TSteadyPlayerClock::RealWait(std::int64_t time) const {
  return std::chrono::microseconds(std::max<std::int64_t>(0, time - NowMicroseconds()));
}

int TSteppedPlayerClock::AddListener(TListener listener) {
  std::lock_guard lock(listenersMutex_);
  const int id = nextId_++;
  listeners_.emplace(id, std::move(listener));
  return id;
}

void TSteppedPlayerClock::RemoveListener(int id) {
  std::lock_guard lock(listenersMutex_);
  listeners_.erase(id);
}

void TSteppedPlayerClock::Advance(std::chrono::microseconds by) {
  now_ += by.count();
  // Called under the lock, so a listener that was removed is never called afterwards.
  std::lock_guard lock(listenersMutex_);
  for (auto& [id, listener] : listeners_) listener();
}

}  // namespace clipvane
