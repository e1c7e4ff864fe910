// "Fit under N MB" for a video: the "Best quality" GIF that looks best to a viewer among
// those that fit a size limit, never one over it. A sample of the frames is read once and
// kept (within a memory budget); the search (TFitSearch) converts it at the sizes, sampling
// rates, lossy levels and colours it tries, and the chosen point is converted whole. A GIF
// over the limit is made again, smaller, as the sample's error shows it must be.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "core/error.h"
#include "core/run_hooks.h"
#include "core/video_state.h"
#include "runs/gif/gif_conversion.h"
#include "runs/gif/gif_pipeline.h"
#include "runs/gif/size_fit_search.h"

namespace clipvane {

// The limit cannot be met: "cannot fit in 1 KB: the smallest GIF of these frames is about
// 412 KB".
class EGifCannotFit : public EClipvaneError {
 public:
  EGifCannotFit(std::uint64_t limit, std::uint64_t smallest);
  std::uint64_t Limit() const { return limit_; }
  std::uint64_t Smallest() const { return smallest_; }

 private:
  std::uint64_t limit_;
  std::uint64_t smallest_;
};

// What the user fixed, which the fit keeps. The range or time span, the region and the
// direction always stay as the state and the options hold them.
struct TGifFitFixed {
  bool Size = false;      // options.Size was given: only colours and lossy may change
  bool Sampling = false;  // state.SamplingRate was given (or the play speed is not kept)
  bool Lossy = false;     // options.LossyLevel was given
};

struct TGifFitChoice {
  TFitPoint Point;
  std::uint64_t EstimatedBytes = 0;
  double EstimatedPsnr = 0;
  int Conversions = 0;      // whole conversions made (0 for a choice alone)
  std::uint64_t Bytes = 0;  // of the GIF made
  int SampleMeasures = 0;   // sample conversions of the search
};

// Converts the whole GIF with `state` and `options` as the fit set them; returns its size in
// bytes (the caller keeps what it made: the file's bytes, or the window's document).
using TGifFitConverter = std::function<std::uint64_t(TVideoState& state, const TGifOptions& options)>;

// The sampling rates, lossy levels and colour counts the fit tries when they are free.
inline constexpr int kFitSamplings[] = {1, 2, 3, 4, 6};
inline constexpr int kFitLossyLevels[] = {0, 20, 40, 60, 80, 100};
inline constexpr int kFitFewerColors[] = {128, 64, 32, 16};

// The options and sampling of the point chosen: "Best quality", the GIF size (" Specified
// size") unless fixed, the lossy level, colours, and the state's sampling rate.
TGifOptions FitOptions(const TGifOptions& options, const TFitPoint& point);

// Fits: reads the sample from makeSource's source, searches, then calls `convert` with the
// state and options of the best point that fits; a GIF over `limit` bytes is made again
// smaller until one fits (the state's sampling rate is the last one converted). Throws
// EGifCannotFit when even the smallest GIF of the search would not fit (before converting
// anything whole), "Aborted" (EClipvaneError) on an abort, and what the conversion throws.
// Progress runs over the search, then over each conversion.
TGifFitChoice FitGifToSize(TVideoState& state, const TFrameSourceFactory& makeSource, const TGifOptions& options,
                           const TGifFitFixed& fixed, std::uint64_t limit, const TRunHooks& hooks,
                           const TGifFitConverter& convert);

// The choice alone, without converting: what --estimate says of a fit.
TGifFitChoice ChooseGifFit(const TVideoState& state, const TFrameSourceFactory& makeSource, const TGifOptions& options,
                           const TGifFitFixed& fixed, std::uint64_t limit, const TRunHooks& hooks);

// ConvertToGifBytes as a fit's converter, keeping the bytes of the last GIF made in `bytes`.
TGifFitConverter GifBytesConverter(const TFrameSourceFactory& makeSource, const TRunHooks& hooks, bool twoThreads,
                                   TGifFileResult& result);

}  // namespace clipvane
