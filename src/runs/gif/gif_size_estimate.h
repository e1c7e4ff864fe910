// The size of the GIF a run would write, worked out from a sample of its frames instead of
// converting them all: a few runs of consecutive frames spread over the range are converted
// as the whole run would convert them, and what their frames add to the file is scaled to
// every frame of the GIF. The spread of the runs gives the estimate's uncertainty.
#pragma once

#include <cstdint>
#include <string>

#include "core/run_hooks.h"
#include "core/video_state.h"
#include "runs/gif/gif_conversion.h"
#include "runs/gif/gif_sample_conversion.h"
#include "video/frame_source.h"

namespace clipvane {

struct TGifSizeEstimate {
  std::uint64_t Bytes = 0;
  // About two standard errors of the sample, as a share of Bytes (0.05: within about 5 %);
  // 0 when every frame was converted.
  double Uncertainty = 0;
  int GifFrames = 0;      // frames the GIF would have
  int SampledFrames = 0;  // of them, converted for the estimate
  int GifWidth = 0;
  int GifHeight = 0;
};

// How many runs of how many sampled frames an estimate of a GIF of `gifFrames` frames
// converts: about a tenth of the frames, at least 16 (all when fewer), at most 200, in runs
// of 4 (a whole frame and three changes).
struct TSamplePlan {
  int Runs = 1;
  int Length = 1;
};
TSamplePlan EstimateSamplePlan(int gifFrames);

// The estimate from a measured sample of a GIF of gifFrames frames: the bytes around the
// frames, then for "Best quality" one whole first frame and the rest as the later frames of
// the runs average, else every frame as the frames average.
TGifSizeEstimate ExtrapolateSample(const TSampleMeasure& measure, int gifFrames, bool bestQuality);

// Estimates what ConvertToGifBytes(state, ..., options) would write, reading the sample from
// `source` (opened here on state.FilePath, closed at the end). Progress runs over the frames
// read; an abort (hooks) throws EClipvaneError "Aborted". Frames are kept one run at a time.
TGifSizeEstimate EstimateGifSize(const TVideoState& state, TFrameSource& source, const TGifOptions& options,
                                 const TRunHooks& hooks);

// "about 12.4 MB (12,412,006 bytes), within about 6 %": an estimate in words, for the CLI
// and the window.
std::string GifSizeEstimateText(const TGifSizeEstimate& estimate);

}  // namespace clipvane
