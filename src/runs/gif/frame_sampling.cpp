// Sampling, range choices and the time range conversion.
#include "runs/gif/frame_sampling.h"

#include <algorithm>
#include <cstdint>

#include "core/conversions.h"
#include "runs/frames/extraction_run.h"

namespace clipvane {

int SamplingStep(const TVideoState& state) { return std::max(state.SamplingRate, 1); }

bool KeepSpeedEnabled(int samplingRate) { return samplingRate != 1; }

bool SetSamplingRate(TVideoState& state, int value) {
  state.SamplingRate = std::clamp(value, kMinSamplingRate, kMaxSamplingRate);
  return KeepSpeedEnabled(state.SamplingRate);
}

std::vector<int> SampledFrames(const TVideoState& state) {
  std::vector<int> frames;
  const std::int64_t ticks = static_cast<std::int64_t>(state.FrameSelected.size());
  const std::int64_t last = std::min<std::int64_t>(state.RangeLast, ticks - 1);
  // 64-bit steps: a range reaching the top of int must not wrap round.
  for (std::int64_t n = state.RangeFirst; n <= last; n += SamplingStep(state))
    if (n >= 0 && state.FrameSelected[static_cast<std::size_t>(n)]) frames.push_back(static_cast<int>(n));
  return frames;
}

TRangeBoxes ResetRangeBoxes(const TVideoState& state) {
  TRangeBoxes boxes;
  boxes.FrameMaximum = std::max(state.LastFrame, 0);
  boxes.FrameTo = boxes.FrameMaximum;
  boxes.TimeMaximum = std::max(state.LengthSeconds, 0);
  boxes.TimeTo = boxes.TimeMaximum;
  return boxes;
}

void SelectAllFrames(TVideoState& state) {
  TickAllFrames(state);
  state.RangeFirst = 0;
  state.RangeLast = state.LastFrame;
}

int SecondsToFrame(int seconds, int lastFrame, int lengthMs) {
  if (lengthMs <= 0) return 0;
  std::int64_t product = 0;
  double numerator = 0;
  if (__builtin_mul_overflow(static_cast<std::int64_t>(seconds), static_cast<std::int64_t>(lastFrame), &product) ||
      __builtin_mul_overflow(product, std::int64_t{1000}, &product))
    numerator = static_cast<double>(seconds) * lastFrame * 1000.0;
  else numerator = static_cast<double>(product);
  return trunc(numerator / lengthMs);
}

namespace {

// The frame showing `seconds` into a video with frame times of its own, within 0..LastFrame.
int SecondsToShownFrame(int seconds, const TVideoState& state) {
  const std::int64_t frame = state.FrameTimes.FrameAtMs(std::int64_t{seconds} * 1000);
  return static_cast<int>(std::clamp<std::int64_t>(frame, 0, std::max(state.LastFrame, 0)));
}

}  // namespace

void UpdateFramesList(TVideoState& state, TRangeChoice choice, int from, int to) {
  switch (choice) {
    case TRangeChoice::rcAllFrames:
      return;
    case TRangeChoice::rcFramesRange:
      break;
    case TRangeChoice::rcTimeRange:
      if (!state.FrameTimes.Empty()) {
        from = SecondsToShownFrame(from, state);
        to = SecondsToShownFrame(to, state);
        break;
      }
      from = SecondsToFrame(from, state.LastFrame, state.LengthMs);
      to = SecondsToFrame(to, state.LastFrame, state.LengthMs);
      break;
  }
  ApplyFrameRange(state, from, to);
}

}  // namespace clipvane
