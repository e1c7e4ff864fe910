// Exact time for GIF frames: each frame's delay is chosen so that the frame starts at its
// true time rounded to hundredths of a second, and the whole GIF lasts as long as the frames
// it stands for (within half a hundredth). Delays of 0 and 1 hundredths are played as 10 by
// browsers, so no frame is given less than 2: a frame that would start less than 2 after
// the one before is either left out (its time goes to the frame before) or given 2.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "core/video_frame_times.h"

namespace clipvane {

// What to do with a frame that would be shown for less than the shortest delay.
enum class TShortFrameRule {
  sfLeaveOut,  // samples of a video: leave it out; the frame before shows until the next
  sfLengthen,  // steps the user asked for: show it for the shortest delay
};

// One frame of the timeline.
struct TTimedFrame {
  bool Shown = true;
  std::uint16_t Delay = 0;  // hundredths of a second; 0 when not shown
};

class TGifTimeline {
 public:
  static constexpr int kShortestDelay = 2;  // hundredths of a second

  // Frames lasting durations[k] ticks each, in the order they are shown. A negative duration
  // counts as 0; a delay beyond 65535 hundredths is cut to 65535.
  TGifTimeline(std::span<const std::int64_t> durations, TTimeBase timeBase, TShortFrameRule rule);
  // frameCount frames of one duration each: durationTicks of timeBase.
  static TGifTimeline ConstantRate(int frameCount, std::int64_t durationTicks, TTimeBase timeBase,
                                   TShortFrameRule rule);
  // Frames that start at startTicks[k] (rising; the source's own timestamps), the last one
  // ending at endTicks.
  static TGifTimeline FromStartTimes(std::span<const std::int64_t> startTicks, std::int64_t endTicks,
                                     TTimeBase timeBase, TShortFrameRule rule);

  int Count() const { return static_cast<int>(frames_.size()); }
  const TTimedFrame& operator[](int index) const { return frames_.at(static_cast<std::size_t>(index)); }
  // The start of frame `index` on the exact time line, rounded to hundredths of a second.
  std::int64_t StartHundredths(int index) const { return starts_.at(static_cast<std::size_t>(index)); }
  // Sum of the delays of the frames shown.
  std::int64_t TotalHundredths() const;

 private:
  std::vector<TTimedFrame> frames_;
  std::vector<std::int64_t> starts_;
};

}  // namespace clipvane
