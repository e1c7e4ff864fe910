// A GIF run over sampled frames, measured: what each frame of each run adds to the file and,
// when asked, how far what a viewer sees is from the frames the run stands for. Each run of
// the sample is converted as the run converts a video whose range is that run, so frames are
// made exactly as in the whole GIF (only the first frame of a run is whole where the GIF
// would hold a change).
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "core/video_state.h"
#include "runs/gif/gif_conversion.h"
#include "runs/gif/gif_frame_sample.h"
#include "runs/gif/viewer_error.h"

namespace clipvane {

struct TSampleMeasure {
  int GifWidth = 0;
  int GifHeight = 0;
  // Bytes of the stream around the frames (signature, screen, global table, trailer), of
  // the first run.
  std::int64_t HeaderBytes = 0;
  // Per run: the bytes of its first frame (with its extensions) and of each later frame.
  std::vector<std::int64_t> FirstFrameBytes;
  std::vector<std::vector<std::int64_t>> LaterFrameBytes;
  // Over the source frames of the runs, when measured.
  TViewerError Error;
  // GIF frames made.
  int Frames = 0;
};

// Converts each run (ticked frame numbers, consecutive, increasing; each held by `frames`) as
// a run over `state` at state.SamplingRate with `options`, reading `frames`. errorRowStep > 0
// also measures the viewer's error over every source frame of each run, every
// errorRowStep-th row (see TViewerError). Throws what the run throws.
TSampleMeasure ConvertSample(const TVideoState& state, TCapturedFrames& frames, std::span<const std::vector<int>> runs,
                             const TGifOptions& options, int errorRowStep);

// The GIF frames a run over `state` with `options` writes: the sampled frames the source
// can give (below LastFrame), less those "Best quality" leaves out as too short.
int GifFrameCount(const TVideoState& state, const TGifOptions& options);

}  // namespace clipvane
