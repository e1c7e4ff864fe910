// The GIF conversion run: the walk over the sampled frames, the append step, and the
// "backward" frames appended in reverse after the walk. Each walk or stage is a function of
// its own; an error travels out only once the frames made so far are in the GIF.
#include <algorithm>
#include <exception>
#include <new>
#include <optional>
#include <utility>
#include <vector>

#include "core/error.h"
#include "core/memory_budget.h"
#include "gif/best_quality_encoder.h"
#include "gif/gif_extensions.h"
#include "gif/gif_image_encoder.h"
#include "runs/frames/extraction_run.h"
#include "runs/gif/gif_conversion.h"
#include "runs/gif/gif_frame_making.h"
#include "runs/gif/smooth_scaling.h"

namespace clipvane {

namespace {

// The append step. The picture reaches the document in the decoded video's pixel format and
// colour table, as if drawn onto the decode bitmap resized to the GIF size: a palette video
// keeps its own colours (no reduction), true-colour formats are reduced by the document.
class TGifFrameAppender {
 public:
  TGifFrameAppender(TGIFImage& document, std::uint16_t delay) : document_(document), delay_(delay) {}

  // The GIF frame of the picture, made as AddFrame makes it, not yet in the document.
  std::unique_ptr<TGIFSubImage> Prepare(const TBitmap& picture, TPixelFormat decodeFormat,
                                        const std::vector<TRGBQuad>& decodePalette) {
    auto frame = std::make_unique<TGIFSubImage>(&document_);
    frame->Assign(InDecodeFormat(picture, decodeFormat, decodePalette));
    return frame;
  }

  // Appends a frame from Prepare with its extensions; the result is the frame's index.
  int AppendPrepared(std::unique_ptr<TGIFSubImage> prepared) {
    const int index = document_.AddFrame(std::move(prepared));
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

  // Appends the picture; the result is the frame's index. Appended() is then the bitmap the
  // document received.
  int Append(const TBitmap& picture, TPixelFormat decodeFormat, const std::vector<TRGBQuad>& decodePalette) {
    return AppendPrepared(Prepare(picture, decodeFormat, decodePalette));
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
    appended_ = &clipvane::InDecodeFormat(picture, decodeFormat, decodePalette, converted_);
    return *appended_;
  }

  TGIFImage& document_;
  std::uint16_t delay_;
  TBitmap converted_;
  const TBitmap* appended_ = nullptr;
};

// A frame of a "backward" walk: its number and, when it could be made as it was read, its
// GIF frame with the pixel format and palette it was read in.
struct TKeptFrame {
  int Number = 0;
  std::unique_ptr<TGIFImage> Owner;  // the document a worker made the frame in, if any
  std::unique_ptr<TGIFSubImage> Frame;
  TPixelFormat Format = TPixelFormat::pf24bit;
  std::vector<TRGBQuad> Palette;
};

class TGifRun {
 public:
  TGifRun(TVideoState& state, TFrameSource& source, const TGifOptions& options, const TRunHooks& hooks,
          TGifConversionResult& result)
      : state_(state), source_(source), options_(options), hooks_(hooks), result_(result) {}

  void Run();

 private:
  // Opens the source, makes the document and walks the sampled frames.
  void OpenAndWalk();
  // The walk, and then the frames still being made (in that order also after an error: an
  // error in making a frame read before comes first, as it would have without workers).
  void Walk();
  enum class TWalkEnd { weDone, weAborted, weOutOfFrames };
  TWalkEnd WalkFrames();
  // Two-thread runs: the frame just read goes to a worker (keep: a backward frame kept for
  // after the walk); frames made are taken in order.
  void SubmitFrame(int number, const TBitmap& decoded, std::uint16_t delay, bool keep);
  void TakeMade(TFrameMakers::TDone done);
  void TakeMadeFrames();
  // The frame just read, cut and stretched, into the GIF (forward) or kept (backward).
  void TakeFrame(int number, std::uint16_t delay);
  // The append step with the picture; the frame is encoded when the options ask.
  void Append(const TBitmap& picture, std::uint16_t delay);
  void AppendPrepared(std::unique_ptr<TGIFSubImage> frame);
  void FrameAppended(int index, const TBitmap* picture);
  // Backward: the kept frames, last first. After an error a frame that cannot be read again
  // ends the appending quietly.
  void AppendKeptInReverse(bool afterError);
  void ReadKeptInReverse(bool afterError);
  bool Aborted() const { return state_.ConvertAbort || hooks_.Aborted(); }
  TBitmap& Scaled();
  // The capture rectangle of a decoded frame, at the GIF size, into `picture`.
  void Cut(const TBitmap& decoded, TBitmap& picture);

  TVideoState& state_;
  TFrameSource& source_;
  const TGifOptions& options_;
  const TRunHooks& hooks_;
  TGifConversionResult& result_;

  int step_ = 1;
  TFrameSize size_;
  TRect captureRect_;
  int maximum_ = 0;
  int position_ = 0;
  bool backward_ = false;

  // Declared before the encoder, so that the encoder is gone before the frames it reads.
  std::vector<TKeptFrame> kept_;
  TPixelFormat decodeFormat_ = TPixelFormat::pf24bit;
  std::vector<TRGBQuad> decodePalette_;
  std::optional<TGifFrameAppender> appender_;
  std::optional<TFrameSourceCloser> closer_;
  std::optional<TGIFFrameEncoder> encoder_;
  TBitmap scaled_;  // one picture for every frame
  bool scaledMade_ = false;
  bool walking_ = false;
  // "Best quality": forward, the timeline of the planned frames, fixed before the walk so a
  // frame it leaves out is not even read; backward, of the frames read, after the walk.
  std::optional<TBestQualityEncoder> best_;
  std::vector<int> plan_;
  std::optional<TGifTimeline> timeline_;
  std::size_t planned_ = 0;  // the plan entry the walk has reached
  // Last, so that its threads have stopped before what they use goes.
  std::optional<TFrameMakers> makers_;
  std::vector<TBitmap> sparePictures_;  // pictures of frames taken, for the next frames
};

TBitmap& TGifRun::Scaled() {
  if (!scaledMade_) scaled_ = TBitmap(size_.Width, size_.Height);
  scaledMade_ = true;
  return scaled_;
}

void TGifRun::Cut(const TBitmap& decoded, TBitmap& picture) {
  if (options_.SmoothScaling) CutAndScaleSmoothly(decoded, captureRect_, picture);
  else CutAndStretch(decoded, captureRect_, picture);
}

void TGifRun::FrameAppended(int index, const TBitmap* picture) {
  ++state_.GifFrameCount;
  if (encoder_) {
    encoder_->Submit(*result_.Document->Images()[index]);
    encoder_->Collect(false);
  }
  if (!options_.FrameAdded) return;
  if (picture != nullptr) {
    options_.FrameAdded(*result_.Document, index, *picture);
    return;
  }
  TBitmap made;
  result_.Document->Images()[index]->AssignTo(made);
  options_.FrameAdded(*result_.Document, index, made);
}

void TGifRun::Append(const TBitmap& picture, std::uint16_t delay) {
  const int index = best_ ? appender_->AppendBest(picture, decodeFormat_, decodePalette_, *best_, delay)
                          : appender_->Append(picture, decodeFormat_, decodePalette_);
  FrameAppended(index, &appender_->Appended());
}

void TGifRun::AppendPrepared(std::unique_ptr<TGIFSubImage> frame) {
  // Submitted to the encoder when it was made.
  const int index = appender_->AppendPrepared(std::move(frame));
  ++state_.GifFrameCount;
  if (encoder_) encoder_->Collect(false);
  if (!options_.FrameAdded) return;
  TBitmap made;
  result_.Document->Images()[index]->AssignTo(made);
  options_.FrameAdded(*result_.Document, index, made);
}

void TGifRun::SubmitFrame(int number, const TBitmap& decoded, std::uint16_t delay, bool keep) {
  // The oldest frame goes on before another is made, so the frames held stay few.
  while (makers_->Full()) TakeMade(makers_->Take());
  TFrameJob job;
  if (sparePictures_.empty()) {
    job.Picture = TBitmap(size_.Width, size_.Height);
  } else {
    job.Picture = std::move(sparePictures_.back());
    sparePictures_.pop_back();
  }
  Cut(decoded, job.Picture);
  job.DecodeFormat = decodeFormat_;
  job.DecodePalette = decodePalette_;
  job.Delay = delay;
  job.Keep = keep;
  if (keep) {
    job.Kept = kept_.size();
    TKeptFrame kept;
    kept.Number = number;
    kept.Format = decodeFormat_;
    kept.Palette = decodePalette_;
    kept_.push_back(std::move(kept));
  }
  makers_->Submit(std::move(job));
  // Frames already made go on at once (the window shows them while the next are made).
  while (makers_->OldestDone()) TakeMade(makers_->Take());
}

void TGifRun::TakeMade(TFrameMakers::TDone done) {
  TFrameJob& job = done.Item;
  try {
    if (done.Error) std::rethrow_exception(done.Error);
    if (job.Keep) {
      TKeptFrame& kept = kept_[job.Kept];
      kept.Owner = std::move(job.Owner);
      kept.Frame = std::move(job.Frame);
    } else if (best_) {
      const int index = best_->AddChosen(*result_.Document, job.Appended(), job.Pixels(), job.Colors, job.Delay);
      FrameAppended(index, &job.Appended());
    } else {
      const int index = appender_->AppendPrepared(std::move(job.Frame));
      ++state_.GifFrameCount;
      if (options_.FrameAdded) options_.FrameAdded(*result_.Document, index, job.Appended());
    }
  } catch (...) {
    // The walk ends at this frame, as it would have without workers: the frames read after
    // it are dropped.
    if (job.Keep) kept_.resize(job.Kept);
    makers_.reset();
    throw;
  }
  sparePictures_.push_back(std::move(job.Picture));
}

void TGifRun::TakeMadeFrames() {
  while (makers_ && makers_->Held() > 0) TakeMade(makers_->Take());
}

void TGifRun::TakeFrame(int number, std::uint16_t delay) {
  const TBitmap& decoded = source_.DecodeBitmap();
  decodeFormat_ = decoded.PixelFormat();
  if (IsPaletteFormat(decodeFormat_)) decodePalette_ = decoded.Palette();
  // "Best quality" backward reads its frames again after the walk.
  if (makers_ && !(best_ && backward_)) {
    SubmitFrame(number, decoded, delay, backward_);
    return;
  }
  Cut(decoded, Scaled());
  if (!backward_) {
    Append(scaled_, delay);
    return;
  }
  TKeptFrame kept;
  kept.Number = number;
  // A "Best quality" frame is made against the frame shown before it, which backward is
  // the one read after it: read again at the end instead.
  if (!best_) {
    kept.Frame = appender_->Prepare(scaled_, decodeFormat_, decodePalette_);
    kept.Format = decodeFormat_;
    kept.Palette = decodePalette_;
    if (encoder_) {
      encoder_->Submit(*kept.Frame);
      encoder_->Collect(false);
    }
  }
  kept_.push_back(std::move(kept));
}

void TGifRun::Walk() {
  TWalkEnd end = TWalkEnd::weDone;
  try {
    end = WalkFrames();
  } catch (...) {
    TakeMadeFrames();
    throw;
  }
  TakeMadeFrames();
  result_.Aborted = end == TWalkEnd::weAborted;
  result_.OutOfFrames = end == TWalkEnd::weOutOfFrames;
}

TGifRun::TWalkEnd TGifRun::WalkFrames() {
  // The bounds are read once (numbers past the ticks have none, so the walk stops there);
  // the ticks are read as the walk reaches them, since the window lets the user tick
  // entries while the run goes on.
  const std::int64_t first = state_.RangeFirst;
  const std::int64_t last =
      std::min<std::int64_t>(state_.RangeLast, static_cast<std::int64_t>(state_.FrameSelected.size()) - 1);
  for (std::int64_t n = first; n <= last; n += step_) {
    if (n < 0 || n >= static_cast<std::int64_t>(state_.FrameSelected.size()) ||
        !state_.FrameSelected[static_cast<std::size_t>(n)])
      continue;
    if (position_ < maximum_) position_ += step_;
    hooks_.Progress(std::min(position_, maximum_), maximum_);
    hooks_.ProcessMessages();
    if (Aborted()) return TWalkEnd::weAborted;
    std::uint16_t delay = result_.FrameDelay;
    if (timeline_ && !backward_) {
      while (planned_ < plan_.size() && plan_[planned_] < n) ++planned_;
      // A frame ticked after the plan was made has no place on the timeline: it shows for
      // the first frame's delay.
      if (planned_ < plan_.size() && plan_[planned_] == n) {
        if (!(*timeline_)[static_cast<int>(planned_)].Shown) continue;
        delay = (*timeline_)[static_cast<int>(planned_)].Delay;
      }
    }
    if (!source_.ReadFrame(static_cast<int>(n))) return TWalkEnd::weOutOfFrames;
    TakeFrame(static_cast<int>(n), delay);
  }
  return TWalkEnd::weDone;
}

void TGifRun::AppendKeptInReverse(bool afterError) {
  // As after the walk: the frames read are appended before an error travels on.
  try {
    ReadKeptInReverse(afterError);
  } catch (...) {
    TakeMadeFrames();
    throw;
  }
  TakeMadeFrames();
  kept_.clear();
}

void TGifRun::ReadKeptInReverse(bool afterError) {
  std::optional<TGifTimeline> reverse;
  if (best_) {
    std::vector<int> order;
    for (auto kept = kept_.rbegin(); kept != kept_.rend(); ++kept) order.push_back(kept->Number);
    reverse.emplace(BestGifTimeline(state_, order, step_, options_.KeepPlaySpeed, options_.FrameTimes));
  }
  int k = 0;
  for (auto kept = kept_.rbegin(); kept != kept_.rend(); ++kept, ++k) {
    std::uint16_t delay = result_.FrameDelay;
    if (reverse) {
      if (!(*reverse)[k].Shown) continue;
      delay = (*reverse)[k].Delay;
    }
    // Every frame is appended in the format and palette of the last frame read.
    const bool madeAlike = kept->Frame && kept->Format == decodeFormat_ &&
                           (!IsPaletteFormat(decodeFormat_) || kept->Palette == decodePalette_);
    if (madeAlike) {
      AppendPrepared(std::move(kept->Frame));
      continue;
    }
    kept->Frame.reset();
    if (!afterError) {
      hooks_.ProcessMessages();
      if (Aborted()) {
        result_.Aborted = true;
        break;
      }
    }
    bool read = false;
    try {
      read = source_.ReadFrame(kept->Number);
    } catch (...) {
      if (!afterError) throw;
    }
    if (!read) {
      if (!afterError) result_.OutOfFrames = true;
      break;
    }
    if (best_ && makers_) {
      SubmitFrame(kept->Number, source_.DecodeBitmap(), delay, false);
      continue;
    }
    Cut(source_.DecodeBitmap(), Scaled());
    Append(scaled_, delay);
  }
}

void TGifRun::OpenAndWalk() {
  state_.ResetResults();
  hooks_.Progress(position_, maximum_);
  CheckVideoRunMemory(state_.FrameWidth, state_.FrameHeight, size_.Width, size_.Height);
  source_.Open(state_.FilePath);
  closer_.emplace(source_);
  result_.Document = std::make_unique<TGIFImage>();
  TGIFImage& document = *result_.Document;
  document.ReductionMethod = GifReductionMethod(options_.Direction);
  document.DitherKind = ditherFloydSteinberg;
  appender_.emplace(document, result_.FrameDelay);
  if (options_.FrameEncoding != TGifFrameEncoding::feNone)
    encoder_.emplace(options_.FrameEncoding == TGifFrameEncoding::feSecondThread);
  if (options_.FrameEncoding == TGifFrameEncoding::feSecondThread && best_) {
    // The colours of a picture are chosen while the run maps and appends the one before.
    makers_.emplace(
        1, 2, [&chooser = best_->Chooser()](TFrameJob& job) { ChooseColors(job, chooser); }, "gif-colours");
  } else if (options_.FrameEncoding == TGifFrameEncoding::feSecondThread) {
    const TFrameSettings settings{document.ReductionMethod, document.DitherKind, document.QuantizeBits,
                                  document.Encoding};
    const int workers = FrameMakerCount();
    makers_.emplace(
        workers, static_cast<std::size_t>(workers) + 1, [settings](TFrameJob& job) { MakeFrame(job, settings); },
        "gif-frames");
  }

  walking_ = true;
  Walk();
  walking_ = false;
  AppendKeptInReverse(false);
  hooks_.Progress(maximum_, maximum_);
}

void TGifRun::Run() {
  result_ = TGifConversionResult{};
  state_.ConvertAbort = false;
  step_ = SamplingStep(state_);
  result_.FrameDelay = GifFrameDelay(state_.LengthMs, step_, state_.LastFrame, options_.KeepPlaySpeed);
  size_ = GifSize(options_.Size, state_.CaptureWidth, state_.CaptureHeight);
  result_.GifWidth = size_.Width;
  result_.GifHeight = size_.Height;
  captureRect_ = state_.CaptureRect;
  backward_ = options_.Direction == TGifDirection::gdBackward;
  // Zeroed before the video is opened, so a run that cannot open it does not report the
  // frames of the run before.
  state_.GifFrameCount = 0;
  maximum_ = CountTickedFrames(state_);
  if (options_.BestQuality) {
    TBestQuantizerSettings settings;
    settings.MaxColors = std::clamp(options_.MaxColors, 2, 255);
    best_.emplace(settings, options_.LossyLevel);
    plan_ = SampledFrames(state_);
    timeline_.emplace(BestGifTimeline(state_, plan_, step_, options_.KeepPlaySpeed, options_.FrameTimes));
    if (timeline_->Count() > 0) result_.FrameDelay = (*timeline_)[0].Delay;
  }

  bool outOfMemory = false;
  std::exception_ptr error;
  // An error is held until the frames gathered so far are in the document and the status
  // line counts them; only then does it leave the run.
  try {
    OpenAndWalk();
  } catch (const std::bad_alloc&) {
    outOfMemory = true;
  } catch (...) {
    error = std::current_exception();
  }
  if (walking_ && !kept_.empty()) {
    // An error ended the walk: the frames read until then still make the GIF.
    try {
      AppendKeptInReverse(true);
    } catch (const std::bad_alloc&) {
      outOfMemory = true;
    } catch (...) {
    }
  }
  // Every frame takes its encoded data before the kept ones go and the document leaves.
  makers_.reset();
  if (encoder_) encoder_->Collect(true);
  kept_.clear();
  closer_.reset();
  result_.OutOfMemory = outOfMemory;
  if (outOfMemory) {
    // A long run at a large size can exhaust memory; the frames appended so far are complete
    // and stay, so say so rather than fail with a bare allocation error.
    error = std::make_exception_ptr(EClipvaneError("Not enough memory: the GIF keeps the " +
                                                   std::to_string(state_.GifFrameCount) + " frames made so far"));
  }
  try {
    hooks_.Progress(0, maximum_);
  } catch (...) {
    if (!error) error = std::current_exception();
  }
  result_.StatusText = GifStatusText(result_.GifWidth, result_.GifHeight, state_.GifFrameCount);
  if (error) std::rethrow_exception(error);
}

}  // namespace

void RunGifConversion(TVideoState& state, TFrameSource& source, const TGifOptions& options, const TRunHooks& hooks,
                      TGifConversionResult& result) {
  TGifRun(state, source, options, hooks, result).Run();
}

}  // namespace clipvane
