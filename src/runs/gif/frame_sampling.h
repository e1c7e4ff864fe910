// Which frames the GIF run visits: the sampling rate, the "All frames", "Frames range" and
// "Time range" choices with "Update frames list", and the frame numbers they lead to.
// The ticks and the range are shared with the frames page.
#pragma once

#include <vector>

#include "core/video_state.h"

namespace clipvane {

// "Frame sampling rate:" box limits.
inline constexpr int kMinSamplingRate = 1;
inline constexpr int kMaxSamplingRate = 10;

// The step the run takes between frame numbers: SamplingRate, and 1 for a state that was
// never given one (a step of 0 would never end the walk).
int SamplingStep(const TVideoState& state);

// A change of the sampling rate box: SamplingRate becomes the value brought into 1..10.
// Returns whether "keep a play speed" and its label are enabled (not at rate 1; the tick
// itself is kept either way).
bool SetSamplingRate(TVideoState& state, int value);
bool KeepSpeedEnabled(int samplingRate);

// The frame numbers the run visits, in increasing order: RangeFirst + k x SamplingRate up to
// RangeLast, ticked entries only (an unticked one is skipped, not replaced). Numbers with no
// entry in FrameSelected have no tick.
std::vector<int> SampledFrames(const TVideoState& state);

enum class TRangeChoice { rcAllFrames, rcFramesRange, rcTimeRange };

// The four range boxes after "Resetting the range boxes": frame boxes 0..LastFrame holding
// 0 and LastFrame, time boxes 0..LengthSeconds holding 0 and LengthSeconds.
struct TRangeBoxes {
  int FrameMaximum = 0;
  int FrameFrom = 0;
  int FrameTo = 0;
  int TimeMaximum = 0;
  int TimeFrom = 0;
  int TimeTo = 0;
};
TRangeBoxes ResetRangeBoxes(const TVideoState& state);

// "All frames": every entry 0..LastFrame ticked, the range 0..LastFrame. "Frames range" and
// "Time range" change nothing in the state until "Update frames list".
void SelectAllFrames(TVideoState& state);

// The frame number a time range box stands for: seconds x LastFrame x 1000 / LengthMs, the
// product in 64 bits, the division in floating point, truncated (10 s, 250 frames, 2 s ->
// 50). A video without length gives 0.
int SecondsToFrame(int seconds, int lastFrame, int lengthMs);

// "Update frames list" with the boxes of the chosen range (frame numbers, or seconds for
// "Time range"): when to >= from only from..to stay ticked; the range becomes from..to in
// any case (to < from: an empty range, the ticks stay). Nothing for "All frames". A video
// with frame times of its own (frames that do not come at one rate) takes for each second
// the frame showing at that moment.
void UpdateFramesList(TVideoState& state, TRangeChoice choice, int from, int to);

}  // namespace clipvane
