// "Best quality" time of the GIF run: how long each sampled frame stands for (the video's
// constant rate, or each frame's own start times when the source gives them), laid on the
// exact GIF time line, so the GIF lasts as long as the frames it shows.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "core/video_state.h"
#include "gif/gif_timeline.h"

namespace clipvane {

// The timeline of the GIF frames made from `frames` (video frame numbers in the order the
// GIF shows them). With keepPlaySpeed each stands for `step` video frames (the time until
// the frame `step` later), without it for one. A video without length or frames gives
// 100 ms a frame. Frames that would show for less than 2 hundredths are left out.
TGifTimeline BestGifTimeline(const TVideoState& state, std::span<const int> frames, int step, bool keepPlaySpeed,
                             const TVideoFrameTimes& times);

}  // namespace clipvane
