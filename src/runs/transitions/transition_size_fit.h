// A transition clip as GIF bytes at a smaller size, "Fit under N MB" for it, and its size
// worked out from a few of its frames. The fit keeps the pictures, effect, steps and
// duration; it may make the pictures smaller (keeping their aspect), add lossy compression
// and use fewer colours, and measures each GIF it tries against the frames at full size.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "core/run_hooks.h"
#include "core/video_state.h"
#include "runs/gif/gif_size_estimate.h"
#include "runs/gif/size_fit_search.h"
#include "runs/transitions/transition_clip.h"

namespace clipvane {

// What the clip is made of besides the slots and the state's duration.
struct TTransitionGifRequest {
  int Steps = 10;
  std::function<TTransitionEffect()> Effect;  // none: CrossDissolve
  bool BestQuality = false;
  int LossyLevel = 0;  // with BestQuality
};

struct TTransitionGifBytes {
  std::vector<std::uint8_t> Bytes;  // the GIF89a stream
  int Width = 0;
  int Height = 0;
  int FrameCount = 0;
  TFitPoint Point;  // the size, lossy level and colours it was made with
};

// BuildTransitionClip on copies of the slots (the caller's stay as they are), each picture
// first made `scale` times as large (0 < scale <= 1, by averaging, at least a pixel a side),
// written as a GIF stream. An abort gives the frames made so far.
TTransitionGifBytes ConvertTransitionToGifBytes(const TVideoState& state, const TTransitionSlot& source,
                                                const TTransitionSlot& destination,
                                                const TTransitionGifRequest& request, const TRunHooks& hooks,
                                                double scale = 1, int maxColors = 255);

// The Best quality clip that looks best among those of at most `limit` bytes (the lossy
// level stays request.LossyLevel when lossyFixed). Throws EGifCannotFit when even the
// smallest is larger, EClipvaneError "Aborted" on an abort, and what the clip's run throws.
TTransitionGifBytes FitTransitionToSize(const TVideoState& state, const TTransitionSlot& source,
                                        const TTransitionSlot& destination, const TTransitionGifRequest& request,
                                        bool lossyFixed, std::uint64_t limit, const TRunHooks& hooks);

// The size of ConvertTransitionToGifBytes(state, ..., request): for the described clip from a
// few of its frames (every frame is drawn, but only a few spread over the clip are reduced and
// encoded, the costly part); a Best quality clip, or one of 4 steps or fewer, converted whole.
TGifSizeEstimate EstimateTransitionGifSize(const TVideoState& state, const TTransitionSlot& source,
                                           const TTransitionSlot& destination, const TTransitionGifRequest& request,
                                           const TRunHooks& hooks);

}  // namespace clipvane
