// Frame start times in milliseconds and back.
#include "core/video_frame_times.h"

#include <algorithm>

namespace clipvane {

namespace {

__extension__ using TWide = __int128;

std::int64_t TicksToMs(std::int64_t ticks, const TTimeBase& base) {
  const TWide scaled = static_cast<TWide>(ticks) * base.Numerator * 1000;
  return static_cast<std::int64_t>(scaled / std::max<std::int64_t>(base.Denominator, 1));
}

}  // namespace

std::int64_t TVideoFrameTimes::StartMs(std::int64_t frame) const {
  if (Starts.empty()) return 0;
  const auto last = static_cast<std::int64_t>(Starts.size()) - 1;
  return TicksToMs(Starts[static_cast<std::size_t>(std::clamp<std::int64_t>(frame, 0, last))], Base);
}

std::int64_t TVideoFrameTimes::FrameAtMs(std::int64_t ms) const {
  if (Starts.empty()) return 0;
  // The first start later than ms, by the truncated milliseconds each start shows as.
  const auto later = std::upper_bound(Starts.begin(), Starts.end(), ms, [this](std::int64_t value, std::int64_t start) {
    return value < TicksToMs(start, Base);
  });
  return std::max<std::int64_t>(0, (later - Starts.begin()) - 1);
}

}  // namespace clipvane
