// Transition clips at a smaller size, their fit to a size limit, and their estimate.
#include "runs/transitions/transition_size_fit.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <optional>
#include <utility>

#include "core/error.h"
#include "core/memory_budget.h"
#include "gif/gif_image.h"
#include "gif/gif_shown_picture.h"
#include "gif/gif_stream.h"
#include "gif/palette_reduction.h"
#include "runs/gif/gif_conversion.h"
#include "runs/gif/gif_sample_conversion.h"
#include "runs/gif/gif_size_fit.h"
#include "runs/gif/smooth_scaling.h"
#include "runs/gif/viewer_error.h"

namespace clipvane {

namespace {

// The extensions the described clip gives its frames: a graphic control extension each (8
// bytes) and the loop extension on the first (19 bytes).
constexpr std::int64_t kControlBytes = 8;
constexpr std::int64_t kLoopBytes = 19;
// Frames of the clip at full size the fit measures against, at most.
constexpr int kReferenceFrames = 12;
// Lossy levels and colour counts the fit tries.
constexpr int kLossyLevels[] = {0, 20, 40, 60, 80, 100};
constexpr int kFewerColors[] = {128, 64, 32, 16};

TBitmap Smaller(const TBitmap& picture, double scale) {
  if (picture.Empty() || scale >= 1) return picture;
  const int width = std::max(1, static_cast<int>(std::lround(picture.Width() * scale)));
  const int height = std::max(1, static_cast<int>(std::lround(picture.Height() * scale)));
  TBitmap smaller(width, height, TPixelFormat::pf24bit);
  CutAndScaleSmoothly(picture, TRect{0, 0, picture.Width(), picture.Height()}, smaller);
  return smaller;
}

TTransitionClip MakeClip(const TVideoState& state, const TTransitionSlot& source, const TTransitionSlot& destination,
                         const TTransitionGifRequest& request, const TRunHooks& hooks, double scale, int maxColors) {
  TVideoState runState;
  runState.TransitionDurationMs = state.TransitionDurationMs;
  runState.SourceEmpty = state.SourceEmpty;
  runState.DestinationEmpty = state.DestinationEmpty;
  TTransitionSlot sourceCopy{state.SourceEmpty ? TBitmap() : Smaller(source.Picture, scale), source.Color};
  TTransitionSlot destinationCopy{state.DestinationEmpty ? TBitmap() : Smaller(destination.Picture, scale),
                                  destination.Color};
  return BuildTransitionClip(runState, sourceCopy, destinationCopy, request.Steps, request.Effect, hooks, {},
                             request.BestQuality, request.BestQuality ? request.LossyLevel : 0, maxColors);
}

std::vector<std::uint8_t> Saved(TGIFImage& document) {
  TGIFMemoryStream stream;
  document.SaveToStream(stream);
  return stream.Bytes();
}

std::int64_t FrameBytes(TGIFSubImage& frame) {
  TGIFMemoryStream stream;
  frame.SaveToStream(stream);
  return static_cast<std::int64_t>(stream.Bytes().size());
}

// Runs the clip's frames at full size through `take` (frame index, picture).
class TFrameWatcher : public TTransitionClipSink {
 public:
  explicit TFrameWatcher(std::function<void(int, const TBitmap&)> take) : take_(std::move(take)) {}
  int AddFrame(const TBitmap& frame) override {
    take_(count_, frame);
    return count_++;
  }
  void AddLoopExtension(int) override {}
  void AddControlExtension(int, int) override {}

 private:
  std::function<void(int, const TBitmap&)> take_;
  int count_ = 0;
};

// Draws every frame of the clip at full size, handing each to `take`; returns the count.
int WatchFrames(const TVideoState& state, const TTransitionSlot& source, const TTransitionSlot& destination,
                const TTransitionGifRequest& request, const TRunHooks& hooks,
                std::function<void(int, const TBitmap&)> take) {
  TVideoState runState;
  runState.TransitionDurationMs = state.TransitionDurationMs;
  runState.SourceEmpty = state.SourceEmpty;
  runState.DestinationEmpty = state.DestinationEmpty;
  TTransitionSlot sourceCopy = source, destinationCopy = destination;
  TTransitionFrames frames = PrepareTransitionFrames(runState, sourceCopy, destinationCopy, 0);
  TTransitionRunSettings settings;
  settings.Steps = request.Steps;
  settings.Delay = TransitionFrameDelay(runState.TransitionDurationMs, request.Steps);
  settings.Effect = request.Effect;
  TFrameWatcher watcher(std::move(take));
  return RunTransitionClip(runState, frames, settings, hooks, watcher);
}

class TAborted {};

}  // namespace

TTransitionGifBytes ConvertTransitionToGifBytes(const TVideoState& state, const TTransitionSlot& source,
                                                const TTransitionSlot& destination,
                                                const TTransitionGifRequest& request, const TRunHooks& hooks,
                                                double scale, int maxColors) {
  TTransitionClip clip = MakeClip(state, source, destination, request, hooks, scale, maxColors);
  TTransitionGifBytes made;
  made.Bytes = Saved(*clip.Document);
  made.Width = clip.Width;
  made.Height = clip.Height;
  made.FrameCount = clip.FrameCount;
  made.Point = {clip.Width, clip.Height, 1, request.BestQuality ? request.LossyLevel : 0, maxColors};
  return made;
}

TTransitionGifBytes FitTransitionToSize(const TVideoState& state, const TTransitionSlot& source,
                                        const TTransitionSlot& destination, const TTransitionGifRequest& request,
                                        bool lossyFixed, std::uint64_t limit, const TRunHooks& hooks) {
  // The frames a viewer should see, a few spread over the clip, within a share of the budget.
  const int frameCount = request.Steps + 1;
  std::map<int, TBitmap> reference;
  std::vector<int> wanted;
  int width = 0, height = 0;
  {
    TVideoState probe;
    probe.TransitionDurationMs = state.TransitionDurationMs;
    probe.SourceEmpty = state.SourceEmpty;
    probe.DestinationEmpty = state.DestinationEmpty;
    TTransitionSlot a = source, b = destination;
    const TTransitionFrames frames = PrepareTransitionFrames(probe, a, b, 0);
    width = frames.Output.Width();
    height = frames.Output.Height();
  }
  const std::uint64_t pictureBytes = std::max<std::uint64_t>(PictureBytes(width, height, 3), 1);
  const int affordable = static_cast<int>(std::clamp<std::uint64_t>(WorkingMemoryBudget() / 8 / pictureBytes, 2,
                                                                    static_cast<std::uint64_t>(kReferenceFrames)));
  const int kept = std::min(frameCount, affordable);
  for (int i = 0; i < kept; ++i) wanted.push_back(kept > 1 ? i * (frameCount - 1) / (kept - 1) : 0);
  WatchFrames(state, source, destination, request, {}, [&](int index, const TBitmap& frame) {
    if (std::find(wanted.begin(), wanted.end(), index) != wanted.end()) reference.emplace(index, frame);
  });

  TTransitionGifRequest best = request;
  best.BestQuality = true;
  std::optional<TTransitionGifBytes> bestFit;
  double bestFitPsnr = -1;
  int measured = 0;
  const auto evaluate = [&](const TFitPoint& point) -> TFitMeasure {
    hooks.ProcessMessages();
    if (hooks.Aborted()) throw TAborted{};
    hooks.Progress(std::min(measured++, 39), 40);
    best.LossyLevel = point.Lossy;
    const double scale = std::min(1.0, static_cast<double>(point.Width) / width);
    TTransitionClip clip = MakeClip(state, source, destination, best, {}, scale, point.MaxColors);
    TViewerError error;
    TGifShownPicture viewer(*clip.Document);
    for (const auto& [index, picture] : reference)
      if (index < clip.Document->Images().Count()) error.Add(viewer.Show(index), picture, std::max(1, height / 240));
    std::vector<std::uint8_t> bytes = Saved(*clip.Document);
    const TFitMeasure measure{static_cast<double>(bytes.size()), error.Psnr()};
    if (bytes.size() <= limit && measure.Psnr > bestFitPsnr) {
      bestFitPsnr = measure.Psnr;
      bestFit = TTransitionGifBytes{std::move(bytes), clip.Width, clip.Height, clip.FrameCount, point};
    }
    return measure;
  };

  TFitSpace space;
  space.BaseWidth = width;
  space.BaseHeight = height;
  // Two empty slots make a clip of a fixed size.
  space.SizeFree = !(state.SourceEmpty && state.DestinationEmpty);
  space.MinSide = std::min({16, width, height});
  if (lossyFixed) space.LossyLevels = {request.LossyLevel};
  else space.LossyLevels.assign(std::begin(kLossyLevels), std::end(kLossyLevels));
  space.FewerColors.assign(std::begin(kFewerColors), std::end(kFewerColors));
  try {
    TFitSearch search(space, evaluate);
    // Every measure is the GIF itself: the one chosen is kept as made.
    const auto chosen = search.Choose(static_cast<double>(limit));
    if (!chosen || !bestFit) throw EGifCannotFit(limit, static_cast<std::uint64_t>(search.Smallest().second.Bytes));
  } catch (const TAborted&) {
    throw EClipvaneError("Aborted");
  }
  hooks.Progress(40, 40);
  return std::move(*bestFit);
}

TGifSizeEstimate EstimateTransitionGifSize(const TVideoState& state, const TTransitionSlot& source,
                                           const TTransitionSlot& destination, const TTransitionGifRequest& request,
                                           const TRunHooks& hooks) {
  const int n = request.Steps;
  TGifSizeEstimate estimate;
  // Best quality writes each frame as a change whose size swings from frame to frame (a
  // new palette can send a whole frame again); a sample of a clip of at most 51 frames misses
  // that by more than the estimate may, so the clip is converted whole, as a short one is.
  if (n <= 4 || request.BestQuality) {
    const TTransitionGifBytes whole = ConvertTransitionToGifBytes(state, source, destination, request, hooks);
    estimate.Bytes = whole.Bytes.size();
    estimate.GifFrames = estimate.SampledFrames = whole.FrameCount;
    estimate.GifWidth = whole.Width;
    estimate.GifHeight = whole.Height;
    return estimate;
  }
  // The described clip writes every frame whole: a few frames spread over it, each reduced
  // and encoded on its own.
  const int samples = std::max(3, (n + 1) / 5);
  std::vector<int> picked;
  for (int j = 0; j < samples; ++j) picked.push_back(j * n / (samples - 1));
  TSampleMeasure measure;
  std::int64_t header = 0;
  TRunHooks quiet = hooks;
  quiet.progress = nullptr;
  hooks.Progress(0, n + 1);
  const int drawn = WatchFrames(state, source, destination, request, quiet, [&](int index, const TBitmap& frame) {
    hooks.Progress(index + 1, n + 1);
    estimate.GifWidth = frame.Width();
    estimate.GifHeight = frame.Height();
    if (std::find(picked.begin(), picked.end(), index) == picked.end()) return;
    TGIFImage document;
    document.ReductionMethod = reduceOctreeSystem;
    document.DitherKind = ditherFloydSteinberg;
    const std::int64_t bytes = FrameBytes(*document.Images()[document.AddFrame(frame)]);
    if (index == 0) header = static_cast<std::int64_t>(Saved(document).size()) - bytes;
    measure.FirstFrameBytes.push_back(bytes + kControlBytes + (index == 0 ? kLoopBytes : 0));
    measure.LaterFrameBytes.emplace_back();
    measure.Frames += 1;
  });
  hooks.Progress(0, n + 1);
  if (drawn < n + 1) throw EClipvaneError("Aborted");
  measure.HeaderBytes = header;
  const int gifWidth = estimate.GifWidth, gifHeight = estimate.GifHeight;
  estimate = ExtrapolateSample(measure, n + 1, false);
  estimate.GifWidth = gifWidth;
  estimate.GifHeight = gifHeight;
  return estimate;
}

}  // namespace clipvane
