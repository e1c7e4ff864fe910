// The fit of a video's GIF to a size limit: the kept sample, the search over it, and the
// conversions that make sure of the limit.
#include "runs/gif/gif_size_fit.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "core/memory_budget.h"
#include "gif/gif_stream.h"
#include "runs/gif/byte_size_text.h"
#include "runs/gif/frame_sampling.h"
#include "runs/gif/gif_frame_sample.h"
#include "runs/gif/gif_sample_conversion.h"
#include "runs/gif/gif_size_estimate.h"

namespace clipvane {

namespace {

// The search aims this far under the limit: the sample's estimates are within a few per
// cent; a GIF that still comes out over is made again.
constexpr double kTargetShare = 0.96;
// Whole conversions before the size alone is cut until the GIF fits.
constexpr int kGuidedConversions = 3;
// A GIF this far under the limit is worth one more conversion at the corrected estimate.
constexpr double kWellUnder = 0.85;
// Memory for the kept sample: at most this, and at most an eighth of the working budget.
constexpr std::uint64_t kSampleBudget = std::uint64_t{192} << 20;
// Progress units of the search and of the conversions.
constexpr int kSearchUnits = 250;
constexpr int kAllUnits = 1000;

class TAborted {};

// The kept sample and the search over it.
class TGifFitter {
 public:
  TGifFitter(const TVideoState& state, const TFrameSourceFactory& makeSource, const TGifOptions& options,
             const TGifFitFixed& fixed, std::uint64_t limit, const TRunHooks& hooks)
      : state_(CopyRunState(state)), options_(options), fixed_(fixed), limit_(limit), hooks_(hooks) {
    ReadSample(makeSource);
    search_.emplace(Space(), [this](const TFitPoint& point) { return Evaluate(point); });
  }

  TFitSearch& Search() { return *search_; }
  // The state a conversion of `point` runs over.
  TVideoState StateFor(const TFitPoint& point) const {
    TVideoState state = CopyRunState(state_);
    state.SamplingRate = point.Sampling;
    return state;
  }

 private:
  TFitSpace Space() const;
  void ReadSample(const TFrameSourceFactory& makeSource);
  TFitMeasure Evaluate(const TFitPoint& point);

  TVideoState state_;
  TGifOptions options_;
  TGifFitFixed fixed_;
  std::uint64_t limit_;
  const TRunHooks& hooks_;
  TCapturedFrames frames_;
  std::vector<std::vector<int>> runs_;
  int rowStep_ = 1;
  std::optional<TFitSearch> search_;
};

TFitSpace TGifFitter::Space() const {
  TFitSpace space;
  const TFrameSize size = GifSize(options_.Size, state_.CaptureWidth, state_.CaptureHeight);
  space.BaseWidth = fixed_.Size ? size.Width : state_.CaptureWidth;
  space.BaseHeight = fixed_.Size ? size.Height : state_.CaptureHeight;
  space.SizeFree = !fixed_.Size;
  // Sampling changes the play time unless the play speed is kept.
  if (fixed_.Sampling || !options_.KeepPlaySpeed) space.Samplings = {SamplingStep(state_)};
  else space.Samplings.assign(std::begin(kFitSamplings), std::end(kFitSamplings));
  if (fixed_.Lossy) space.LossyLevels = {options_.LossyLevel};
  else space.LossyLevels.assign(std::begin(kFitLossyLevels), std::end(kFitLossyLevels));
  space.FewerColors.assign(std::begin(kFitFewerColors), std::end(kFitFewerColors));
  return space;
}

void TGifFitter::ReadSample(const TFrameSourceFactory& makeSource) {
  const std::vector<int> ticked = TickedRangeFrames(state_);
  const int largestSampling = fixed_.Sampling || !options_.KeepPlaySpeed ? SamplingStep(state_) : 6;
  // Each run holds at least two GIF frames (a whole one and a change) at the largest sampling.
  const int length = std::max(12, 2 * largestSampling);
  const std::uint64_t frameBytes =
      std::max<std::uint64_t>(PictureBytes(state_.CaptureWidth, state_.CaptureHeight, 3), 1);
  const std::uint64_t budget = std::min(kSampleBudget, WorkingMemoryBudget() / 8);
  const auto affordable = static_cast<int>(std::clamp<std::uint64_t>(budget / frameBytes, 2, 100000));
  const auto count = static_cast<int>(ticked.size());
  // About a twelfth of the frames, at least two runs' worth.
  const int wanted = std::min({std::max(count / 12, 2 * length), 240, affordable});
  runs_ = SpreadRuns(ticked, std::max(wanted / length, 1), std::min(length, wanted));
  std::vector<int> numbers;
  for (const auto& run : runs_) numbers.insert(numbers.end(), run.begin(), run.end());
  std::sort(numbers.begin(), numbers.end());
  numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());

  const std::unique_ptr<TFrameSource> source = makeSource();
  source->Open(state_.FilePath);
  const TFrameSourceCloser closer(*source);
  if (!frames_.Read(*source, numbers, state_.CaptureRect, hooks_)) throw TAborted{};
  // A frame the video could not give shortens its run; the runs after it are gone.
  for (auto& run : runs_)
    run.erase(std::find_if(run.begin(), run.end(), [&](int n) { return frames_.Find(n) == nullptr; }), run.end());
  runs_.erase(std::remove_if(runs_.begin(), runs_.end(), [](const auto& run) { return run.empty(); }), runs_.end());
  // Enough rows that the error of a picture is known to a fraction of a dB.
  rowStep_ = std::max(1, state_.CaptureHeight / 120);
}

TFitMeasure TGifFitter::Evaluate(const TFitPoint& point) {
  hooks_.ProcessMessages();
  if (hooks_.Aborted()) throw TAborted{};
  TVideoState sampleState = StateFor(point);
  const TGifOptions options = FitOptions(options_, point);
  const TSampleMeasure measure = ConvertSample(sampleState, frames_, runs_, options, rowStep_);
  const TGifSizeEstimate estimate = ExtrapolateSample(measure, GifFrameCount(sampleState, options), true);
  hooks_.Progress(std::min(kSearchUnits - 1, search_ ? search_->Measured() * 4 : 0), kAllUnits);
  return {static_cast<double>(estimate.Bytes), measure.Error.Psnr()};
}

// Progress of one whole conversion on the part of the bar after the search.
TRunHooks ConversionHooks(const TRunHooks& hooks) {
  TRunHooks inner = hooks;
  if (hooks.progress)
    inner.progress = [&hooks](int position, int maximum) {
      const double share = maximum > 0 ? std::clamp(static_cast<double>(position) / maximum, 0.0, 1.0) : 0;
      hooks.Progress(kSearchUnits + static_cast<int>(share * (kAllUnits - kSearchUnits)), kAllUnits);
    };
  return inner;
}

// A point `share` times its width and height (at least 1 pixel a side).
TFitPoint Shrunk(const TFitPoint& point, double share) {
  TFitPoint smaller = point;
  smaller.Width = std::max(1, static_cast<int>(point.Width * share));
  smaller.Height = std::max(1, static_cast<int>(point.Height * share));
  return smaller;
}

}  // namespace

EGifCannotFit::EGifCannotFit(std::uint64_t limit, std::uint64_t smallest)
    : EClipvaneError("cannot fit in " + ByteSizeWords(limit) + ": the smallest GIF of these frames is about " +
                     ByteSizeWords(smallest)),
      limit_(limit),
      smallest_(smallest) {}

TGifOptions FitOptions(const TGifOptions& options, const TFitPoint& point) {
  TGifOptions fitted = options;
  fitted.BestQuality = true;
  fitted.Size.Rule = TGifSizeRule::gsSpecifiedSize;
  fitted.Size.SpecifiedWidth = point.Width;
  fitted.Size.SpecifiedHeight = point.Height;
  fitted.LossyLevel = point.Lossy;
  fitted.MaxColors = point.MaxColors;
  fitted.SmoothScaling = true;
  return fitted;
}

TGifFitChoice ChooseGifFit(const TVideoState& state, const TFrameSourceFactory& makeSource, const TGifOptions& options,
                           const TGifFitFixed& fixed, std::uint64_t limit, const TRunHooks& hooks) {
  try {
    TGifFitter fitter(state, makeSource, options, fixed, limit, hooks);
    const auto chosen = fitter.Search().Choose(static_cast<double>(limit) * kTargetShare);
    if (!chosen) throw EGifCannotFit(limit, static_cast<std::uint64_t>(fitter.Search().Smallest().second.Bytes));
    TGifFitChoice choice;
    choice.Point = chosen->first;
    choice.EstimatedBytes = static_cast<std::uint64_t>(chosen->second.Bytes);
    choice.EstimatedPsnr = chosen->second.Psnr;
    choice.SampleMeasures = fitter.Search().Measured();
    return choice;
  } catch (const TAborted&) {
    throw EClipvaneError("Aborted");
  }
}

TGifFitChoice FitGifToSize(TVideoState& state, const TFrameSourceFactory& makeSource, const TGifOptions& options,
                           const TGifFitFixed& fixed, std::uint64_t limit, const TRunHooks& hooks,
                           const TGifFitConverter& convert) {
  std::optional<TGifFitter> fitter;
  std::optional<std::pair<TFitPoint, TFitMeasure>> chosen;
  const double target = static_cast<double>(limit) * kTargetShare;
  try {
    fitter.emplace(state, makeSource, options, fixed, limit, hooks);
    chosen = fitter->Search().Choose(target);
    if (!chosen) throw EGifCannotFit(limit, static_cast<std::uint64_t>(fitter->Search().Smallest().second.Bytes));
  } catch (const TAborted&) {
    throw EClipvaneError("Aborted");
  }
  TGifFitChoice choice;
  const auto run = [&](const TFitPoint& point) {
    hooks.Progress(kSearchUnits, kAllUnits);
    TVideoState fitted = fitter->StateFor(point);
    const std::uint64_t bytes = convert(fitted, FitOptions(options, point));
    state.SamplingRate = fitted.SamplingRate;
    ++choice.Conversions;
    return bytes;
  };
  // The estimates of the sample are scaled by what the last conversion showed of them.
  double correction = 1;
  TFitPoint point = chosen->first;
  std::uint64_t bytes = run(point);
  while (bytes > limit) {
    correction *= static_cast<double>(bytes) / std::max(fitter->Search().Measure(point).Bytes * correction, 1.0);
    std::optional<TFitPoint> next;
    if (choice.Conversions < kGuidedConversions) {
      try {
        const auto again = fitter->Search().Choose(target / correction);
        if (again && !(again->first == point)) next = again->first;
      } catch (const TAborted&) {
        throw EClipvaneError("Aborted");
      }
    }
    // Past the guided conversions, or when the search has nothing else: the same with a
    // smaller picture, by as much as the bytes are over.
    if (!next) {
      const TFitPoint smaller = Shrunk(point, std::sqrt(static_cast<double>(limit) / bytes) * 0.97);
      if (smaller == point || (smaller.Width <= 1 && smaller.Height <= 1)) throw EGifCannotFit(limit, bytes);
      next = smaller;
    }
    point = *next;
    bytes = run(point);
  }
  // Well under the limit after the first conversion: the corrected search may find a better
  // point that still fits; made when its estimate stays clearly within the limit.
  if (choice.Conversions == 1 && static_cast<double>(bytes) < kWellUnder * static_cast<double>(limit)) {
    correction = static_cast<double>(bytes) / std::max(fitter->Search().Measure(point).Bytes, 1.0);
    std::optional<std::pair<TFitPoint, TFitMeasure>> better;
    try {
      better = fitter->Search().Choose(target / correction);
    } catch (const TAborted&) {
      throw EClipvaneError("Aborted");
    }
    if (better && !(better->first == point) && better->second.Psnr > fitter->Search().Measure(point).Psnr) {
      const TFitPoint first = point;
      const std::uint64_t firstBytes = bytes;
      bytes = run(better->first);
      point = better->first;
      // Over after all: the first GIF again, which fitted.
      if (bytes > limit) {
        point = first;
        bytes = run(first);
        if (bytes != firstBytes) throw EClipvaneError("The fitted GIF came out differently when made again");
      }
    }
  }
  choice.Point = point;
  choice.Bytes = bytes;
  const TFitMeasure measure = fitter->Search().Measure(point);
  choice.EstimatedBytes = static_cast<std::uint64_t>(measure.Bytes);
  choice.EstimatedPsnr = measure.Psnr;
  choice.SampleMeasures = fitter->Search().Measured();
  return choice;
}

TGifFitConverter GifBytesConverter(const TFrameSourceFactory& makeSource, const TRunHooks& hooks, bool twoThreads,
                                   TGifFileResult& result) {
  // The factory and the hooks are copied: a caller may hand them over as temporaries.
  return [makeSource, hooks, twoThreads, &result](TVideoState& state, const TGifOptions& options) {
    result = ConvertToGifBytes(state, makeSource, options, ConversionHooks(hooks), twoThreads);
    return static_cast<std::uint64_t>(result.Bytes.size());
  };
}

}  // namespace clipvane
