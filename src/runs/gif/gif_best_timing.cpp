// Durations of the sampled frames on the video's time line.
#include "runs/gif/gif_best_timing.h"

#include <algorithm>

namespace clipvane {

TGifTimeline BestGifTimeline(const TVideoState& state, std::span<const int> frames, int step, bool keepPlaySpeed,
                             const TVideoFrameTimes& times) {
  const int span = keepPlaySpeed ? std::max(step, 1) : 1;
  std::vector<std::int64_t> durations;
  durations.reserve(frames.size());
  if (times.Starts.size() >= 2) {
    // The last entry is the end: frames past it last nothing.
    const auto last = static_cast<std::int64_t>(times.Starts.size()) - 1;
    auto startOf = [&](std::int64_t n) {
      return times.Starts[static_cast<std::size_t>(std::clamp<std::int64_t>(n, 0, last))];
    };
    for (const int n : frames) durations.push_back(startOf(std::int64_t{n} + span) - startOf(n));
    return TGifTimeline(durations, times.Base, TShortFrameRule::sfLeaveOut);
  }
  if (state.LastFrame <= 0 || state.LengthMs <= 0)
    return TGifTimeline::ConstantRate(static_cast<int>(frames.size()), 100 * span, TTimeBase{1, 1000},
                                      TShortFrameRule::sfLeaveOut);
  // One video frame lasts LengthMs / LastFrame ms: LengthMs ticks of 1 / (1000 LastFrame) s.
  return TGifTimeline::ConstantRate(static_cast<int>(frames.size()), std::int64_t{state.LengthMs} * span,
                                    TTimeBase{1, std::int64_t{1000} * state.LastFrame}, TShortFrameRule::sfLeaveOut);
}

}  // namespace clipvane
