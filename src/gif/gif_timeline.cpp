// Frame starts rounded on the exact time line, and the delays between them.
#include "gif/gif_timeline.h"

#include <algorithm>

namespace clipvane {

namespace {

__extension__ using TWide = __int128;

// ticks x Numerator x 100 / Denominator to the nearest integer (halves up), in 128 bits so
// that hours of a 90 kHz clock cannot overflow.
std::int64_t ToHundredths(std::int64_t ticks, TTimeBase base) {
  const TWide scaled = static_cast<TWide>(std::max<std::int64_t>(ticks, 0)) * base.Numerator * 100;
  const TWide denominator = std::max<std::int64_t>(base.Denominator, 1);
  return static_cast<std::int64_t>((2 * scaled + denominator) / (2 * denominator));
}

std::uint16_t ToDelay(std::int64_t hundredths) {
  return static_cast<std::uint16_t>(std::clamp<std::int64_t>(hundredths, 0, 65535));
}

}  // namespace

TGifTimeline::TGifTimeline(std::span<const std::int64_t> durations, TTimeBase timeBase, TShortFrameRule rule) {
  if (timeBase.Numerator < 1) timeBase.Numerator = 1;
  const std::size_t count = durations.size();
  frames_.resize(count);
  starts_.resize(count);
  if (count == 0) return;
  std::int64_t ticks = 0;
  for (std::size_t k = 0; k < count; ++k) {
    starts_[k] = ToHundredths(ticks, timeBase);
    ticks += std::max<std::int64_t>(durations[k], 0);
  }
  const std::int64_t end = ToHundredths(ticks, timeBase);

  if (rule == TShortFrameRule::sfLengthen) {
    // Every frame stays; one that would come too soon is pushed back, and so the rest.
    std::int64_t previous = starts_[0];
    for (std::size_t k = 1; k < count; ++k) {
      starts_[k] = std::max(starts_[k], previous + kShortestDelay);
      frames_[k - 1].Delay = ToDelay(starts_[k] - previous);
      previous = starts_[k];
    }
    frames_[count - 1].Delay = ToDelay(std::max(end - previous, std::int64_t{kShortestDelay}));
    return;
  }

  // Leave out: a frame is shown when it starts at least the shortest delay after the last
  // one shown; the last one shown lasts until the end.
  std::size_t shown = 0;
  std::size_t beforeShown = count;  // the frame shown before `shown`, none yet
  for (std::size_t k = 1; k < count; ++k) {
    if (starts_[k] - starts_[shown] >= kShortestDelay) {
      frames_[shown].Delay = ToDelay(starts_[k] - starts_[shown]);
      beforeShown = shown;
      shown = k;
    } else {
      frames_[k].Shown = false;
    }
  }
  if (end - starts_[shown] >= kShortestDelay || beforeShown == count) {
    frames_[shown].Delay = ToDelay(std::max(end - starts_[shown], std::int64_t{kShortestDelay}));
  } else {
    // Too little time is left for the last one: the one before shows until the end.
    frames_[shown] = TTimedFrame{false, 0};
    frames_[beforeShown].Delay = ToDelay(end - starts_[beforeShown]);
  }
}

TGifTimeline TGifTimeline::ConstantRate(int frameCount, std::int64_t durationTicks, TTimeBase timeBase,
                                        TShortFrameRule rule) {
  const std::vector<std::int64_t> durations(static_cast<std::size_t>(std::max(frameCount, 0)), durationTicks);
  return TGifTimeline(durations, timeBase, rule);
}

TGifTimeline TGifTimeline::FromStartTimes(std::span<const std::int64_t> startTicks, std::int64_t endTicks,
                                          TTimeBase timeBase, TShortFrameRule rule) {
  std::vector<std::int64_t> durations(startTicks.size());
  for (std::size_t k = 0; k < startTicks.size(); ++k)
    durations[k] = (k + 1 < startTicks.size() ? startTicks[k + 1] : endTicks) - startTicks[k];
  return TGifTimeline(durations, timeBase, rule);
}

std::int64_t TGifTimeline::TotalHundredths() const {
  std::int64_t total = 0;
  for (const TTimedFrame& frame : frames_) total += frame.Delay;
  return total;
}

}  // namespace clipvane
