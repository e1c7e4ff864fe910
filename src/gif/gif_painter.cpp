// GIF playback: the event, clock and hand-over queue, the timing rules, frame rendering and
// drawing, the painter's playback with disposal, and the document's draw and painter
// bookkeeping. The document is only ever touched on the UI thread; a painter thread keeps
// time and waits for the work it hands over.
#include "gif/gif_painter.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <limits>
#include <utility>

#include "core/conversions.h"
#include "core/palettes.h"
#include "core/pixel_rows.h"

namespace clipvane {

namespace {

// The platform's window colour.
constexpr TColor clWindow = clWhite;

// Sets the drawing flag for the duration of a draw, unless the document is gone by then.
class TDrawingGuard {
 public:
  TDrawingGuard(bool& flag, std::shared_ptr<bool> alive) : flag_(flag), alive_(std::move(alive)) { flag_ = true; }
  ~TDrawingGuard() {
    if (*alive_) flag_ = false;
  }
  TDrawingGuard(const TDrawingGuard&) = delete;
  TDrawingGuard& operator=(const TDrawingGuard&) = delete;

 private:
  bool& flag_;
  std::shared_ptr<bool> alive_;
};

// Draws picture stretched onto area of surface (nearest pixel, as TBitmap::StretchDraw),
// limited to clip and the surface. Pixels under a set bit of mask (same size as picture)
// leave the surface as it was.
void BlitPicture(TBitmap& surface, const TRect& area, const TRect& clip, const TBitmap& picture,
                 const TBitmap* mask) {
  const int dw = area.Width(), dh = area.Height();
  const int sw = picture.Width(), sh = picture.Height();
  if (dw <= 0 || dh <= 0 || sw <= 0 || sh <= 0) return;
  if (mask != nullptr && (mask->Width() != sw || mask->Height() != sh || mask->PixelFormat() != TPixelFormat::pf1bit))
    mask = nullptr;
  const int x0 = std::max({area.Left, clip.Left, 0});
  const int x1 = std::min({area.Right, clip.Right, surface.Width()});
  const int y0 = std::max({area.Top, clip.Top, 0});
  const int y1 = std::min({area.Bottom, clip.Bottom, surface.Height()});
  if (x0 >= x1 || y0 >= y1) return;

  const int count = x1 - x0;
  std::vector<int> sourceX(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i)
    sourceX[static_cast<std::size_t>(i)] =
        static_cast<int>((2LL * (x0 + i - area.Left) + 1) * sw / (2LL * dw));
  std::vector<std::uint8_t> sourceRow(static_cast<std::size_t>(sw) * 3);
  std::vector<std::uint8_t> row(static_cast<std::size_t>(count) * 3);
  TNearestColorCache cache(surface.Palette());
  int loaded = -1;
  for (int y = y0; y < y1; ++y) {
    const int sy = static_cast<int>((2LL * (y - area.Top) + 1) * sh / (2LL * dh));
    if (sy != loaded) {
      ReadRowBGR(picture, sy, 0, sw, sourceRow.data());
      loaded = sy;
    }
    const std::uint8_t* maskRow = mask != nullptr ? mask->ScanLine(sy) : nullptr;
    // Only a masked copy needs what is underneath.
    if (maskRow != nullptr) ReadRowBGR(surface, y, x0, count, row.data());
    for (int i = 0; i < count; ++i) {
      const int sx = sourceX[static_cast<std::size_t>(i)];
      if (maskRow != nullptr && ReadIndex(maskRow, sx, 1) != 0) continue;
      std::memcpy(&row[3 * static_cast<std::size_t>(i)], &sourceRow[3 * static_cast<std::size_t>(sx)], 3);
    }
    WriteRowBGR(surface, y, x0, count, row.data(), cache);
  }
}

bool Intersects(const TRect& a, const TRect& b) {
  return std::max(a.Left, b.Left) < std::min(a.Right, b.Right) && std::max(a.Top, b.Top) < std::min(a.Bottom, b.Bottom);
}

}  // namespace

// ---- Event, clock, dispatcher ------------------------------------------------------------

void TAutoResetEvent::Set() {
  std::lock_guard<std::mutex> lock(mutex_);
  signalled_ = true;
  condition_.notify_all();
}

bool TAutoResetEvent::TryWait() {
  std::lock_guard<std::mutex> lock(mutex_);
  const bool signalled = signalled_;
  signalled_ = false;
  return signalled;
}

bool TAutoResetEvent::WaitFor(int timeoutMs) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (timeoutMs < 0) {
    condition_.wait(lock, [this] { return signalled_; });
  } else if (!condition_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return signalled_; })) {
    return false;
  }
  signalled_ = false;
  return true;
}

void TAutoResetEvent::Poke() {
  std::lock_guard<std::mutex> lock(mutex_);
  condition_.notify_all();
}

namespace {

class TSteadyPainterClock final : public TPainterClock {
 public:
  std::int64_t Now() override {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
  }
  void Sleep(int milliseconds) override { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }
  bool Wait(TAutoResetEvent& event, int timeoutMs) override { return event.WaitFor(timeoutMs); }
};

}  // namespace

TPainterClock& SteadyPainterClock() {
  static TSteadyPainterClock clock;
  return clock;
}

void TUIDispatcher::Post(std::function<void()> work) {
  // Everything under the lock: once it is released the work may run, and its end may be the
  // end of the dispatcher too, so the poster must not touch it afterwards.
  std::lock_guard<std::mutex> lock(mutex_);
  queue_.push_back(std::move(work));
  ++generation_;
  condition_.notify_all();
  Notify();
}

bool TUIDispatcher::Drain() {
  bool ran = false;
  for (;;) {
    std::function<void()> work;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (queue_.empty()) break;
      work = std::move(queue_.front());
      queue_.pop_front();
    }
    // Run outside the lock: the work may post, wait for painters or drain again.
    work();
    ran = true;
  }
  return ran;
}

void TUIDispatcher::DrainUntil(const std::function<bool()>& done) {
  for (;;) {
    Drain();
    std::uint64_t generation;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      generation = generation_;
    }
    // Tested without our lock: done() takes painter locks, and painters post under theirs.
    if (done()) return;
    std::unique_lock<std::mutex> lock(mutex_);
    condition_.wait(lock, [&] { return !queue_.empty() || generation_ != generation; });
  }
}

void TUIDispatcher::WakeUp() {
  std::lock_guard<std::mutex> lock(mutex_);
  ++generation_;
  condition_.notify_all();
}

bool TUIDispatcher::ProcessMessages() {
  Drain();
  return true;
}

void TUIDispatcher::ReportError(std::exception_ptr error) {
  std::lock_guard<std::mutex> lock(mutex_);
  errors_.push_back(std::move(error));
}

std::vector<std::exception_ptr> TUIDispatcher::TakeErrors() {
  std::lock_guard<std::mutex> lock(mutex_);
  return std::exchange(errors_, {});
}

// ---- Timing rules ------------------------------------------------------------------------

int GIFFrameDelay(const TGIFSubImage& frame, bool threaded) {
  const TGIFGraphicControlExtension* control = frame.GraphicControlExtension();
  if (control == nullptr || control->Delay() == 0) return kGIFDefaultDelay;
  int delay = std::max<int>(control->Delay(), kGIFMinimumDelay);
  if (!threaded && delay > kGIFMaximumInlineDelay) delay = kGIFMaximumInlineDelay;
  return delay;
}

bool GIFFrameWait(int delayUnits, std::int64_t overrunMs, int speedPercent, int& waitMs) {
  if (speedPercent <= 0) return false;
  // Keeps the product below 2^63 for any overrun a clock can give.
  constexpr std::int64_t kLimit = std::int64_t{1} << 56;
  if (overrunMs > kLimit || overrunMs < -kLimit) return false;
  const std::int64_t base = static_cast<std::int64_t>(delayUnits) * kGIFDelayUnitMs - overrunMs / 2;
  const std::int64_t product = base * 100;
  std::int64_t scaled = product / speedPercent;
  const std::int64_t remainder = product % speedPercent;
  // To nearest, halves away from zero.
  if (2 * (remainder < 0 ? -remainder : remainder) >= speedPercent) scaled += product < 0 ? -1 : 1;
  if (scaled > std::numeric_limits<int>::max() || scaled < std::numeric_limits<int>::min()) return false;
  waitMs = static_cast<int>(scaled);
  return true;
}

TColor GIFBackgroundColor(TGIFImage& image) {
  if (image.BackdropColor != clNoBackdrop) return image.BackdropColor;
  TGIFColorMap& global = image.GlobalColorMap();
  if (global.Count() > 0) return global.Color(image.Header().Descriptor().BackgroundColorIndex);
  return clWindow;
}

// ---- Frame rendering and drawing -----------------------------------------------------------

const TBitmap& TGIFSubImage::Render() {
  if (!bitmap_) {
    auto progress = [this](TProgressStage stage, int percent) {
      if (image_ != nullptr) image_->Progress(this, stage, percent, sGIFRendering);
    };
    progress(psStarting, 0);
    const int width = Width(), height = Height();
    TBitmap rendered(width, height, TPixelFormat::pf8bit);
    std::vector<TRGBQuad> palette;
    for (const TGIFColor& color : ActiveColorMap().Entries())
      palette.push_back(TRGBQuad{color.Blue, color.Green, color.Red, 0});
    if (palette.empty()) palette.assign(StandardColors16().begin(), StandardColors16().end());
    rendered.SetPalette(std::move(palette));
    const bool havePixels = pixels_.size() == static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    for (int y = 0; y < height && havePixels; ++y) {
      if (y % 32 == 0) progress(psRunning, GIFPercent(y, height));
      std::memcpy(rendered.ScanLine(y), pixels_.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(width),
                  static_cast<std::size_t>(width));
    }
    bitmap_ = std::make_unique<TBitmap>(std::move(rendered));
    progress(psEnding, 100);
  }
  if (needMask_) {
    mask_.reset();
    needMask_ = false;
    int index = -1;
    if (transparent_) {
      if (controlExtension_ != nullptr && controlExtension_->Transparent()) {
        index = controlExtension_->TransparentColorIndex();
      } else {
        for (const auto& extension : extensions_)
          if (const auto* control = dynamic_cast<const TGIFGraphicControlExtension*>(extension.get());
              control != nullptr && control->Transparent()) {
            index = control->TransparentColorIndex();
            break;
          }
      }
    }
    const int width = Width(), height = Height();
    if (index >= 0 && pixels_.size() == static_cast<std::size_t>(width) * static_cast<std::size_t>(height)) {
      auto mask = std::make_unique<TBitmap>(width, height, TPixelFormat::pf1bit);
      bool any = false;
      for (int y = 0; y < height; ++y) {
        const std::uint8_t* source = pixels_.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(width);
        std::uint8_t* row = mask->ScanLine(y);
        for (int x = 0; x < width; ++x)
          if (source[x] == index) {
            WriteIndex(row, x, 1, 1);
            any = true;
          }
      }
      if (any) mask_ = std::move(mask);
    }
  }
  return *bitmap_;
}

void TGIFSubImage::Draw(TBitmap& surface, const TRect& rect, bool tile, bool transparent) {
  if (Empty() || rect.Width() <= 0 || rect.Height() <= 0) return;
  const TBitmap& picture = Render();
  const TBitmap* mask = (transparent && Transparent()) ? mask_.get() : nullptr;
  // The frame always fits the logical screen (bounds rule); a frame of no document is its own screen.
  const int screenWidth = std::max(image_ != nullptr ? image_->Width() : 0, Left() + Width());
  const int screenHeight = std::max(image_ != nullptr ? image_->Height() : 0, Top() + Height());
  if (!tile) {
    const TRect area{rect.Left + MulDiv(Left(), rect.Width(), screenWidth),
                     rect.Top + MulDiv(Top(), rect.Height(), screenHeight),
                     rect.Left + MulDiv(Left() + Width(), rect.Width(), screenWidth),
                     rect.Top + MulDiv(Top() + Height(), rect.Height(), screenHeight)};
    BlitPicture(surface, area, rect, picture, mask);
    return;
  }
  for (int y = rect.Top + Top(); y < rect.Bottom; y += screenHeight)
    for (int x = rect.Left + Left(); x < rect.Right; x += screenWidth)
      BlitPicture(surface, TRect{x, y, x + Width(), y + Height()}, rect, picture, mask);
}

// ---- Painter -------------------------------------------------------------------------------

// What a painter thread and the UI thread share about hand-overs. Queued work holds it, so a
// hand-over that is run after its painter ended finds it still there.
struct TGIFPainter::TShared {
  std::mutex mutex;
  std::condition_variable condition;
};

namespace {

enum class THandOverState : std::uint8_t { hoQueued, hoRunning, hoDone, hoCancelled };

struct THandOver {
  THandOverState State = THandOverState::hoQueued;
  const std::function<void()>* Work = nullptr;  // on the waiting painter thread's stack
  std::exception_ptr Error;
};

}  // namespace

TGIFPainter::TGIFPainter(TGIFImage& image, std::uint16_t options, const TRect& rect, TBitmap& surface,
                         TGIFPainter** ownerReference)
    : image_(&image),
      surface_(&surface),
      rect_(rect),
      options_(options),
      speed_(image.PlaybackSpeed),
      threaded_(false),
      id_(0),
      dispatcher_(image.Dispatcher),
      clock_(image.Clock != nullptr ? image.Clock : &SteadyPainterClock()),
      ownerReference_(ownerReference),
      backgroundColor_(GIFBackgroundColor(image)),
      shared_(std::make_shared<TShared>()) {
  const int frames = image.Images().Count();
  if (frames == 1) options_ = static_cast<std::uint16_t>(options_ & ~(poThreaded | poAnimate));
  // A thread could never reach the UI thread without a dispatcher: play inside the draw call.
  if (dispatcher_ == nullptr) options_ = static_cast<std::uint16_t>(options_ & ~poThreaded);
  threaded_ = (options_ & poThreaded) != 0;
  if (threaded_ && (options_ & poAnimate) != 0 && frames > 1 && speed_ >= 0) event_ = std::make_unique<TAutoResetEvent>();

  // Every control block counts, not only each frame's first: playback uses the last one.
  bool restoresBackground = (options_ & poClearOnRepeat) != 0;
  bool restoresPrevious = false;
  for (const auto& frame : image.Images())
    for (const auto& extension : frame->Extensions())
      if (const auto* control = dynamic_cast<const TGIFGraphicControlExtension*>(extension.get())) {
        restoresBackground = restoresBackground || control->Disposal() == dmBackground;
        restoresPrevious = restoresPrevious || control->Disposal() == dmPrevious;
      }
  const TRect whole{0, 0, rect.Width(), rect.Height()};
  auto copyOfTarget = [&] {
    auto copy = std::make_unique<TBitmap>(rect.Width(), rect.Height(), TPixelFormat::pf24bit);
    copy->CopyRect(0, 0, surface, rect);
    return copy;
  };
  if (restoresBackground && (options_ & poTransparent) != 0) background_ = copyOfTarget();
  if (restoresBackground || restoresPrevious) {
    backup_ = copyOfTarget();
    frameBuffer_ = std::make_unique<TBitmap>(rect.Width(), rect.Height(), TPixelFormat::pf24bit);
    frameBuffer_->FillRect(whole, backgroundColor_);
  }

  onStartPaint_ = image.OnStartPaint;
  onPaint_ = image.OnPaint;
  onAfterPaint_ = image.OnAfterPaint;
  onLoop_ = image.OnLoop;
  onEndPaint_ = image.OnEndPaint;
}

TGIFPainter::~TGIFPainter() = default;

TGIFPainter* TGIFPainter::Create(TGIFImage& image, std::uint16_t options, const TRect& rect, TBitmap& surface,
                                 TGIFPainter** ownerReference) {
  if (image.Images().Count() == 0 || rect.Width() <= 0 || rect.Height() <= 0) return nullptr;
  std::unique_ptr<TGIFPainter> painter(new TGIFPainter(image, options, rect, surface, ownerReference));
  {
    std::lock_guard<std::mutex> lock(image.painterLock_);
    painter->id_ = ++image.nextPainterId_;
    image.painters_.push_back(painter.get());
    if (ownerReference != nullptr) *ownerReference = painter.get();
  }
  if (painter->threaded_) return painter.release();
  painter->Run();
  const std::exception_ptr error = painter->error_;
  painter.reset();
  if (error) std::rethrow_exception(error);
  return nullptr;
}

void TGIFPainter::Start() {
  if (!threaded_ || image_ == nullptr) return;
  std::unique_lock<std::mutex> lock(image_->painterLock_);
  if (thread_.joinable()) return;
  try {
    // The thread owns the painter: it is freed when the run ends.
    thread_ = std::thread([this] {
      std::unique_ptr<TGIFPainter> self(this);
      self->Run();
    });
  } catch (...) {
    // No thread: end here, as a run that stopped at once would.
    lock.unlock();
    Stop();
    Finish();
    delete this;
    throw;
  }
}

void TGIFPainter::Stop() {
  {
    std::lock_guard<std::mutex> lock(shared_->mutex);
    stopped_ = true;
    shared_->condition.notify_all();
  }
  if (event_) event_->Set();
}

void TGIFPainter::Restart() {
  restart_ = true;
  if (event_) event_->Set();
}

bool TGIFPainter::OnUI(const std::function<void()>& work) {
  if (!threaded_) {
    work();
    return true;
  }
  // Every hand-over first tests the stop: a stopped painter hands nothing over.
  if (stopped_) return false;
  auto handOver = std::make_shared<THandOver>();
  handOver->Work = &work;
  std::shared_ptr<TShared> shared = shared_;
  // The painter is alive while its hand-over is queued or running: this thread waits for it,
  // and cancels it under the shared lock before going on.
  dispatcher_->Post([shared, handOver, self = this] {
    {
      std::lock_guard<std::mutex> lock(shared->mutex);
      if (handOver->State != THandOverState::hoQueued) return;
      if (self->stopped_) {
        handOver->State = THandOverState::hoCancelled;
        shared->condition.notify_all();
        return;
      }
      handOver->State = THandOverState::hoRunning;
    }
    ++self->handOverDepth_;
    try {
      (*handOver->Work)();
    } catch (...) {
      handOver->Error = std::current_exception();
    }
    --self->handOverDepth_;
    std::lock_guard<std::mutex> lock(shared->mutex);
    handOver->State = THandOverState::hoDone;
    shared->condition.notify_all();
  });
  std::unique_lock<std::mutex> lock(shared_->mutex);
  shared_->condition.wait(lock, [&] {
    return handOver->State == THandOverState::hoDone || handOver->State == THandOverState::hoCancelled ||
           (handOver->State == THandOverState::hoQueued && stopped_);
  });
  // A stop does not wait for the UI thread to come round to work it will skip anyway.
  if (handOver->State == THandOverState::hoQueued) handOver->State = THandOverState::hoCancelled;
  if (handOver->State == THandOverState::hoCancelled) return false;
  lock.unlock();
  if (handOver->Error) std::rethrow_exception(handOver->Error);
  return true;
}

void TGIFPainter::CallHook(const TGIFPainterEvent& hook) {
  if (hook) hook(this);
}

void TGIFPainter::Run() {
  try {
    Playback();
  } catch (...) {
    error_ = std::current_exception();
    Stop();
  }
  Finish();
}

void TGIFPainter::Playback() {
  if ((options_ & poCheckCanvas) != 0)
    OnUI([&] {
      surfaceWidth_ = surface_->Width();
      surfaceHeight_ = surface_->Height();
    });
  restart_ = true;
  while (restart_ && !stopped_) {
    activeFrame_ = 0;
    // A signal left from a restart must not cut the first wait of the new round short.
    if (event_) event_->TryWait();
    OnUI([&] { CallHook(onStartPaint_); });
    started_ = false;
    restart_ = false;
    loopCount_ = 1;
    loopPoint_ = 0;
    loopSeen_ = false;
    delay_ = threaded_ ? 0 : 1;
    previousDisposal_ = 1;
    reference_ = clock_->Now();
    previousWait_ = 0;

    while ((loopCount_ != 0 || (options_ & poRepeatForever) != 0) && !stopped_ && !restart_) {
      activeFrame_ = loopPoint_;
      if (started_) OnUI([&] { CallHook(onLoop_); });
      bool painted = false;
      while (!stopped_ && !restart_) {
        bool more = false;
        OnUI([&] {
          if (image_ == nullptr) return;
          TGIFImageList& frames = image_->Images();
          if (activeFrame_ < 0 || activeFrame_ >= frames.Count() || frames[activeFrame_]->Empty()) return;
          more = true;
          // Rendered before the clock is read, so rendering time counts into the wait.
          frames[activeFrame_]->Render();
        });
        if (!more) break;
        WaitForFrame();
        if (stopped_) break;
        bool leave = true;
        if (!OnUI([&] { leave = PaintStep(); })) break;
        painted = true;
        if (leave) break;
      }
      // A pass that shows nothing would otherwise repeat at once, for ever with
      // poRepeatForever or a threaded endless loop.
      if (!painted) break;
      if (loopCount_ > 0) --loopCount_;
      if ((options_ & poAnimate) == 0 || (options_ & poRepeat) == 0) break;
    }
  }
  activeFrame_ = -1;
  OnUI([&] { CallHook(onEndPaint_); });
}

void TGIFPainter::WaitForFrame() {
  if (delay_ <= 0) {
    std::this_thread::yield();
    return;
  }
  const std::int64_t now = clock_->Now();
  std::int64_t wait;
  if (speed_ > 0) {
    int computed = 0;
    if (GIFFrameWait(delay_, now - reference_ - previousWait_, speed_, computed)) {
      wait = computed;
      previousWait_ = computed;
    } else {
      wait = kGIFFallbackWaitMs;
      previousWait_ = 0;
    }
  } else {
    wait = threaded_ ? -1 : kGIFFallbackWaitMs;
  }
  reference_ = now;

  if (threaded_) {
    // Without an event (negative speed) there is no wait at all.
    if (event_ && (wait > 0 || speed_ == 0)) {
      if (clock_->Wait(*event_, static_cast<int>(wait))) {
        previousWait_ = 0;
        reference_ = clock_->Now();
      }
    }
    return;
  }
  wait = std::max<std::int64_t>(wait, 1);
  while (wait > 0 && !stopped_ && !restart_) {
    const int slice = static_cast<int>(std::min<std::int64_t>(wait, kGIFSleepSliceMs));
    const std::int64_t before = clock_->Now();
    clock_->Sleep(slice);
    wait -= clock_->Now() - before;
    if (dispatcher_ != nullptr && !dispatcher_->ProcessMessages()) Stop();
  }
}

bool TGIFPainter::PaintStep() {
  if (image_ == nullptr) return true;
  CallHook(onPaint_);
  if (stopped_ || image_ == nullptr) return true;
  // The hook may have changed the frames.
  if (activeFrame_ < 0 || activeFrame_ >= image_->Images().Count()) return true;
  TGIFSubImage& frame = *image_->Images()[activeFrame_];

  disposal_ = 1;
  for (const auto& extension : frame.Extensions()) {
    if (const auto* loop = dynamic_cast<const TGIFAppExtNSLoop*>(extension.get())) {
      if (!loopSeen_) {
        loopSeen_ = true;
        loopCount_ = loop->LoopCount;
        if (threaded_ && (loopCount_ == 0 || (options_ & poRepeatForever) != 0)) loopCount_ = -1;
        loopPoint_ = activeFrame_;
      }
    } else if (const auto* control = dynamic_cast<const TGIFGraphicControlExtension*>(extension.get())) {
      disposal_ = control->Disposal();
    }
  }
  if (backup_) PaintDisposalAware(frame);
  else PaintSimple(frame);
  previousDisposal_ = disposal_;
  if (stopped_ || image_ == nullptr) return true;

  // Whoever was told of the change may have changed the frames.
  if (activeFrame_ < 0 || activeFrame_ >= image_->Images().Count()) return true;
  delay_ = GIFFrameDelay(*image_->Images()[activeFrame_], threaded_);
  const int remembered = activeFrame_;
  CallHook(onAfterPaint_);
  if (stopped_ || image_ == nullptr) return true;
  if (activeFrame_ == remembered) ++activeFrame_;
  return (options_ & poAnimate) == 0;
}

void TGIFPainter::PaintSimple(TGIFSubImage& frame) {
  frame.Draw(*surface_, rect_, (options_ & poTile) != 0, (options_ & poTransparent) != 0);
  started_ = true;
  if (image_ != nullptr) image_->Changed();
}

void TGIFPainter::PaintDisposalAware(TGIFSubImage& frame) {
  if ((options_ & poCheckCanvas) != 0 && (surface_->Width() != surfaceWidth_ || surface_->Height() != surfaceHeight_)) {
    // The surface is not the one the painter started on any more.
    Stop();
    return;
  }
  const bool restoreFirst = (options_ & poClearOnRepeat) != 0 && activeFrame_ == 0;
  const TRect whole{0, 0, rect_.Width(), rect_.Height()};
  TBitmap* drawOn = nullptr;
  TRect drawRect = whole;
  bool copyToTarget = false;
  bool restoreAfter = false;
  switch (disposal_) {
    case dmNone:
    case dmNoDisposal:
      drawOn = backup_.get();
      copyToTarget = true;
      break;
    case dmBackground:
      drawOn = backup_.get();
      copyToTarget = true;
      restoreAfter = true;
      break;
    case dmPrevious:
      if (previousDisposal_ == dmNone || previousDisposal_ == dmNoDisposal) {
        // Never into the backup, so the next frame starts from what was there before.
        drawOn = surface_;
        drawRect = rect_;
      } else if (previousDisposal_ == dmBackground || previousDisposal_ == dmPrevious) {
        frameBuffer_->Draw(0, 0, *backup_);
        drawOn = frameBuffer_.get();
        copyToTarget = true;
      }
      break;
    default:
      break;
  }
  if (restoreFirst) RestoreArea(frame);
  if (drawOn != nullptr) {
    frame.Draw(*drawOn, drawRect, (options_ & poTile) != 0, (options_ & poTransparent) != 0);
    if (copyToTarget) surface_->CopyRect(rect_.Left, rect_.Top, *drawOn, whole);
    if (restoreAfter) RestoreArea(frame);
  }
  started_ = true;
  if (image_ != nullptr) image_->Changed();
}

void TGIFPainter::RestoreArea(const TGIFSubImage& frame) {
  if (image_ == nullptr) return;
  const int width = rect_.Width(), height = rect_.Height();
  const int screenWidth = std::max(image_->Width(), frame.Left() + frame.Width());
  const int screenHeight = std::max(image_->Height(), frame.Top() + frame.Height());
  if (screenWidth <= 0 || screenHeight <= 0) return;
  const bool transparent = (options_ & poTransparent) != 0;
  const bool tiledFill =
      (options_ & poTile) != 0 && (transparent || (frame.Width() != screenWidth && frame.Height() != screenHeight));
  if (tiledFill) {
    for (int y = frame.Top(); y < height; y += screenHeight)
      for (int x = frame.Left(); x < width; x += screenWidth)
        RestoreRect(TRect{x, y, x + frame.Width(), y + frame.Height()});
    return;
  }
  RestoreRect(TRect{MulDiv(frame.Left(), width, screenWidth), MulDiv(frame.Top(), height, screenHeight),
                    MulDiv(frame.Left() + frame.Width(), width, screenWidth),
                    MulDiv(frame.Top() + frame.Height(), height, screenHeight)});
}

void TGIFPainter::RestoreRect(const TRect& area) {
  if (!Intersects(area, TRect{0, 0, backup_->Width(), backup_->Height()})) return;
  if ((options_ & poTransparent) != 0 && background_) {
    backup_->CopyRect(area.Left, area.Top, *background_, area);
  } else {
    backup_->FillRect(area, backgroundColor_);
  }
}

void TGIFPainter::Finish() {
  if (detached_) {
    // Its document is gone, and with it the promise that the dispatcher and clock live on.
    backup_.reset();
    frameBuffer_.reset();
    background_.reset();
    event_.reset();
    return;
  }
  if (threaded_ && error_) {
    // Never lost: the report runs on the UI thread even though the painter is stopped. The
    // error moves with it, so that only the UI thread holds it from here on.
    TUIDispatcher* dispatcher = dispatcher_;
    dispatcher->Post([dispatcher, error = std::exchange(error_, nullptr)] { dispatcher->ReportError(error); });
  }
  if (TGIFImage* image = image_) {
    std::lock_guard<std::mutex> lock(image->painterLock_);
    if (ownerReference_ != nullptr && *ownerReference_ == this) *ownerReference_ = nullptr;
    auto& painters = image->painters_;
    painters.erase(std::remove(painters.begin(), painters.end(), this), painters.end());
    if (thread_.joinable()) image->endedPainterThreads_.push_back(std::move(thread_));
    image_ = nullptr;
  }
  // Out of the list nobody can reach the painter any more: Stop() no longer touches the event.
  backup_.reset();
  frameBuffer_.reset();
  background_.reset();
  event_.reset();
  if (dispatcher_ != nullptr) dispatcher_->WakeUp();
}

void TGIFPainter::Detach() {
  detached_ = true;
  image_ = nullptr;
  ownerReference_ = nullptr;
  if (thread_.joinable()) thread_.detach();
}

// ---- Document --------------------------------------------------------------------------------

int TGIFImage::PainterCount() {
  std::lock_guard<std::mutex> lock(painterLock_);
  return static_cast<int>(painters_.size());
}

void TGIFImage::StopDraw() {
  std::lock_guard<std::mutex> lock(painterLock_);
  if (onScreenPainter_ != nullptr) onScreenPainter_->Stop();
  composite_.reset();
}

bool TGIFImage::StopOnScreenPainterAndWait() {
  const std::shared_ptr<bool> alive = alive_;
  for (;;) {
    TUIDispatcher* dispatcher = nullptr;
    TGIFPainter* unstarted = nullptr;
    std::uint64_t id = 0;
    {
      std::lock_guard<std::mutex> lock(painterLock_);
      TGIFPainter* painter = onScreenPainter_;
      if (painter == nullptr) break;
      painter->Stop();
      // A painter inside our own call stack cannot end before we return.
      if (!painter->threaded_ || painter->HandingOverHere()) break;
      if (!painter->thread_.joinable()) unstarted = painter;
      dispatcher = painter->dispatcher_;
      id = painter->id_;
    }
    if (unstarted != nullptr) unstarted->Start();
    dispatcher->DrainUntil([&] {
      if (!*alive) return true;
      std::lock_guard<std::mutex> lock(painterLock_);
      return onScreenPainter_ == nullptr || onScreenPainter_->id_ != id;
    });
    if (!*alive) return false;
  }
  StopDraw();
  return true;
}

void TGIFImage::StopPainters() {
  for (;;) {
    TUIDispatcher* dispatcher = nullptr;
    std::vector<std::uint64_t> waitFor;
    std::vector<TGIFPainter*> unstarted;
    {
      std::lock_guard<std::mutex> lock(painterLock_);
      if (painters_.empty()) break;
      for (TGIFPainter* painter : painters_) {
        painter->Stop();
        if (!painter->threaded_ || painter->HandingOverHere()) continue;
        // One dispatcher a round: each painter wakes only its own.
        if (dispatcher == nullptr) dispatcher = painter->dispatcher_;
        if (painter->dispatcher_ != dispatcher) continue;
        waitFor.push_back(painter->id_);
        if (!painter->thread_.joinable()) unstarted.push_back(painter);
      }
    }
    if (waitFor.empty()) break;
    for (TGIFPainter* painter : unstarted) painter->Start();
    dispatcher->DrainUntil([&] {
      std::lock_guard<std::mutex> lock(painterLock_);
      for (const TGIFPainter* painter : painters_)
        if (std::find(waitFor.begin(), waitFor.end(), painter->id_) != waitFor.end()) return false;
      return true;
    });
  }
  {
    std::lock_guard<std::mutex> lock(painterLock_);
    composite_.reset();
  }
  JoinEndedPainters();
}

void TGIFImage::JoinEndedPainters() {
  std::vector<std::thread> threads;
  {
    std::lock_guard<std::mutex> lock(painterLock_);
    threads.swap(endedPainterThreads_);
  }
  for (std::thread& thread : threads) thread.join();
}

void TGIFImage::DetachPainters() {
  {
    std::lock_guard<std::mutex> lock(painterLock_);
    for (TGIFPainter* painter : painters_) painter->Detach();
    painters_.clear();
    onScreenPainter_ = nullptr;
  }
  JoinEndedPainters();
}

void TGIFImage::Draw(TBitmap& surface, const TRect& rect) {
  if (drawing_ || images_.Count() == 0) return;
  const std::shared_ptr<bool> alive = alive_;
  TDrawingGuard guard(drawing_, alive);
  JoinEndedPainters();
  const bool tile = (PaintOptions & poTile) != 0;
  const bool transparent = (PaintOptions & poTransparent) != 0;
  if (images_.Count() == 1 || (PaintOptions & poAnimate) == 0) {
    images_[0]->Draw(surface, rect, tile, transparent);
    return;
  }

  const bool direct = (PaintOptions & poPaintDirect) != 0;
  if (!composite_ || direct) {
    {
      std::lock_guard<std::mutex> lock(painterLock_);
      // Without a composite bitmap the painter on display paints into one that is gone.
      const bool painting = direct && onScreenPainter_ != nullptr && onScreenPainter_->surface_ == &surface &&
                            onScreenPainter_->rect_ == rect;
      if (painting) return;
    }
    if (!StopOnScreenPainterAndWait()) return;
    if (Width() <= 0 || Height() <= 0 || rect.Width() <= 0 || rect.Height() <= 0) return;

    TBitmap* target = &surface;
    TRect targetRect = rect;
    if (!direct) {
      const TRect whole{0, 0, Width(), Height()};
      auto composite = std::make_unique<TBitmap>(Width(), Height(), TPixelFormat::pf24bit);
      composite->StretchDraw(whole, surface, rect);
      std::lock_guard<std::mutex> lock(painterLock_);
      composite_ = std::move(composite);
      target = composite_.get();
      targetRect = whole;
    }
    TGIFPainter* painter = TGIFPainter::Create(*this, PaintOptions, targetRect, *target, &onScreenPainter_);
    if (painter != nullptr) {
      // Read before Start: from then on the painter may end and free itself at any time.
      TUIDispatcher* dispatcher = painter->dispatcher_;
      const std::uint64_t id = painter->id_;
      painter->Start();
      if (direct) return;
      dispatcher->DrainUntil([&] {
        if (!*alive) return true;
        std::lock_guard<std::mutex> lock(painterLock_);
        const TGIFPainter* onScreen = onScreenPainter_;
        return onScreen == nullptr || onScreen->id_ != id || onScreen->Stopped() || onScreen->Started();
      });
      if (!*alive) return;
    }
    if (direct) return;
  }

  if (!composite_) return;
  const TBitmap& composite = *composite_;
  const TRect whole{0, 0, composite.Width(), composite.Height()};
  if (!tile) {
    surface.StretchDraw(rect, composite, whole);
    return;
  }
  for (int y = rect.Top; y < rect.Bottom; y += composite.Height())
    for (int x = rect.Left; x < rect.Right; x += composite.Width())
      surface.CopyRect(x, y, composite,
                       TRect{0, 0, std::min(composite.Width(), rect.Right - x), std::min(composite.Height(), rect.Bottom - y)});
}

void TGIFImage::AssignTo(TBitmap& bitmap) {
  if (images_.Count() == 0 || Width() <= 0 || Height() <= 0) {
    bitmap = TBitmap();
    return;
  }
  const TRect whole{0, 0, Width(), Height()};
  TBitmap picture(Width(), Height(), TPixelFormat::pf24bit);
  picture.FillRect(whole, GIFBackgroundColor(*this));
  images_[0]->Draw(picture, whole, (PaintOptions & poTile) != 0, (PaintOptions & poTransparent) != 0);
  bitmap = std::move(picture);
}

}  // namespace clipvane
