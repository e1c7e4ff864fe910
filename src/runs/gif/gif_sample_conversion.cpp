// Converting the sampled runs and measuring their frames.
#include "runs/gif/gif_sample_conversion.h"

#include <algorithm>

#include "gif/gif_shown_picture.h"
#include "gif/gif_stream.h"
#include "runs/gif/frame_sampling.h"
#include "runs/gif/gif_best_timing.h"

namespace clipvane {

namespace {

// The source frame each frame of the GIF of a run shows, in the GIF's order.
std::vector<int> ShownSourceFrames(const TVideoState& runState, const TGifOptions& options) {
  std::vector<int> planned;
  for (const int n : SampledFrames(runState))
    if (n < runState.LastFrame) planned.push_back(n);
  if (options.Direction == TGifDirection::gdBackward) std::reverse(planned.begin(), planned.end());
  if (!options.BestQuality) return planned;
  const TGifTimeline timeline =
      BestGifTimeline(runState, planned, SamplingStep(runState), options.KeepPlaySpeed, options.FrameTimes);
  std::vector<int> shown;
  for (int k = 0; k < timeline.Count(); ++k)
    if (timeline[k].Shown) shown.push_back(planned[static_cast<std::size_t>(k)]);
  return shown;
}

}  // namespace

int GifFrameCount(const TVideoState& state, const TGifOptions& options) {
  TVideoState copy = CopyRunState(state);
  return static_cast<int>(ShownSourceFrames(copy, options).size());
}

TSampleMeasure ConvertSample(const TVideoState& state, TCapturedFrames& frames, std::span<const std::vector<int>> runs,
                             const TGifOptions& options, int errorRowStep) {
  TSampleMeasure measure;
  TGifOptions runOptions = options;
  runOptions.FrameEncoding = TGifFrameEncoding::feSameThread;
  runOptions.FrameAdded = nullptr;
  const int sampling = SamplingStep(state);
  for (const std::vector<int>& run : runs) {
    if (run.empty()) continue;
    TVideoState runState = SampleRunState(state, run.front(), run.back(), sampling);
    TGifConversionResult result;
    RunGifConversion(runState, frames, runOptions, TRunHooks{}, result);
    measure.GifWidth = result.GifWidth;
    measure.GifHeight = result.GifHeight;
    if (!result.Document || result.Document->Empty()) continue;
    TGIFImage& document = *result.Document;

    std::vector<std::int64_t> later;
    std::int64_t framesBytes = 0;
    const int count = document.Images().Count();
    for (int i = 0; i < count; ++i) {
      TGIFMemoryStream stream;
      document.Images()[i]->SaveToStream(stream);
      const auto bytes = static_cast<std::int64_t>(stream.Bytes().size());
      framesBytes += bytes;
      if (i == 0) measure.FirstFrameBytes.push_back(bytes);
      else later.push_back(bytes);
    }
    measure.LaterFrameBytes.push_back(std::move(later));
    measure.Frames += count;
    if (measure.FirstFrameBytes.size() == 1) {
      TGIFMemoryStream whole;
      document.SaveToStream(whole);
      measure.HeaderBytes = static_cast<std::int64_t>(whole.Bytes().size()) - framesBytes;
    }
    if (errorRowStep <= 0) continue;

    // Each GIF frame stands for the source frames from its own to the next one shown (in the
    // video's order), the last one to the end of the run.
    const std::vector<int> shown = ShownSourceFrames(runState, runOptions);
    std::vector<int> ordered = shown;
    std::sort(ordered.begin(), ordered.end());
    TGifShownPicture viewer(document);
    for (int i = 0; i < count && i < static_cast<int>(shown.size()); ++i) {
      const TBitmap& picture = viewer.Show(i);
      const auto next = std::upper_bound(ordered.begin(), ordered.end(), shown[static_cast<std::size_t>(i)]);
      const int end = next == ordered.end() ? run.back() + 1 : *next;
      for (const int n : run)
        if (n >= shown[static_cast<std::size_t>(i)] && n < end)
          if (const TBitmap* source = frames.Find(n)) measure.Error.Add(picture, *source, errorRowStep);
    }
  }
  return measure;
}

}  // namespace clipvane
