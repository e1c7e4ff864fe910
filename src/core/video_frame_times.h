// Time bases and the start time of every frame of a video whose frames do not come at one
// rate. Plain data shared by the video layer (which reads the times), the runs and the GIF
// timeline (which use them).
#pragma once

#include <cstdint>
#include <vector>

namespace clipvane {

// A time base: one tick lasts Numerator / Denominator seconds (both positive).
struct TTimeBase {
  std::int64_t Numerator = 1;
  std::int64_t Denominator = 1000;  // milliseconds

  friend bool operator==(const TTimeBase&, const TTimeBase&) = default;
};

// Starts[n] is where frame n starts, counted from the first frame's start (so Starts[0] is 0),
// and the entry after the last frame is where the video ends, in ticks of Base; the entries
// rise. Empty for a video whose frames come at one rate (LengthMs / LastFrame each).
struct TVideoFrameTimes {
  std::vector<std::int64_t> Starts;
  TTimeBase Base;

  bool Empty() const { return Starts.size() < 2; }
  // Milliseconds from the first frame's start to the start of `frame` (the end for the
  // entry after the last), truncated; frames outside the table are clamped to it.
  std::int64_t StartMs(std::int64_t frame) const;
  // The frame showing at `ms` milliseconds: the last one starting at or before it (0 before
  // the first; the entry after the last frame at or after the end).
  std::int64_t FrameAtMs(std::int64_t ms) const;
};

}  // namespace clipvane
