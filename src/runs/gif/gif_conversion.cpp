// The GIF conversion run, its frame delay, the cut-and-stretch of each frame and the append
// step.
#include "runs/gif/gif_conversion.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <new>
#include <utility>
#include <vector>

#include "core/error.h"
#include "core/memory_budget.h"
#include "gif/best_quality_encoder.h"
#include "gif/gif_extensions.h"
#include "runs/frames/extraction_run.h"

namespace clipvane {

namespace {

// Closes the source on every way out; a failing Close must not hide the error already
// travelling.
class TSourceCloser {
 public:
  explicit TSourceCloser(TFrameSource& source) : source_(source) {}
  ~TSourceCloser() {
    try {
      source_.Close();
    } catch (...) {
    }
  }
  TSourceCloser(const TSourceCloser&) = delete;
  TSourceCloser& operator=(const TSourceCloser&) = delete;

 private:
  TFrameSource& source_;
};

// The append step. The picture reaches the document in the decoded video's pixel format and
// colour table, as if drawn onto the decode bitmap resized to the GIF size: a palette video
// keeps its own colours (no reduction), true-colour formats are reduced by the document.
class TGifFrameAppender {
 public:
  TGifFrameAppender(TGIFImage& document, std::uint16_t delay) : document_(document), delay_(delay) {}

  // Appends the picture; the result is the frame's index. Appended() is then the bitmap the
  // document received.
  int Append(const TBitmap& picture, TPixelFormat decodeFormat, const std::vector<TRGBQuad>& decodePalette) {
    const int index = document_.AddFrame(InDecodeFormat(picture, decodeFormat, decodePalette));
    TGIFSubImage* frame = document_.Images()[index];
    if (index == 0) {
      auto loop = std::make_unique<TGIFAppExtNSLoop>(frame);
      loop->LoopCount = 0;  // repeat forever
      frame->Extensions().Add(std::move(loop));
    }
    auto control = std::make_unique<TGIFGraphicControlExtension>(frame);
    control->SetDelay(delay_);
    frame->Extensions().Add(std::move(control));
    return index;
  }

  // "Best quality": the encoder makes the frame with its extensions, shown for `delay`.
  int AppendBest(const TBitmap& picture, TPixelFormat decodeFormat, const std::vector<TRGBQuad>& decodePalette,
                 TBestQualityEncoder& encoder, std::uint16_t delay) {
    return encoder.AddFrame(document_, InDecodeFormat(picture, decodeFormat, decodePalette), delay);
  }

  const TBitmap& Appended() const { return *appended_; }

 private:
  const TBitmap& InDecodeFormat(const TBitmap& picture, TPixelFormat decodeFormat,
                                const std::vector<TRGBQuad>& decodePalette) {
    appended_ = &picture;
    if (decodeFormat != picture.PixelFormat() ||
        (IsPaletteFormat(decodeFormat) && decodePalette != picture.Palette())) {
      if (converted_.PixelFormat() != decodeFormat || converted_.Width() != picture.Width() ||
          converted_.Height() != picture.Height())
        converted_ = TBitmap(picture.Width(), picture.Height(), decodeFormat);
      if (IsPaletteFormat(decodeFormat) && converted_.Palette() != decodePalette) converted_.SetPalette(decodePalette);
      converted_.Draw(0, 0, picture);
      appended_ = &converted_;
    }
    return *appended_;
  }

  TGIFImage& document_;
  std::uint16_t delay_;
  TBitmap converted_;
  const TBitmap* appended_ = nullptr;
};

bool InsideFrame(const TRect& rect, const TBitmap& frame) {
  return rect.Left >= 0 && rect.Top >= 0 && rect.Left < rect.Right && rect.Top < rect.Bottom &&
         rect.Right <= frame.Width() && rect.Bottom <= frame.Height();
}

}  // namespace

std::uint16_t GifFrameDelay(int lengthMs, int samplingRate, int lastFrame, bool keepPlaySpeed) {
  if (lastFrame <= 0) return 10;
  const std::int64_t numerator =
      static_cast<std::int64_t>(std::max(lengthMs, 0)) * (keepPlaySpeed ? std::max(samplingRate, 1) : 1);
  const std::int64_t denominator = std::int64_t{10} * lastFrame;
  const std::int64_t delay = (numerator + denominator / 2) / denominator;
  return static_cast<std::uint16_t>(std::clamp<std::int64_t>(delay, 1, 65535));
}

TColorReduction GifReductionMethod(TGifDirection direction) {
  return direction == TGifDirection::gdBackward ? reduceWebCube : reduceOctreeSystem;
}

std::string GifStatusText(int gifWidth, int gifHeight, int frameCount) {
  return "Size: " + std::to_string(gifWidth) + " x " + std::to_string(gifHeight) +
         " pixels  Frames: " + std::to_string(frameCount);
}

std::string ClearedGifStatusText() { return " "; }

void AbortGifRun(TVideoState& state) { state.ConvertAbort = true; }

TGifControlChange GifRunStartControls() {
  TGifControlChange change;
  change.Abort = true;
  change.Convert = false;
  change.OpenAvi = false;
  change.Play = false;
  change.Pause = false;
  change.Reset = false;
  return change;
}

TGifControlChange GifRunEndControls(const TGifConversionResult& result, bool failed) {
  TGifControlChange change;
  change.StatusText = result.StatusText;
  change.ClearGif = true;
  change.Save = true;
  change.Abort = false;
  change.Play = true;
  change.Pause = false;
  change.Reset = false;
  // A run that failed never reached the step that shows the preview; one that ended by an
  // abort or at the end of the video did, with or without frames.
  if (!failed) change.Preview = true;
  return change;
}

TGifControlChange ClearGifControls() {
  TGifControlChange change;
  change.OpenAvi = true;
  change.ClearGif = false;
  change.Convert = true;
  change.Save = false;
  change.Preview = false;
  change.StatusText = ClearedGifStatusText();
  return change;
}

void CutAndStretch(const TBitmap& decoded, const TRect& captureRect, TBitmap& picture) {
  if (picture.Empty()) return;
  // Rows and columns of the rectangle outside the frame are left undrawn: black, not what
  // the previous frame left there.
  if (!InsideFrame(captureRect, decoded)) std::memset(picture.Bits().data(), 0, picture.Bits().size());
  picture.StretchDraw(TRect{0, 0, picture.Width(), picture.Height()}, decoded, captureRect);
}

void RunGifConversion(TVideoState& state, TFrameSource& source, const TGifOptions& options, const TRunHooks& hooks,
                      TGifConversionResult& result) {
  result = TGifConversionResult{};
  state.ConvertAbort = false;
  const int step = SamplingStep(state);
  result.FrameDelay = GifFrameDelay(state.LengthMs, step, state.LastFrame, options.KeepPlaySpeed);
  const TFrameSize size = GifSize(options.Size, state.CaptureWidth, state.CaptureHeight);
  result.GifWidth = size.Width;
  result.GifHeight = size.Height;
  const TRect captureRect = state.CaptureRect;
  // Zeroed before the video is opened, so a run that cannot open it does not report the
  // frames of the run before.
  state.GifFrameCount = 0;

  const int maximum = CountTickedFrames(state);
  int position = 0;

  // Backward: every picture until the walk ends. Kept outside the try so that an error during
  // the walk still ends the run with the frames gathered so far, in reverse as always.
  std::vector<std::unique_ptr<TBitmap>> kept;
  std::vector<int> keptNumbers;  // the frame number of each kept picture
  TPixelFormat decodeFormat = TPixelFormat::pf24bit;
  std::vector<TRGBQuad> decodePalette;
  std::optional<TGifFrameAppender> appender;
  bool walking = false;
  // "Best quality": forward, the timeline of the planned frames, fixed before the walk so a
  // frame it leaves out is not even read; backward, of the frames read, after the walk.
  std::optional<TBestQualityEncoder> best;
  std::vector<int> plan;
  std::optional<TGifTimeline> timeline;
  std::size_t planned = 0;  // the plan entry the walk has reached
  if (options.BestQuality) {
    best.emplace();
    plan = SampledFrames(state);
    timeline.emplace(BestGifTimeline(state, plan, step, options.KeepPlaySpeed, options.FrameTimes));
    if (timeline->Count() > 0) result.FrameDelay = (*timeline)[0].Delay;
  }
  auto append = [&](const TBitmap& picture, std::uint16_t delay) {
    const int index = best ? appender->AppendBest(picture, decodeFormat, decodePalette, *best, delay)
                           : appender->Append(picture, decodeFormat, decodePalette);
    ++state.GifFrameCount;
    if (options.FrameAdded) options.FrameAdded(*result.Document, index, appender->Appended());
  };
  auto appendKeptInReverse = [&] {
    std::optional<TGifTimeline> reverse;
    if (best) {
      const std::vector<int> order(keptNumbers.rbegin(), keptNumbers.rend());
      reverse.emplace(BestGifTimeline(state, order, step, options.KeepPlaySpeed, options.FrameTimes));
    }
    int k = 0;
    for (auto picture = kept.rbegin(); picture != kept.rend(); ++picture, ++k) {
      if (!reverse) append(**picture, result.FrameDelay);
      else if ((*reverse)[k].Shown) append(**picture, (*reverse)[k].Delay);
      picture->reset();  // each kept picture goes as soon as the document holds it
    }
    kept.clear();
    keptNumbers.clear();
  };
  bool outOfMemory = false;
  std::exception_ptr error;

  // An error is held until the frames gathered so far are in the document and the status
  // line counts them; only then does it leave the run.
  try {
    state.ResetResults();
    hooks.Progress(position, maximum);
    CheckVideoRunMemory(state.FrameWidth, state.FrameHeight, size.Width, size.Height);
    source.Open(state.FilePath);
    TSourceCloser closer(source);
    result.Document = std::make_unique<TGIFImage>();
    TGIFImage& document = *result.Document;
    document.ReductionMethod = GifReductionMethod(options.Direction);
    document.DitherKind = ditherFloydSteinberg;
    appender.emplace(document, result.FrameDelay);

    const bool backward = options.Direction == TGifDirection::gdBackward;
    TBitmap scaled;  // forward: one picture for every frame
    if (!backward) scaled = TBitmap(size.Width, size.Height);
    walking = true;

    // The bounds are read once (numbers past the ticks have none, so the walk stops there);
    // the ticks are read as the walk reaches them, since the window lets the user tick
    // entries while the run goes on.
    const std::int64_t first = state.RangeFirst;
    const std::int64_t last =
        std::min<std::int64_t>(state.RangeLast, static_cast<std::int64_t>(state.FrameSelected.size()) - 1);
    for (std::int64_t n = first; n <= last; n += step) {
      if (n < 0 || n >= static_cast<std::int64_t>(state.FrameSelected.size()) ||
          !state.FrameSelected[static_cast<std::size_t>(n)])
        continue;
      if (position < maximum) position += step;
      hooks.Progress(std::min(position, maximum), maximum);
      hooks.ProcessMessages();
      if (state.ConvertAbort || hooks.Aborted()) {
        result.Aborted = true;
        break;
      }
      std::uint16_t delay = result.FrameDelay;
      if (timeline && !backward) {
        while (planned < plan.size() && plan[planned] < n) ++planned;
        // A frame ticked after the plan was made has no place on the timeline: it shows for
        // the first frame's delay.
        if (planned < plan.size() && plan[planned] == n) {
          if (!(*timeline)[static_cast<int>(planned)].Shown) continue;
          delay = (*timeline)[static_cast<int>(planned)].Delay;
        }
      }
      if (!source.ReadFrame(static_cast<int>(n))) {
        result.OutOfFrames = true;
        break;
      }
      const TBitmap& decoded = source.DecodeBitmap();
      decodeFormat = decoded.PixelFormat();
      if (IsPaletteFormat(decodeFormat)) decodePalette = decoded.Palette();
      TBitmap* picture = &scaled;
      if (backward) {
        kept.push_back(std::make_unique<TBitmap>(size.Width, size.Height));
        keptNumbers.push_back(static_cast<int>(n));
        picture = kept.back().get();
      }
      CutAndStretch(decoded, captureRect, *picture);
      if (!backward) append(*picture, delay);
    }
    walking = false;
    appendKeptInReverse();
    hooks.Progress(maximum, maximum);
  } catch (const std::bad_alloc&) {
    outOfMemory = true;
  } catch (...) {
    error = std::current_exception();
  }
  if (walking && !kept.empty()) {
    // An error ended the walk: the frames read until then still make the GIF.
    try {
      appendKeptInReverse();
    } catch (const std::bad_alloc&) {
      outOfMemory = true;
    } catch (...) {
    }
  }
  kept.clear();
  result.OutOfMemory = outOfMemory;
  if (outOfMemory) {
    // A long run at a large size can exhaust memory; the frames appended so far are complete
    // and stay, so say so rather than fail with a bare allocation error.
    error = std::make_exception_ptr(EClipvaneError("Not enough memory: the GIF keeps the " +
                                                   std::to_string(state.GifFrameCount) + " frames made so far"));
  }
  try {
    hooks.Progress(0, maximum);
  } catch (...) {
    if (!error) error = std::current_exception();
  }
  result.StatusText = GifStatusText(result.GifWidth, result.GifHeight, state.GifFrameCount);
  if (error) std::rethrow_exception(error);
}

}  // namespace clipvane
