// The transition clip: slot preparation and padding, the duration and delay rules, the run loop.
#include "runs/transitions/transition_clip.h"

#include <algorithm>
#include <memory>
#include <string>

#include "core/error.h"
#include "core/memory_budget.h"
#include "gif/best_quality_encoder.h"
#include "gif/gif_extensions.h"
#include "gif/gif_image.h"
#include "gif/gif_image_encoder.h"
#include "gif/gif_timeline.h"
#include "gif/palette_reduction.h"

namespace clipvane {

namespace {

TBitmap SolidPicture(int width, int height, TColor color) {
  TBitmap picture(width, height, TPixelFormat::pf24bit);
  picture.FillRect(TRect{0, 0, width, height}, color);
  return picture;
}

// The slot's picture drawn at (0, 0) on a width x height picture of the slot's colour.
TBitmap PaddedPicture(const TBitmap& picture, TColor color, int width, int height) {
  TBitmap padded = SolidPicture(width, height, color);
  padded.Draw(0, 0, picture);
  return padded;
}

// Each frame of the clip encoded as it is added, on a second thread: the document holds the
// GIF's bytes rather than the frames' pixels.
int EncodeAdded(TGIFImage& document, int index, TGIFFrameEncoder& encoder) {
  encoder.Submit(*document.Images()[index]);
  encoder.Collect(false);
  return index;
}

// The program's sink: frames appended to a GIF document with their extensions.
class TGIFDocumentSink : public TTransitionClipSink {
 public:
  TGIFDocumentSink(TGIFImage& document, TGIFFrameEncoder& encoder) : document_(document), encoder_(encoder) {}

  int AddFrame(const TBitmap& frame) override { return EncodeAdded(document_, document_.AddFrame(frame), encoder_); }

  void AddLoopExtension(int index) override {
    TGIFSubImage* frame = document_.Images()[index];
    auto loop = std::make_unique<TGIFAppExtNSLoop>(frame);
    loop->LoopCount = 0;  // loop forever
    frame->Extensions().Add(std::move(loop));
  }

  void AddControlExtension(int index, int delay) override {
    TGIFSubImage* frame = document_.Images()[index];
    auto control = std::make_unique<TGIFGraphicControlExtension>(frame);
    control->SetDelay(static_cast<std::uint16_t>(delay));
    frame->Extensions().Add(std::move(control));
  }

 private:
  TGIFImage& document_;
  TGIFFrameEncoder& encoder_;
};

// "Best quality": the encoder makes each frame with its extensions, shown for its place on
// the exact time line; the run's loop and delay requests are already met.
class TBestQualitySink : public TTransitionClipSink {
 public:
  TBestQualitySink(TGIFImage& document, const TGifTimeline& timeline, TGIFFrameEncoder& frameEncoder,
                   const TBestQuantizerSettings& settings, int lossyLevel)
      : document_(document), timeline_(timeline), encoder_(settings, lossyLevel), frameEncoder_(frameEncoder) {}

  int AddFrame(const TBitmap& frame) override {
    const int index = document_.Images().Count();
    return EncodeAdded(document_, encoder_.AddFrame(document_, frame, timeline_[index].Delay), frameEncoder_);
  }
  void AddLoopExtension(int) override {}
  void AddControlExtension(int, int) override {}

 private:
  TGIFImage& document_;
  const TGifTimeline& timeline_;
  TBestQualityEncoder encoder_;
  TGIFFrameEncoder& frameEncoder_;
};

}  // namespace

TGifTimeline BestTransitionTimeline(int durationMs, int steps) {
  // Each frame stands for the duration over the steps: durationMs ticks of 1 / (1000 steps) s.
  // Every step the user asked for stays, lengthened to the shortest delay if need be.
  return TGifTimeline::ConstantRate(steps + 1, std::max(durationMs, 0),
                                    TTimeBase{1, 1000 * std::int64_t{std::max(steps, 1)}}, TShortFrameRule::sfLengthen);
}

int TransitionDurationFromText(std::string_view text) {
  std::size_t i = 0;
  bool negative = false;
  if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
    negative = text[0] == '-';
    i = 1;
  }
  if (i == text.size()) return DefaultTransitionDurationMs;
  long long value = 0;
  for (; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return DefaultTransitionDurationMs;
    // Any longer number is clamped anyway; stopping here keeps the sum in range.
    value = std::min(value * 10 + (text[i] - '0'), 1000000000LL);
  }
  if (negative) value = -value;
  return static_cast<int>(std::clamp<long long>(value, MinTransitionDurationMs, MaxTransitionDurationMs));
}

int TransitionFrameDelay(int durationMs, int steps) {
  if (steps < 1) throw EClipvaneError("Transition step count must be at least 1");
  // Integer division truncates toward zero like the formula's trunc; a GIF delay is 16 bits.
  const long long delay = static_cast<long long>(durationMs) / (static_cast<long long>(steps) * 10);
  return static_cast<int>(std::clamp<long long>(delay, 1, 65535));
}

std::uint64_t TransitionClipBytes(int width, int height, int framesToKeep) {
  constexpr std::uint64_t kWorkingPictures = 5, kPictureBytesPerPixel = 3, kFrameBytesPerPixel = 2;
  return PictureBytes(width, height,
                      kWorkingPictures * kPictureBytesPerPixel +
                          static_cast<std::uint64_t>(std::max(framesToKeep, 0)) * kFrameBytesPerPixel);
}

TTransitionFrames PrepareTransitionFrames(const TVideoState& state, TTransitionSlot& source,
                                          TTransitionSlot& destination, int framesToKeep) {
  // An empty slot takes the other slot's size (both empty: 100 x 100), so the common size is
  // known, and checked, before any picture is made.
  const bool bothEmpty = state.SourceEmpty && state.DestinationEmpty;
  const TBitmap& sourceSize = state.SourceEmpty ? destination.Picture : source.Picture;
  const TBitmap& destinationSize = state.DestinationEmpty ? source.Picture : destination.Picture;
  const int width = bothEmpty ? EmptySlotSide : std::max(sourceSize.Width(), destinationSize.Width());
  const int height = bothEmpty ? EmptySlotSide : std::max(sourceSize.Height(), destinationSize.Height());
  if (width < 1 || height < 1) throw EClipvaneError("The transition pictures are empty");
  if (width > 65535 || height > 65535 || std::int64_t{width} * height > MaxTransitionPixels)
    throw EClipvaneError("The transition pictures are too large: " + std::to_string(width) + " x " +
                         std::to_string(height) + " pixels");
  CheckWorkingMemory(width, height, TransitionClipBytes(width, height, framesToKeep));

  // Work on new pictures and hand them to the slots only at the end, so a refused size
  // leaves both slots as they were.
  TBitmap madeSource, madeDestination;
  const TBitmap* sourcePicture = &source.Picture;
  const TBitmap* destinationPicture = &destination.Picture;
  if (bothEmpty) {
    madeSource = SolidPicture(EmptySlotSide, EmptySlotSide, source.Color);
    madeDestination = SolidPicture(EmptySlotSide, EmptySlotSide, destination.Color);
    sourcePicture = &madeSource;
    destinationPicture = &madeDestination;
  } else if (state.DestinationEmpty) {
    madeDestination = SolidPicture(source.Picture.Width(), source.Picture.Height(), destination.Color);
    destinationPicture = &madeDestination;
  } else if (state.SourceEmpty) {
    madeSource = SolidPicture(destination.Picture.Width(), destination.Picture.Height(), source.Color);
    sourcePicture = &madeSource;
  }

  TTransitionFrames frames;
  frames.Source = PaddedPicture(*sourcePicture, source.Color, width, height);
  frames.Destination = PaddedPicture(*destinationPicture, destination.Color, width, height);
  frames.Middle = SolidPicture(width, height, source.Color);
  frames.Output = TBitmap(width, height, TPixelFormat::pf24bit);
  source.Picture = frames.Source;
  destination.Picture = frames.Destination;
  return frames;
}

int RunTransitionClip(TVideoState& state, TTransitionFrames& frames, const TTransitionRunSettings& settings,
                      const TRunHooks& hooks, TTransitionClipSink& sink) {
  const int n = settings.Steps;
  if (n < MinTransitionSteps || n > MaxTransitionSteps)
    throw EClipvaneError("Transition step count " + std::to_string(n) + " is outside 1 to 50");
  if (settings.Delay < 1 || settings.Delay > 65535)
    throw EClipvaneError("Frame delay " + std::to_string(settings.Delay) + " is outside 1 to 65535");

  state.ConvertAbort = false;
  hooks.Progress(0, n + 1);
  std::int64_t placedCount = 0;
  int added = 0;
  for (int k = 0; k <= n; ++k) {
    const TTransitionEffect effect = settings.Effect ? settings.Effect() : TTransitionEffect::CrossDissolve;
    RenderTransitionStep(effect, k, n, frames, placedCount);
    hooks.Progress(k + 1, n + 1);
    hooks.ProcessMessages();
    if (state.ConvertAbort || hooks.Aborted()) break;
    const int index = sink.AddFrame(frames.Output);
    if (index == 0) sink.AddLoopExtension(index);
    sink.AddControlExtension(index, settings.Delay);
    ++added;
    if (settings.FrameAdded) settings.FrameAdded(frames.Output);
  }
  hooks.Progress(n + 1, n + 1);
  hooks.Progress(0, n + 1);
  return added;
}

TTransitionClip BuildTransitionClip(TVideoState& state, TTransitionSlot& source, TTransitionSlot& destination,
                                    int steps, std::function<TTransitionEffect()> effect, const TRunHooks& hooks,
                                    std::function<void(const TBitmap& frame)> frameAdded, bool bestQuality,
                                    int lossyLevel, int maxColors) {
  // Checked before the slots change.
  if (steps < MinTransitionSteps || steps > MaxTransitionSteps)
    throw EClipvaneError("Transition step count " + std::to_string(steps) + " is outside 1 to 50");
  if (state.TransitionDurationMs < MinTransitionDurationMs || state.TransitionDurationMs > MaxTransitionDurationMs)
    throw EClipvaneError("Transition duration " + std::to_string(state.TransitionDurationMs) +
                         " ms is outside 10 to 5000");
  TTransitionFrames frames = PrepareTransitionFrames(state, source, destination, steps + 1);

  TTransitionClip clip;
  clip.Width = frames.Output.Width();
  clip.Height = frames.Output.Height();
  clip.Delay = TransitionFrameDelay(state.TransitionDurationMs, steps);
  clip.Document = std::make_unique<TGIFImage>();
  clip.Document->ReductionMethod = reduceOctreeSystem;
  clip.Document->DitherKind = ditherFloydSteinberg;

  TTransitionRunSettings settings;
  settings.Steps = steps;
  settings.Delay = clip.Delay;
  settings.Effect = std::move(effect);
  settings.FrameAdded = std::move(frameAdded);
  // After the document: gone, with its thread, before the frames it reads.
  TGIFFrameEncoder encoder(true);
  if (bestQuality) {
    const TGifTimeline timeline = BestTransitionTimeline(state.TransitionDurationMs, steps);
    clip.Delay = timeline[0].Delay;
    TBestQuantizerSettings quantizer;
    quantizer.MaxColors = std::clamp(maxColors, 2, 255);
    TBestQualitySink sink(*clip.Document, timeline, encoder, quantizer, lossyLevel);
    clip.FrameCount = RunTransitionClip(state, frames, settings, hooks, sink);
  } else {
    TGIFDocumentSink sink(*clip.Document, encoder);
    clip.FrameCount = RunTransitionClip(state, frames, settings, hooks, sink);
  }
  encoder.Collect(true);
  return clip;
}

}  // namespace clipvane
